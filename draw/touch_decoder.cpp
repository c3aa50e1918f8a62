#include "touch_decoder.h"

#include "hid/report_descriptor.h"
#include "hid/touch_slots.h"

namespace qvdraw {

namespace {

constexpr uint16_t kGenericDesktop = 0x01;
constexpr uint16_t kUsageX = 0x30;
constexpr uint16_t kUsageY = 0x31;

} // namespace

ReportKind reportKindFor(uint16_t vendor, uint16_t product) {
    if (vendor != kVendorQuorvane) return ReportKind::Plain;
    return product == kProductSlotCounted ? ReportKind::SlotsWide : ReportKind::ReportIdWide;
}

LogicalRange logicalRangeFromDescriptor(std::span<const uint8_t> d) {
    LogicalRange out;
    std::optional<int64_t> xMax, yMax;
    std::string conflict;
    const bool wellFormed = qvhid::walkMainItems(
        d,
        [&](const qvhid::MainItem& item) {
            if (item.tag != qvhid::kInput) return;
            const int64_t maxValue = item.globals->logicalMaximumValue();
            for (uint16_t id : {kUsageX, kUsageY}) {
                if (!item.names(qvhid::extendedUsage(kGenericDesktop, id))) continue;
                auto& slot = id == kUsageX ? xMax : yMax;
                if (slot && *slot != maxValue && conflict.empty())
                    conflict = std::string(id == kUsageX ? "X" : "Y") +
                               " logical maxima differ between input items (" + std::to_string(*slot) + " and " +
                               std::to_string(maxValue) + ")";
                slot = maxValue;
            }
        },
        &out.error);
    if (!wellFormed) return out;
    if (!conflict.empty()) { out.error = conflict; return out; }
    if (!xMax || !yMax) { out.error = "report descriptor has no Generic Desktop X and Y input"; return out; }
    if (*xMax != *yMax) {
        out.error = "X logical maximum " + std::to_string(*xMax) + " differs from Y logical maximum " + std::to_string(*yMax);
        return out;
    }
    if (*xMax <= 0 || *xMax > INT32_MAX) {
        out.error = "logical maximum " + std::to_string(*xMax) + " cannot scale coordinates";
        return out;
    }
    out.maximum = int32_t(*xMax);
    return out;
}

int32_t reportMaximum(ReportKind kind, uint8_t reportId, int slotCount, int32_t logicalMax) {
    if (kind == ReportKind::ReportIdWide && reportId != 0) return kWideLogicalMax;
    if (kind == ReportKind::SlotsWide && slotCount > 2) return kWideLogicalMax;
    return logicalMax;
}

Report decodeReport(std::span<const uint8_t> report) {
    Report out;
    if (report.empty()) return out;
    out.reportId = report[0];
    const auto slots = qvhid::touchReportSlots(report, kSlotBytes);
    out.slotCount = int(slots.size());
    for (const qvhid::TouchPacket& p : slots) {
        if (p[0] == 0) continue;
        Slot slot;
        slot.id = p[0] & 0x0F;
        slot.state = p[0] & 0xF0;
        slot.touching = slot.state == kStateTouching;
        slot.watchdog = slot.id == kWatchdogId && slot.state == kStateWatchdog;
        slot.x = p[1] | (p[2] << 8);
        slot.y = p[3] | (p[4] << 8);
        out.contacts.push_back(slot);
    }
    return out;
}

ScreenPoint mapToScreen(int x, int y, int32_t maximum, int orientation, int width, int height) {
    const int64_t m = maximum > 0 ? maximum : kDefaultLogicalMax;
    const int64_t w = width, h = height;
    switch (orientation & 3) {
    case 1: return {int((m - y) * w / m), int(x * h / m)};
    case 2: return {int((m - x) * w / m), int((m - y) * h / m)};
    case 3: return {int(y * w / m), int((m - x) * h / m)};
    default: return {int(x * w / m), int(y * h / m)};
    }
}

std::optional<int32_t> DeviceCaches::logicalRange(const std::string& device) const {
    auto it = ranges_.find(device);
    if (it == ranges_.end()) return std::nullopt;
    return it->second;
}
void DeviceCaches::storeLogicalRange(const std::string& device, int32_t maximum) { ranges_[device] = maximum; }
std::optional<ReportKind> DeviceCaches::reportKind(const std::string& device) const {
    auto it = kinds_.find(device);
    if (it == kinds_.end()) return std::nullopt;
    return it->second;
}
void DeviceCaches::storeReportKind(const std::string& device, ReportKind kind) { kinds_[device] = kind; }
void DeviceCaches::clear() {
    ranges_.clear();
    kinds_.clear();
}

} // namespace qvdraw
