// HID report descriptors: the item walk and its bounds, the state main items
// see, and what a host learns of a device (collections, report ids, lengths).
#include "hid/report_descriptor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvhid {
namespace {

using Bytes = std::vector<uint8_t>;

struct Walked {
    std::vector<Item> items;
    std::string error;
};

Walked walkItems(std::span<const uint8_t> d) {
    Walked out;
    ItemIterator it(d);
    Item item;
    while (it.next(&item)) out.items.push_back(item);
    out.error = it.error();
    EXPECT_FALSE(it.next(&item)) << "a finished walk stays finished";
    return out;
}

// The descriptor cut to len bytes and copied into a buffer of exactly that
// size, so that a read past its end is an error the sanitizer builds catch.
Bytes cut(const Bytes& bytes, size_t len) { return Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(len)); }

TEST(HidItems, ShortItemsLongItemsAndCutOffItems) {
    struct Expected {
        size_t offset;
        ItemType type;
        uint8_t tag;
        uint8_t size;
        uint32_t data;
    };
    struct Case {
        const char* what;
        Bytes bytes;
        size_t len;  // how much of bytes is the descriptor; the rest lies past its end
        std::vector<Expected> items;
        const char* error;  // "" for a walk to the end, else a part of the error
    };
    constexpr size_t all = ~size_t{0};
    const Case cases[] = {
        {"empty", {}, all, {}, ""},
        {"0, 1, 2 and 4 data bytes, little-endian",
         {0xC0, 0x05, 0x0D, 0x26, 0xFF, 0x0F, 0x27, 0x78, 0x56, 0x34, 0x12},
         all,
         {{0, ItemType::Main, 0xC, 0, 0},
          {1, ItemType::Global, 0x0, 1, 0x0D},
          {3, ItemType::Global, 0x2, 2, 0x0FFF},
          {6, ItemType::Global, 0x2, 4, 0x12345678}},
         ""},
        {"local and reserved types", {0x09, 0x30, 0x1C}, all,
         {{0, ItemType::Local, 0x0, 1, 0x30}, {2, ItemType::Reserved, 0x1, 0, 0}}, ""},
        {"long item skipped by its size, its data not read as items",
         {0xFE, 0x03, 0x10, 0x81, 0x81, 0x81, 0x75, 0x08}, all, {{6, ItemType::Global, 0x7, 1, 8}}, ""},
        {"long item without data", {0xFE, 0x00, 0x10, 0xC0}, all, {{3, ItemType::Main, 0xC, 0, 0}}, ""},
        {"long item with 255 data bytes at the very end", [] {
             Bytes b{0x75, 0x08, 0xFE, 0xFF, 0x10};
             b.resize(b.size() + 255, 0x81);
             return b;
         }(), all, {{0, ItemType::Global, 0x7, 1, 8}}, ""},
        // Cut off, with what would complete them lying just past the end.
        {"one data byte missing", {0x75, 0x08, 0x95, 0x02}, 3, {{0, ItemType::Global, 0x7, 1, 8}},
         "ends inside the item at byte 2 (1 data bytes, 0 left)"},
        {"four-byte data cut off", {0x97, 0x02, 0x00, 0x00, 0x00}, 3, {}, "at byte 0 (4 data bytes, 2 left)"},
        {"long item header cut off", {0xC0, 0xFE, 0x00, 0x10}, 3, {{0, ItemType::Main, 0xC, 0, 0}},
         "long item at byte 1"},
        {"long item size byte only", {0xFE, 0x00}, 1, {}, "long item at byte 0"},
        {"long item data cut off", {0xFE, 0x04, 0x10, 0x01, 0x02, 0x03, 0x04}, 6, {}, "long item at byte 0"},
        {"long item data of 255 bytes runs past the end", {0xFE, 0xFF, 0x10, 0x00}, all, {}, "long item at byte 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes exact = cut(c.bytes, c.len == all ? c.bytes.size() : c.len);
        for (std::span<const uint8_t> d : {std::span<const uint8_t>(exact), std::span<const uint8_t>(c.bytes).first(exact.size())}) {
            const Walked w = walkItems(d);
            ASSERT_EQ(w.items.size(), c.items.size());
            for (size_t i = 0; i < c.items.size(); ++i) {
                SCOPED_TRACE(i);
                EXPECT_EQ(w.items[i].offset, c.items[i].offset);
                EXPECT_EQ(w.items[i].type, c.items[i].type);
                EXPECT_EQ(w.items[i].tag, c.items[i].tag);
                EXPECT_EQ(w.items[i].size, c.items[i].size);
                EXPECT_EQ(w.items[i].data, c.items[i].data);
            }
            if (*c.error) EXPECT_NE(w.error.find(c.error), std::string::npos) << w.error;
            else EXPECT_EQ(w.error, "");
        }
    }
}

TEST(HidItems, SignedDataExtendsFromTheItemsSize) {
    struct Case {
        uint8_t size;
        uint32_t data;
        int32_t expected;
    };
    const Case cases[] = {{0, 0, 0},           {1, 0x7F, 127},      {1, 0x81, -127},
                          {2, 0x8000, -32768}, {2, 0x7FFF, 32767},  {4, 0x80000000u, INT32_MIN},
                          {4, 0xFFFFFFFFu, -1}};
    for (const auto& c : cases) {
        Item item;
        item.size = c.size;
        item.data = c.data;
        EXPECT_EQ(item.signedData(), c.expected) << int(c.size) << " " << c.data;
    }
}

// ---- main items and the state they see ----

struct SeenMain {
    size_t offset;
    uint8_t tag;
    GlobalState globals;
    std::vector<UsageRange> usages;
};

std::vector<SeenMain> mainItems(const Bytes& d, std::string* error = nullptr) {
    std::vector<SeenMain> out;
    std::string why;
    const bool ok = walkMainItems(
        d, [&](const MainItem& m) { out.push_back({m.offset, m.tag, *m.globals, {m.usages.begin(), m.usages.end()}}); },
        &why);
    EXPECT_EQ(ok, why.empty()) << why;
    if (error) *error = why;
    return out;
}

TEST(HidMainItems, GlobalsFollowPushAndPopAndLocalsEndAtEachMainItem) {
    const Bytes d = {
        0x05, 0x01,                    // usage page Generic Desktop
        0x85, 0x01, 0x75, 0x08, 0x95, 0x06,  // report 1, 8 x 6
        0xA4,                          // push
        0x85, 0x02, 0x75, 0x10, 0x95, 0x01, 0x05, 0x0D,
        0x09, 0x42, 0x81, 0x02,        // report 2, 16 x 1, Digitizer / Tip Switch
        0xB4,                          // pop
        0x09, 0x30, 0x81, 0x02,        // back to report 1, 8 x 6, Generic Desktop / X
        0x81, 0x03,                    // no usages of its own
    };
    const auto seen = mainItems(d);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].globals.reportId, 2);
    EXPECT_EQ(seen[0].globals.reportSize * seen[0].globals.reportCount, 16u);
    ASSERT_EQ(seen[0].usages.size(), 1u);
    EXPECT_EQ(seen[0].usages[0].first, extendedUsage(0x0D, 0x42));
    EXPECT_EQ(seen[1].offset, 24u);
    EXPECT_EQ(seen[1].globals.reportId, 1);
    EXPECT_EQ(seen[1].globals.reportSize * seen[1].globals.reportCount, 48u);
    ASSERT_EQ(seen[1].usages.size(), 1u);
    EXPECT_EQ(seen[1].usages[0].first, extendedUsage(0x01, 0x30)) << "the page popped back";
    EXPECT_TRUE(seen[2].usages.empty());
}

