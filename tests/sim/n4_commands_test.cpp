// The simulator's answers that the N4 family leans on: a fixed reply for a
// number of commands, sleep and its wake-up, glove mode, the key table's
// count, and serial replies that arrive split or short.
#include "sim_support.h"

#include <gtest/gtest.h>

using namespace qvsim;
using simtest::ask;
using simtest::framed;

namespace {

TEST(SimN4, AFixedReplyWithACountAnswersThatOftenThenTheModelAgain) {
    Controller c;
    const Packet e0{0xE0, 0x00, 0xF4, 0x00, 0x00};
    const Packet rejected{0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
    c.setReply(PacketPrefix::code(0xE0), rejected, 2);
    EXPECT_EQ(ask(c, e0), rejected);
    EXPECT_EQ(ask(c, e0), rejected);
    EXPECT_EQ(ask(c, e0).value()[0], 0xE0);
    // Ahead of a reply without a count; a count of 0 sets nothing.
    c.setReply(e0, Packet{0xE0, 1, 2, 3, 4});
    c.setReply(PacketPrefix::code(0xE0), rejected, 1);
    EXPECT_EQ(ask(c, e0), rejected);
    EXPECT_EQ(ask(c, e0), (Packet{0xE0, 1, 2, 3, 4}));
    c.setReply(PacketPrefix::code(0xE0), rejected, 0);
    EXPECT_EQ(ask(c, e0), (Packet{0xE0, 1, 2, 3, 4}));
}

TEST(SimN4, SleepGloveModeAndTheKeyTableCount) {
    Controller c;
    EXPECT_EQ(ask(c, {0xE2, 0, 0, 0, 0}), (Packet{0xE2, 0, 0, 0, 0}));
    EXPECT_FALSE(ask(c, {0xEE, 0, 0, 0, 0}).has_value());  // asleep
    EXPECT_EQ(ask(c, {0xFC, 1, 2, 3, 4}), (Packet{0xFC, 1, 2, 3, 4}));
    EXPECT_TRUE(ask(c, {0xEE, 0, 0, 0, 0}).has_value());
    EXPECT_EQ(ask(c, {0xE2, 0, 0, 0, 1}).value()[0], 0xAA);

    EXPECT_EQ(ask(c, {0xF3, 0x00, 0x01, 0x00, 0x02}), (Packet{0xF3, 0x00, 0x01, 0x00, 0x02}));
    EXPECT_EQ(c.profile().gloveMode, 2);

    ControllerProfile p;
    p.paraVersion = 135;
    p.vbuttonEntrySize = 12;
    p.vbuttons.assign(4, {});
    p.vbuttons[1][0] = 7;
    p.vbuttons[3][11] = 1;
    Controller keys(p);
    EXPECT_EQ(ask(keys, {0xF6, 0x0F, 0x91, 0x00, 0x00}), (Packet{0xF6, 0x0F, 0x91, 0x00, 0x02}));
}

TEST(SimN4, SerialRepliesSplitOrShort) {
    Bench bench;
    auto ctl = std::make_shared<Controller>();
    auto& port = bench.addSerial(ctl, SerialInfo{"/sim/ttyS0", 38400});
    const auto cmd = framed({0xE0, 0x00, 0xF4, 0x00, 0x00});
    uint8_t in[8];
    size_t written = 0;

    port.splitReplies(1);
    ASSERT_EQ(port.write(cmd.data(), cmd.size(), &written), XferError::None);
    EXPECT_EQ(port.read(in, 6), 3u);  // the first part
    EXPECT_EQ(port.read(in + 3, 3), 3u);  // the rest, after that read
    EXPECT_EQ(std::vector<uint8_t>(in, in + 6), framed({0xE0, 0, 0, 0, 0}));

    port.dropLastByte(1);
    ASSERT_EQ(port.write(cmd.data(), cmd.size(), &written), XferError::None);
    EXPECT_EQ(port.read(in, 6), 5u);
    EXPECT_EQ(port.read(in, 6), 0u);
    // Later replies are whole again.
    ASSERT_EQ(port.write(cmd.data(), cmd.size(), &written), XferError::None);
    EXPECT_EQ(port.read(in, 6), 6u);
}

}  // namespace
