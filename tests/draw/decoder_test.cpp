// Report decoding, the descriptor's logical range, the report kind, the
// orientation mapping and the device caches of the drawing program.
#include "touch_decoder.h"

#include <gtest/gtest.h>

#include <vector>

using namespace qvdraw;

namespace {

std::vector<uint8_t> slot(uint8_t status, int x, int y) {
    return {status, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8)};
}

std::vector<uint8_t> report(uint8_t id, std::initializer_list<std::vector<uint8_t>> parts, size_t pad = 0) {
    std::vector<uint8_t> r{id};
    for (auto& s : parts) r.insert(r.end(), s.begin(), s.end());
    r.insert(r.end(), pad, 0);
    return r;
}

} // namespace

struct DecodeCase {
    const char* name;
    std::vector<uint8_t> bytes;
    int slotCount;
    std::vector<Slot> expected;
};

TEST(DrawDecoder, DecodesSlotsStatesAndWatchdogMarks) {
    const std::vector<DecodeCase> cases = {
        {"touching id 3", report(2, {slot(0x73, 0x0123, 0x0456)}), 1, {{3, 0x70, true, false, 0x0123, 0x0456}}},
        {"lift state other than 0x70", report(2, {slot(0x45, 10, 20)}), 1, {{5, 0x40, false, false, 10, 20}}},
        {"empty slots skipped", report(1, {slot(0, 5, 5), slot(0x79, 0xFFFF, 1)}), 2, {{9, 0x70, true, false, 0xFFFF, 1}}},
        {"watchdog mark id 10 state 0x80", report(1, {slot(0x8A, 0, 0)}), 1, {{10, 0x80, false, true, 0, 0}}},
        {"id 10 touching is no watchdog", report(1, {slot(0x7A, 1, 2)}), 1, {{10, 0x70, true, false, 1, 2}}},
        {"id 11 state 0x80 is a lift, no watchdog", report(1, {slot(0x8B, 1, 2)}), 1, {{11, 0x80, false, false, 1, 2}}},
        {"trailing partial slot ignored", report(1, {slot(0x71, 7, 8)}, 4), 1, {{1, 0x70, true, false, 7, 8}}},
        {"report id only", {0x05}, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Report r = decodeReport(c.bytes);
        EXPECT_EQ(r.reportId, c.bytes[0]);
        EXPECT_EQ(r.slotCount, c.slotCount);
        ASSERT_EQ(r.contacts.size(), c.expected.size());
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(r.contacts[i].id, c.expected[i].id);
            EXPECT_EQ(r.contacts[i].state, c.expected[i].state);
            EXPECT_EQ(r.contacts[i].touching, c.expected[i].touching);
            EXPECT_EQ(r.contacts[i].watchdog, c.expected[i].watchdog);
            EXPECT_EQ(r.contacts[i].x, c.expected[i].x);
            EXPECT_EQ(r.contacts[i].y, c.expected[i].y);
        }
    }
    EXPECT_EQ(decodeReport({}).slotCount, 0);
}

TEST(DrawDecoder, MapsTheFourOrientations) {
    struct Case { int orientation; ScreenPoint expected; };
    // x = 1000, y = 500 of 2000 onto a 800 x 600 window.
    const Case cases[] = {
        {0, {400, 150}},          // (x*W/M, y*H/M)
        {1, {600, 300}},          // ((M-y)*W/M, x*H/M)
        {2, {400, 450}},          // ((M-x)*W/M, (M-y)*H/M)
        {3, {200, 300}},          // (y*W/M, (M-x)*H/M)
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.orientation);
        EXPECT_EQ(mapToScreen(1000, 500, 2000, c.orientation, 800, 600), c.expected);
    }
    // Integer arithmetic truncates; the corners land on the window's edges.
    EXPECT_EQ(mapToScreen(4095, 4095, 4095, 0, 1920, 1080), (ScreenPoint{1920, 1080}));
    EXPECT_EQ(mapToScreen(1, 1, 2047, 0, 1000, 1000), (ScreenPoint{0, 0}));
    // Large coordinates on large windows do not overflow.
    EXPECT_EQ(mapToScreen(65535, 0, 65535, 0, 65535, 10), (ScreenPoint{65535, 0}));
}

TEST(DrawDecoder, ZeroMaximumFallsBackToTheDefaultRange) {
    EXPECT_EQ(mapToScreen(2047, 1023, 0, 0, 2047, 2047), (ScreenPoint{2047, 1023}));
    EXPECT_EQ(mapToScreen(2047, 1023, -5, 2, 2047, 2047), (ScreenPoint{0, 1024}));
}

TEST(DrawDecoder, ReportKindAndMaximum) {
    EXPECT_EQ(reportKindFor(0x2E7B, 0x3508), ReportKind::SlotsWide);
    EXPECT_EQ(reportKindFor(0x2E7B, 0x0001), ReportKind::ReportIdWide);
    EXPECT_EQ(reportKindFor(0x1234, 0x3508), ReportKind::Plain);

    struct Case { ReportKind kind; uint8_t id; int slots; int32_t expected; };
    const Case cases[] = {
        {ReportKind::Plain, 1, 10, 32767},
        {ReportKind::ReportIdWide, 0, 10, 32767},
        {ReportKind::ReportIdWide, 3, 1, 4095},
        {ReportKind::SlotsWide, 1, 2, 32767},
        {ReportKind::SlotsWide, 1, 3, 4095},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.kind) * 100 + c.slots);
        EXPECT_EQ(reportMaximum(c.kind, c.id, c.slots, 32767), c.expected);
    }
}

