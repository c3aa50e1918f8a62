#include "touch_decoder.h"

namespace qvdraw {

ReportKind reportKindFor(uint16_t vendor, uint16_t product) {
    if (vendor != kVendorQuorvane) return ReportKind::Plain;
    return product == kProductSlotCounted ? ReportKind::SlotsWide : ReportKind::ReportIdWide;
}

namespace {

struct GlobalState {
    uint32_t usagePage = 0;
    int64_t logicalMin = 0;
    int64_t logicalMax = 0;
    uint32_t logicalMaxRaw = 0; // the item's bytes read unsigned
};

int64_t signedValue(uint32_t raw, int size) {
    switch (size) {
    case 1: return int8_t(raw);
    case 2: return int16_t(raw);
    default: return int32_t(raw);
    }
}

} // namespace

LogicalRange logicalRangeFromDescriptor(std::span<const uint8_t> d) {
    LogicalRange out;
    GlobalState global;
    std::vector<GlobalState> stack;
    std::vector<uint32_t> usages; // extended (page << 16 | id) or plain ids
    std::optional<uint32_t> usageMin;
    std::optional<int64_t> xMax, yMax;
    std::string conflict;

    size_t i = 0;
    while (i < d.size()) {
        uint8_t prefix = d[i];
        if (prefix == 0xFE) { // long item: skip its data
            if (i + 1 >= d.size()) break;
            i += 3 + d[i + 1];
            continue;
        }
        int size = prefix & 3;
        if (size == 3) size = 4;
        if (i + 1 + size > d.size()) {
            out.error = "report descriptor ends inside an item at byte " + std::to_string(i);
            return out;
        }
        uint32_t raw = 0;
        for (int b = 0; b < size; ++b) raw |= uint32_t(d[i + 1 + b]) << (8 * b);
        int type = (prefix >> 2) & 3;
        int tag = prefix >> 4;
        i += 1 + size;

        if (type == 1) { // global
            if (tag == 0) global.usagePage = raw;
            else if (tag == 1) global.logicalMin = signedValue(raw, size);
            else if (tag == 2) { global.logicalMax = signedValue(raw, size); global.logicalMaxRaw = raw; }
            else if (tag == 10) stack.push_back(global);
            else if (tag == 11 && !stack.empty()) { global = stack.back(); stack.pop_back(); }
        } else if (type == 2) { // local
            if (tag == 0) usages.push_back(size == 4 ? raw : (global.usagePage << 16) | raw);
            else if (tag == 1) usageMin = size == 4 ? raw : (global.usagePage << 16) | raw;
            else if (tag == 2 && usageMin) {
                // Usage minimum..maximum names every usage between them.
                uint32_t last = size == 4 ? raw : (global.usagePage << 16) | raw;
                for (uint32_t u = *usageMin; u <= last && u - *usageMin < 0x10000; ++u) usages.push_back(u);
                usageMin.reset();
            }
        } else if (type == 0) { // main
            if (tag == 8) { // input
                int64_t maxValue = global.logicalMax;
                // A logical maximum read negative with a non-negative minimum is unsigned.
                if (maxValue < 0 && global.logicalMin >= 0) maxValue = global.logicalMaxRaw;
                for (uint32_t u : usages) {
                    uint32_t page = u >> 16, id = u & 0xFFFF;
                    if (page != 1 || (id != 0x30 && id != 0x31)) continue;
                    auto& slot = id == 0x30 ? xMax : yMax;
                    if (slot && *slot != maxValue && conflict.empty())
                        conflict = std::string(id == 0x30 ? "X" : "Y") + " logical maxima differ between input items (" +
                                   std::to_string(*slot) + " and " + std::to_string(maxValue) + ")";
                    slot = maxValue;
                }
            }
            usages.clear();
            usageMin.reset();
        }
    }
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
    out.slotCount = int((report.size() - 1) / kSlotBytes);
    for (int s = 0; s < out.slotCount; ++s) {
        const uint8_t* p = report.data() + 1 + s * kSlotBytes;
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
