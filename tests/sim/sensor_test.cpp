// The sensor model: scan progress on the virtual clock, the data kinds a load
// selects, and the frame served by bulk and word-wise reads.
#include "qvsim.h"

#include <gtest/gtest.h>

#include <cstdlib>

using qvsim::Controller;
using qvsim::ControllerProfile;
using qvsim::Link;
using qvsim::Packet;

namespace {

ControllerProfile WithSensor() {
    ControllerProfile p;
    p.rows = 3;
    p.columns = 4;
    p.extraColumns = 2;
    p.sensor = qvsim::SensorProfile{};
    p.sensor->scanMs = 100;
    p.sensor->progressTotal = 10;
    return p;
}

std::vector<uint16_t> Words(const std::vector<uint8_t>& b) {
    std::vector<uint16_t> out;
    for (size_t i = 0; i + 1 < b.size(); i += 2) out.push_back(uint16_t(b[i] | b[i + 1] << 8));
    return out;
}

TEST(SimSensor, ProgressFollowsTheVirtualClockInBothForms) {
    Controller c(WithSensor());
    ASSERT_EQ(c.handle({0xF9, 0xFF, 0x91, 0x00, 0x01}, Link::Hid, 1000), (Packet{0xF9, 0xFF, 0x91, 0x00, 0x01}));
    EXPECT_EQ(c.handle({0xF9, 0xFF, 0x10, 0x00, 0x00}, Link::Hid, 1030), (Packet{0xF9, 0, 0, 10, 3}));
    EXPECT_EQ(c.handle({0xF9, 0x00, 0x00, 0x80, 0x00}, Link::Hid, 1070), (Packet{0xF9, 10, 7, 0, 0}));
    EXPECT_EQ(c.handle({0xF9, 0xFF, 0x10, 0x00, 0x00}, Link::Hid, 5000), (Packet{0xF9, 0, 0, 10, 10}));
    // Without a sensor the scan commands are unknown.
    Controller plain;
    EXPECT_EQ(plain.handle({0xF9, 0xFF, 0x10, 0x00, 0x00}, Link::Hid, 0), (Packet{0xAA, 0xF9, 0xFF, 0x10, 0x00}));
}

TEST(SimSensor, LoadsSelectTheKindAndScansChangeOnlyTheNoise) {
    Controller c(WithSensor());
    const auto& p = c.profile();
    c.handle({0xF9, 0xFF, 0x91, 0x00, 0x00}, Link::Hid, 0);
    c.handle({0xFA, 0x00, 0x55, 0x00, 0x00}, Link::Hid, 0);
    const auto raw1 = Words(c.takeBulk(1000));
    ASSERT_EQ(raw1, qvsim::SensorFrame(p, qvsim::kSensorRaw, 1));
    ASSERT_EQ(raw1.size(), 3u * 7u);
    c.handle({0xF9, 0xFF, 0x92, 0x00, qvsim::kSensorBaseline}, Link::Hid, 0);
    c.handle({0xFA, 0x00, 0x55, 0x00, 0x00}, Link::Hid, 0);
    const auto base = Words(c.takeBulk(1000));
    c.handle({0xF9, 0x00, 0xAA, 0x00, qvsim::kSensorDifference}, Link::Hid, 0);
    c.handle({0xFA, 0x00, 0x55, 0x00, 0x00}, Link::Hid, 0);
    const auto diff = Words(c.takeBulk(1000));
    int differing = 0;
    for (size_t i = 0; i < raw1.size(); ++i) {
        EXPECT_EQ(uint16_t(raw1[i] - base[i]), diff[i]) << i;
        EXPECT_LE(std::abs(int16_t(diff[i])), p.sensor->noise);
    }
    // A second scan keeps the baseline and draws new noise.
    c.handle({0xF9, 0x00, 0x00, 0xC0, 0x00}, Link::Hid, 0);
    const auto raw2 = qvsim::SensorFrame(p, qvsim::kSensorRaw, 2);
    for (size_t i = 0; i < raw1.size(); ++i) differing += raw1[i] != raw2[i];
    EXPECT_GT(differing, 0);
    EXPECT_EQ(qvsim::SensorFrame(p, qvsim::kSensorBaseline, 2), base);
    // Word-wise reads see the same frame: row 1, columns 5 and 6.
    const Packet w = *c.handle({0xE8, 1, 5, 1, 6}, Link::Hid, 0);
    EXPECT_EQ(uint16_t(w[1] | w[2] << 8), raw2[7 + 5]);
    EXPECT_EQ(uint16_t(w[3] | w[4] << 8), raw2[7 + 6]);
    // E8 00 00 00 00 carries its value in bytes 3..4 only.
    const Packet z = *c.handle({0xE8, 0, 0, 0, 0}, Link::Hid, 0);
    EXPECT_EQ(z[1] | z[2], 0);
    EXPECT_EQ(uint16_t(z[3] | z[4] << 8), raw2[0]);
}

}  // namespace
