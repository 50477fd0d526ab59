#pragma once
// A small tool button whose tip also names it for screen readers.
#include <QToolButton>

namespace velk::editor {

inline QToolButton* toolButton(QWidget* parent, const QString& text, const QString& tip) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    return button;
}

}  // namespace velk::editor
