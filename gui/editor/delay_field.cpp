#include "gui/editor/delay_field.h"

#include <QLineEdit>

#include "app/editor/delay_field_rule.h"

namespace velk::editor {

DelayField::DelayField(QWidget* parent) : QAbstractSpinBox(parent) {
    setValue(0);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { normalise(false); });
}

void DelayField::setValue(int32_t value) {
    m_value = value;
    lineEdit()->setText(QString::number(value));
}

void DelayField::stepBy(int steps) {
    const int64_t next = int64_t(m_value) + steps;
    setValue(int32_t(std::clamp<int64_t>(next, 0, DelayFieldRule::kMaxSeconds)));
    emit valueEdited(m_value);
}

QAbstractSpinBox::StepEnabled DelayField::stepEnabled() const {
    StepEnabled enabled = StepNone;
    if (m_value > 0) enabled |= StepDownEnabled;
    if (m_value < DelayFieldRule::kMaxSeconds) enabled |= StepUpEnabled;
    return enabled;
}

// Every text may be typed: the rule, not the validator, decides what it becomes.
QValidator::State DelayField::validate(QString&, int&) const {
    return QValidator::Acceptable;
}

void DelayField::focusOutEvent(QFocusEvent* event) {
    normalise(true);
    QAbstractSpinBox::focusOutEvent(event);
}

void DelayField::normalise(bool leaving) {
    const QString typed = lineEdit()->text();
    const auto result = DelayFieldRule::normalise(
        typed.toStdString(), m_value,
        leaving ? DelayFieldRule::Moment::kLeaving : DelayFieldRule::Moment::kTyping);
    const QString shown = QString::fromStdString(result.text);
    // Passing through the field without a change changes nothing.
    if (leaving && shown == typed && result.value == m_value) return;
    if (shown != typed) lineEdit()->setText(shown);
    if (result.selectAll) lineEdit()->selectAll();
    m_value = result.value;
    emit valueEdited(m_value);
}

}  // namespace velk::editor
