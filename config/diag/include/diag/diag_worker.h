// The diagnostic data thread of a scan view: one worker per view reads one
// frame per request from the current device and hands it to its own view.
//
// The view asks for a frame (raw counts, a diagnostic frame, or a diagnostic
// frame of a data kind); the worker runs the library's read on its thread, then
// sends WM_SCAN_DATA_READY (0, request index 1/2/3) to the view through a
// GuiCallGate and waits there while the view copies the frame on its own
// thread. Whether the read succeeded is kept for the view to ask while the
// delivery runs (lastReadSucceeded): a frame that was not read must never be
// taken for a new one. One request waits at a time.
//
// stop() (and the destructor) set the stop flag, close the gate (a worker
// waiting for the view gives up at once) and join, so a view that goes away
// takes its worker with it and never leaves a thread behind.
#pragma once

#include "QV_Standard.h"
#include "ui/gui_call.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

namespace vcx {

struct Controller;

class DiagDataWorker {
public:
    // The WM_SCAN_DATA_READY lParam of each request.
    enum class Request : uint8_t { Raw = 1, Diag = 2, DiagWithKind = 3 };

    // On the GUI thread, by the view that receives the frames. The worker reads
    // into `frame` with `request`; both belong to the owner and outlive the worker.
    DiagDataWorker(Controller& c, QObject* view, NewRawArray* frame, NewDiagRequest* request);
    // The same into the program-wide records (c.records.newRawArray, newDiagRequest).
    DiagDataWorker(Controller& c, QObject* view);
    ~DiagDataWorker();
    DiagDataWorker(const DiagDataWorker&) = delete;
    DiagDataWorker& operator=(const DiagDataWorker&) = delete;

    // Asks for one frame from the current device (c.dev.device now); `kind` is
    // the data kind of DiagWithKind. False when a request is waiting already or
    // the worker was stopped.
    bool request(Request r, uint8_t kind = 0);
    void stop();

    bool hasPendingRequest() const;
    // Whether the read of the delivery now running (or of the last one) gave
    // its frame; asked on the GUI thread inside WM_SCAN_DATA_READY.
    bool lastReadSucceeded() const { return lastReadOk_.load(); }
    // Deliveries waiting for the GUI thread (0 or 1).
    int waitingDeliveries() const { return gate_.waitingCalls(); }

private:
    struct Pending {
        Request request;
        uint8_t kind;
        HANDLE device;
    };
    void run();
    bool read(const Pending& p);

    Controller& c_;
    QPointer<QObject> view_;  // touched on the GUI thread only
    NewRawArray* frame_;
    NewDiagRequest* request_;
    qvui::GuiCallGate gate_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::optional<Pending> pending_;
    std::atomic<bool> lastReadOk_{false};
    std::thread thread_;
};

}  // namespace vcx
