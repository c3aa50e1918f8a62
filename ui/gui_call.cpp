#include "ui/gui_call.h"

#include "ui/window_message.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>

namespace qvui {

// A caller's call, on the caller's stack while it waits; the gate's lock guards
// every field, and runNext() reaches it only through queued_.
struct GuiCallGate::Pending {
    const std::function<void()>* fn = nullptr;
    bool running = false;
    bool done = false;
};

GuiCallGate::GuiCallGate(QObject* parent) : QObject(parent) {
    // Once the event loop has ended nothing would run a queued call.
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &GuiCallGate::close, Qt::DirectConnection);
}

GuiCallGate::~GuiCallGate() {
    // The callers that close() releases still leave through mutex_ and changed_:
    // they must be gone before those are.
    std::unique_lock lock(mutex_);
    closed_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return waiting_ == 0; });
}

bool GuiCallGate::call(const std::function<void()>& fn) {
    if (std::this_thread::get_id() == home_) {
        if (isClosed()) return false;
        fn();
        return true;
    }
    Pending p;
    p.fn = &fn;
    std::unique_lock lock(mutex_);
    if (closed_) return false;
    queued_.push_back(&p);
    ++waiting_;
    // Only a wake-up goes through Qt's event queue, with nothing of the call in
    // it: the call itself is handed over in queued_ under mutex_, so every
    // thread that touches it is ordered by a lock the thread sanitizer sees
    // (Qt's own queue lock is not). Queued to the gate: dropped if the gate is
    // destroyed first.
    QMetaObject::invokeMethod(this, "runNext", Qt::QueuedConnection);
    changed_.wait(lock, [&] { return p.done || (closed_ && !p.running); });
    if (!p.done) std::erase(queued_, &p); // released: its call never runs later
    --waiting_;
    changed_.notify_all();
    return p.done;
}

void GuiCallGate::runNext() {
    Pending* p = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (closed_ || queued_.empty()) return; // its caller has already been released
        p = queued_.front();
        queued_.pop_front();
        p->running = true;
    }
    (*p->fn)();
    std::lock_guard lock(mutex_);
    p->running = false;
    p->done = true; // from here the caller may return and `p` be gone
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
