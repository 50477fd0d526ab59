#include "gui/shell/navigation_bar.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QStyleOptionButton>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "app/shell/label_contrast.h"
#include "gui/shell/navigation_bar_accessible.h"

namespace velk::shell {
namespace {

constexpr int kAnimationSteps = 8;

QRect toQRect(const NavigationBarRect& r) {
    return QRect(r.left, r.top, r.width(), r.height());
}

QString fromStd(const std::string& s) {
    return QString::fromStdString(s);
}

Rgb toRgb(const QColor& color) {
    return {color.red(), color.green(), color.blue()};
}

QColor toQColor(Rgb color) {
    return QColor(color.red, color.green, color.blue);
}

}  // namespace

NavigationBar::NavigationBar(QWidget* parent) : QWidget(parent) {
    // Before anything below makes Qt create the bar's accessible interface.
    static const bool accessible = [] {
        QAccessible::installFactory(outBarAccessibleFactory);
        return true;
    }();
    (void)accessible;
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(false);
    setAccessibleName(QStringLiteral("Navigation bar"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &NavigationBar::animationStep);
}

NavigationBar::~NavigationBar() = default;

int NavigationBar::addFolder(const QString& name) {
    const int index = m_model.addFolder(name.toStdString());
    updateGeometry();
    update();
    return index;
}

void NavigationBar::addItem(int folder, int position, const QString& label, int image) {
    m_model.addItem(folder, position, label.toStdString(), image);
    updateGeometry();
    update();
}

void NavigationBar::setImageLists(std::vector<QPixmap> large, std::vector<QPixmap> small) {
    m_large = std::move(large);
    m_small = std::move(small);
    update();
}

void NavigationBar::setFlags(int clearMask, int setMask) {
    m_flags = (m_flags & ~clearMask) | setMask;
}

void NavigationBar::clickItem(int item) {
    if (item < 0 || item >= m_model.itemCount()) return;
    m_current = item;
    update();
    emit itemClicked(item);
}

void NavigationBar::setSelectedItem(int folder, int item) {
    m_selectedFolder = folder;
    m_selectedItem = item;
    update();
}

void NavigationBar::setLargeIcons(bool large) {
    m_model.setLargeIcons(large);
    update();
}

bool NavigationBar::isAnimating() const {
    return m_timer->isActive();
}

QRect NavigationBar::folderRect(int folder) const {
    return toQRect(m_model.folderButtonRect(folder, width(), height()));
}

QRect NavigationBar::itemRect(int item) const {
    return toQRect(m_model.itemRect(item, width(), height(), fontMetrics().height()));
}

QSize NavigationBar::sizeHint() const {
    // Wide enough for the longest label and folder name.
    int widest = NavigationBarModel::kLargeIconWidth;
    for (int f = 0; f < m_model.folderCount(); ++f) {
        const auto& folder = m_model.folder(f);
        widest = std::max(widest, fontMetrics().horizontalAdvance(fromStd(folder.name)));
        for (const auto& item : folder.items)
            widest = std::max(widest, fontMetrics().horizontalAdvance(fromStd(item.label)));
    }
    return QSize(widest + 24, 400);
}

QSize NavigationBar::minimumSizeHint() const {
    return QSize(NavigationBarModel::kLargeIconWidth + 20,
                 NavigationBarModel::kFolderHeight * std::max(1, m_model.folderCount()) + 40);
}

void NavigationBar::selectFolder(int index) {
    if (index == m_model.openFolder() || index < 0 || index >= m_model.folderCount()) return;
    if (m_editor) endRename(false);
    const int old = m_model.openFolder();
    const bool animate = (m_flags & kAnimation) && m_animationDelay >= 0 && isVisible() &&
                         width() > 0 && height() > 0;
    // A change still sliding in is told now, so listeners see every change in
    // order.
    if (m_pendingFolder >= 0) {
        m_timer->stop();
        const int pending = std::exchange(m_pendingFolder, -1);
        emit folderChanged(pending);
    }
    if (animate) {
        m_timer->stop();
        m_before = grab();
    }
    m_model.selectFolder(index);
    m_current = 0;
    m_hover = m_pressed = {};
    if (animate) {
        m_after = grab();
        // Only the band between the two folders' buttons changes: the new
        // folder's button and items slide in over the old folder's items.
        const int low = std::min(old, index), high = std::max(old, index);
        m_slideFrom = (low + 1) * NavigationBarModel::kFolderHeight;
        m_slideTo =
            height() - (m_model.folderCount() - 1 - high) * NavigationBarModel::kFolderHeight;
        m_slideUp = index > old;
        m_offset = 0;
        // The parent is told when the new folder has slid in.
        m_pendingFolder = index;
        m_timer->start(m_animationDelay);
    }
    update();
    if (!animate) emit folderChanged(index);
}

void NavigationBar::animationStep() {
    const int band = std::max(1, m_slideTo - m_slideFrom);
    m_offset += std::max(1, band / kAnimationSteps);
    if (m_offset >= band) {
        m_timer->stop();
        m_before = m_after = QPixmap();
        update();
        if (m_pendingFolder >= 0) emit folderChanged(std::exchange(m_pendingFolder, -1));
        return;
    }
    update();
}

NavigationBarModel::Hit NavigationBar::hitAt(const QPoint& pos) const {
    return m_model.hitTest(pos.x(), pos.y(), width(), height(), fontMetrics().height());
}

void NavigationBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (isAnimating() && !m_before.isNull()) {
        const double dpr = m_before.devicePixelRatio();
        const int band = m_slideTo - m_slideFrom;
        const int shown = std::min(m_offset, band);
        p.drawPixmap(0, 0, m_after);
        const QRect area(0, m_slideFrom, width(), band);
        p.setClipRect(area);
        auto source = [&](int y, int h) { return QRectF(0, y * dpr, width() * dpr, h * dpr); };
        if (m_slideUp) {
            // The old band moves up and out; the new one follows from below.
            p.drawPixmap(QRectF(0, m_slideFrom, width(), band - shown), m_before,
                         source(m_slideFrom + shown, band - shown));
            p.drawPixmap(QRectF(0, m_slideTo - shown, width(), shown), m_after,
                         source(m_slideFrom, shown));
        } else {
            p.drawPixmap(QRectF(0, m_slideFrom + shown, width(), band - shown), m_before,
                         source(m_slideFrom, band - shown));
            p.drawPixmap(QRectF(0, m_slideFrom, width(), shown), m_after,
                         source(m_slideTo - shown, shown));
        }
        return;
    }
    paintBar(p);
}

void NavigationBar::paintBar(QPainter& p) const {
    p.fillRect(rect(), palette().color(QPalette::Dark));
    const QRect area = toQRect(m_model.itemAreaRect(width(), height()));
    p.fillRect(area, palette().color(QPalette::Mid));
    for (int f = 0; f < m_model.folderCount(); ++f) paintFolderButton(p, f);
    p.save();
    p.setClipRect(area);
    paintItems(p);
    p.restore();
}

void NavigationBar::paintFolderButton(QPainter& p, int folder) const {
    QStyleOptionButton option;
    option.initFrom(this);
    option.rect = folderRect(folder);
    option.text = fromStd(m_model.folder(folder).name);
    option.state |= QStyle::State_Raised;
    if (m_pressed.kind == NavigationBarModel::HitKind::kFolder && m_pressed.index == folder)
        option.state |= QStyle::State_Sunken;
    if (m_hover.kind == NavigationBarModel::HitKind::kFolder && m_hover.index == folder)
        option.state |= QStyle::State_MouseOver;
    if (!(hasFocus() && folder == m_model.openFolder())) option.state &= ~QStyle::State_HasFocus;
    style()->drawControl(QStyle::CE_PushButton, &option, &p, this);
}

void NavigationBar::paintItems(QPainter& p) const {
    const int line = fontMetrics().height();
    const auto& images = m_model.largeIcons() ? m_large : m_small;
    // Labels in black or white, whichever reads better on the item area and
    // on the darker plate of the shown page's item.
    const QColor area = palette().color(QPalette::Mid);
    QColor plate = palette().color(QPalette::Shadow);
    plate.setAlpha(60);
    const QColor normalText = toQColor(readableTextOn(toRgb(area)));
    const QColor selectedText =
        toQColor(readableTextOn(blend(toRgb(area), toRgb(plate), plate.alpha())));
    for (int i = 0; i < m_model.itemCount(); ++i) {
        const auto& item = m_model.folder(m_model.openFolder()).items[size_t(i)];
        const QRect icon = toQRect(m_model.iconRect(i, width(), height(), line));
        const QRect label = toQRect(m_model.labelRect(i, width(), height(), line));
        const bool pressed =
            m_pressed.kind == NavigationBarModel::HitKind::kItem && m_pressed.index == i;
        const bool hover = m_hover.kind == NavigationBarModel::HitKind::kItem && m_hover.index == i;
        const bool selected = m_selectedFolder == m_model.openFolder() && m_selectedItem == i;
        const QColor text = selected ? selectedText : normalText;
        if (selected) {
            // The shown page's item sits on a darker plate.
            p.fillRect(toQRect(m_model.itemRect(i, width(), height(), line)).adjusted(3, 1, -3, -1),
                       plate);
        }
        if (pressed || hover) {
            const QRect frame = icon.adjusted(-2, -2, 2, 2);
            p.setPen(pressed ? palette().color(QPalette::Shadow)
                             : palette().color(QPalette::Light));
            p.drawLine(frame.topLeft(), frame.topRight());
            p.drawLine(frame.topLeft(), frame.bottomLeft());
            p.setPen(pressed ? palette().color(QPalette::Light)
                             : palette().color(QPalette::Shadow));
            p.drawLine(frame.bottomLeft(), frame.bottomRight());
            p.drawLine(frame.topRight(), frame.bottomRight());
        }
        if (item.image >= 0 && size_t(item.image) < images.size())
            p.drawPixmap(icon.topLeft() + QPoint(pressed ? 1 : 0, pressed ? 1 : 0),
                         images[size_t(item.image)]);
        if (hasFocus() && i == m_current) {
            p.setPen(QPen(text, 1, Qt::DotLine));
            p.drawRect(label.adjusted(0, 0, -1, -1));
        }
        if (m_editor && !m_editingFolder && m_editIndex == i) continue;
        p.setPen(text);
        const int flags = m_model.largeIcons() ? Qt::AlignHCenter | Qt::AlignVCenter
                                               : Qt::AlignLeft | Qt::AlignVCenter;
        p.drawText(label, flags,
                   fontMetrics().elidedText(fromStd(item.label), Qt::ElideRight, label.width()));
    }
}

void NavigationBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (m_editor) endRename(true);
    m_pressed = hitAt(event->position().toPoint());
    update();
}

void NavigationBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const NavigationBarModel::Hit pressed = m_pressed;
    m_pressed = {};
    update();
    if (pressed.kind == NavigationBarModel::HitKind::kNone ||
        hitAt(event->position().toPoint()) != pressed)
        return;
    if (pressed.kind == NavigationBarModel::HitKind::kFolder) {
        selectFolder(pressed.index);
    } else {
        clickItem(pressed.index);
    }
}

void NavigationBar::mouseMoveEvent(QMouseEvent* event) {
    const NavigationBarModel::Hit hover = hitAt(event->position().toPoint());
    if (hover == m_hover) return;
    m_hover = hover;
    setCursor(hover.kind == NavigationBarModel::HitKind::kNone ? Qt::ArrowCursor
                                                               : Qt::PointingHandCursor);
    update();
}

void NavigationBar::leaveEvent(QEvent*) {
    m_hover = {};
    update();
}

void NavigationBar::contextMenuEvent(QContextMenuEvent* event) {
    showContextMenu(event->globalPos(), hitAt(event->pos()));
}

void NavigationBar::showContextMenu(const QPoint& pos, NavigationBarModel::Hit hit) {
    QMenu menu(this);
    QAction* small = menu.addAction(QStringLiteral("Icone piccole"));
    QAction* large = menu.addAction(QStringLiteral("Icone grando"));
    small->setCheckable(true);
    large->setCheckable(true);
    small->setChecked(!m_model.largeIcons());
    large->setChecked(m_model.largeIcons());
    const bool folder = hit.kind == NavigationBarModel::HitKind::kFolder;
    const bool item = hit.kind == NavigationBarModel::HitKind::kItem;
    const bool canRemove =
        (folder && (m_flags & kRemoveFolders)) || (item && (m_flags & kRemoveItems));
    const bool canRename =
        (folder && (m_flags & kRenameFolders)) || (item && (m_flags & kRenameItems));
    QAction* remove = nullptr;
    QAction* rename = nullptr;
    if (canRemove || canRename) menu.addSeparator();
    if (canRemove) remove = menu.addAction(QStringLiteral("Rimuovi"));
    if (canRename) rename = menu.addAction(QStringLiteral("Rinomina"));
    QAction* chosen = menu.exec(pos);
    if (!chosen) return;
    if (chosen == small || chosen == large) {
        setLargeIcons(chosen == large);
    } else if (chosen == rename) {
        beginRename(folder, hit.index);
    } else if (chosen == remove) {
        if (folder) {
            const int before = m_model.openFolder();
            m_model.removeFolder(hit.index);
            if (m_model.openFolder() != before && m_model.openFolder() >= 0)
                emit folderChanged(m_model.openFolder());
        } else {
            m_model.removeItem(m_model.openFolder(), hit.index);
        }
        m_current = 0;
        update();
    }
}

