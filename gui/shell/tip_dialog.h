#pragma once
// The "Tip of the Day" dialog: "Did you know..." and one tip from Tips.txt,
// "&Next Tip" for the next one and "&Show Tips on StartUp".  The reading
// position, the file's time and the start-up choice are kept in the user's
// settings under "Tip" ("FilePos", "TimeStamp", "StartUp") when it closes.
#include <QDialog>

#include "app/shell/tips_reader.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace velk::shell {

class TipDialog : public QDialog {
    Q_OBJECT
public:
    // tipsPath: the tips file, normally Tips.txt shipped with the program.
    explicit TipDialog(const QString& tipsPath, QWidget* parent = nullptr);

    // Whether the tip is to be shown at start-up ("StartUp" not set).
    static bool showAtStartUp();

    QString tipText() const;
    QPushButton* nextButton() const { return m_next; }
    QCheckBox* startUpCheck() const { return m_startUp; }

public slots:
    void showNextTip();
    void done(int result) override;

private:
    TipsReader m_reader;
    QLabel* m_tip;
    QPushButton* m_next;
    QCheckBox* m_startUp;
    bool m_readable = false;
};

}  // namespace velk::shell
