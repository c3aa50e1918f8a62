// The touch callback the controller library calls for every touch report, on
// its notification threads, and the routing of its states.
#pragma once

namespace vcx {

struct Controller;

// Given to RegisterTouchNotify; returns 1. kind = state & 0xF0, contact id =
// state & 0x0F:
//  0x10, 0x20  to the drawing window, the calibration window, WM_DEBUG_COMMAND
//              (5, kind) when touch echo is on, and the draw test, in that order
//  0x30, 0x40  WM_ABNORMAL_STATE (kind, y & 0xFFFF)
//  0x50        WM_DEBUG_COMMAND (4, y & 0xFFFF)
//  0x60        WM_DEBUG_COMMAND (10, y & 0xFFFF)
// Messages go to the controller's notification window through its call gate, so
// the handler runs on the GUI thread while this thread waits; once the gate is
// closed (shut-down) they are dropped at once.
int TouchNotifyCallback(int state, int x, int y);

// Registers TouchNotifyCallback when the library has the export (initialisation);
// unregistering is part of unregisterNotifications, after the gate is closed.
void registerTouchNotifications(Controller& c);

} // namespace vcx
