// Decoding of the digitizer's multi-touch input reports: the report layout,
// the coordinate range from the report descriptor, the report kind chosen by
// vendor and product, the mapping onto the window for the four display
// orientations, and the per-device caches that arrival or removal empties.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qvdraw {

constexpr int kMaxContacts = 10;         // contact ids 0..9 are drawn
constexpr int32_t kDefaultLogicalMax = 2047;
constexpr int32_t kWideLogicalMax = 4095;
constexpr int kSlotBytes = 5;            // [status][X lo][X hi][Y lo][Y hi]
constexpr uint8_t kStateTouching = 0x70;
constexpr uint8_t kStateWatchdog = 0x80;
constexpr int kWatchdogId = 10;
constexpr uint16_t kVendorQuorvane = 0x2E7B;
constexpr uint16_t kProductSlotCounted = 0x3508;

// How a device's reports choose their coordinate range.
enum class ReportKind : int {
    Plain = 0,       // the descriptor's logical maximum
    ReportIdWide = 1, // 4095 when the report id byte is not 0
    SlotsWide = 2,    // 4095 when the report has more than two slots
};

ReportKind reportKindFor(uint16_t vendor, uint16_t product);

struct LogicalRange {
    std::optional<int32_t> maximum; // set when X and Y agree and are above 0
    std::string error;              // why not, otherwise
};
// The logical maximum of the Generic Desktop X and Y usages of the input items.
LogicalRange logicalRangeFromDescriptor(std::span<const uint8_t> descriptor);

// The maximum that one report's coordinates run to.
int32_t reportMaximum(ReportKind kind, uint8_t reportId, int slotCount, int32_t logicalMax);

struct Slot {
    int id = 0;             // status & 0x0F
    uint8_t state = 0;      // status & 0xF0
    bool touching = false;  // state 0x70; any other state is a lift
    bool watchdog = false;  // id 10 with state 0x80
    int x = 0;
    int y = 0;
};

struct Report {
    uint8_t reportId = 0;
    int slotCount = 0;        // slots in the report, empty ones included
    std::vector<Slot> contacts;  // the non-empty slots, in report order
};
// One input report: byte 0 the report id, then (size - 1) / 5 slots.
Report decodeReport(std::span<const uint8_t> report);

struct ScreenPoint {
    int x = 0;
    int y = 0;
    bool operator==(const ScreenPoint&) const = default;
};
// Report coordinates onto a width x height window for orientation 0..3.
// A maximum of 0 or below would divide by zero: the default range is used.
ScreenPoint mapToScreen(int x, int y, int32_t maximum, int orientation, int width, int height);

// Per-device caches of the logical range and the report kind, keyed by the
// device's node; emptied when any device arrives or leaves.
class DeviceCaches {
public:
    std::optional<int32_t> logicalRange(const std::string& device) const;
    void storeLogicalRange(const std::string& device, int32_t maximum);
    std::optional<ReportKind> reportKind(const std::string& device) const;
    void storeReportKind(const std::string& device, ReportKind kind);
    void clear();
    bool empty() const { return ranges_.empty() && kinds_.empty(); }

private:
    std::map<std::string, int32_t> ranges_;
    std::map<std::string, ReportKind> kinds_;
};

} // namespace qvdraw
