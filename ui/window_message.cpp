#include "ui/window_message.h"

#include <QCoreApplication>

namespace qvui {

WindowMessage::WindowMessage(quint32 message, quint64 wParam, qint64 lParam)
    // A number that cannot be carried makes an event no window recognises.
    : QEvent(isValidNumber(message) ? eventType(message) : QEvent::None), message_(message), wParam_(wParam),
      lParam_(lParam) {}

WindowMessage* WindowMessage::from(QEvent* event) {
    if (!event || event->type() < QEvent::User || event->type() > QEvent::User + int(kMaxMessage)) return nullptr;
    return dynamic_cast<WindowMessage*>(event);
}

qint64 sendMessage(QObject* window, quint32 message, quint64 wParam, qint64 lParam) {
    if (!window || !WindowMessage::isValidNumber(message)) return 0;
    WindowMessage m(message, wParam, lParam);
    QCoreApplication::sendEvent(window, &m);
    return m.result();
}

bool postMessage(QObject* window, quint32 message, quint64 wParam, qint64 lParam) {
    if (!window || !WindowMessage::isValidNumber(message)) return false;
    QCoreApplication::postEvent(window, new WindowMessage(message, wParam, lParam));
    return true;
}

} // namespace qvui
