// Fuzz target: frames from another process through the named-window layer.
// The decoder must classify any bytes as a frame, a prefix of one or malformed,
// never crash, and a decoded frame must encode back to the same bytes (nothing
// in a frame is ignored). Each decoded request then goes the way the layer
// serves it: admitted by the receiving window's table of remote messages (the
// main window's or the drawing window's, chosen by the first byte) and
// delivered, sent or posted, to that window. The drawing window is the real
// one; the main window's messages reach a recorder that checks that only its
// table's messages arrive, with the parameters the table does not carry as 0
// (a device change, whose lParam the window would read as a record, never).
#include "core/program_state.h"
#include "draw_window.h"
#include "ui/named_window.h"
#include "ui/window_frame.h"
#include "ui/window_message.h"

#include <QApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

namespace {

class Recorder : public QObject {
public:
    std::span<const qvui::RemoteMessage> table;
    int delivered = 0;

protected:
    bool event(QEvent* e) override {
        auto* m = qvui::WindowMessage::from(e);
        if (!m) return QObject::event(e);
        if (m->message() == 0x0219) __builtin_trap();
        const qvui::RemoteMessage* entry = nullptr;
        for (const auto& r : table)
            if (r.message == m->message()) entry = &r;
        if (!entry) __builtin_trap();
        if (entry->wParam == qvui::Carried::Unused && m->wParam() != 0) __builtin_trap();
        if (entry->lParam == qvui::Carried::Unused && m->lParam() != 0) __builtin_trap();
        ++delivered;
        return true;
    }
};

QApplication& app() {
    static int argc = 1;
    static char name[] = "fuzz_window_frame";
    static char* argv[] = {name, nullptr};
    static QApplication* a = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new QApplication(argc, argv);
    }();
    return *a;
}

void checkCodec(std::span<const uint8_t> in) {
    qvui::WindowRequest request;
    if (qvui::decodeRequest(in, request) == qvui::DecodeResult::Ok) {
        uint8_t again[qvui::kRequestSize];
        qvui::encodeRequest(request, again);
        if (in.size() < qvui::kRequestSize || std::memcmp(again, in.data(), qvui::kRequestSize) != 0) __builtin_trap();
    }
    qvui::WindowReply reply;
    if (qvui::decodeReply(in, reply) == qvui::DecodeResult::Ok) {
        uint8_t again[qvui::kReplySize];
        qvui::encodeReply(reply, again);
        if (in.size() < qvui::kReplySize || std::memcmp(again, in.data(), qvui::kReplySize) != 0) __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    checkCodec({data, size});
    if (size < 1) return 0;
    app();
    static Recorder* mainWindow = [] {
        auto* r = new Recorder;
        r->table = vcx::kMainWindowRemoteMessages;
        return r;
    }();
    static qvdraw::DrawWindow* drawWindow = [] {
        auto* w = new qvdraw::DrawWindow;
        w->resize(320, 240);
        return w;
    }();
    const bool toDraw = data[0] & 1;
    QObject* target = toDraw ? static_cast<QObject*>(drawWindow) : mainWindow;
    const std::span<const qvui::RemoteMessage> table =
        toDraw ? qvdraw::drawRemoteMessages() : std::span<const qvui::RemoteMessage>(vcx::kMainWindowRemoteMessages);

    // The rest is a stream of frames on one connection: served one after another
    // until one is malformed (the layer drops the connection) or the bytes end.
    std::span<const uint8_t> in(data + 1, size - 1);
    for (int frames = 0; frames < 16 && !in.empty(); ++frames) {
        qvui::WindowRequest request;
        if (qvui::decodeRequest(in, request) != qvui::DecodeResult::Ok) break;
        in = in.subspan(qvui::kRequestSize);
        const auto admitted = qvui::admitRequest(request, table);
        if (!admitted) continue;
        if (admitted->message != request.message || admitted->sync != request.sync) __builtin_trap();
        if (admitted->sync) qvui::sendMessage(target, admitted->message, admitted->wParam, admitted->lParam);
        else qvui::postMessage(target, admitted->message, admitted->wParam, admitted->lParam);
    }
    QCoreApplication::sendPostedEvents(target);
    return 0;
}
