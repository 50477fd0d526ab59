#include "gui/editor/address_pattern_edit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>

#include "app/editor/address_pattern_rule.h"

namespace velk::editor {
namespace {

// Keeps pasted text to what a field may hold; typed characters go through the
// rule first.
class FieldValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        if (AddressPatternRule::isAcceptable(input.toStdString())) return Acceptable;
        for (QChar c : input)
            if (!c.isDigit() && !QStringLiteral("$CR").contains(c)) return Invalid;
        return input.size() <= 3 ? Intermediate : Invalid;
    }
};

}  // namespace

AddressPatternEdit::AddressPatternEdit(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    const int width = fontMetrics().horizontalAdvance(QStringLiteral("$R2")) + 12;
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (i) layout->addWidget(new QLabel(QStringLiteral("."), this));
        auto* field = new QLineEdit(this);
        field->setMaxLength(3);
        field->setAlignment(Qt::AlignCenter);
        field->setMinimumWidth(width);
        field->setValidator(new FieldValidator(field));
        field->setAccessibleName(tr("Address part %1").arg(i + 1));
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, &AddressPatternEdit::patternEdited);
        layout->addWidget(field, 1);
        m_fields[i] = field;
    }
    setFocusProxy(m_fields[0]);
}

QString AddressPatternEdit::pattern() const {
    AddressPatternRule::Fields fields;
    for (size_t i = 0; i < m_fields.size(); ++i) fields[i] = m_fields[i]->text().toStdString();
    return QString::fromStdString(AddressPatternRule::join(fields));
}

void AddressPatternEdit::setPattern(const QString& pattern) {
    const auto fields = AddressPatternRule::split(pattern.toStdString());
    for (size_t i = 0; i < m_fields.size(); ++i)
        m_fields[i]->setText(QString::fromStdString(fields[i]));
}

bool AddressPatternEdit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    // Shortcuts (Ctrl+A, Ctrl+V ...) keep their ordinary meaning.
    const bool shortcut =
        key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (shortcut || text.size() != 1 || !text[0].isPrint() || text[0].unicode() > 127)
        return QWidget::eventFilter(watched, event);
    for (size_t i = 0; i < m_fields.size(); ++i)
        if (watched == m_fields[i]) return typeInto(int(i), text);
    return QWidget::eventFilter(watched, event);
}

bool AddressPatternEdit::typeInto(int index, const QString& text) {
    QLineEdit* field = m_fields[size_t(index)];
    const int start = field->hasSelectedText() ? field->selectionStart() : field->cursorPosition();
    const int length = field->hasSelectedText() ? int(field->selectedText().size()) : 0;
    const auto typed =
        AddressPatternRule::type(field->text().toStdString(), start, length, text[0].toLatin1());
    if (typed.accepted) {
        field->setText(QString::fromStdString(typed.text));
        field->setCursorPosition(typed.caret);
        emit patternEdited();
    }
    if (typed.moveNext && index + 1 < int(m_fields.size())) {
        QLineEdit* next = m_fields[size_t(index + 1)];
        next->setFocus(Qt::OtherFocusReason);
        next->selectAll();
    }
    return true;
}

}  // namespace velk::editor