namespace {
// A touch screen collection with one finger: X and Y with the given maxima.
std::vector<uint8_t> descriptor(uint16_t xMax, uint16_t yMax, bool usageRange = false) {
    std::vector<uint8_t> d = {0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01, 0x85, 0x01, 0x09, 0x22, 0xA1, 0x02,
                              0x09, 0x42, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x01, 0x81, 0x02,
                              0x05, 0x01, 0x15, 0x00, 0x75, 0x10, 0x95, 0x01};
    auto push = [&](uint16_t usage, uint16_t max) {
        d.insert(d.end(), {0x26, uint8_t(max), uint8_t(max >> 8), 0x09, uint8_t(usage), 0x81, 0x02});
    };
    if (usageRange && xMax == yMax) {
        d.insert(d.end(), {0x26, uint8_t(xMax), uint8_t(xMax >> 8), 0x19, 0x30, 0x29, 0x31, 0x95, 0x02, 0x81, 0x02});
    } else {
        push(0x30, xMax);
        push(0x31, yMax);
    }
    d.insert(d.end(), {0xC0, 0xC0});
    return d;
}
} // namespace

TEST(DrawDecoder, LogicalRangeFromTheReportDescriptor) {
    auto equal = logicalRangeFromDescriptor(descriptor(4095, 4095));
    ASSERT_TRUE(equal.maximum) << equal.error;
    EXPECT_EQ(*equal.maximum, 4095);

    auto ranged = logicalRangeFromDescriptor(descriptor(0x8000, 0x8000, true));
    ASSERT_TRUE(ranged.maximum) << ranged.error;
    EXPECT_EQ(*ranged.maximum, 0x8000) << "a 16-bit maximum above 0x7FFF with minimum 0 is unsigned";

    auto differ = logicalRangeFromDescriptor(descriptor(4095, 2047));
    EXPECT_FALSE(differ.maximum);
    EXPECT_NE(differ.error.find("differs"), std::string::npos) << differ.error;

    auto zero = logicalRangeFromDescriptor(descriptor(0, 0));
    EXPECT_FALSE(zero.maximum) << "a maximum of 0 would divide by zero";
    EXPECT_FALSE(zero.error.empty());

    auto d = descriptor(4095, 4095);
    d.resize(d.size() - 6); // cut inside the Y item
    auto cut = logicalRangeFromDescriptor(d);
    EXPECT_FALSE(cut.maximum);
    EXPECT_FALSE(cut.error.empty());

    const uint8_t noXY[] = {0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01, 0xC0};
    EXPECT_FALSE(logicalRangeFromDescriptor(noXY).maximum);
}

TEST(DrawDecoder, UsageRangesOfAnySizeNameXAndY) {
    // Ranges of every usage there is, thousands of them: each is looked into,
    // never listed usage by usage.
    std::vector<uint8_t> d = {0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01, 0x05, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x0F};
    for (int i = 0; i < 4000; ++i) d.insert(d.end(), {0x1B, 0, 0, 0, 0, 0x2B, 0xFF, 0xFF, 0xFF, 0xFF});
    d.insert(d.end(), {0x75, 0x10, 0x95, 0x02, 0x81, 0x02, 0xC0});
    auto range = logicalRangeFromDescriptor(d);
    ASSERT_TRUE(range.maximum) << range.error;
    EXPECT_EQ(*range.maximum, 4095);

    // A range on another page, or one that stops before Y, names no Y.
    const std::vector<uint8_t> otherPage = {0x05, 0x09, 0x26, 0xFF, 0x0F, 0x19, 0x30, 0x29, 0x31, 0x81, 0x02};
    const std::vector<uint8_t> xOnly = {0x05, 0x01, 0x26, 0xFF, 0x0F, 0x19, 0x2F, 0x29, 0x30, 0x81, 0x02};
    for (const auto* r : {&otherPage, &xOnly}) {
        auto none = logicalRangeFromDescriptor(*r);
        EXPECT_FALSE(none.maximum);
        EXPECT_NE(none.error.find("no Generic Desktop X and Y"), std::string::npos) << none.error;
    }
}

TEST(DrawDecoder, MalformedDescriptorsGiveNoRange) {
    struct Case { const char* what; std::vector<uint8_t> tail; const char* error; };
    const Case cases[] = {
        {"long item running past the end", {0xFE, 0x20, 0x10, 0x00}, "long item"},
        {"pop without push", {0xB4}, "Pop without Push"},
        {"report id 0", {0x85, 0x00}, "report id 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto d = descriptor(4095, 4095);
        d.insert(d.end(), c.tail.begin(), c.tail.end());
        auto range = logicalRangeFromDescriptor(d);
        EXPECT_FALSE(range.maximum);
        EXPECT_NE(range.error.find(c.error), std::string::npos) << range.error;
    }
}

TEST(DrawDecoder, DeviceCachesAreEmptiedByClear) {
    DeviceCaches caches;
    EXPECT_FALSE(caches.logicalRange("/dev/hidraw3"));
    caches.storeLogicalRange("/dev/hidraw3", 4095);
    caches.storeReportKind("/dev/hidraw3", ReportKind::SlotsWide);
    caches.storeReportKind("/dev/hidraw4", ReportKind::Plain);
    EXPECT_EQ(caches.logicalRange("/dev/hidraw3"), 4095);
    EXPECT_EQ(caches.reportKind("/dev/hidraw3"), ReportKind::SlotsWide);
    EXPECT_FALSE(caches.logicalRange("/dev/hidraw4"));
    caches.clear();
    EXPECT_TRUE(caches.empty());
    EXPECT_FALSE(caches.reportKind("/dev/hidraw3"));
}
