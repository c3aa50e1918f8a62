// Controls carry the numeric ids of their dialog's design and are found by id.
// The search covers the dialog's descendants (controls inside group boxes and
// frames included) but not those of a nested dialog or page, which has ids of
// its own: a child that is a QDialog or is marked with setControlScope.
#pragma once

#include <QWidget>

namespace qvui {

void setControlId(QWidget* control, int id);
// The control's id, 0 when it has none.
int controlId(const QWidget* control);
// Makes `page` a dialog of its own for the search: its controls are not found from its parents.
void setControlScope(QWidget* page, bool ownScope = true);

// The nearest control with that id below `dialog`, or nullptr.
QWidget* findControl(const QWidget* dialog, int id);
template <class T> T* findControl(const QWidget* dialog, int id) { return qobject_cast<T*>(findControl(dialog, id)); }

} // namespace qvui
