// The touch decoder, the report splitter, the serial assemblers and the
// plug-and-play identifier matcher: bytes in, callback calls (or none) out.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "touch_decoder.h"

using namespace qvlib::touch;
using Packet = std::array<uint8_t, 5>;

namespace {

std::optional<TouchCall> Decode(Decoder& d, int slot, Packet p) {
    TouchCall c;
    if (!d.decode(slot, p.data(), &c)) return std::nullopt;
    return c;
}

struct Step {
    int slot;
    Packet packet;
    std::optional<TouchCall> call;
};

struct Sequence {
    const char* name;
    std::vector<Step> steps;
};

}  // namespace

TEST(TouchDecoder, SequencesGiveTheirCallsInOrder) {
    const std::vector<Sequence> table = {
        {"down then up",
         {{0, {0x71, 0x34, 0x12, 0x78, 0x56}, TouchCall{0x11, 0x1234, 0x5678}},
          {0, {0x41, 0x34, 0x12, 0x78, 0x56}, TouchCall{0x21, 0x1234, 0x5678}}}},
        {"up without down is dropped",
         {{0, {0x43, 1, 0, 2, 0}, std::nullopt}, {0, {0x33, 1, 0, 2, 0}, std::nullopt},
          {0, {0x63, 1, 0, 2, 0}, std::nullopt}}},
        {"a second up after one down is dropped",
         {{2, {0x75, 9, 0, 9, 0}, TouchCall{0x15, 9, 9}},
          {2, {0x65, 9, 0, 9, 0}, TouchCall{0x25, 9, 9}},
          {2, {0x35, 9, 0, 9, 0}, std::nullopt}}},
        {"marker reported, next 0x0A swallowed, the one after reported",
         {{3, {0x0A, 0xFE, 0xDC, 0xBA, 0x98}, TouchCall{0x30, 0, 0}},
          {3, {0x0A, 0x05, 0x00, 0x07, 0x00}, std::nullopt},
          {3, {0x0A, 0x05, 0x00, 0x07, 0x00}, TouchCall{0x30, 5, 7}}}},
        {"marker of 0x8A swallows the next 0x8A",
         {{1, {0x8A, 0xFE, 0xDC, 0xBA, 0x98}, TouchCall{0x40, 0, 0}},
          {1, {0x8A, 0x11, 0x00, 0x22, 0x00}, std::nullopt},
          {1, {0x8A, 0x11, 0x00, 0x22, 0x00}, TouchCall{0x40, 0x11, 0x22}}}},
        {"the marker rule does not hold for a device not in the table",
         {{16, {0x0A, 0xFE, 0xDC, 0xBA, 0x98}, TouchCall{0x30, 0xDCFE, 0x98BA}},
          {16, {0x0A, 0x05, 0x00, 0x07, 0x00}, TouchCall{0x30, 5, 7}}}},
        {"0x8F force state", {{0, {0x8F, 0x10, 0x00, 0x20, 0x03}, TouchCall{0x50, 0x10, 0x320}}}},
        {"0x8B: x = 0, y = byte 4 only",
         {{0, {0x8B, 0x10, 0x11, 0x20, 0x03}, TouchCall{0x60, 0, 0x03}},
          {16, {0x8B, 0x10, 0x11, 0x20, 0x04}, TouchCall{0x60, 0, 0x04}}}},
        {"other status: 0xF0 + id",
         {{0, {0x52, 1, 0, 2, 0}, TouchCall{0xF2, 1, 2}}, {0, {0x9C, 1, 0, 2, 0}, TouchCall{0xFC, 1, 2}},
          {0, {0x00, 1, 0, 2, 0}, TouchCall{0xF0, 1, 2}}}},
        {"five zeros: nothing", {{0, {0, 0, 0, 0, 0}, std::nullopt}}},
        {"slot 0 id 15 and slot 1 id 0 are separate contacts",
         {{0, {0x7F, 1, 0, 1, 0}, TouchCall{0x1F, 1, 1}},
          {1, {0x40, 1, 0, 1, 0}, std::nullopt},
          {1, {0x70, 2, 0, 2, 0}, TouchCall{0x10, 2, 2}},
          {0, {0x4F, 1, 0, 1, 0}, TouchCall{0x2F, 1, 1}},
          {1, {0x40, 2, 0, 2, 0}, TouchCall{0x20, 2, 2}}}},
        {"slot 16 id 15 has a flag of its own",
         {{16, {0x7F, 1, 0, 1, 0}, TouchCall{0x1F, 1, 1}},
          {15, {0x4F, 1, 0, 1, 0}, std::nullopt},
          {16, {0x4F, 1, 0, 1, 0}, TouchCall{0x2F, 1, 1}}}},
    };
    for (const auto& seq : table) {
        Decoder d;
        d.reset();
        for (size_t i = 0; i < seq.steps.size(); ++i) {
            const Step& s = seq.steps[i];
            const auto got = Decode(d, s.slot, s.packet);
            ASSERT_EQ(got.has_value(), s.call.has_value()) << seq.name << ", step " << i;
            if (got) {
                EXPECT_EQ(*got, *s.call) << seq.name << ", step " << i << ": state " << std::hex << got->state;
            }
        }
    }
}

