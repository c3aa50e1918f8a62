#include "ui/gui_call.h"
#include "ui/window_message.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <optional>
#include <thread>
#include <vector>

using namespace qvui;

namespace {

constexpr quint32 kAsk = WM_USER + 50;

// Answers kAsk with wParam * 2 and notes the thread it ran on.
class Window : public QObject {
public:
    std::atomic<int> handled{0};
    QThread* ranOn = nullptr;

protected:
    bool event(QEvent* e) override {
        if (auto* m = WindowMessage::from(e); m && m->message() == kAsk) {
            ranOn = QThread::currentThread();
            m->setResult(qint64(m->wParam()) * 2);
            ++handled;
            return true;
        }
        return QObject::event(e);
    }
};

// Runs the GUI side's event loop until the worker is done (waiting for a thread, not for time).
void serveUntil(const std::atomic<bool>& done) {
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::yield();
    }
}

TEST(GuiCallGate, WorkerSendRunsOnTheGuiThreadAndReturnsTheResult) {
    GuiCallGate gate;
    Window window;
    std::atomic<bool> done{false};
    std::optional<qint64> result;
    std::thread worker([&] {
        result = gate.sendMessage(&window, kAsk, 21, 0);
        done = true;
    });
    serveUntil(done);
    worker.join();
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, 42);
    EXPECT_EQ(window.ranOn, QThread::currentThread());

    // From the GUI thread itself the call runs at once.
    EXPECT_EQ(gate.sendMessage(&window, kAsk, 4, 0), std::optional<qint64>(8));
}

// Several workers calling at once: every call runs once, on the GUI thread, and
// its result goes back to the worker that asked. The GUI side only delivers the
// posted events, without the event loop's wake-up (a file descriptor, which the
// thread sanitizer takes as ordering the threads): under the sanitizer this
// checks that the gate hands each call over under a lock the sanitizer sees
// (Qt's queue lock it does not).
TEST(GuiCallGate, CallsOfSeveralWorkersEachRunOnceForTheirCaller) {
    GuiCallGate gate;
    Window window;
    constexpr int kWorkers = 3, kCalls = 40;
    std::array<int, kWorkers> wrong{};
    std::atomic<int> finished{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w)
        workers.emplace_back([&, w] {
            for (int i = 0; i < kCalls; ++i) {
                const quint64 asked = quint64(w * 1000 + i);
                if (gate.sendMessage(&window, kAsk, asked, 0) != std::optional<qint64>(qint64(asked) * 2)) ++wrong[w];
            }
            if (++finished == kWorkers) done = true;
        });
    while (!done) {
        QCoreApplication::sendPostedEvents();
        std::this_thread::yield();
    }
    for (auto& t : workers) t.join();
    EXPECT_EQ(wrong, (std::array<int, kWorkers>{}));
    EXPECT_EQ(window.handled, kWorkers * kCalls);
    EXPECT_EQ(window.ranOn, QThread::currentThread());
}

TEST(GuiCallGate, ClosingReleasesABlockedWorkerAndDropsItsCall) {
    GuiCallGate gate;
    Window window;
    std::optional<qint64> result = 0;
    std::thread worker([&] { result = gate.sendMessage(&window, kAsk, 1, 0); });
    // The GUI thread is busy shutting down: it does not run its event loop.
    while (gate.waitingCalls() == 0) std::this_thread::yield();
    gate.close();
    worker.join(); // would hang forever without the way out
    EXPECT_FALSE(result.has_value());

    QCoreApplication::processEvents();
    EXPECT_EQ(window.handled, 0); // the abandoned call never runs later

    std::thread late([&] { result = gate.sendMessage(&window, kAsk, 1, 0); });
    late.join();
    EXPECT_FALSE(result.has_value());
    EXPECT_EQ(gate.waitingCalls(), 0);
}

TEST(GuiCallGate, StartedCallIsWaitedForEvenWhenItClosesTheGate) {
    GuiCallGate gate;
    std::atomic<bool> done{false};
    bool ran = false, finished = false;
    std::thread worker([&] {
        ran = gate.call([&] {
            gate.close(); // shutdown begins inside a call that uses the worker's data
            finished = true;
        });
        done = true;
    });
    serveUntil(done);
    worker.join();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(finished);
}

// A gate destroyed while a worker waits in it (a notification gate replaced after
// it closed): the worker it releases still has to leave through the gate's lock,
// so the gate must not be gone before it has.
// Whether the worker leaves before or after the gate's memory is freed depends
// on the scheduler: a few rounds give the sanitizers their chance to see it.
TEST(GuiCallGate, DestroyingTheGateLetsTheWorkersItReleasedLeaveFirst) {
    for (int round = 0; round < 50; ++round) {
        auto* gate = new GuiCallGate;
        std::optional<bool> ran;
        std::thread worker([&] { ran = gate->call([] {}); });
        while (gate->waitingCalls() == 0) std::this_thread::yield();
        delete gate;
        worker.join();
        EXPECT_EQ(ran, std::optional<bool>(false));
    }
}

TEST(GuiCallGate, WindowGoneBeforeTheCallRuns) {
    GuiCallGate gate;
    auto* window = new Window;
    std::atomic<bool> done{false};
    std::optional<qint64> result = 0;
    std::thread worker([&] {
        result = gate.sendMessage(window, kAsk, 1, 0);
        done = true;
    });
    while (gate.waitingCalls() == 0) std::this_thread::yield();
    delete window;
    serveUntil(done);
    worker.join();
    EXPECT_FALSE(result.has_value());
}

} // namespace