void NavigationBar::beginRename(bool isFolder, int index) {
    if (m_editor) endRename(false);
    const int line = fontMetrics().height();
    QRect place;
    QString text;
    if (isFolder) {
        if (index < 0 || index >= m_model.folderCount()) return;
        place = folderRect(index).adjusted(2, 2, -2, -2);
        text = fromStd(m_model.folder(index).name);
    } else {
        if (index < 0 || index >= m_model.itemCount()) return;
        place = toQRect(m_model.labelRect(index, width(), height(), line)).adjusted(0, -2, 0, 2);
        text = fromStd(m_model.folder(m_model.openFolder()).items[size_t(index)].label);
    }
    m_editingFolder = isFolder;
    m_editIndex = index;
    m_editor = new QLineEdit(text, this);
    m_editor->setAccessibleName(QStringLiteral("New name"));
    m_editor->setGeometry(place);
    m_editor->selectAll();
    m_editor->installEventFilter(this);
    if (!isFolder) {
        // The field grows with its text, up to the bar's width.
        connect(m_editor, &QLineEdit::textChanged, this, [this](const QString& now) {
            if (!m_editor) return;
            const int wanted = m_editor->fontMetrics().horizontalAdvance(now) + 16;
            QRect r = m_editor->geometry();
            const int w = std::min(std::max(wanted, r.width()), width());
            r.setLeft(std::max(0, std::min(r.left(), width() - w)));
            r.setWidth(w);
            m_editor->setGeometry(r);
        });
    }
    m_editor->show();
    m_editor->setFocus();
    update();
}

