#pragma once
// NavigationBar: the navigation bar on the main window's left: folders as
// full-width buttons, one open at a time, whose items show as large or small
// icons with labels.  Clicking an item reports it; clicking another folder
// button opens that folder with a sliding animation (one step per animation
// delay).  The right-click menu switches the icon size and, when the flags
// allow, removes or renames a folder or an item; the parent approves renames.
// Content and geometry live in NavigationBarModel; this class paints and handles input.
//
// Keyboard: Up/Down move among the open folder's items, Enter or Space clicks
// the current one, Page Up/Page Down open the previous/next folder, F2 renames.
//
// User-interface thread only.
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <vector>

#include "app/shell/navigation_bar_model.h"

class QLineEdit;
class QTimer;

namespace velk::shell {

class NavigationBar : public QWidget {
    Q_OBJECT
public:
    enum Flag {
        kAnimation = 1,
        kRenameFolders = 2,
        kRenameItems = 4,
        kRemoveFolders = 8,
        kRemoveItems = 16
    };

    explicit NavigationBar(QWidget* parent = nullptr);
    ~NavigationBar() override;

    int addFolder(const QString& name);
    void addItem(int folder, int position, const QString& label, int image);
    void setImageLists(std::vector<QPixmap> large, std::vector<QPixmap> small);
    void setFlags(int clearMask, int setMask);
    int flags() const { return m_flags; }
    void setAnimationDelay(int ms) { m_animationDelay = ms; }
    int animationDelay() const { return m_animationDelay; }
    void setLargeIcons(bool large);
    bool largeIcons() const { return m_model.largeIcons(); }

    // Asked before a rename takes effect: (isFolder, index, new text) -> allow.
    void setRenameApproval(std::function<bool(bool, int, const QString&)> approve) {
        m_approve = std::move(approve);
    }

    const NavigationBarModel& model() const { return m_model; }
    int openFolder() const { return m_model.openFolder(); }
    bool isAnimating() const;
    // Where folder buttons and items are, for tests and accessibility.
    QRect folderRect(int folder) const;
    QRect itemRect(int item) const;
    int currentItem() const { return m_current; }
    // The field of a running rename, or null.
    QLineEdit* renameEditor() const { return m_editor; }
    // Clicks item of the open folder, as the mouse or the keyboard does.
    void clickItem(int item);
    // Marks the item that stands for the shown page (-1, -1: none).
    void setSelectedItem(int folder, int item);
    // Starts renaming the folder (isFolder) or the open folder's item.
    void beginRename(bool isFolder, int index);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    // Opens folder index; animated when the flag is set and the bar is visible.
    void selectFolder(int index);

signals:
    // An item of the open folder was clicked or activated from the keyboard.
    void itemClicked(int item);
    // The open folder changed (by a click, the keyboard or selectFolder);
    // with the animation, sent when it has ended.
    void folderChanged(int folder);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    NavigationBarModel::Hit hitAt(const QPoint& pos) const;
    void paintBar(QPainter& p) const;
    void paintFolderButton(QPainter& p, int folder) const;
    void paintItems(QPainter& p) const;
    void animationStep();
    void endRename(bool accept);
    void showContextMenu(const QPoint& pos, NavigationBarModel::Hit hit);

    NavigationBarModel m_model;
    std::vector<QPixmap> m_large, m_small;
    int m_flags = kAnimation;
    int m_animationDelay = 10;
    std::function<bool(bool, int, const QString&)> m_approve;

    NavigationBarModel::Hit m_hover, m_pressed;
    int m_current = 0;
    int m_selectedFolder = -1, m_selectedItem = -1;

    // Folder change animation: the bar before and after, and how far along.
    QTimer* m_timer = nullptr;
    QPixmap m_before, m_after;
    int m_slideFrom = 0, m_slideTo = 0;  // the band that slides, in pixels
    bool m_slideUp = true;
    int m_offset = 0;
    int m_pendingFolder = -1;  // told to the parent when the animation ends

    QLineEdit* m_editor = nullptr;
    bool m_editingFolder = false;
    int m_editIndex = -1;
};

}  // namespace velk::shell
