// Fuzz target: the touch decoding of outside bytes. The input's first byte picks
// the path (a HID report of either form, a serial stream of each series, the
// plug-and-play matcher); the rest is what the device sent. Every packet taken
// must lie inside the input, every call carry a known state, and the decoder's
// head capture stay within its size.
#include "touch_decoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace qvlib::touch;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void decodeAll(Decoder& d, int slot, const std::vector<std::array<uint8_t, 5>>& packets) {
    for (const auto& p : packets) {
        TouchCall c;
        if (!d.decode(slot, p.data(), &c)) continue;
        const int kind = c.state & 0xF0;
        check(kind >= 0x10 && kind <= 0xF0 && c.x >= 0 && c.x <= 0xFFFF && c.y >= 0 && c.y <= 0xFFFF);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0] % 6;
    const uint8_t* body = data + 1;
    const size_t n = size - 1;
    Decoder d;
    d.setCapture(true);
    switch (mode) {
    case 0:
    case 1: {
        const auto l = LayoutOfReport(body, n, mode == 1);
        check(l.packets == 0 || 1 + (l.packets - 1) * l.packetSize < n);
        decodeAll(d, int(n % 17), PacketsOfReport(body, n, mode == 1));
        break;
    }
    case 2:
    case 3:
    case 4: {
        SerialAssembler a(uint8_t(mode - 2));
        std::vector<std::array<uint8_t, 5>> packets;
        // Split in two reads: an assembler keeps a packet across reads.
        a.feed(body, n / 2, &packets);
        a.feed(body + n / 2, n - n / 2, &packets);
        check(packets.size() <= n / 5 + 1);
        decodeAll(d, int(mode), packets);
        break;
    }
    default: {
        PnpMatcher m(1 + (n & 1));
        const uint8_t r = m.feed(body, n);
        check(r == 0 || r == 1 || r == 0xFF);
        break;
    }
    }
    check(d.captureCount() >= 0 && d.captureCount() <= int(kHeadCapacity));
    return 0;
}