TEST(HidMainItems, UsagesAndRangesAreKeptAsRanges) {
    const Bytes d = {
        0x05, 0x09,                                // page Button
        0x19, 0x01, 0x29, 0x05,                    // buttons 1..5
        0x0B, 0x31, 0x00, 0x01, 0x00,              // four-byte usage: Generic Desktop / Y, own page
        0x29, 0x07,                                // a maximum without its minimum names nothing
        0x1B, 0x00, 0x00, 0x00, 0x00, 0x2B, 0xFF, 0xFF, 0xFF, 0xFF,  // every usage there is
        0x19, 0x05, 0x29, 0x02,                    // minimum above maximum: names none
        0x81, 0x02,
    };
    const auto seen = mainItems(d);
    ASSERT_EQ(seen.size(), 1u);
    const auto& u = seen[0].usages;
    ASSERT_EQ(u.size(), 4u);
    EXPECT_EQ(u[0].first, extendedUsage(0x09, 1));
    EXPECT_EQ(u[0].last, extendedUsage(0x09, 5));
    EXPECT_EQ(u[1].first, extendedUsage(0x01, 0x31));
    EXPECT_EQ(u[1].last, u[1].first);
    EXPECT_EQ(u[2].first, 0u);
    EXPECT_EQ(u[2].last, 0xFFFFFFFFu);

    GlobalState g;
    MainItem m;
    m.globals = &g;
    const std::vector<UsageRange> buttonsAndY = {u[0], u[1]};
    m.usages = buttonsAndY;
    struct Case {
        uint32_t usage;
        bool named;
    };
    const Case cases[] = {{extendedUsage(0x09, 1), true},    {extendedUsage(0x09, 3), true},
                          {extendedUsage(0x09, 5), true},    {extendedUsage(0x09, 6), false},
                          {extendedUsage(0x09, 0), false},   {extendedUsage(0x08, 3), false},
                          {extendedUsage(0x01, 0x31), true}, {extendedUsage(0x01, 0x30), false}};
    for (const auto& c : cases) EXPECT_EQ(m.names(c.usage), c.named) << std::hex << c.usage;
    m.usages = std::span(u).subspan(3);
    for (uint16_t id = 1; id <= 6; ++id) EXPECT_FALSE(m.names(extendedUsage(0x09, id))) << id;
}

