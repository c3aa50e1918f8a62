// A blocking call from a worker thread onto the GUI thread (the design's
// SendMessage from the library's callback threads), with a way out: when the GUI
// thread shuts the workers down it first closes the gate, which wakes every
// caller still waiting and makes later calls fail at once. A GUI thread that
// joins a worker blocked in such a call therefore never deadlocks.
#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <optional>

namespace qvui {

class GuiCallGate : public QObject {
    Q_OBJECT
public:
    // Lives on the thread that creates it (the GUI thread); calls run there.
    explicit GuiCallGate(QObject* parent = nullptr);
    // Closes the gate and waits until the callers it released have left it.
    ~GuiCallGate() override;

    // Runs `fn` on the gate's thread and waits for it. From that thread itself
    // it runs at once. False when the gate was closed before `fn` could start;
    // a call that has started is always waited for, since it may use the
    // caller's data.
    bool call(const std::function<void()>& fn);
    // Sends the window message to `window` on the gate's thread and returns the
    // handler's result; nothing when the gate closed or the window is gone.
    std::optional<qint64> sendMessage(QObject* window, quint32 message, quint64 wParam, qint64 lParam);

    // Called on the gate's thread before waiting for the workers; also when the
    // application is about to quit.
    void close();
    bool isClosed() const;
    // Callers blocked in call() now (for shutdown diagnostics and tests).
    int waitingCalls() const;

private:
    struct Pending;
    // On the gate's thread, once per queued call: runs the oldest waiting one.
    Q_INVOKABLE void runNext();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
    int waiting_ = 0;
    std::deque<Pending*> queued_; // the calls not yet started, oldest first
    // The creating thread, told apart without QThread::currentThread(): asked on
    // a library thread, Qt would adopt that thread and keep data for it.
    const std::thread::id home_ = std::this_thread::get_id();
};

} // namespace qvui
