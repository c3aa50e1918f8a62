#include "ui/gui_call.h"

#include "ui/window_message.h"

#include <QCoreApplication>
#include <QPointer>

namespace qvui {

struct GuiCallGate::Pending {
    std::function<void()> fn;
    bool running = false;
    bool done = false;
};

GuiCallGate::GuiCallGate(QObject* parent) : QObject(parent) {
    // Once the event loop has ended nothing would run a queued call.
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &GuiCallGate::close, Qt::DirectConnection);
}

GuiCallGate::~GuiCallGate() { close(); }

bool GuiCallGate::call(const std::function<void()>& fn) {
    if (std::this_thread::get_id() == home_) {
        if (isClosed()) return false;
        fn();
        return true;
    }
    auto p = std::make_shared<Pending>();
    p->fn = fn;
    std::unique_lock lock(mutex_);
    if (closed_) return false;
    ++waiting_;
    // Queued with the gate as context: if the gate is destroyed first the call is dropped.
    QMetaObject::invokeMethod(this, [this, p] { run(p); }, Qt::QueuedConnection);
    changed_.notify_all();
    changed_.wait(lock, [&] { return p->done || (closed_ && !p->running); });
    --waiting_;
    changed_.notify_all();
    return p->done;
}

void GuiCallGate::run(const std::shared_ptr<Pending>& p) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return; // its caller has already been released
        p->running = true;
    }
    p->fn();
    std::lock_guard lock(mutex_);
    p->running = false;
    p->done = true;
    changed_.notify_all();
}

std::optional<qint64> GuiCallGate::sendMessage(QObject* window, quint32 message, quint64 wParam, qint64 lParam) {
    if (!WindowMessage::isValidNumber(message)) return std::nullopt;
    QPointer<QObject> target(window);
    std::optional<qint64> result;
    const bool ran = call([&] {
        if (target) result = qvui::sendMessage(target, message, wParam, lParam);
    });
    return ran ? result : std::nullopt;
}

void GuiCallGate::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

bool GuiCallGate::isClosed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

int GuiCallGate::waitingCalls() const {
    std::lock_guard lock(mutex_);
    return waiting_;
}

} // namespace qvui
