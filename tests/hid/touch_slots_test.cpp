// Touch reports cut into slots: how many a report holds at a stride, where
// each one is read from, and the reports and strides that hold none.
#include "hid/touch_slots.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace qvhid {
namespace {

using Bytes = std::vector<uint8_t>;

// A report of `size` bytes whose byte i is i (the id byte is 0), so every
// packet tells by its first byte where it was read.
Bytes countingReport(size_t size) {
    Bytes r(size);
    std::iota(r.begin(), r.end(), uint8_t{0});
    return r;
}

TEST(TouchSlots, AReportIsCutIntoWholeSlotsAfterItsIdByte) {
    struct Case {
        const char* name;
        size_t size;
        size_t stride;
        std::vector<uint8_t> firstBytes;  // of each packet: where its slot starts
    };
    const Case cases[] = {
        {"empty report", 0, 5, {}},
        {"id byte alone", 1, 5, {}},
        {"a part shorter than a slot", 5, 5, {}},
        {"one packed slot", 6, 5, {1}},
        {"a slot and a part", 10, 5, {1}},
        {"two packed slots", 11, 5, {1, 6}},
        {"ten packed slots", 51, 5, {1, 6, 11, 16, 21, 26, 31, 36, 41, 46}},
        // Wider slots: each packet is the first five bytes of its slot.
        {"stride 7, two slots", 15, 7, {1, 8}},
        {"stride 7, a part of 6 bytes", 14, 7, {1}},
        {"stride 27 (a 58-byte report)", 58, 27, {1, 28}},
        // A slot always holds a whole packet: narrower strides hold none.
        {"stride 4", 11, 4, {}},
        {"stride 0", 11, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes report = countingReport(c.size);
        const auto slots = touchReportSlots(report, c.stride);
        ASSERT_EQ(slots.size(), c.firstBytes.size());
        for (size_t i = 0; i < slots.size(); ++i) {
            for (size_t b = 0; b < kTouchPacketBytes; ++b)
                EXPECT_EQ(slots[i][b], uint8_t(c.firstBytes[i] + b)) << "slot " << i << " byte " << b;
        }
    }
}

TEST(TouchSlots, EmptySlotsAreKeptInTheirPlace) {
    const Bytes report = {0x01, 0, 0, 0, 0, 0, 0x71, 0x10, 0x02, 0x20, 0x03, 0, 0, 0, 0, 0};
    const auto slots = touchReportSlots(report);
    ASSERT_EQ(slots.size(), 3u);
    EXPECT_EQ(slots[0], (TouchPacket{0, 0, 0, 0, 0}));
    EXPECT_EQ(slots[1], (TouchPacket{0x71, 0x10, 0x02, 0x20, 0x03}));
    EXPECT_EQ(slots[2], (TouchPacket{0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace qvhid
