#include "hid/report_descriptor.h"

#include <algorithm>

namespace qvhid {

namespace {

constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr uint8_t kDataSizes[4] = {0, 1, 2, 4};

// Global item tags.
constexpr uint8_t kUsagePage = 0x0;
constexpr uint8_t kLogicalMinimum = 0x1;
constexpr uint8_t kLogicalMaximum = 0x2;
constexpr uint8_t kReportSize = 0x7;
constexpr uint8_t kReportId = 0x8;
constexpr uint8_t kReportCount = 0x9;
constexpr uint8_t kPush = 0xA;
constexpr uint8_t kPop = 0xB;
// Local item tags.
constexpr uint8_t kUsage = 0x0;
constexpr uint8_t kUsageMinimum = 0x1;
constexpr uint8_t kUsageMaximum = 0x2;

std::string at(size_t offset) { return " at byte " + std::to_string(offset); }

// A usage item's data as an extended usage: four bytes carry their own page.
uint32_t extended(const Item& item, const GlobalState& g) {
    return item.size == 4 ? item.data : (g.usagePage & 0xFFFF) << 16 | (item.data & 0xFFFF);
}

const char* typeName(ReportType type) {
    switch (type) {
    case ReportType::Input: return "input";
    case ReportType::Output: return "output";
    default: return "feature";
    }
}

}  // namespace

int32_t Item::signedData() const {
    switch (size) {
    case 0: return 0;
    case 1: return int8_t(data);
    case 2: return int16_t(data);
    default: return int32_t(data);
    }
}

bool ItemIterator::next(Item* item) {
    while (error_.empty() && pos_ < d_.size()) {
        const size_t offset = pos_;
        const uint8_t prefix = d_[offset];
        const size_t left = d_.size() - offset - 1;  // bytes after the prefix
        if (prefix == kLongItemPrefix) {
            // [0xFE][data size][long item tag][data]; no long item is defined, so all are skipped.
            if (left < 2 || left - 2 < d_[offset + 1]) {
                error_ = "report descriptor ends inside the long item" + at(offset);
                return false;
            }
            pos_ = offset + 3 + d_[offset + 1];
            continue;
        }
        const uint8_t size = kDataSizes[prefix & 3];
        if (left < size) {
            error_ = "report descriptor ends inside the item" + at(offset) + " (" + std::to_string(size) +
                     " data bytes, " + std::to_string(left) + " left)";
            return false;
        }
        Item it;
        it.offset = offset;
        it.type = ItemType((prefix >> 2) & 3);
        it.tag = prefix >> 4;
        it.size = size;
        for (size_t b = 0; b < size; ++b) it.data |= uint32_t{d_[offset + 1 + b]} << (8 * b);
        pos_ = offset + 1 + size;
        *item = it;
        return true;
    }
    return false;
}

int64_t GlobalState::logicalMaximumValue() const {
    if (logicalMaximum < 0 && logicalMinimum >= 0) return logicalMaximumUnsigned;
    return logicalMaximum;
}

bool MainItem::names(uint32_t usage) const {
    return std::any_of(usages.begin(), usages.end(),
                       [usage](const UsageRange& r) { return r.first <= usage && usage <= r.last; });
}

bool walkMainItems(std::span<const uint8_t> descriptor, const std::function<void(const MainItem&)>& onMain,
                   std::string* error) {
    auto fail = [error](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    GlobalState g;
    std::vector<GlobalState> stack;
    std::vector<UsageRange> usages;
    // A Usage Minimum waiting for its Usage Maximum.
    bool haveMinimum = false;
    uint32_t usageMinimum = 0;

    ItemIterator items(descriptor);
    Item item;
    while (items.next(&item)) {
        switch (item.type) {
        case ItemType::Global:
            switch (item.tag) {
            case kUsagePage: g.usagePage = item.data; break;
            case kLogicalMinimum: g.logicalMinimum = item.signedData(); break;
            case kLogicalMaximum:
                g.logicalMaximum = item.signedData();
                g.logicalMaximumUnsigned = item.data;
                break;
            case kReportSize: g.reportSize = item.data; break;
            case kReportId:
                if (item.data == 0 || item.data > 255)
                    return fail("report id " + std::to_string(item.data) + at(item.offset) + " (ids are 1..255)");
                g.reportId = uint8_t(item.data);
                break;
            case kReportCount: g.reportCount = item.data; break;
            case kPush: stack.push_back(g); break;
            case kPop:
                if (stack.empty()) return fail("Pop without Push" + at(item.offset));
                g = stack.back();
                stack.pop_back();
                break;
            default: break;
            }
            break;
        case ItemType::Local:
            if (item.tag == kUsage) {
                const uint32_t u = extended(item, g);
                usages.push_back({u, u});
            } else if (item.tag == kUsageMinimum) {
                usageMinimum = extended(item, g);
                haveMinimum = true;
            } else if (item.tag == kUsageMaximum && haveMinimum) {
                usages.push_back({usageMinimum, extended(item, g)});
                haveMinimum = false;
            }
            break;
        case ItemType::Main: {
            MainItem main;
            main.offset = item.offset;
            main.tag = item.tag;
            main.data = item.data;
            main.globals = &g;
            main.usages = usages;
            onMain(main);
            usages.clear();
            haveMinimum = false;
            break;
        }
        case ItemType::Reserved: break;
        }
    }
    if (!items.error().empty()) return fail(items.error());
    return true;
}

bool DescriptorInfo::hasTouchScreen() const {
    return std::any_of(applications.begin(), applications.end(),
                       [](const ApplicationCollection& a) { return a.touchScreen(); });
}

const std::map<uint8_t, uint64_t>& DescriptorInfo::bits(ReportType type) const {
    switch (type) {
    case ReportType::Input: return inputBits;
    case ReportType::Output: return outputBits;
    default: return featureBits;
    }
}

int DescriptorInfo::reportLength(ReportType type) const {
    const auto& reports = bits(type);
    if (reports.empty()) return 0;
    uint64_t longest = 0;
    for (const auto& [id, n] : reports) longest = std::max(longest, n);
    return int((longest + 7) / 8 + 1);
}

std::optional<DescriptorInfo> parseDescriptor(std::span<const uint8_t> descriptor, std::string* error) {
    DescriptorInfo info;
    std::string tooLong;
    auto add = [&](ReportType type, std::map<uint8_t, uint64_t>& reports, const MainItem& m) {
        uint64_t& total = reports[m.globals->reportId];
        // Both terms are at most kMaxReportBytes x 8 here: the sum cannot wrap.
        const uint64_t bits = std::min(m.bits(), kMaxReportBytes * 8 + 1);
        total = std::min(total + bits, kMaxReportBytes * 8 + 1);
        if (total > kMaxReportBytes * 8 && tooLong.empty())
            tooLong = std::string(typeName(type)) + " report " + std::to_string(m.globals->reportId) +
                      " is longer than " + std::to_string(kMaxReportBytes) + " bytes" + at(m.offset);
    };
    const bool wellFormed = walkMainItems(
        descriptor,
        [&](const MainItem& m) {
            if (m.globals->reportId != 0) info.usesReportIds = true;
            switch (m.tag) {
            case kInput: add(ReportType::Input, info.inputBits, m); break;
            case kOutput: add(ReportType::Output, info.outputBits, m); break;
            case kFeature: add(ReportType::Feature, info.featureBits, m); break;
            case kCollection:
                if (m.data == kApplicationCollection)
                    info.applications.push_back({m.usages.empty() ? 0 : m.usages.front().first});
                break;
            default: break;
            }
        },
        error);
    if (!wellFormed) return std::nullopt;
    if (!tooLong.empty()) {
        if (error) *error = tooLong;
        return std::nullopt;
    }
    return info;
}

}  // namespace qvhid
