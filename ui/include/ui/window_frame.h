// The frames of the named-window layer on its local sockets, little-endian:
//   request  "QVWM" magic u32, message u32, wParam u64, lParam i64, flags u8 (bit 0: synchronous)
//   reply    "QVWR" magic u32, status u8, result i64
// A request is answered by one reply: for a synchronous one after the window
// handled it (result = the handler's result), for a posted one once it is queued.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

namespace qvui {

constexpr uint32_t kRequestMagic = 0x4D575651; // "QVWM"
constexpr uint32_t kReplyMagic = 0x52575651;   // "QVWR"
constexpr size_t kRequestSize = 25;
constexpr size_t kReplySize = 13;
constexpr uint8_t kRequestSync = 0x01;

struct WindowRequest {
    uint32_t message = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
    bool sync = false;
};

enum class ReplyStatus : uint8_t {
    Delivered = 0,
    NoWindow = 1,       // the window went away before it could be delivered
    BadMessage = 2,     // a number the layer cannot carry, or one the window does not take from other processes
};

struct WindowReply {
    ReplyStatus status = ReplyStatus::Delivered;
    int64_t result = 0;
};

enum class DecodeResult { NeedMore, Ok, Malformed };

void encodeRequest(const WindowRequest& r, uint8_t (&out)[kRequestSize]);
void encodeReply(const WindowReply& r, uint8_t (&out)[kReplySize]);
// Decodes one frame from the start of `in`: NeedMore while fewer bytes than a
// frame arrived (unless what arrived is already wrong), Malformed for a wrong
// magic, unknown flag bits or status.
DecodeResult decodeRequest(std::span<const uint8_t> in, WindowRequest& out);
DecodeResult decodeReply(std::span<const uint8_t> in, WindowReply& out);

} // namespace qvui