TEST(HidMainItems, HugeUsageRangesCostOneEntryEach) {
    // Thousands of ranges of four billion usages each: expanded, they would
    // need more memory than any machine has.
    Bytes d;
    constexpr int kRanges = 4000;
    for (int i = 0; i < kRanges; ++i) d.insert(d.end(), {0x1B, 0, 0, 0, 0, 0x2B, 0xFF, 0xFF, 0xFF, 0xFF});
    d.insert(d.end(), {0x75, 0x10, 0x95, 0x02, 0x81, 0x02});
    const auto seen = mainItems(d);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].usages.size(), size_t(kRanges));
}

TEST(HidMainItems, LogicalMaximumReadsUnsignedOnlyOverANonNegativeMinimum) {
    struct Case {
        const char* what;
        Bytes items;
        int64_t expected;
    };
    const Case cases[] = {
        {"two bytes 0x8000 over 0", {0x15, 0x00, 0x26, 0x00, 0x80}, 0x8000},
        {"one byte 0xFF over 0", {0x15, 0x00, 0x25, 0xFF}, 255},
        {"four bytes 0xFFFFFFFF over 0", {0x15, 0x00, 0x27, 0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFF},
        {"negative over a negative minimum stays signed", {0x16, 0x00, 0x80, 0x25, 0xFF}, -1},
        {"positive stays as it is", {0x15, 0x81, 0x25, 0x7F}, 127},
        {"no minimum item: 0", {0x26, 0xFF, 0xFF}, 0xFFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes d = c.items;
        d.insert(d.end(), {0x81, 0x02});
        const auto seen = mainItems(d);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].globals.logicalMaximumValue(), c.expected);
    }
}

