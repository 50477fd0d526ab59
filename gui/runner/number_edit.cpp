#include "gui/runner/number_edit.h"

#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QWheelEvent>
#include <algorithm>

namespace velk::runner {

NumberEdit::NumberEdit(int spinMin, int spinMax, QWidget* parent)
    : QLineEdit(parent), m_min(spinMin), m_max(spinMax) {
    const QString pattern = spinMin < 0 ? QStringLiteral("-?[0-9]*") : QStringLiteral("[0-9]*");
    setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), this));
    setMaximumWidth(110);
}

void NumberEdit::stepBy(int steps) {
    bool ok = false;
    const qint64 now = text().toLongLong(&ok);
    const qint64 next = std::clamp<qint64>((ok ? now : 0) + steps, m_min, m_max);
    setText(QString::number(next));
    // As if typed, so the page applies its rules and saves.
    emit textEdited(text());
}

void NumberEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up) return stepBy(1);
    if (event->key() == Qt::Key_Down) return stepBy(-1);
    QLineEdit::keyPressEvent(event);
}

void NumberEdit::wheelEvent(QWheelEvent* event) {
    // A field that passes under the pointer while the page scrolls stays as
    // it is: the wheel goes on to the scroll area.
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    if (!isEnabled() || event->angleDelta().y() == 0) return QLineEdit::wheelEvent(event);
    stepBy(event->angleDelta().y() > 0 ? 1 : -1);
    event->accept();
}

}  // namespace velk::runner
