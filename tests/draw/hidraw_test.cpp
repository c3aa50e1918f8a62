// Report processing with the per-device caches, and the touch-screen check of
// a report descriptor.
#include "hidraw_input.h"

#include <gtest/gtest.h>

#include <map>

using namespace qvdraw;

namespace {

std::vector<uint8_t> touchDescriptor(uint16_t xMax, uint16_t yMax) {
    return {0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01, 0x85, 0x01, 0x05, 0x01, 0x15, 0x00, 0x75, 0x10, 0x95, 0x01,
            0x26, uint8_t(xMax), uint8_t(xMax >> 8), 0x09, 0x30, 0x81, 0x02,
            0x26, uint8_t(yMax), uint8_t(yMax >> 8), 0x09, 0x31, 0x81, 0x02, 0xC0};
}

struct FakeDevices {
    std::map<std::string, DeviceIdentity> devices;
    int queries = 0;
    DeviceQuery query() {
        return [this](const std::string& node, std::string* error) -> std::optional<DeviceIdentity> {
            ++queries;
            auto it = devices.find(node);
            if (it == devices.end()) {
                *error = "no such device";
                return std::nullopt;
            }
            return it->second;
        };
    }
};

std::vector<uint8_t> reportOf(uint8_t id, int count) {
    std::vector<uint8_t> r{id};
    for (int s = 0; s < count; ++s) r.insert(r.end(), {uint8_t(0x70 | s), 1, 0, 2, 0});
    return r;
}

} // namespace

TEST(DrawHidraw, ProcessorCachesRangeAndKindPerDevice) {
    FakeDevices fake;
    fake.devices["/dev/hidraw1"] = {0x2E7B, 0x3508, touchDescriptor(32767, 32767)};
    fake.devices["/dev/hidraw2"] = {0x1111, 0x2222, touchDescriptor(4000, 3000)}; // X and Y differ
    TouchReportProcessor processor(fake.query());

    struct Case { const char* node; int slotCount; int32_t maximum; };
    const Case cases[] = {
        {"/dev/hidraw1", 2, 32767}, // kind 2, two slots: the logical maximum
        {"/dev/hidraw1", 3, 4095},  // kind 2, three slots
        {"/dev/hidraw2", 5, 2047},  // differing maxima keep the default
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.node + std::to_string(c.slotCount));
        auto decoded = processor.process(c.node, reportOf(1, c.slotCount));
        EXPECT_EQ(decoded.maximum, c.maximum);
        EXPECT_EQ(decoded.report.contacts.size(), size_t(c.slotCount));
    }
    EXPECT_NE(processor.lastError().find("/dev/hidraw2"), std::string::npos) << processor.lastError();
    EXPECT_EQ(processor.caches().logicalRange("/dev/hidraw1"), 32767);
    EXPECT_FALSE(processor.caches().logicalRange("/dev/hidraw2")) << "a failed range is not cached";

    const int before = fake.queries;
    processor.process("/dev/hidraw1", reportOf(1, 1));
    EXPECT_EQ(fake.queries, before) << "a cached device is not asked again";

    // Arrival or removal empties the caches: the next report asks the device again.
    fake.devices["/dev/hidraw1"].descriptor = touchDescriptor(2000, 2000);
    processor.devicesChanged();
    EXPECT_TRUE(processor.caches().empty());
    EXPECT_EQ(processor.process("/dev/hidraw1", reportOf(1, 1)).maximum, 2000);
    EXPECT_GT(fake.queries, before);

    // An unknown node decodes with the default range and the plain kind.
    auto unknown = processor.process("/dev/hidraw9", reportOf(1, 4));
    EXPECT_EQ(unknown.maximum, 2047);
    EXPECT_NE(processor.lastError().find("no such device"), std::string::npos);
}

TEST(DrawHidraw, TouchScreenDescriptorIsRecognised) {
    EXPECT_TRUE(isTouchScreenDescriptor(touchDescriptor(4095, 4095)));
    const std::vector<uint8_t> mouse = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0xC0};
    const std::vector<uint8_t> pen = {0x05, 0x0D, 0x09, 0x02, 0xA1, 0x01, 0xC0};
    const std::vector<uint8_t> touchNotApplication = {0x05, 0x0D, 0x09, 0x04, 0xA1, 0x02, 0xC0};
    const std::vector<uint8_t> truncated = {0x05, 0x0D, 0x09};
    for (const auto* d : {&mouse, &pen, &touchNotApplication, &truncated}) EXPECT_FALSE(isTouchScreenDescriptor(*d));

    // The touch screen as the second application collection, behind a vendor one.
    std::vector<uint8_t> second = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x03, 0x09, 0x02,
                                   0x75, 0x08, 0x95, 0x3F, 0xB1, 0x02, 0xC0};
    const auto touch = touchDescriptor(4095, 4095);
    second.insert(second.end(), touch.begin(), touch.end());
    EXPECT_TRUE(isTouchScreenDescriptor(second));
    // A touch screen collection in a descriptor that goes wrong later is not trusted.
    auto spoilt = second;
    spoilt.insert(spoilt.end(), {0x26, 0xFF});
    EXPECT_FALSE(isTouchScreenDescriptor(spoilt));
}
