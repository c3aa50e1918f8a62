#include "hid/touch_slots.h"

#include <algorithm>

namespace qvhid {

std::vector<TouchPacket> touchReportSlots(std::span<const uint8_t> report, size_t stride) {
    std::vector<TouchPacket> out;
    if (report.empty() || stride < kTouchPacketBytes) return out;
    const size_t count = (report.size() - 1) / stride;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        TouchPacket p;
        std::copy_n(report.begin() + 1 + i * stride, kTouchPacketBytes, p.begin());
        out.push_back(p);
    }
    return out;
}

}  // namespace qvhid
