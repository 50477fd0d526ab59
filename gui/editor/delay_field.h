#pragma once
// DelayField: one of the request's delay fields, a number of seconds 0 to 86400
// with spin buttons, normalised by DelayFieldRule while the user types and when
// the field loses the focus.
//
// User-interface thread only.
#include <QAbstractSpinBox>
#include <cstdint>

namespace velk::editor {

class DelayField : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit DelayField(QWidget* parent = nullptr);

    int32_t value() const { return m_value; }
    // Shows value as the last accepted one; emits nothing.
    void setValue(int32_t value);

signals:
    // The user changed the value (typing, stepping or leaving the field).
    void valueEdited(int32_t value);

protected:
    void stepBy(int steps) override;
    StepEnabled stepEnabled() const override;
    QValidator::State validate(QString& input, int& pos) const override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void normalise(bool leaving);

    int32_t m_value = 0;
};

}  // namespace velk::editor
