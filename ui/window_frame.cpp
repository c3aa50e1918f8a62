#include "ui/window_frame.h"

namespace qvui {

namespace {

template <class T> void put(uint8_t* at, T v) {
    auto u = static_cast<std::make_unsigned_t<T>>(v);
    for (size_t i = 0; i < sizeof(T); ++i) at[i] = static_cast<uint8_t>(u >> (8 * i));
}

template <class T> T get(const uint8_t* at) {
    std::make_unsigned_t<T> u = 0;
    for (size_t i = 0; i < sizeof(T); ++i) u |= static_cast<std::make_unsigned_t<T>>(at[i]) << (8 * i);
    return static_cast<T>(u);
}

// A prefix shorter than the magic can already be told wrong.
bool magicPrefixMatches(std::span<const uint8_t> in, uint32_t magic) {
    for (size_t i = 0; i < in.size() && i < 4; ++i)
        if (in[i] != static_cast<uint8_t>(magic >> (8 * i))) return false;
    return true;
}

} // namespace

void encodeRequest(const WindowRequest& r, uint8_t (&out)[kRequestSize]) {
    put<uint32_t>(out, kRequestMagic);
    put<uint32_t>(out + 4, r.message);
    put<uint64_t>(out + 8, r.wParam);
    put<int64_t>(out + 16, r.lParam);
    out[24] = r.sync ? kRequestSync : 0;
}

void encodeReply(const WindowReply& r, uint8_t (&out)[kReplySize]) {
    put<uint32_t>(out, kReplyMagic);
    out[4] = static_cast<uint8_t>(r.status);
    put<int64_t>(out + 5, r.result);
}

DecodeResult decodeRequest(std::span<const uint8_t> in, WindowRequest& out) {
    if (!magicPrefixMatches(in, kRequestMagic)) return DecodeResult::Malformed;
    if (in.size() > 24 && (in[24] & ~kRequestSync) != 0) return DecodeResult::Malformed;
    if (in.size() < kRequestSize) return DecodeResult::NeedMore;
    out.message = get<uint32_t>(in.data() + 4);
    out.wParam = get<uint64_t>(in.data() + 8);
    out.lParam = get<int64_t>(in.data() + 16);
    out.sync = (in[24] & kRequestSync) != 0;
    return DecodeResult::Ok;
}

DecodeResult decodeReply(std::span<const uint8_t> in, WindowReply& out) {
    if (!magicPrefixMatches(in, kReplyMagic)) return DecodeResult::Malformed;
    if (in.size() > 4 && in[4] > static_cast<uint8_t>(ReplyStatus::BadMessage)) return DecodeResult::Malformed;
    if (in.size() < kReplySize) return DecodeResult::NeedMore;
    out.status = static_cast<ReplyStatus>(in[4]);
    out.result = get<int64_t>(in.data() + 5);
    return DecodeResult::Ok;
}

} // namespace qvui
