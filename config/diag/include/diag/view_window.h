// What the diagnostic views share about their place among the windows: the
// main window their messages go to, and the size they take when the main
// window is resized.
#pragma once

#include "ui/control_ids.h"

#include <QObject>
#include <QPushButton>
#include <QSize>
#include <QString>

class QWidget;

namespace vcx {

// `set` when there is one, else the top-level window `view` lives in (none
// while the view is a window of its own).
QObject* ViewMainWindow(const QWidget* view, QObject* set);

// The size `w` takes on the main window's WM_SIZE: `recorded`, or when the
// size type is 2 (maximised) the rectangle from w's top-left corner to the
// main window's bottom-right.
QSize SizeForParent(const QWidget* w, QSize recorded, int sizeType);

// The scan views' command row: Start, Cancel, Save and Select Folder as the
// controls 2100..2103, each wired to the view's handler of the same name.
template <class View>
void AddScanCommandButtons(View* view) {
    const struct {
        int id;
        const char* text;
        void (View::*handler)();
    } buttons[] = {{2100, "&Start", &View::OnBnClickedStart},
                   {2101, "&Cancel", &View::OnBnClickedCancel},
                   {2102, "S&ave", &View::Save},
                   {2103, "Select Folder", &View::OnBnClickedSelectFolder}};
    for (const auto& b : buttons) {
        auto* button = new QPushButton(QString::fromLatin1(b.text), view);
        qvui::setControlId(button, b.id);
        QObject::connect(button, &QPushButton::clicked, view, b.handler);
    }
}

}  // namespace vcx
