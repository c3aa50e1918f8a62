// The program's one way to show a popup menu and take the user's pick. Menu
// entries carry the numeric menu ids of the design (setMenuId), the way
// controls carry control ids. Tests install a responder that sees the menu and
// names the id of the entry to pick, or 0 for none; without one the menu runs its
// own loop (QMenu::exec). On the headless "offscreen" platform an unanswered
// menu is logged and closed with no pick instead of blocking.
//
// With a responder the menu's aboutToShow is emitted before the responder looks
// (so check marks and enabled states set there are current), aboutToHide after
// it. A pick is then carried out as a click would be: the action is triggered
// (a checkable one toggles), and the menu that holds it and each menu above it
// emit triggered(action), as Qt's menus do. An id that names no entry a user could
// click (missing, disabled, invisible, a separator, a submenu's own entry, or
// inside a submenu that cannot be opened) picks nothing, with a warning.
#pragma once

#include "ui/responder.h"

#include <QPoint>

class QAction;
class QMenu;

namespace qvui {

void setMenuId(QAction* action, int id);
// The action's menu id, 0 when it has none.
int menuId(const QAction* action);
// The action with that id in `menu` or its submenus (the menu's own entries
// first), nullptr when none has it.
QAction* findMenuAction(const QMenu& menu, int id);

struct PopupMenuRequest {
    QMenu* menu = nullptr;
    QPoint position; // global
};

// Shows `menu` at the global position and returns the action picked, already
// triggered; nullptr when the menu closed without a pick.
QAction* popupMenu(QMenu& menu, const QPoint& globalPos);

// While it lives, every menu goes to the responder, which returns the menu id
// to pick (0: none).
using PopupMenuResponder = ScopedResponder<int(const PopupMenuRequest&), PopupMenuRequest>;

} // namespace qvui
