#include "ui/control_ids.h"

#include <QDialog>
#include <QQueue>
#include <QVariant>

namespace qvui {

namespace {
constexpr char kIdProperty[] = "qvControlId";
constexpr char kScopeProperty[] = "qvControlScope";

bool ownsScope(const QWidget* w) { return qobject_cast<const QDialog*>(w) || w->property(kScopeProperty).toBool(); }
} // namespace

void setControlId(QWidget* control, int id) { control->setProperty(kIdProperty, id); }

int controlId(const QWidget* control) { return control ? control->property(kIdProperty).toInt() : 0; }

void setControlScope(QWidget* page, bool ownScope) { page->setProperty(kScopeProperty, ownScope); }

QWidget* findControl(const QWidget* dialog, int id) {
    if (!dialog || id == 0) return nullptr;
    // Breadth first, so a control directly on the dialog wins over a deeper one.
    QQueue<const QWidget*> pending;
    pending.enqueue(dialog);
    while (!pending.isEmpty()) {
        const QWidget* parent = pending.dequeue();
        for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (ownsScope(child)) {
                // A nested dialog is itself a control of its parent (a page, say), not its contents.
                if (controlId(child) == id) return child;
                continue;
            }
            if (controlId(child) == id) return child;
            pending.enqueue(child);
        }
    }
    return nullptr;
}

} // namespace qvui