void NavigationBar::endRename(bool accept) {
    if (!m_editor) return;
    QLineEdit* editor = m_editor;
    m_editor = nullptr;
    const QString text = editor->text();
    editor->removeEventFilter(this);
    editor->hide();
    editor->deleteLater();
    if (accept && (!m_approve || m_approve(m_editingFolder, m_editIndex, text))) {
        if (m_editingFolder)
            m_model.renameFolder(m_editIndex, text.toStdString());
        else
            m_model.renameItem(m_model.openFolder(), m_editIndex, text.toStdString());
    }
    m_editIndex = -1;
    setFocus();
    update();
}

bool NavigationBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_editor) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
                endRename(key != Qt::Key_Escape);
                return true;
            }
        } else if (event->type() == QEvent::FocusOut) {
            endRename(true);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void NavigationBar::keyPressEvent(QKeyEvent* event) {
    const int count = m_model.itemCount();
    switch (event->key()) {
        case Qt::Key_Up:
            if (count > 0) m_current = std::max(0, m_current - 1);
            break;
        case Qt::Key_Down:
            if (count > 0) m_current = std::min(count - 1, m_current + 1);
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            clickItem(m_current);
            return;
        case Qt::Key_PageUp:
            selectFolder(m_model.openFolder() - 1);
            return;
        case Qt::Key_PageDown:
            selectFolder(m_model.openFolder() + 1);
            return;
        case Qt::Key_F2:
            if (m_flags & kRenameItems) beginRename(false, m_current);
            return;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    update();
}

}  // namespace velk::shell
