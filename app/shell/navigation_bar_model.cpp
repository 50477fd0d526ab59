#include "app/shell/navigation_bar_model.h"

#include <algorithm>

namespace velk::shell {
namespace {
constexpr int kGap = 6;
}

int NavigationBarModel::addFolder(const std::string& name) {
    m_folders.push_back({name, {}});
    if (m_open < 0) m_open = 0;
    return int(m_folders.size()) - 1;
}

bool NavigationBarModel::addItem(int folder, int position, const std::string& label, int image) {
    if (folder < 0 || folder >= folderCount()) return false;
    auto& items = m_folders[size_t(folder)].items;
    position = std::clamp(position, 0, int(items.size()));
    items.insert(items.begin() + position, Item{label, image});
    return true;
}

bool NavigationBarModel::renameFolder(int folder, const std::string& name) {
    if (folder < 0 || folder >= folderCount()) return false;
    m_folders[size_t(folder)].name = name;
    return true;
}

bool NavigationBarModel::renameItem(int folder, int item, const std::string& label) {
    if (folder < 0 || folder >= folderCount()) return false;
    auto& items = m_folders[size_t(folder)].items;
    if (item < 0 || item >= int(items.size())) return false;
    items[size_t(item)].label = label;
    return true;
}

bool NavigationBarModel::removeFolder(int folder) {
    if (folder < 0 || folder >= folderCount()) return false;
    m_folders.erase(m_folders.begin() + folder);
    if (m_folders.empty())
        m_open = -1;
    else if (m_open >= folderCount() || m_open > folder)
        m_open = std::max(0, m_open - 1);
    return true;
}

bool NavigationBarModel::removeItem(int folder, int item) {
    if (folder < 0 || folder >= folderCount()) return false;
    auto& items = m_folders[size_t(folder)].items;
    if (item < 0 || item >= int(items.size())) return false;
    items.erase(items.begin() + item);
    return true;
}

int NavigationBarModel::itemCount() const {
    return m_open < 0 ? 0 : int(m_folders[size_t(m_open)].items.size());
}

bool NavigationBarModel::selectFolder(int index) {
    if (index < 0 || index >= folderCount() || index == m_open) return false;
    m_open = index;
    return true;
}

NavigationBarRect NavigationBarModel::folderButtonRect(int folder, int width, int height) const {
    if (folder < 0 || folder >= folderCount()) return {};
    if (folder <= m_open) {
        const int top = folder * kFolderHeight;
        return {0, top, width, top + kFolderHeight};
    }
    const int bottom = height - (folderCount() - 1 - folder) * kFolderHeight;
    return {0, bottom - kFolderHeight, width, bottom};
}

NavigationBarRect NavigationBarModel::itemAreaRect(int width, int height) const {
    const int top = (m_open + 1) * kFolderHeight;
    const int bottom = height - (folderCount() - 1 - m_open) * kFolderHeight;
    return {0, top, width, std::max(top, bottom)};
}

int NavigationBarModel::cellHeight(int lineHeight) const {
    return m_large ? kGap + kLargeIconHeight + 2 + lineHeight + kGap
                   : std::max(kSmallIcon, lineHeight) + kGap;
}

NavigationBarRect NavigationBarModel::itemRect(int item, int width, int height,
                                               int lineHeight) const {
    if (item < 0 || item >= itemCount()) return {};
    const NavigationBarRect area = itemAreaRect(width, height);
    const int top = area.top + kGap / 2 + item * cellHeight(lineHeight);
    return {0, top, width, top + cellHeight(lineHeight)};
}

NavigationBarRect NavigationBarModel::iconRect(int item, int width, int height,
                                               int lineHeight) const {
    const NavigationBarRect cell = itemRect(item, width, height, lineHeight);
    if (cell.height() == 0) return {};
    if (m_large) {
        const int left = (width - kLargeIconWidth) / 2;
        return {left, cell.top + kGap, left + kLargeIconWidth, cell.top + kGap + kLargeIconHeight};
    }
    const int top = cell.top + (cell.height() - kSmallIcon) / 2;
    return {kGap, top, kGap + kSmallIcon, top + kSmallIcon};
}

NavigationBarRect NavigationBarModel::labelRect(int item, int width, int height,
                                                int lineHeight) const {
    const NavigationBarRect cell = itemRect(item, width, height, lineHeight);
    if (cell.height() == 0) return {};
    if (m_large) {
        const int top = cell.top + kGap + kLargeIconHeight + 2;
        return {2, top, width - 2, top + lineHeight};
    }
    const int left = kGap + kSmallIcon + kGap;
    const int top = cell.top + (cell.height() - lineHeight) / 2;
    return {left, top, width - 2, top + lineHeight};
}

NavigationBarModel::Hit NavigationBarModel::hitTest(int x, int y, int width, int height,
                                                    int lineHeight) const {
    for (int f = 0; f < folderCount(); ++f)
        if (folderButtonRect(f, width, height).contains(x, y)) return {HitKind::kFolder, f};
    const NavigationBarRect area = itemAreaRect(width, height);
    if (!area.contains(x, y)) return {};
    for (int i = 0; i < itemCount(); ++i) {
        const NavigationBarRect cell = itemRect(i, width, height, lineHeight);
        if (cell.bottom > area.bottom) break;  // cut off below the area: not clickable
        if (iconRect(i, width, height, lineHeight).contains(x, y) ||
            labelRect(i, width, height, lineHeight).contains(x, y))
            return {HitKind::kItem, i};
    }
    return {};
}

}  // namespace velk::shell
