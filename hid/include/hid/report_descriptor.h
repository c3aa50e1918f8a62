// HID report descriptors: one bounded walk over their items, the parser state
// each main item is declared with, and what a host learns of a device from its
// descriptor (application collections, report ids, report lengths).
//
// Pure code: no operating system and no Qt, so the platform layer and the
// programs read descriptors the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qvhid {

enum class ItemType : uint8_t { Main = 0, Global = 1, Local = 2, Reserved = 3 };

// Main item tags.
constexpr uint8_t kInput = 0x8;
constexpr uint8_t kOutput = 0x9;
constexpr uint8_t kCollection = 0xA;
constexpr uint8_t kFeature = 0xB;
constexpr uint8_t kEndCollection = 0xC;
// The Collection item's data for an application collection.
constexpr uint32_t kApplicationCollection = 0x01;

// An extended usage: the usage page in the high 16 bits, the usage id in the low.
constexpr uint32_t extendedUsage(uint16_t page, uint16_t id) { return uint32_t{page} << 16 | id; }
constexpr uint32_t kUsageTouchScreen = extendedUsage(0x0D, 0x04);  // Digitizer / Touch Screen

// Reports longer than this many bytes (the id byte not counted) make a
// descriptor malformed: no host's report buffer takes them (Linux refuses the
// device), and it keeps every sum of report bits small.
constexpr uint64_t kMaxReportBytes = 16383;

// One short item.
struct Item {
    size_t offset = 0;  // of its prefix byte
    ItemType type = ItemType::Main;
    uint8_t tag = 0;    // 0..15
    uint8_t size = 0;   // data bytes: 0, 1, 2 or 4
    uint32_t data = 0;  // the data bytes, little-endian, unsigned
    // The data sign-extended from its size.
    int32_t signedData() const;
};

// Walks the short items of a descriptor in order. Long items (prefix 0xFE:
// size byte, tag byte, data) are skipped by their own size. Every item is
// checked against the descriptor's end before a byte of it is read; an item
// that runs past the end ends the walk, and error() says where.
class ItemIterator {
public:
    explicit ItemIterator(std::span<const uint8_t> descriptor) : d_(descriptor) {}
    // The next short item; false at the end of the descriptor or at a cut-off
    // item (error() is not empty then), and on every call after that.
    bool next(Item* item);
    const std::string& error() const { return error_; }

private:
    std::span<const uint8_t> d_;
    size_t pos_ = 0;
    std::string error_;
};

// A run of usages named by the local items before a main item: a Usage is a
// range of one, Usage Minimum followed by Usage Maximum one range. Ranges stay
// ranges (one may name four billion usages); first > last names none.
struct UsageRange {
    uint32_t first = 0;  // extended usages
    uint32_t last = 0;
};

// The global items in force, as a main item sees them.
struct GlobalState {
    uint32_t usagePage = 0;
    int32_t logicalMinimum = 0;
    int32_t logicalMaximum = 0;           // read signed from its size
    uint32_t logicalMaximumUnsigned = 0;  // the same bytes read unsigned
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint8_t reportId = 0;  // 0: no Report ID item so far

    // The logical maximum. One that reads negative over a minimum that does
    // not is meant unsigned (0x8000 written in two bytes, without a sign byte).
    int64_t logicalMaximumValue() const;
};

struct MainItem {
    size_t offset = 0;
    uint8_t tag = 0;    // kInput, kOutput, kFeature, kCollection, kEndCollection or a reserved tag
    uint32_t data = 0;  // the item's flags, or the collection type
    const GlobalState* globals = nullptr;
    std::span<const UsageRange> usages;  // in the order the local items gave them

    // Whether one of the usages is this extended usage.
    bool names(uint32_t usage) const;
    // The bits of the report the item declares: report size x report count.
    uint64_t bits() const { return uint64_t{globals->reportSize} * globals->reportCount; }
};

// Walks the descriptor keeping the global state (with Push and Pop) and the
// local usages, and calls onMain for every main item; local usages end at each
// main item. false, with the reason and its byte offset in *error, for a
// malformed descriptor: an item cut off, a Pop without a Push, a report id 0
// or above 255. Main items before the fault have been seen by then.
bool walkMainItems(std::span<const uint8_t> descriptor, const std::function<void(const MainItem&)>& onMain,
                   std::string* error);

enum class ReportType { Input, Output, Feature };

struct ApplicationCollection {
    uint32_t usage = 0;  // extended usage: the first usage named before the Collection item, 0 for none
    bool touchScreen() const { return usage == kUsageTouchScreen; }
};

// What a host learns of a device from its descriptor.
struct DescriptorInfo {
    // Report ID items are used (then no report has id 0).
    bool usesReportIds = false;
    std::vector<ApplicationCollection> applications;  // in descriptor order
    // The bits of each report by report id (0 for a device without ids),
    // summed over its main items wherever they stand; an id is present once a
    // main item of that type declares it, even with no bits.
    std::map<uint8_t, uint64_t> inputBits, outputBits, featureBits;

    bool hasTouchScreen() const;
    bool hasFeatureReport() const { return !featureBits.empty(); }
    const std::map<uint8_t, uint64_t>& bits(ReportType type) const;
    // The report length a host gives for the type: the bytes of the longest
    // report with the report-id byte in front, that byte counted also for a
    // device without ids (its reports then travel behind a 0). 0: the
    // descriptor declares no report of the type.
    int reportLength(ReportType type) const;
};

// The descriptor read through: nullopt, with the reason in *error, when it is
// malformed (walkMainItems) or declares a report longer than kMaxReportBytes.
std::optional<DescriptorInfo> parseDescriptor(std::span<const uint8_t> descriptor, std::string* error);

}  // namespace qvhid