TEST(HidMainItems, MalformedDescriptorsFailWithWhereAndWhy) {
    struct Case {
        const char* what;
        Bytes bytes;
        size_t mainItemsBefore;
        const char* error;
    };
    const Case cases[] = {
        {"pop without push", {0x81, 0x02, 0xA4, 0xB4, 0xB4, 0x81, 0x02}, 1, "Pop without Push at byte 4"},
        {"report id 0", {0x85, 0x00, 0x81, 0x02}, 0, "report id 0 at byte 0"},
        {"report id 256", {0x81, 0x02, 0x86, 0x00, 0x01}, 1, "report id 256 at byte 2"},
        {"item cut off", {0x81, 0x02, 0xC0, 0x26, 0xFF}, 2, "ends inside the item at byte 3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        EXPECT_EQ(mainItems(c.bytes, &error).size(), c.mainItemsBefore);
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    // No place for the reason: still false.
    EXPECT_FALSE(walkMainItems(Bytes{0xB4}, [](const MainItem&) {}, nullptr));
}

// ---- what a host learns ----

TEST(HidDescriptorInfo, ReportLengthsPerTypeAndId) {
    struct Case {
        const char* what;
        Bytes bytes;
        int input, output, feature;
        bool ids;
    };
    const Case cases[] = {
        {"empty", {}, 0, 0, 0, false},
        {"no ids: bits round up, the id byte is counted", {0x75, 0x01, 0x95, 0x03, 0x81, 0x02}, 2, 0, 0, false},
        {"items of one report add up", {0x75, 0x08, 0x95, 0x02, 0x81, 0x02, 0x75, 0x04, 0x95, 0x03, 0x81, 0x02},
         5, 0, 0, false},
        {"a report of no bits is still a report", {0x81, 0x02}, 1, 0, 0, false},
        {"types are counted apart", {0x75, 0x08, 0x95, 0x04, 0xB1, 0x02, 0x95, 0x02, 0x91, 0x02}, 0, 3, 5, false},
        {"ids: the longest report, its items added wherever they stand",
         {0x85, 0x01, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02,  // id 1: 2 bytes
          0x85, 0x02, 0x95, 0x04, 0x81, 0x02,              // id 2: 4 bytes
          0x85, 0x01, 0x95, 0x03, 0x81, 0x02},             // id 1: 3 more
         6, 0, 0, true},
        {"report at the largest length", {0x75, 0x08, 0x96, 0xFF, 0x3F, 0x81, 0x02}, 16384, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        const auto info = parseDescriptor(c.bytes, &error);
        ASSERT_TRUE(info) << error;
        EXPECT_EQ(info->reportLength(ReportType::Input), c.input);
        EXPECT_EQ(info->reportLength(ReportType::Output), c.output);
        EXPECT_EQ(info->reportLength(ReportType::Feature), c.feature);
        EXPECT_EQ(info->hasFeatureReport(), c.feature > 0);
        EXPECT_EQ(info->usesReportIds, c.ids);
    }
}

TEST(HidDescriptorInfo, OversizedAndMalformedDescriptorsAreRefused) {
    struct Case {
        const char* what;
        Bytes bytes;
        const char* error;
    };
    const Case cases[] = {
        {"one byte over the largest report", {0x75, 0x08, 0x96, 0x00, 0x40, 0x81, 0x02},
         "input report 0 is longer than 16383 bytes at byte 5"},
        {"size times count beyond 32 bits does not wrap",
         {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x91, 0x02}, "output report 0 is longer"},
        {"items whose bits would wrap a 64-bit sum", [] {
             Bytes b{0x85, 0x07, 0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF};
             for (int i = 0; i < 64; ++i) b.insert(b.end(), {0xB1, 0x02});
             return b;
         }(), "feature report 7 is longer"},
        {"a cut-off item", {0x75, 0x08, 0x95}, "ends inside the item at byte 2"},
        {"pop without push", {0xB4}, "Pop without Push"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        EXPECT_FALSE(parseDescriptor(c.bytes, &error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

// A multi-touch digitizer with report ids: two fingers and the contact count
// in input report 1, the contact count maximum in feature report 2; beside it
// a vendor-defined collection with a 63-byte feature report 3 and a 5-byte
// output report 4.
const Bytes kDigitizer = {
    0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01,  // Digitizer / Touch Screen, application
    0x85, 0x01,                          //   report 1
    0x09, 0x22, 0xA1, 0x02,              //   finger, logical
    0xA4,                                //     push
    0x09, 0x42, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x01, 0x81, 0x02,  // tip switch, 1 bit
    0x95, 0x07, 0x81, 0x03,                                                  // 7 bits padding
    0x09, 0x51, 0x25, 0x0F, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02,              // contact id, 8 bits
    0x05, 0x01, 0x26, 0xFF, 0x0F, 0x75, 0x10, 0x09, 0x30, 0x81, 0x02,        // X, 16 bits
    0x09, 0x31, 0x81, 0x02,                                                  // Y, 16 bits
    0xB4, 0xC0,                          //     pop, end finger
    0x09, 0x22, 0xA1, 0x02,              //   second finger, the same 48 bits
    0xA4, 0x09, 0x42, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x01, 0x81, 0x02, 0x95, 0x07, 0x81, 0x03,
    0x09, 0x51, 0x25, 0x0F, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0x05, 0x01, 0x26, 0xFF, 0x0F, 0x75, 0x10,
    0x09, 0x30, 0x81, 0x02, 0x09, 0x31, 0x81, 0x02, 0xB4, 0xC0,
    0x09, 0x54, 0x25, 0x0A, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02,  // contact count, 8 bits
    0x85, 0x02, 0x09, 0x55, 0xB1, 0x02,                          // feature 2: contact count maximum
    0xC0,
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,  // vendor page 0xFF00, usage 1, application
    0x85, 0x03, 0x09, 0x02, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x3F, 0xB1, 0x02,
    0x85, 0x04, 0x09, 0x03, 0x95, 0x05, 0x91, 0x02,
    0xC0,
};

TEST(HidDescriptorInfo, DigitizerWithReportIdsAndAVendorCollection) {
    std::string error;
    const auto info = parseDescriptor(kDigitizer, &error);
    ASSERT_TRUE(info) << error;
    EXPECT_TRUE(info->usesReportIds);
    ASSERT_EQ(info->applications.size(), 2u) << "the finger collections are logical ones";
    EXPECT_TRUE(info->applications[0].touchScreen());
    EXPECT_EQ(info->applications[1].usage, 0xFF000001u);
    EXPECT_FALSE(info->applications[1].touchScreen());
    EXPECT_TRUE(info->hasTouchScreen());
    EXPECT_TRUE(info->hasFeatureReport());
    EXPECT_EQ(info->inputBits, (std::map<uint8_t, uint64_t>{{1, 2 * 48 + 8}}));
    EXPECT_EQ(info->featureBits, (std::map<uint8_t, uint64_t>{{2, 8}, {3, 63 * 8}}));
    EXPECT_EQ(info->outputBits, (std::map<uint8_t, uint64_t>{{4, 5 * 8}}));
    EXPECT_EQ(info->reportLength(ReportType::Input), 14);
    EXPECT_EQ(info->reportLength(ReportType::Feature), 64);
    EXPECT_EQ(info->reportLength(ReportType::Output), 6);

    // Cut between two items the descriptor still reads; cut inside one it is
    // refused, not read in part.
    std::vector<bool> boundary(kDigitizer.size() + 1, false);
    ItemIterator items(kDigitizer);
    Item item;
    while (items.next(&item)) boundary[item.offset] = true;
    for (size_t len = 1; len < kDigitizer.size(); ++len) {
        SCOPED_TRACE(len);
        EXPECT_EQ(parseDescriptor(cut(kDigitizer, len), nullptr).has_value(), bool(boundary[len]));
    }
}

TEST(HidDescriptorInfo, VendorFeatureCollectionWithoutIds) {
    const Bytes d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x01, 0x15, 0x00, 0x26, 0xFF,
                     0x00, 0x75, 0x08, 0x95, 0x05, 0xB1, 0x02, 0xC0};
    std::string error;
    const auto info = parseDescriptor(d, &error);
    ASSERT_TRUE(info) << error;
    EXPECT_FALSE(info->usesReportIds);
    ASSERT_EQ(info->applications.size(), 1u);
    EXPECT_EQ(info->applications[0].usage, 0xFF000001u);
    EXPECT_FALSE(info->hasTouchScreen());
    EXPECT_TRUE(info->hasFeatureReport());
    EXPECT_EQ(info->featureBits, (std::map<uint8_t, uint64_t>{{0, 40}}));
    EXPECT_EQ(info->reportLength(ReportType::Feature), 6);
    EXPECT_EQ(info->reportLength(ReportType::Input), 0);
}

TEST(HidDescriptorInfo, ApplicationCollectionTakesTheFirstUsageBeforeIt) {
    struct Case {
        const char* what;
        Bytes bytes;
        std::vector<uint32_t> applications;
    };
    const Case cases[] = {
        {"touch screen", {0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01, 0xC0}, {kUsageTouchScreen}},
        {"pen is no touch screen", {0x05, 0x0D, 0x09, 0x02, 0xA1, 0x01, 0xC0}, {extendedUsage(0x0D, 0x02)}},
        {"a physical collection is no application", {0x05, 0x0D, 0x09, 0x04, 0xA1, 0x00, 0xC0}, {}},
        {"the first of two usages", {0x05, 0x0D, 0x09, 0x04, 0x09, 0x02, 0xA1, 0x01, 0xC0}, {kUsageTouchScreen}},
        {"an extended usage on another page", {0x05, 0x01, 0x0B, 0x04, 0x00, 0x0D, 0x00, 0xA1, 0x01, 0xC0},
         {kUsageTouchScreen}},
        {"no usage", {0xA1, 0x01, 0xC0}, {0}},
        {"the usage ends at the collection", {0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01, 0xC0, 0xA1, 0x01, 0xC0},
         {kUsageTouchScreen, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto info = parseDescriptor(c.bytes, nullptr);
        ASSERT_TRUE(info);
        std::vector<uint32_t> usages;
        for (const auto& a : info->applications) usages.push_back(a.usage);
        EXPECT_EQ(usages, c.applications);
    }
}

}  // namespace
}  // namespace qvhid
