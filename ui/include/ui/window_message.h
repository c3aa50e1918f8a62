// The program's window messages as Qt events. A message keeps its number and
// its (wParam, lParam) pair; each number is its own event type, QEvent::User +
// number, so a window's event() can switch on the number it was designed with.
// Handlers set a result, which a synchronous send returns to its sender.
#pragma once

#include <QEvent>
#include <QObject>

namespace qvui {

constexpr quint32 WM_CLOSE = 0x0010;
constexpr quint32 WM_TIMER = 0x0113;
constexpr quint32 WM_USER = 0x0400;

// Messages between the program's windows.
constexpr quint32 WM_PAGE_STATE = WM_USER + 1;
constexpr quint32 WM_DISCONNECT_DEVICE = WM_USER + 2;
constexpr quint32 WM_SCAN_DATA_READY = WM_USER + 3;
constexpr quint32 WM_CALIBRATION_POINT = WM_USER + 4;
constexpr quint32 WM_TRAY_NOTIFY = WM_USER + 5;
constexpr quint32 WM_ACTIVATE_INSTANCE = WM_USER + 6;
constexpr quint32 WM_DEBUG_COMMAND = WM_USER + 7;
constexpr quint32 WM_ABNORMAL_STATE = WM_USER + 8;
constexpr quint32 WM_BUILD_PROGRESS = WM_USER + 9;
constexpr quint32 WM_PROCESS_STEP = WM_USER + 10;
constexpr quint32 WM_SILENT_RESULT = WM_USER + 11;
constexpr quint32 WM_TOOLBAR_ACTION = WM_USER + 13;
constexpr quint32 WM_DEBUG_FORWARD = WM_USER + 257;
constexpr quint32 WM_RESIDENT_SUSPEND = 0x0500;
constexpr quint32 WM_PRODUCTION_LINE = 0x0510;

class WindowMessage : public QEvent {
public:
    // Numbers 0..kMaxMessage (the system and WM_USER ranges) can be carried.
    static constexpr quint32 kMaxMessage = 0x7FFF;

    WindowMessage(quint32 message, quint64 wParam, qint64 lParam);

    static bool isValidNumber(quint32 message) { return message <= kMaxMessage; }
    static QEvent::Type eventType(quint32 message) { return static_cast<QEvent::Type>(QEvent::User + int(message)); }
    // The message inside `event`, or nullptr when it is some other event.
    static WindowMessage* from(QEvent* event);

    quint32 message() const { return message_; }
    quint64 wParam() const { return wParam_; }
    qint64 lParam() const { return lParam_; }
    qint64 result() const { return result_; }
    void setResult(qint64 result) { result_ = result; }

private:
    quint32 message_;
    quint64 wParam_;
    qint64 lParam_;
    qint64 result_ = 0;
};

// Delivers the message to `window` now, on the calling thread (which must be the
// window's thread), and returns the handler's result (0 when nothing handled it).
qint64 sendMessage(QObject* window, quint32 message, quint64 wParam = 0, qint64 lParam = 0);
// Queues the message for the window's thread; safe from any thread. False when
// the number cannot be carried or there is no window.
bool postMessage(QObject* window, quint32 message, quint64 wParam = 0, qint64 lParam = 0);

} // namespace qvui