TEST(TouchDecoder, ResetForgetsDownFlagsAndMarkers) {
    Decoder d;
    Decode(d, 4, {0x72, 1, 0, 1, 0});
    Decode(d, 4, {0x0A, 0xFE, 0xDC, 0xBA, 0x98});
    d.reset();
    EXPECT_FALSE(Decode(d, 4, {0x42, 1, 0, 1, 0}));
    EXPECT_TRUE(Decode(d, 4, {0x0A, 1, 0, 1, 0}));
}

TEST(TouchDecoder, HeadCaptureKeepsStatusBytesUpToItsSizeAndSkipsZeroPackets) {
    Decoder d;
    d.setCapture(true);
    Decode(d, 0, {0, 0, 0, 0, 0});
    Decode(d, 0, {0x43, 1, 0, 1, 0});  // dropped as a call, still captured
    Decode(d, 0, {0x71, 1, 0, 1, 0});
    ASSERT_EQ(d.captureCount(), 2);
    uint8_t b = 0;
    ASSERT_TRUE(d.captureByte(0, &b));
    EXPECT_EQ(b, 0x43);
    ASSERT_TRUE(d.captureByte(1, &b));
    EXPECT_EQ(b, 0x71);
    EXPECT_FALSE(d.captureByte(2, &b));
    EXPECT_FALSE(d.captureByte(-1, &b));
    for (int i = 0; i < 5000; ++i) Decode(d, 0, {0x72, 1, 0, 1, 0});
    EXPECT_EQ(d.captureCount(), 4096);
    d.setCapture(false);
    Decode(d, 0, {0x72, 1, 0, 1, 0});
    EXPECT_EQ(d.captureCount(), 0);
}

TEST(TouchReports, LayoutAndPacketsByReportForm) {
    std::vector<uint8_t> r64(64, 0);
    r64[0] = 1;
    for (int i = 0; i < 12; ++i) r64[size_t(1 + 5 * i)] = uint8_t(0x70 + i);
    auto packets = PacketsOfReport(r64.data(), r64.size(), false);
    ASSERT_EQ(packets.size(), 12u);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(packets[size_t(i)][0], 0x70 + i);

    const uint8_t r14[14] = {1, 0x71, 2, 0, 3, 0, 0x72, 4, 0, 5, 0, 0x34, 0x12, 0};
    const ReportLayout l = LayoutOfReport(r14, sizeof r14, true);
    EXPECT_EQ(l.packetSize, 5u);
    EXPECT_EQ(l.packets, 2u);
    EXPECT_TRUE(l.hasForce);
    EXPECT_EQ(l.force, 0x1234);
    packets = PacketsOfReport(r14, sizeof r14, true);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[1], (Packet{0x72, 4, 0, 5, 0}));

    // The 3508 form of a 64-byte report: 30-byte packets, two of them.
    EXPECT_EQ(LayoutOfReport(r64.data(), r64.size(), true).packetSize, 30u);
    EXPECT_EQ(LayoutOfReport(r64.data(), r64.size(), true).packets, 2u);

    // Under 14 bytes the 3508 form has no whole packet; other forms still cut 5-byte packets.
    EXPECT_EQ(LayoutOfReport(r14, 13, true).packets, 0u);
    EXPECT_EQ(LayoutOfReport(r14, 13, false).packets, 2u);
    EXPECT_FALSE(LayoutOfReport(r14, 13, false).hasForce);
    EXPECT_EQ(LayoutOfReport(r14, 1, false).packets, 0u);
    EXPECT_EQ(LayoutOfReport(nullptr, 64, false).packets, 0u);
}

