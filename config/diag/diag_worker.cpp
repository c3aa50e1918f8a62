#include "diag/diag_worker.h"

#include "core/controller_api.h"
#include "ui/window_message.h"

namespace vcx {

DiagDataWorker::DiagDataWorker(Controller& c, QObject* view, NewRawArray* frame, NewDiagRequest* request)
    : c_(c), view_(view), frame_(frame), request_(request) {
    thread_ = std::thread([this] { run(); });
}

DiagDataWorker::DiagDataWorker(Controller& c, QObject* view)
    : DiagDataWorker(c, view, &c.records.newRawArray, &c.records.newDiagRequest) {}

DiagDataWorker::~DiagDataWorker() { stop(); }

bool DiagDataWorker::request(Request r, uint8_t kind) {
    std::lock_guard lock(mutex_);
    if (stopping_ || pending_) return false;
    pending_ = Pending{r, kind, c_.dev.device};
    wake_.notify_one();
    return true;
}

void DiagDataWorker::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_.reset();
        wake_.notify_one();
    }
    gate_.close();
    if (thread_.joinable()) thread_.join();
}

bool DiagDataWorker::hasPendingRequest() const {
    std::lock_guard lock(mutex_);
    return pending_.has_value();
}

bool DiagDataWorker::read(const Pending& p) {
    request_->scanArgument = 0;
    request_->loadArgument = 0;
    request_->dataKind = p.request == Request::DiagWithKind ? p.kind : 0;
    if (p.request == Request::Raw) return c_.api.GetNewRawCount && c_.api.GetNewRawCount(p.device, frame_, request_);
    return c_.api.GetNewDiagData && c_.api.GetNewDiagData(p.device, frame_, request_);
}

void DiagDataWorker::run() {
    for (;;) {
        Pending p{};
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || pending_.has_value(); });
            if (stopping_) return;
            p = *pending_;
            pending_.reset();
        }
        lastReadOk_ = read(p);
        // The view copies the frame on its thread while this one waits.
        const auto index = qint64(p.request);
        gate_.call([this, index] {
            if (view_) qvui::sendMessage(view_, qvui::WM_SCAN_DATA_READY, 0, index);
        });
    }
}

}  // namespace vcx
