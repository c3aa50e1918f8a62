#include "ui/popup_menu.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QVariant>
#include <QtDebug>

namespace qvui {

namespace {

constexpr char kMenuIdProperty[] = "qvMenuId";

bool clickable(const QAction* a) { return a->isEnabled() && a->isVisible() && !a->isSeparator(); }

// The action with `id` below `menu`: its own entries first, then its submenus'
// (with `reachable`, only those a user can open).
QAction* find(const QMenu& menu, int id, bool reachable) {
    const QList<QAction*> actions = menu.actions();
    for (QAction* a : actions)
        if (menuId(a) == id) return a;
    for (QAction* a : actions) {
        if (const QMenu* sub = a->menu(); sub && (!reachable || clickable(a)))
            if (QAction* found = find(*sub, id, reachable)) return found;
    }
    return nullptr;
}

} // namespace

void setMenuId(QAction* action, int id) { action->setProperty(kMenuIdProperty, id); }

int menuId(const QAction* action) { return action ? action->property(kMenuIdProperty).toInt() : 0; }

QAction* findMenuAction(const QMenu& menu, int id) { return id == 0 ? nullptr : find(menu, id, false); }

QAction* popupMenu(QMenu& menu, const QPoint& globalPos) {
    const auto responder = PopupMenuResponder::current();
    if (!responder) {
        if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
            qWarning().noquote() << "popup menu without a responder on the offscreen platform, closed:"
                                 << menu.title();
            return nullptr;
        }
        return menu.exec(globalPos);
    }

    emit menu.aboutToShow();
    const int id = responder(PopupMenuRequest{&menu, globalPos});
    emit menu.aboutToHide();
    if (id == 0) return nullptr;
    QAction* action = find(menu, id, true);
    if (!action || !clickable(action) || action->menu()) {
        qWarning() << "popup menu pick" << id << "is no entry a user could click; nothing picked";
        return nullptr;
    }
    // Triggering is what a click does; the menus emit triggered(action) from it.
    // What the pick does may delete the entry with its menu (closing its window).
    const QPointer<QAction> picked(action);
    action->trigger();
    return picked;
}

} // namespace qvui
