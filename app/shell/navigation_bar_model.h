#pragma once
// NavigationBarModel: the navigation bar's content and geometry apart from painting:
// folders (each a full-width button) with their items, the open folder, the
// icon size, and where each button and item lies in a bar of a given size.
// Folder buttons up to the open one stack at the top, the rest at the bottom;
// the open folder's items fill the space between.
//
// Not thread-safe: the user-interface thread owns it.
#include <string>
#include <vector>

namespace velk::shell {

struct NavigationBarRect {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const NavigationBarRect&) const = default;
};

class NavigationBarModel {
public:
    static constexpr int kFolderHeight = 22;
    static constexpr int kLargeIconWidth = 58, kLargeIconHeight = 48;
    static constexpr int kSmallIcon = 16;

    struct Item {
        std::string label;
        int image = 0;
    };
    struct Folder {
        std::string name;
        std::vector<Item> items;
    };
    enum class HitKind { kNone, kFolder, kItem };
    struct Hit {
        HitKind kind = HitKind::kNone;
        int index = -1;
        bool operator==(const Hit&) const = default;
    };

    int addFolder(const std::string& name);
    // Inserts at position (clamped to the folder's end); false for a bad folder.
    bool addItem(int folder, int position, const std::string& label, int image);
    bool renameFolder(int folder, const std::string& name);
    bool renameItem(int folder, int item, const std::string& label);
    bool removeFolder(int folder);
    bool removeItem(int folder, int item);

    int folderCount() const { return int(m_folders.size()); }
    const Folder& folder(int index) const { return m_folders[size_t(index)]; }
    int itemCount() const;  // of the open folder

    // -1 when there are no folders.
    int openFolder() const { return m_open; }
    // True when the open folder changed.
    bool selectFolder(int index);

    bool largeIcons() const { return m_large; }
    void setLargeIcons(bool large) { m_large = large; }

    // Geometry in a bar of the given size; lineHeight is the label font's.
    NavigationBarRect folderButtonRect(int folder, int width, int height) const;
    NavigationBarRect itemAreaRect(int width, int height) const;
    // An item of the open folder: its whole cell, its icon and its label.
    NavigationBarRect itemRect(int item, int width, int height, int lineHeight) const;
    NavigationBarRect iconRect(int item, int width, int height, int lineHeight) const;
    NavigationBarRect labelRect(int item, int width, int height, int lineHeight) const;
    Hit hitTest(int x, int y, int width, int height, int lineHeight) const;

private:
    int cellHeight(int lineHeight) const;

    std::vector<Folder> m_folders;
    int m_open = -1;
    bool m_large = true;
};

}  // namespace velk::shell
