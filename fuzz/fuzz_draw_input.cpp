// Fuzz target: QVDraw3's read path from the hidraw nodes' bytes to a decoded
// report: the touch-screen check of a node's report descriptor, and the
// processor that every report read from a node goes through, with its
// per-node caches of the logical range and the report kind asked once from the
// node's identity (vendor, product, descriptor).
//
// Input: byte 0 says which of the three nodes' identity queries fail (bits
// 0..2) and when the devices change (bit 3: after every fourth report); then
// for each node its vendor and product (2 bytes each) and a descriptor led by
// its length; then reports, each led by the node (low 2 bits) and the length.
// The maximum handed on is always positive, the slots come from inside the
// report, and the same report from a node decodes the same way again.
#include "hidraw_input.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using namespace qvdraw;

namespace {

struct Reader {
    const uint8_t* data;
    size_t size, pos = 0;
    bool empty() const { return pos >= size; }
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    std::vector<uint8_t> bytes(size_t n) {
        n = std::min(n, size - std::min(pos, size));
        std::vector<uint8_t> out(data + pos, data + pos + n);
        pos += n;
        return out;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    Reader in{data, size};
    const uint8_t flags = in.byte();
    const std::string nodes[3] = {"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw2"};
    DeviceIdentity identities[3];
    for (int i = 0; i < 3; ++i) {
        identities[i].vendor = uint16_t(in.byte() | in.byte() << 8);
        identities[i].product = uint16_t(in.byte() | in.byte() << 8);
        identities[i].descriptor = in.bytes(in.byte());
        (void)isTouchScreenDescriptor(identities[i].descriptor);
    }
    TouchReportProcessor processor([&](const std::string& node, std::string* error) -> std::optional<DeviceIdentity> {
        for (int i = 0; i < 3; ++i) {
            if (node != nodes[i]) continue;
            if (flags & (1 << i)) {
                *error = node + ": gone";
                return std::nullopt;
            }
            return identities[i];
        }
        __builtin_trap();  // asked about a node no report came from
    });

    for (int n = 0; !in.empty() && n < 64; ++n) {
        const int node = in.byte() & 3;
        if (node == 3) {
            processor.devicesChanged();
            continue;
        }
        const std::vector<uint8_t> report = in.bytes(in.byte());
        const auto decoded = processor.process(nodes[node], report);
        if (decoded.maximum <= 0) __builtin_trap();
        const int expected = report.empty() ? 0 : int((report.size() - 1) / kSlotBytes);
        if (decoded.report.slotCount != expected || int(decoded.report.contacts.size()) > expected) __builtin_trap();
        // The same report from the same node decodes the same way.
        const auto again = processor.process(nodes[node], report);
        if (again.maximum != decoded.maximum || again.report.slotCount != decoded.report.slotCount) __builtin_trap();
        if ((flags & 8) && n % 4 == 3) processor.devicesChanged();
    }
    return 0;
}
