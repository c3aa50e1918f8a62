// The N4 command protocol against the simulated controller: version texts,
// the block checksum, and the operations with the commands they send.
#include "library_n4_support.h"

using namespace qvtest;
namespace n4 = qvlib::n4;

namespace {

std::string Version(uint16_t build, uint8_t customer) {
    char text[n4::kVersionTextSize];
    n4::device_get_version_str(text, sizeof text, 6020, 2, 7, build, customer, 1);
    return text;
}

TEST(N4Version, TextsByBuildWordAndCustomerCode) {
    struct Row {
        uint8_t customer;
        const char* boot;      // 0xAA55
        const char* noTail;    // 0xFEDC
        const char* lowOnly;   // 0x0005
        const char* bothBytes; // 0x0D03
    };
    const Row rows[] = {
        {0, "QV6020A.B2.7", "QV6020A.2.7", "QV6020A.2.7.5", "QV6020A.2.7.3.13"},
        {1, "QV6020A.D01.B2.7", "QV6020A.D01.2.7", "QV6020A.D01.2.7.5", "QV6020A.D01.2.7.3.13"},
        {199, "QV6020A.D199.B2.7", "QV6020A.D199.2.7", "QV6020A.D199.2.7.5", "QV6020A.D199.2.7.3.13"},
        {200, "QV6020A.A01.B2.7", "QV6020A.A01.2.7", "QV6020A.A01.2.7.5", "QV6020A.A01.2.7.3.13"},
        {249, "QV6020A.A50.B2.7", "QV6020A.A50.2.7", "QV6020A.A50.2.7.5", "QV6020A.A50.2.7.3.13"},
        {250, "QV6020A.T.B2.7", "QV6020A.T.2.7", "QV6020A.T.2.7.5", "QV6020A.T.2.7.3.13"},
        {251, "QV6020AT01.B2.7", "QV6020AT01.2.7", "QV6020AT01.2.7.5", "QV6020AT01.2.7.3.13"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(int(r.customer));
        EXPECT_EQ(Version(0xAA55, r.customer), r.boot);
        EXPECT_EQ(Version(0xFEDC, r.customer), r.noTail);
        EXPECT_EQ(Version(0x0005, r.customer), r.lowOnly);
        EXPECT_EQ(Version(0x0D03, r.customer), r.bothBytes);
    }
    char text[n4::kVersionTextSize];
    n4::device_get_version_str(text, sizeof text, 6020, 2, 7, 0x0D03, 5, 1);
    EXPECT_STREQ(text, "QV6020A.D05.2.7.3.13");
    n4::device_get_version_str(text, sizeof text, 3508, 1, 0, 0x0102, 0, 0);  // no letter
    EXPECT_STREQ(text, "QV3508.1.0.2.1");
    n4::device_get_version_str(text, 8, 6020, 2, 7, 0x0D03, 5, 1);  // cut to the buffer
    EXPECT_STREQ(text, "QV6020A");
}

TEST(N4BlockChecksum, ByteAndWordFormats) {
    const uint8_t block[4] = {0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(n4::BlockChecksum(block, 4, n4::ChecksumFormat::Byte), 0xFFF5);
    EXPECT_EQ(n4::BlockChecksum(block, 4, n4::ChecksumFormat::Word), 0xF9FB);
    std::vector<uint8_t> full(256, 0xFF);  // the sum passes 16 bits
    EXPECT_EQ(n4::BlockChecksum(full.data(), full.size(), n4::ChecksumFormat::Byte), uint16_t(~(256u * 0xFF)));
}

class N4Operations : public N4Test {
protected:
    void SetUp() override {
        N4Test::SetUp();
        openHid();
    }
    std::vector<std::string> sent() { return Hex(Received(*ctl)); }
};

TEST_F(N4Operations, IdentityGivesTheVersionTextAndTheBootState) {
    ctl->setReply(P(0xEE, 0, 0, 0, 0), P(0xEE, 0x84, 0x97, 0x02, 0x01));  // bit 15 set: not part of the product
    ctl->setReply(P(0xED, 0, 0, 0, 0), P(0xED, 0x07, 0x05, 0x03, 0x0D));
    char text[n4::kVersionTextSize] = {};
    n4::Identity id;
    EXPECT_EQ(n4::GetIdentity(ctx, text, &id), 0);
    EXPECT_STREQ(text, "QV6020A.D05.2.7.3.13");
    EXPECT_EQ(id.build, 0x0D03);
    EXPECT_EQ(n4::BootMode(ctx), 1);
    ctl->setReply(P(0xED, 0, 0, 0, 0), P(0xED, 0x07, 0x05, 0x55, 0xAA));
    EXPECT_EQ(n4::GetIdentity(ctx, text), 1);
    EXPECT_STREQ(text, "QV6020A.D05.B2.7");
    EXPECT_EQ(n4::BootLoaderCheck(ctx, false), 1);
    ctl->silence(0xED);
    EXPECT_EQ(n4::GetIdentity(ctx, text), -1);
    EXPECT_EQ(count("* {ERROR} Failed to get firmware version !!\r\r\n"), 1u);
}

TEST_F(N4Operations, ListLengthsAndTheirFallbacks) {
    uint32_t touch = 0, boot = 0;
    // Without the item protocol: 64 and 16, and E0 00 FB is not asked.
    ctl->profile().featureF4 = {0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(n4::ListLengths(ctx, &touch, &boot), 0);
    EXPECT_EQ(std::make_pair(touch, boot), std::make_pair(64u, 16u));
    EXPECT_EQ(sent(), std::vector<std::string>{"E0 00 F4 00 00"});
    // With it: E0 00 FB bytes 4 and 3.
    ctl->profile().featureF4 = {0x02, 0x00, 0x80, 0x00};
    ctl->setReply(P(0xE0, 0x00, 0xFB, 0, 0), P(0xE0, 0, 0, 0x30, 0x70));
    EXPECT_EQ(n4::ItemProtocol(ctx), 1);
    EXPECT_EQ(n4::ListLengths(ctx, &touch, &boot), 0);
    EXPECT_EQ(std::make_pair(touch, boot), std::make_pair(0x70u, 0x30u));
    // When the read fails: 128 and 64.
    ctl->clearReplies();
    ctl->silence(qvsim::PacketPrefix::exact(P(0xE0, 0x00, 0xFB, 0, 0)));
    EXPECT_EQ(n4::ListLengths(ctx, &touch, &boot), -1);
    EXPECT_EQ(std::make_pair(touch, boot), std::make_pair(128u, 64u));
}

TEST_F(N4Operations, UserSettingsAreRefusedForUnknownAndTooLargeItems) {
    ctl->profile().paraVersion = 135;
    ctl->profile().items[{0x08, 0x01}] = qvsim::ParamItem{0x20, 0x05, 0};
    uint8_t value = 0, maximum = 0;
    EXPECT_EQ(n4::ReadUserSetting(ctx, 0x08, 0x01, &value, &maximum), 5);
    EXPECT_EQ(std::make_pair(value, maximum), std::make_pair(uint8_t(5), uint8_t(0x20)));
    EXPECT_EQ(n4::WriteUserSetting(ctx, 0x08, 0x01, 0x00, 0x10), 1);  // changed
    EXPECT_EQ((ctl->profile().items[{0x08, 0x01}].value), 0x10);
    EXPECT_EQ(n4::WriteUserSetting(ctx, 0x08, 0x01, 0x00, 0x30), -1);  // above the maximum: 0xFF
    EXPECT_EQ(n4::ReadUserSetting(ctx, 0x08, 0x02, &value, &maximum), -1);  // no such item
    restart();
    // Item 16 would make F6 08 90 (another command): refused before anything is sent.
    EXPECT_EQ(n4::WriteUserSetting(ctx, 0x08, 0x10, 0x00, 0x01), -1);
    EXPECT_TRUE(sent().empty());
}

TEST_F(N4Operations, FlushSendsTwiceAndReadsAfterItsWait) {
    const uint64_t start = now();
    EXPECT_EQ(n4::Flush(ctx, true), 0);
    EXPECT_EQ(sent(), (std::vector<std::string>{"EA 00 AA 00 00", "EA 00 AA 00 00"}));
    EXPECT_EQ(now() - start, 200u);
    restart();
    ctl->silence(0xEA);
    EXPECT_EQ(n4::Flush(ctx, false), -1);
    EXPECT_EQ(count("* {ERROR} Failed to send [0xEA] command !!\r\n"), 1u);
}

TEST_F(N4Operations, ReloadKeepsTheInterfaceRegisters) {
    const uint8_t regs[5] = {0x40, 0x41, 0x42, 0x4A, 0x4B};
    for (uint8_t i = 0; i < 5; ++i) ctl->setReg(0x00, regs[i], {0, 0, 0, uint8_t(0x10 + i)});
    const uint64_t start = now();
    EXPECT_EQ(n4::ReloadPreservingInterface(ctx, false), 0);
    EXPECT_EQ(sent(), (std::vector<std::string>{
                          "E0 00 40 00 00", "E0 00 41 00 00", "E0 00 42 00 00", "E0 00 4A 00 00", "E0 00 4B 00 00",
                          "E0 00 F4 00 00", "F7 00 00 00 01", "EC 00 00 00 00", "EA 00 00 00 00", "EA 00 00 00 00",
                          "EC 00 AA 00 00", "E1 00 40 00 10", "E1 00 41 00 11", "E1 00 42 00 12", "E1 00 4A 00 13",
                          "E1 00 4B 00 14", "EA 00 AA 00 00", "EA 00 AA 00 00"}));
    EXPECT_EQ(now() - start, 200u + 100 + 100 + 200);
    // With the flag the registers are not written back; with the item protocol the lock is F3.
    restart();
    ctl->profile().featureF4 = {0x02, 0x00, 0x80, 0x00};
    ctl->profile().f3UpdateLock = true;
    EXPECT_EQ(n4::ReloadPreservingInterface(ctx, true), 0);
    const auto s = sent();
    ASSERT_EQ(s.size(), 13u);
    EXPECT_EQ(s[6], "F3 00 07 00 01");
    EXPECT_EQ(s[10], "EC 00 AA 00 00");
    EXPECT_EQ(s[11], "EA 00 AA 00 00");
    // The first failed step ends it.
    restart();
    ctl->silence(0xEC);
    EXPECT_EQ(n4::ReloadPreservingInterface(ctx, false), -1);
    EXPECT_EQ(sent().back(), "EC 00 00 00 00");
}

TEST_F(N4Operations, StopScanningThatNeverStopsFails) {
    ctl->setReply(P(0xE0, 0x00, 0xF0, 0, 0), P(0xE0, 0, 0, 0, 0x01));
    EXPECT_EQ(n4::StopScanning(ctx), -1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F0 00 00 00 00", "E0 00 F0 00 00", "F0 00 00 00 00",
                                                "E0 00 F0 00 00", "F0 00 00 00 00", "E0 00 F0 00 00"}));
    EXPECT_EQ(count("* {INFO} Stop scanning #3 !!\r\n"), 1u);
    ctl->clearReplies();
    restart();
    EXPECT_EQ(n4::StopScanning(ctx), 0);  // the model stops at once
    EXPECT_EQ(sent().size(), 2u);
}

TEST_F(N4Operations, SlaveSelectionSetsTheTransferSize) {
    ctl->profile().slaveCount = 1;
    ctl->profile().slaves = {qvsim::SlaveProfile{}};
    ctl->profile().slaves[0].transferSize = 0x40;
    EXPECT_EQ(n4::SelectSlave(ctx, 0), 0x40);
    EXPECT_EQ(n4::State().blockSize, 0x40u);
    ctl->profile().slaves[0].transferSize = 0;
    EXPECT_EQ(n4::SelectSlave(ctx, 0), 8);
    EXPECT_EQ(n4::SelectMaster(ctx), 0);
    EXPECT_EQ(sent().back(), "F4 00 00 00 00");
}

TEST_F(N4Operations, BlockChecksumFailureIsLoggedEvenWithTheLogOffButOnlyOnce) {
    auto* dev = bench->hid("/sim/hidraw0");
    QuorvaneN4_SetDebug(0);
    dev->failNext(qvsim::HidOp::SetFeature, qvsim::XferError::Other, 3);
    EXPECT_EQ(n4::SendBlockChecksum(ctx, 0x1234), -1);
    EXPECT_EQ(debugText(), "[00:00:00] * {ERROR} Failed to send [0xD1] command !!\r\n");
    EXPECT_EQ(g_DbgLevel, 0);  // the level stays as it was
    EXPECT_EQ(qvlib::debug_log_msg(1, "after\n"), 0);
    // An accepted checksum: ACK byte 4 = 0.
    QuorvaneN4_SetDebug(4);
    ctl->setReply(P(0xD1, 0, 0, 0x34, 0x12), P(0xD1, 0, 0, 0, 0));
    EXPECT_EQ(n4::SendBlockChecksum(ctx, 0x1234), 0);
    ctl->setReply(P(0xD1, 0, 0, 0x34, 0x12), P(0xD1, 0, 0, 0, 1));
    EXPECT_EQ(n4::SendBlockChecksum(ctx, 0x1234), -1);
}

TEST_F(N4Operations, I2CAddressChangeWritesTheShiftedAddressOnly7Bits) {
    restart();
    EXPECT_EQ(n4::ChangeI2CAddress(ctx, 0x80), -1);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(n4::ChangeI2CAddress(ctx, 0x2A), 0);
    EXPECT_EQ(sent(), (std::vector<std::string>{"E0 00 F4 00 00", "F7 00 00 00 01", "E1 90 01 00 54",
                                                "EA 00 AA 00 00", "EA 00 AA 00 00", "FE 00 00 00 00",
                                                "FE 00 00 00 00"}));
}

TEST_F(N4Operations, SleepAnswersOnlyTheLoopBack) {
    uint8_t r[5];
    EXPECT_EQ(n4::Exchange(ctx, 0xE2, 0, 0, 0, 0, r), 0);
    EXPECT_EQ(n4::Exchange(ctx, 0xEE, 0, 0, 0, 0, r), -1);
    EXPECT_EQ(n4::Exchange(ctx, 0xFC, 0, 0, 0, 0, r), 0);
    EXPECT_EQ(n4::Exchange(ctx, 0xEE, 0, 0, 0, 0, r), 0);
    EXPECT_EQ(n4::Exchange(ctx, 0xF3, 0x00, 0x01, 0x00, 0x01, r), 0);
    EXPECT_EQ(ctl->profile().gloveMode, 1);
}

}  // namespace
