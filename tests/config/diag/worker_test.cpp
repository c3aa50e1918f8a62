// The per-view diagnostic data worker on the simulated diag panel: one request
// gives one read and one delivery on the GUI thread, each view gets only its own
// frames, a stop while a delivery waits returns, and a command sent from another
// thread during the reads never cuts a frame.
#include "diag/diag_worker.h"
#include "diag_support.h"
#include "ui/window_message.h"
#include "wait_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Worker = vcx::DiagDataWorker;

// A scan view as far as the worker sees it: it copies the frame it is told of.
class FrameView : public QObject {
public:
    explicit FrameView(const NewRawArray* frame) : frame_(frame) {}
    struct Delivery {
        qint64 wParam, lParam;
        bool onGuiThread;
        std::vector<uint16_t> mutual;
    };
    std::vector<Delivery> deliveries;

    bool event(QEvent* e) override {
        if (auto* m = qvui::WindowMessage::from(e)) {
            if (m->message() == qvui::WM_SCAN_DATA_READY)
                deliveries.push_back({qint64(m->wParam()), m->lParam(), QThread::currentThread() == thread(),
                                      std::vector<uint16_t>(frame_->mutual, frame_->mutual + frame_->mutualCount)});
            return true;
        }
        return QObject::event(e);
    }

private:
    const NewRawArray* frame_;
};

// Runs the GUI thread's events until `done` (a ceiling against a hang only).
template <class Done>
bool ProcessUntil(Done done) {
    QDeadlineTimer deadline(30000);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

using diagtest::Mutual;

class DiagWorker : public diagtest::DiagBench {
protected:
    // A view with its own frame and request, as each scan view has.
    struct View {
        NewRawArray frame{};
        NewDiagRequest request{sizeof(NewDiagRequest), 0, 0, 0, 0};
        FrameView view{&frame};
    };
    void SetUp() override { ASSERT_TRUE(open("diag")); }
    void build(View& v) { ASSERT_EQ(BuildNewRawArray(c.dev.device, &v.frame), 1); }
    void free(View& v) { FreeNewRawArray(c.dev.device, &v.frame); }
    int scansStarted() {
        int n = 0;
        for (const auto& p : qvtest::Received(ctl())) n += p[0] == 0xF9 && p[1] == 0xFF && p[2] == 0x91;
        return n;
    }
};

TEST_F(DiagWorker, OneRequestGivesOneReadAndOneDeliveryOnTheGuiThread) {
    View v;
    build(v);
    ctl().clearTrace();
    {
        Worker w(c, &v.view, &v.frame, &v.request);
        ASSERT_TRUE(w.request(Worker::Request::Raw));
        ASSERT_TRUE(ProcessUntil([&] { return !v.view.deliveries.empty(); }));
        // The worker is idle again: nothing more comes.
        ASSERT_TRUE(ProcessUntil([&] { return !w.hasPendingRequest() && w.waitingDeliveries() == 0; }));
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(v.view.deliveries.size(), 1u);
    const auto& d = v.view.deliveries[0];
    EXPECT_EQ(d.wParam, 0);
    EXPECT_EQ(d.lParam, 1);
    EXPECT_TRUE(d.onGuiThread);
    EXPECT_EQ(d.mutual, Mutual(ctl().profile(), qvsim::kSensorRaw, 1));
    EXPECT_EQ(scansStarted(), 1);
    const auto cmds = sent();
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "FA 00 55 00 00"), 1);
    free(v);
}

TEST_F(DiagWorker, DiagnosticRequestsLoadTheirKind) {
    View v;
    build(v);
    Worker w(c, &v.view, &v.frame, &v.request);
    ASSERT_TRUE(w.request(Worker::Request::Raw));
    ASSERT_TRUE(ProcessUntil([&] { return v.view.deliveries.size() == 1; }));
    ctl().clearTrace();
    ASSERT_TRUE(w.request(Worker::Request::Diag, 0x81));  // the kind belongs to DiagWithKind only
    ASSERT_TRUE(ProcessUntil([&] { return v.view.deliveries.size() == 2; }));
    ASSERT_TRUE(w.request(Worker::Request::DiagWithKind, 0x81));
    ASSERT_TRUE(ProcessUntil([&] { return v.view.deliveries.size() == 3; }));
    EXPECT_EQ(v.view.deliveries[1].lParam, 2);
    EXPECT_EQ(v.view.deliveries[1].mutual, Mutual(ctl().profile(), qvsim::kSensorBaseline, 1));
    EXPECT_EQ(v.view.deliveries[2].lParam, 3);
    EXPECT_EQ(v.view.deliveries[2].mutual, Mutual(ctl().profile(), 0x81, 1));
    const auto cmds = sent();
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "F9 FF 92 00 00"), 1);
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "F9 FF 92 00 81"), 1);
    EXPECT_EQ(scansStarted(), 0);
    w.stop();
    free(v);
}

