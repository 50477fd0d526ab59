#pragma once
// The "Recorder Prompt" dialog: asks whether recording should always start when
// the recorder page is entered, with a check box to stop asking.  Yes and No
// end it; the caller reads the answer and the check box.
#include <QDialog>

class QCheckBox;

namespace velk::shell {

class RecorderPromptDialog : public QDialog {
    Q_OBJECT
public:
    explicit RecorderPromptDialog(QWidget* parent = nullptr);
    bool dontShowAgain() const;
    QCheckBox* dontShowCheck() const { return m_check; }

private:
    QCheckBox* m_check;
};

}  // namespace velk::shell
