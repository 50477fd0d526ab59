#include "gui/runner/output_box.h"

#include <QScrollBar>

namespace velk::runner {

OutputBox::OutputBox(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
    QPalette p = palette();
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    setPalette(p);
}

void OutputBox::clearLog() {
    clear();
    m_shown = 0;
}

void OutputBox::showLog(const std::string& log) {
    if (log.size() < m_shown) clearLog();
    if (log.size() > m_shown) {
        QString tail =
            QString::fromLocal8Bit(log.data() + m_shown, qsizetype(log.size() - m_shown));
        tail.remove(QLatin1Char('\r'));
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(tail);
        m_shown = log.size();
    }
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

}  // namespace velk::runner