namespace {
std::vector<uint8_t> Framed(Packet p) {
    unsigned sum = 0;
    for (uint8_t b : p) sum += b;
    std::vector<uint8_t> out(p.begin(), p.end());
    out.push_back(uint8_t(~sum));
    return out;
}
std::vector<Packet> Assemble(SerialAssembler& a, const std::vector<uint8_t>& bytes) {
    std::vector<Packet> out;
    a.feed(bytes.data(), bytes.size(), &out);
    return out;
}
}  // namespace

TEST(TouchSerial, ChecksummedSeriesSkipNonStatusBytesAndLoseOnlyTheCorruptPacket) {
    SerialAssembler ostra(1);
    std::vector<uint8_t> stream = {0x00, 0x12, 0x99};  // not a packet start for Ostra
    auto a = Framed({0x71, 0x10, 0x01, 0x20, 0x02});
    auto bad = Framed({0x72, 0x11, 0x01, 0x21, 0x02});
    bad[5] ^= 0x01;
    auto b = Framed({0x31, 0x10, 0x01, 0x20, 0x02});
    for (auto* f : {&a, &bad, &b}) stream.insert(stream.end(), f->begin(), f->end());
    auto got = Assemble(ostra, stream);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], (Packet{0x71, 0x10, 0x01, 0x20, 0x02}));
    EXPECT_EQ(got[1], (Packet{0x31, 0x10, 0x01, 0x20, 0x02}));

    // The same stream split at every byte gives the same packets.
    SerialAssembler split(1);
    std::vector<Packet> one;
    for (uint8_t byte : stream) split.feed(&byte, 1, &one);
    EXPECT_EQ(one, got);

    // Current series: 0x4x starts a packet, 0x3x does not.
    SerialAssembler current(0);
    auto up = Framed({0x41, 1, 0, 2, 0});
    auto other = Framed({0x31, 1, 0, 2, 0});
    std::vector<uint8_t> s2(other.begin(), other.end());
    s2.insert(s2.end(), up.begin(), up.end());
    got = Assemble(current, s2);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0][0], 0x41);
}

TEST(TouchSerial, MelkPacketsAreSevenBitPairsWithoutChecksum) {
    SerialAssembler melk(2);
    // x = 3 * 128 + 5 = 389, y = 7 * 128 + 1 = 897; 0x70 garbage first is skipped.
    auto got = Assemble(melk, {0x70, 0xF3, 0x03, 0x05, 0x07, 0x01, 0xB0, 0x00, 0x01, 0x00, 0x02});
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], (Packet{0x70, 389 & 0xFF, 389 >> 8, 897 & 0xFF, 897 >> 8}));
    EXPECT_EQ(got[1], (Packet{0x40, 1, 0, 2, 0}));
}

TEST(TouchSerial, PnpIdentifierMatchTable) {
    auto id = [](uint8_t series) {
        auto a = PnpIdentifier(series, '2', '7');
        return std::vector<uint8_t>(a.begin(), a.end());
    };
    struct Case {
        const char* name;
        uint8_t series;
        std::vector<uint8_t> bytes;
        uint8_t result;
    };
    std::vector<uint8_t> garbageFirst = {0x00, 0xFF, 0x3C};
    for (uint8_t b : id(1)) garbageFirst.push_back(b);
    std::vector<uint8_t> wrongMaker = id(1);
    wrongMaker[3] = 'X' | 0x80;
    const std::vector<uint8_t> ostra = id(1);
    const std::vector<uint8_t> half(ostra.begin(), ostra.begin() + 6);
    std::vector<uint8_t> sevenBit = id(1);
    for (auto& b : sevenBit) b &= 0x7F;
    const std::vector<Case> table = {
        {"Ostra", 1, id(1), 1},
        {"Melk", 2, id(2), 1},
        {"Ostra identifier to a Melk", 2, id(1), 0xFF},
        {"wrong maker", 1, wrongMaker, 0xFF},
        {"bit 7 clear", 1, sevenBit, 0},
        {"garbage first", 1, garbageFirst, 1},
        {"current series has none", 0, id(1), 0xFF},
        {"half an identifier", 1, half, 0},
    };
    for (const auto& c : table) {
        PnpMatcher m(c.series);
        EXPECT_EQ(m.feed(c.bytes.data(), c.bytes.size()), c.result) << c.name;
        // Across reads, one byte at a time, the same result.
        PnpMatcher bytewise(c.series);
        for (uint8_t b : c.bytes) bytewise.feed(&b, 1);
        EXPECT_EQ(bytewise.result(), c.result) << c.name << " (byte by byte)";
    }
}
