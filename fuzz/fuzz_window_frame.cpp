// Fuzz target: the named-window frame decoder must classify any bytes as a
// frame, a prefix of one or malformed, never crash, and a decoded frame must
// encode back to the same bytes (nothing in a frame is ignored).
#include "ui/window_frame.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> in(data, size);
    qvui::WindowRequest request;
    if (qvui::decodeRequest(in, request) == qvui::DecodeResult::Ok) {
        uint8_t again[qvui::kRequestSize];
        qvui::encodeRequest(request, again);
        if (size < qvui::kRequestSize || std::memcmp(again, data, qvui::kRequestSize) != 0) __builtin_trap();
    }
    qvui::WindowReply reply;
    if (qvui::decodeReply(in, reply) == qvui::DecodeResult::Ok) {
        uint8_t again[qvui::kReplySize];
        qvui::encodeReply(reply, again);
        if (size < qvui::kReplySize || std::memcmp(again, data, qvui::kReplySize) != 0) __builtin_trap();
    }
    return 0;
}
