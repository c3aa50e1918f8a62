#include "shell/touch_routing.h"

#include "core/controller_api.h"
#include "core/program_hooks.h"
#include "ui/gui_call.h"
#include "ui/window_message.h"

namespace vcx {

namespace {

void sendToWindow(quint32 message, quint64 wParam, qint64 lParam) {
    Controller& c = controller();
    qvui::GuiCallGate* gate = c.notifyGate.get();
    QObject* window = c.notifyWindow.data();
    if (gate && window) gate->sendMessage(window, message, wParam, lParam);
}

template <typename Flag>
bool on(const Flag& flag) {
    return flag && flag();
}

} // namespace

int TouchNotifyCallback(int state, int x, int y) {
    const int kind = state & 0xF0;
    const int id = state & 0x0F;
    const qint64 value = y & 0xFFFF;
    const ProgramHooks& h = programHooks();
    switch (kind) {
    case 0x10:
    case 0x20:
        if (on(h.drawThreadRunning) && h.drawMapTouch) h.drawMapTouch(state, x, y);
        if (on(h.calibrationOpen) && h.forwardTouchToCalibration) h.forwardTouchToCalibration(state, x, y);
        if (on(h.touchEcho)) sendToWindow(qvui::WM_DEBUG_COMMAND, 5, kind);
        if (on(h.drawTestRunning)) {
            if (kind == 0x10 && h.drawTestTouchDown) h.drawTestTouchDown(id, x, y);
            if (kind == 0x20 && h.drawTestTouchUp) h.drawTestTouchUp(id, x, y);
        }
        break;
    case 0x30:
    case 0x40:
        sendToWindow(qvui::WM_ABNORMAL_STATE, quint64(kind), value);
        break;
    case 0x50:
        sendToWindow(qvui::WM_DEBUG_COMMAND, 4, value);
        break;
    case 0x60:
        sendToWindow(qvui::WM_DEBUG_COMMAND, 10, value);
        break;
    default:
        break; // any other kind is not a touch the program follows
    }
    return 1;
}

void registerTouchNotifications(Controller& c) {
    if (c.api.RegisterTouchNotify) c.touchRegistered = c.api.RegisterTouchNotify(TouchNotifyCallback) == 1;
}

} // namespace vcx
