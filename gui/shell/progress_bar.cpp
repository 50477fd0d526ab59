#include "gui/shell/progress_bar.h"

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <algorithm>

#include "app/shell/progress_geometry.h"

namespace velk::shell {
namespace {
const QString kReady = QStringLiteral("Ready");
}

ProgressBar::ProgressBar(QLabel* pane) : QObject(pane), m_pane(pane) {
    m_bar = new QProgressBar(pane);
    m_bar->setRange(0, 100);
    m_bar->setTextVisible(false);
    m_bar->hide();
    m_bar->setAccessibleName(QStringLiteral("Progress"));
    pane->installEventFilter(this);
    layout();
}

void ProgressBar::setRange(int max) {
    m_bar->setRange(0, max < 0 ? 0 : max);
}

void ProgressBar::setPos(int pos) {
    m_bar->setValue(pos < m_bar->minimum() ? m_bar->minimum() : std::min(pos, m_bar->maximum()));
    layout();
    if (m_bar->isHidden()) {
        // A status tip shown when the run started would cover the pane.
        if (auto* status = qobject_cast<QStatusBar*>(m_pane->parentWidget()))
            status->clearMessage();
        m_bar->show();
    }
}

void ProgressBar::setLabel(const QString& label) {
    m_label = label;
    m_pane->setText(label);
    layout();
}

void ProgressBar::reset() {
    m_bar->hide();
    m_label.clear();
    m_pane->setText(kReady);
}

void ProgressBar::setProgress(int range, int pos, const QString& label) {
    setRange(range);
    setLabel(label);
    setPos(pos);
}

bool ProgressBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pane && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        layout();
    return QObject::eventFilter(watched, event);
}

void ProgressBar::layout() {
    const QFontMetrics fm = m_pane->fontMetrics();
    const QRect r = m_pane->contentsRect();
    const BarRect pane{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    const BarRect bar = progressBarRect(pane, !m_label.isEmpty(), fm.horizontalAdvance(m_label),
                                        fm.horizontalAdvance(QStringLiteral("    ")));
    m_bar->setGeometry(bar.left, bar.top, bar.width(), bar.height());
}

}  // namespace velk::shell
