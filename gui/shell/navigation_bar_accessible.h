#pragma once
// What screen readers and UI automation see of the navigation bar: the bar as
// a tool bar whose children are its folder buttons (push buttons) and the open
// folder's items (list items), each named by its label, with a press action
// that opens the folder or clicks the item.
//
// User-interface thread only.
class QAccessibleInterface;
class QObject;
class QString;

namespace velk::shell {

// The factory Qt asks for the bar's interface; installed once by the bar.
QAccessibleInterface* outBarAccessibleFactory(const QString& className, QObject* object);

}  // namespace velk::shell
