#pragma once
// NumberEdit: a number field with spin keys: digits only (and a minus sign
// where the spin range is negative), Up/Down and the wheel (only while the
// field has the focus) step within the spin range.  The page checks its own range when it saves.
// User-interface thread only.
#include <QLineEdit>

namespace velk::runner {

class NumberEdit : public QLineEdit {
    Q_OBJECT
public:
    NumberEdit(int spinMin, int spinMax, QWidget* parent = nullptr);

    int spinMin() const { return m_min; }
    int spinMax() const { return m_max; }
    void setNumber(int value) { setText(QString::number(value)); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void stepBy(int steps);

    int m_min;
    int m_max;
};

}  // namespace velk::runner
