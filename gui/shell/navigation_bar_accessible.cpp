#include "gui/shell/navigation_bar_accessible.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <map>

#include "gui/shell/navigation_bar.h"

namespace velk::shell {
namespace {

class NavigationBarAccessible;

// One folder button or item of the open folder; it finds its part again by
// position each time, as the bar may have changed since.
class NavigationBarPartAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    NavigationBarPartAccessible(NavigationBar* bar, bool folder, int index)
        : m_bar(bar), m_folder(folder), m_index(index) {}

    bool isValid() const override {
        if (!m_bar) return false;
        const NavigationBarModel& m = m_bar->model();
        return m_folder ? m_index < m.folderCount() : m_index < m.itemCount();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_bar ? m_bar->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return m_bar ? QAccessible::queryAccessibleInterface(m_bar.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        if (!isValid() || t != QAccessible::Name) return {};
        const NavigationBarModel& m = m_bar->model();
        return QString::fromStdString(m_folder
                                          ? m.folder(m_index).name
                                          : m.folder(m.openFolder()).items[size_t(m_index)].label);
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid()) return {};
        const QRect r = m_folder ? m_bar->folderRect(m_index) : m_bar->itemRect(m_index);
        return QRect(m_bar->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override {
        return m_folder ? QAccessible::PushButton : QAccessible::ListItem;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.focusable = true;
        if (m_folder) s.expanded = m_bar->openFolder() == m_index;
        if (!m_folder) s.focused = m_bar->hasFocus() && m_bar->currentItem() == m_index;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (!isValid() || name != pressAction()) return;
        if (m_folder)
            m_bar->selectFolder(m_index);
        else
            m_bar->clickItem(m_index);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<NavigationBar> m_bar;
    bool m_folder;
    int m_index;
};

class NavigationBarAccessible : public QAccessibleWidget {
public:
    explicit NavigationBarAccessible(NavigationBar* bar)
        : QAccessibleWidget(bar, QAccessible::ToolBar, QStringLiteral("Navigation bar")) {}
    ~NavigationBarAccessible() override {
        for (const auto& [key, id] : m_parts) QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override {
        return bar()->model().folderCount() + bar()->model().itemCount();
    }
    // Folder buttons first, then the open folder's items.
    QAccessibleInterface* child(int index) const override {
        const int folders = bar()->model().folderCount();
        if (index < 0 || index >= childCount()) return nullptr;
        const bool folder = index < folders;
        return part(folder, folder ? index : index - folders);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < childCount(); ++i)
            if (this->child(i) == child) return i;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface* c = child(i); c->rect().contains(x, y)) return c;
        return nullptr;
    }

private:
    NavigationBar* bar() const { return static_cast<NavigationBar*>(widget()); }
    QAccessibleInterface* part(bool folder, int index) const {
        const auto key = std::make_pair(folder, index);
        auto it = m_parts.find(key);
        if (it == m_parts.end()) {
            auto* iface = new NavigationBarPartAccessible(bar(), folder, index);
            it = m_parts.emplace(key, QAccessible::registerAccessibleInterface(iface)).first;
        }
        return QAccessible::accessibleInterface(it->second);
    }

    mutable std::map<std::pair<bool, int>, QAccessible::Id> m_parts;
};

}  // namespace

QAccessibleInterface* outBarAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(NavigationBar::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new NavigationBarAccessible(static_cast<NavigationBar*>(object));
    return nullptr;
}

}  // namespace velk::shell