TEST_F(DiagWorker, OneRequestWaitsAtATimeAndNoneAfterStop) {
    View v;
    build(v);
    Worker w(c, &v.view, &v.frame, &v.request);
    // This thread handles no events yet, so the worker waits in its first delivery.
    ASSERT_TRUE(w.request(Worker::Request::Raw));
    while (w.waitingDeliveries() == 0) std::this_thread::yield();
    ASSERT_TRUE(w.request(Worker::Request::Raw));
    EXPECT_FALSE(w.request(Worker::Request::Diag));
    ASSERT_TRUE(ProcessUntil([&] { return v.view.deliveries.size() == 2; }));
    w.stop();
    EXPECT_FALSE(w.request(Worker::Request::Raw));
    free(v);
}

TEST_F(DiagWorker, AStopWhileADeliveryWaitsReturns) {
    View v;
    build(v);
    auto w = std::make_unique<Worker>(c, &v.view, &v.frame, &v.request);
    ASSERT_TRUE(w->request(Worker::Request::Raw));
    // This thread handles no events, so the worker stays in its delivery.
    while (w->waitingDeliveries() == 0) std::this_thread::yield();
    w->stop();
    EXPECT_EQ(w->waitingDeliveries(), 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(v.view.deliveries.empty());
    // A worker destroyed in the same state takes its thread with it.
    auto w2 = std::make_unique<Worker>(c, &v.view, &v.frame, &v.request);
    ASSERT_TRUE(w2->request(Worker::Request::Raw));
    while (w2->waitingDeliveries() == 0) std::this_thread::yield();
    w2.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(v.view.deliveries.empty());
    free(v);
}

TEST_F(DiagWorker, TwoViewsEachGetOnlyTheirOwnFrames) {
    View a, b;
    build(a);
    build(b);
    Worker wa(c, &a.view, &a.frame, &a.request), wb(c, &b.view, &b.frame, &b.request);
    ASSERT_TRUE(wa.request(Worker::Request::Raw));
    ASSERT_TRUE(wb.request(Worker::Request::DiagWithKind, 0x80));
    ASSERT_TRUE(ProcessUntil([&] { return !a.view.deliveries.empty() && !b.view.deliveries.empty(); }));
    ASSERT_TRUE(ProcessUntil([&] { return wa.waitingDeliveries() == 0 && wb.waitingDeliveries() == 0; }));
    QCoreApplication::processEvents();
    ASSERT_EQ(a.view.deliveries.size(), 1u);
    ASSERT_EQ(b.view.deliveries.size(), 1u);
    EXPECT_EQ(a.view.deliveries[0].lParam, 1);
    EXPECT_EQ(b.view.deliveries[0].lParam, 3);
    EXPECT_EQ(a.view.deliveries[0].mutual, Mutual(ctl().profile(), qvsim::kSensorRaw, 1));
    // The mode frame of whichever scan was the latest when view b's read ran.
    const auto& mode = b.view.deliveries[0].mutual;
    EXPECT_TRUE(mode == Mutual(ctl().profile(), 0x80, 0) || mode == Mutual(ctl().profile(), 0x80, 1));
    wa.stop();
    wb.stop();
    free(a);
    free(b);
}

// A timer's command during the worker's bulk read would end the transfer and cut
// the frame; the library keeps the frame read one conversation.
TEST_F(DiagWorker, ACommandLoopOnAnotherThreadNeverCutsAFrame) {
    View v;
    build(v);
    std::atomic<bool> done{false};
    std::atomic<int> commands{0}, failed{0};
    std::thread polling([&] {
        const uint8_t cmd[5] = {0xE0, 0x00, 0xF7, 0x00, 0x00};
        while (!done) {
            uint8_t reply[5] = {};
            if (SendCmd(c.dev.device, cmd, reply) != 1) ++failed;
            ++commands;
        }
    });
    Worker w(c, &v.view, &v.frame, &v.request);
    // The polling thread must really run beside the reads, however the machine
    // schedules it: the frames start once it has sent a command, and go on (up
    // to a ceiling) until it has sent a good number more while they ran.
    ASSERT_TRUE(qvtest::waitUntil([&] { return commands.load() > 0; }));
    const int before = commands.load();
    constexpr int kFrames = 200, kMostFrames = 5000, kCommandsBeside = 50;
    int frames = 0;
    while (frames < kFrames || (commands.load() - before < kCommandsBeside && frames < kMostFrames)) {
        ASSERT_TRUE(w.request(Worker::Request::Raw));
        ASSERT_TRUE(ProcessUntil([&] { return v.view.deliveries.size() == size_t(frames + 1); }));
        ++frames;
    }
    const int beside = commands.load() - before;
    done = true;
    polling.join();
    w.stop();
    EXPECT_EQ(failed.load(), 0);
    EXPECT_GE(beside, kCommandsBeside);
    int wrong = 0;
    for (int i = 0; i < frames; ++i)
        wrong += v.view.deliveries[size_t(i)].mutual != Mutual(ctl().profile(), qvsim::kSensorRaw, uint32_t(i + 1));
    EXPECT_EQ(wrong, 0);
    free(v);
}

}  // namespace
