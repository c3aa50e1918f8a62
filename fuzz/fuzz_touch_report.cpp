// Fuzz target: QVDraw3's touch decoding. The first seven bytes choose the
// report kind, the orientation, the logical maximum and the window size; the
// rest is one input report, and the whole input is also read as a report
// descriptor. Every slot is read from inside the report, and a coordinate
// within the range lands inside the window.
#include "touch_decoder.h"

#include <cstddef>
#include <cstdint>

using namespace qvdraw;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const LogicalRange range = logicalRangeFromDescriptor({data, size});
    if (range.maximum && (*range.maximum <= 0 || !range.error.empty())) __builtin_trap();
    if (!range.maximum && range.error.empty()) __builtin_trap();

    if (size < 7) return 0;
    const auto kind = ReportKind(data[0] % 3);
    const int orientation = data[0] >> 2;  // mapToScreen takes it modulo 4
    const int32_t logical = int32_t(data[1] | data[2] << 8) - 1;  // -1..65534: 0 and below are refused ranges
    const int width = data[3] | data[4] << 8;
    const int height = data[5] | data[6] << 8;
    const std::span<const uint8_t> bytes(data + 7, size - 7);

    const Report report = decodeReport(bytes);
    const int slots = bytes.empty() ? 0 : int((bytes.size() - 1) / kSlotBytes);
    if (report.slotCount != slots || int(report.contacts.size()) > slots) __builtin_trap();
    if (!bytes.empty() && report.reportId != bytes[0]) __builtin_trap();

    const int32_t maximum = reportMaximum(kind, report.reportId, report.slotCount, logical);
    const int64_t m = maximum > 0 ? maximum : kDefaultLogicalMax;
    for (const Slot& s : report.contacts) {
        if (s.id > 15 || (s.state & 0x0F) || s.touching != (s.state == kStateTouching)) __builtin_trap();
        if (s.x < 0 || s.x > 0xFFFF || s.y < 0 || s.y > 0xFFFF) __builtin_trap();
        const ScreenPoint p = mapToScreen(s.x, s.y, maximum, orientation, width, height);
        if (s.x <= m && s.y <= m && (p.x < 0 || p.x > width || p.y < 0 || p.y > height)) __builtin_trap();
    }
    return 0;
}
