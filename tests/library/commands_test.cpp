// The command set: single-command operations and the short sequences with
// their waits (scan enable, base save, slave select), per controller series.
#include "library_support.h"

using namespace qvtest;

namespace {

class Commands : public LibTest {
protected:
    std::shared_ptr<qvsim::Controller> ctl;
    HANDLE h = INVALID_HANDLE_VALUE;

    HANDLE make(qvsim::ControllerProfile p = {}) {
        ctl = std::make_shared<qvsim::Controller>(p);
        const Packet id = p.series == qvsim::Series::Ostra ? OstraIdentity(p.identityNumber, p.major)
                                                           : CurrentIdentity(p.identityNumber, p.major, p.letter);
        static int n = 0;
        ++n;
        h = addHid(ctl, "/sim/hidraw" + std::to_string(n), "K" + std::to_string(n), id);
        ctl->clearTrace();
        return h;
    }
    std::vector<std::string> sent() { return Hex(Received(*ctl)); }
};

TEST_F(Commands, WriteItemChangedBitsAndRefusals) {
    make();
    struct Case { uint8_t item; Packet reply; int result; uint8_t changed; } cases[] = {
        {0x05, P(0xF6, 0x03, 0x05, 0x00, 0x04), 1, 0x04 | 0x01},
        {0x05, P(0xF6, 0x03, 0x05, 0x00, 0xFF), 1, 0xFF},  // other items OR 0xFF in
        {0x85, P(0xF6, 0x03, 0x85, 0x00, 0xFF), 0, 0x01},  // 0x80..0x8F: 0xFF is a failure
        {0x85, P(0xF6, 0x03, 0x85, 0x00, 0x02), 1, 0x03},
        {0x05, P(0xF6, 0xFF, 0x05, 0x00, 0x00), 0, 0x01},  // refused item
        {0x05, P(0xF6, 0x03, 0xFF, 0x00, 0x00), 0, 0x01},
    };
    for (const auto& c : cases) {
        ctl->clearReplies();
        ctl->setReply(P(0xF6, 0x03, c.item, 0x00, 0x10), c.reply);
        uint8_t changed = 0x01;
        EXPECT_EQ(qvlib::WriteItem(h, 0x03, c.item, 0x10, &changed), c.result) << Hex(c.reply);
        EXPECT_EQ(changed, c.changed) << Hex(c.reply);
    }
}

TEST_F(Commands, UpdateLockFallsBackToTheOlderLock) {
    make();
    EXPECT_EQ(qvlib::SetUpdateLock(h, 1), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F3 00 07 00 01"}));
    ctl->clearTrace();
    ctl->setReply(P(0xF3, 0x00, 0x07, 0x00, 0x00), P(0xF3, 0x00, 0x07, 0x00, 0x00));  // not accepted
    EXPECT_EQ(qvlib::SetUpdateLock(h, 0), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F3 00 07 00 00", "F7 00 00 00 00"}));
    ctl->clearTrace();
    ctl->refuse(0xF7);
    EXPECT_EQ(qvlib::SetUpdateLock(h, 0), 0);
}

TEST_F(Commands, IdentityAndBootStatePerSeries) {
    struct Case { qvsim::Series series; uint16_t number; uint8_t major, minor, letter, customer; bool boot;
                  uint16_t wantNumber; uint8_t wantLetter, wantCustomer, wantStateA, wantStateB; };
    const Case cases[] = {
        {qvsim::Series::Current, 6020, 2, 7, 1, 0x31, false, 6020, 1, 0x31, 0x00, 0x00},
        {qvsim::Series::Current, 6020, 2, 7, 0, 0x31, true, 6020, 0, 0x31, 0x55, 0xAA},
        {qvsim::Series::Ostra, 6010, 4, 9, 0, 0, false, 6010, 0, 0, 0x00, 0x00},
        {qvsim::Series::Ostra, 6010, 4, 9, 0, 0, true, 6010, 0, 0, 0xAA, 0x55},
    };
    for (const auto& c : cases) {
        qvsim::ControllerProfile p;
        p.series = c.series;
        p.identityNumber = c.number;
        p.major = c.major;
        p.minor = c.minor;
        p.letter = c.letter;
        p.customer = c.customer;
        p.inBoot = c.boot;
        make(p);
        uint16_t number = 0;
        uint8_t letter = 0xEE, major = 0, minor = 0, customer = 0xEE, a = 0xEE, b = 0xEE;
        ASSERT_EQ(qvlib::ReadIdentity(h, 0, &number, &letter, &major), 1);
        EXPECT_EQ(number, c.wantNumber);
        EXPECT_EQ(letter, c.wantLetter);
        EXPECT_EQ(major, c.major);
        ASSERT_EQ(qvlib::ReadBootState(h, 0, &minor, &customer, &a, &b), 1);
        EXPECT_EQ(minor, c.minor);
        EXPECT_EQ(customer, c.wantCustomer);
        EXPECT_EQ(a, c.wantStateA) << "series " << int(c.series) << " boot " << c.boot;
        EXPECT_EQ(b, c.wantStateB) << "series " << int(c.series) << " boot " << c.boot;
    }
}

TEST_F(Commands, MelkIdentityNeedsItsMark) {
    qvsim::ControllerProfile p;
    p.series = qvsim::Series::Melk;
    p.major = 3;
    p.minor = 4;
    make(p);
    uint16_t number = 0;
    uint8_t letter = 9, major = 0, minor = 0, customer = 9, a = 9, b = 9;
    ASSERT_EQ(qvlib::ReadIdentity(h, 0, &number, &letter, &major), 1);
    EXPECT_EQ(number, 9000);
    EXPECT_EQ(letter, 0);
    EXPECT_EQ(major, 3);
    ASSERT_EQ(qvlib::ReadBootState(h, 0, &minor, &customer, &a, &b), 1);
    EXPECT_EQ(minor, 4);
    EXPECT_EQ(customer, 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F2 00 00 00 00", "F2 00 00 00 00"}));
    ctl->setReply(P(0xF2, 0, 0, 0, 0), P(0xF2, 0x00, 3, 4, 0));
    EXPECT_EQ(qvlib::ReadIdentity(h, 0, &number, &letter, &major), 0);
}

TEST_F(Commands, CustomerBytesAndIcCountPerSeries) {
    qvsim::ControllerProfile p;
    p.customerBytes = {1, 2, 3, 4};
    p.slaveCount = 2;
    p.dualBootState = 0xAA;
    make(p);
    uint8_t out[4] = {};
    ASSERT_EQ(qvlib::ReadCustomerBytes(h, 0, out), 1);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    ASSERT_EQ(qvlib::ReadIcCount(h, out), 1);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[3], 0xAA);
    EXPECT_EQ(sent(), (std::vector<std::string>{"EB 00 00 00 00", "EF 00 00 00 00"}));

    p.series = qvsim::Series::Ostra;
    make(p);
    ASSERT_EQ(qvlib::ReadCustomerBytes(h, 0, out), 1);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(sent(), (std::vector<std::string>{"E7 00 00 00 00"}));
    ctl->refuse(0xE7);
    ASSERT_EQ(qvlib::ReadCustomerBytes(h, 0, out), 1);  // an Ostra device without the query reads zeros
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0, 0, 0, 0}));

    p.series = qvsim::Series::Melk;
    make(p);
    ASSERT_EQ(qvlib::ReadCustomerBytes(h, 0, out), 1);
    ASSERT_EQ(qvlib::ReadIcCount(h, out), 1);
    EXPECT_EQ(out[0], 1);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Commands, SendD2KeepsANonZeroStatusAsTheD1SettleTime) {
    qvsim::ControllerProfile p;
    p.d2Reply = {0x00, 0x10, 0x02, 0x07};
    make(p);
    auto* d = qvlib::SlotRecord(h);
    d->byBootMarker = 0xF4;
    uint32_t size = 0;
    ASSERT_EQ(SendD2(h, &size), 1);
    EXPECT_EQ(size, 0x021000u);
    EXPECT_EQ(d->byBootMarker, 7);
    const uint8_t d1[5] = {0xD1, 0, 0, 0, 0};
    uint8_t reply[5] = {};
    uint64_t t0 = now();
    SendCmd(h, d1, reply);
    EXPECT_EQ(now() - t0, 7u);  // the status byte replaces the 50 ms settle time

    ctl->refuse(0xD2);
    EXPECT_EQ(SendD2(h, &size), 0);
    EXPECT_EQ(d->byBootMarker, 0);  // cleared before asking
    t0 = now();
    SendCmd(h, d1, reply);
    EXPECT_EQ(now() - t0, 50u);
    EXPECT_EQ(SendD2(reinterpret_cast<HANDLE>(0x31), &size), 0);
}

TEST_F(Commands, SaveBaseWaitsForTwoIdleStatuses) {
    make();
    uint64_t t0 = now();
    EXPECT_EQ(qvlib::SaveBaseAndWait(h), 1);
    EXPECT_EQ(now() - t0, 50u + 100u + 100u);
    EXPECT_EQ(sent(), (std::vector<std::string>{"E4 01 00 00 02", "E4 00 00 00 00", "E4 00 00 00 00"}));

    ctl->clearTrace();
    ctl->setReply(P(0xE4, 0, 0, 0, 0), P(0xE4, 0x00, 0x00, 0x02, 0x00));  // busy: bit 9
    t0 = now();
    EXPECT_EQ(qvlib::SaveBaseAndWait(h), 0);
    EXPECT_EQ(now() - t0, 50u + 100u + 150u + 200u);
    EXPECT_EQ(ctl->trace().size(), 4u);

    ctl->refuse(0xE4, 1);
    EXPECT_EQ(qvlib::SaveBaseAndWait(h), 0);
}

TEST_F(Commands, ScanEnableWaitsForTheScanBit) {
    make();
    uint64_t t0 = now();
    EXPECT_EQ(qvlib::EnableScanAndWait(h, 0), 1);
    EXPECT_EQ(now() - t0, 100u);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F1 00 00 00 00", "E0 00 F0 00 00"}));

    ctl->clearTrace();
    t0 = now();
    EXPECT_EQ(qvlib::EnableScanAndWait(h, 1), 1);  // data report on: no wait
    EXPECT_EQ(now() - t0, 0u);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F1 00 00 00 01"}));

    ctl->setReply(P(0xE0, 0x00, 0xF0, 0x00, 0x00), P(0xE0, 0, 0, 0, 0));  // never scanning
    t0 = now();
    EXPECT_EQ(qvlib::EnableScanAndWait(h, 0), 0);
    EXPECT_EQ(now() - t0, 1100u);
}

TEST_F(Commands, SlaveSelectRetriesWithGrowingPauses) {
    make();
    auto* d = qvlib::SlotRecord(h);
    d->diag.capability[3] = 0;  // older scan control
    ctl->profile().stateF0 = {0, 0, 0, 0x01};  // scanning
    ctl->refuse(0xF4, 3);
    int changed = 0;
    uint64_t t0 = now();
    EXPECT_EQ(qvlib::SendF4Retry(h, &changed), 1);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(now() - t0, 30u + 100u + 100u + 200u + 200u);
    EXPECT_EQ(sent(), (std::vector<std::string>{"E0 00 F0 00 00", "F0 00 00 00 00", "F4 00 00 00 01",
                                                "F4 00 00 00 01", "F4 00 00 00 01", "F4 00 00 00 01"}));

    ctl->clearTrace();
    ctl->refuse(0xF4);
    changed = 0;
    t0 = now();
    EXPECT_EQ(qvlib::SendF4Retry(h, &changed), 0);  // not scanning now: no scan stop
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(ctl->trace().size(), 1u + 6u);
    EXPECT_EQ(now() - t0, 2500u);
}

TEST_F(Commands, SlaveSelectOnNewerScanControlEntersDiagnostics) {
    make();
    auto* d = qvlib::SlotRecord(h);
    d->diag.capability[3] = 29;
    ctl->setReg(0x00, 0xFF, {0x00, 0x00, 0x00, 0x00});  // bit 7 of byte 2 clear: not in diagnostics
    ctl->setReply(P(0xF9, 0xFF, 0x90, 0x00, 0x01), P(0xF9, 0xFF, 0x90, 0x00, 0x01));
    openLog();
    int changed = 0;
    EXPECT_EQ(qvlib::SendF4Retry(h, &changed), 1);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"E0 00 FF 00 01", "F9 FF 90 00 01", "F4 00 00 00 01"}));
    EXPECT_NE(closeLogAndRead().find("\r SendF4Retry : EnterDiagnosticMode(TRUE)\r"), std::string::npos);

    ctl->clearTrace();
    ctl->setReg(0x00, 0xFF, {0x00, 0x80, 0x00, 0x00});  // already in diagnostics
    changed = 0;
    EXPECT_EQ(qvlib::SendF4Retry(h, &changed), 1);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(sent(), (std::vector<std::string>{"E0 00 FF 00 01", "F4 00 00 00 01"}));
}

TEST_F(Commands, ReportLengthProbe) {
    make();
    uint16_t len = 0;
    ctl->setReply(P(0xFA, 0xFF, 0, 0, 0), P(0xFA, 0x40, 0x01, 0, 0));
    ASSERT_EQ(qvlib::ReadReportLength(h, &len), 1);
    EXPECT_EQ(len, 0x0140);
    ctl->setReply(P(0xFA, 0xFF, 0, 0, 0), P(0xFA, 0xFF, 0x00, 0, 0));
    EXPECT_EQ(qvlib::ReadReportLength(h, &len), 0);
    ctl->clearReplies();
    ctl->clearTrace();
    ctl->refuse(0xFA, 1);  // the older form answers
    ctl->setReply(P(0xFA, 0x00, 0x55, 0, 0), P(0xFA, 0x3C, 0x00, 0, 0));
    ASSERT_EQ(qvlib::ReadReportLength(h, &len), 1);
    EXPECT_EQ(len, 0x3C);
    EXPECT_EQ(sent(), (std::vector<std::string>{"FA FF 00 00 00", "FA 00 55 00 00", "E0 00 F0 00 00"}));
    ctl->profile().stateF0 = {0, 0, 0x10, 0};  // a state the bulk path cannot serve
    EXPECT_EQ(qvlib::ReadReportLength(h, &len), 0);
    qvlib::SlotRecord(h)->byFeature[0] |= 0x04;
    EXPECT_EQ(qvlib::ReadReportLength(h, &len), 1);
}

TEST_F(Commands, WordReadsAndByteOrders) {
    make();
    ctl->setReply(P(0xC1, 0x00, 0x03, 0x00, 0x00), P(0xC1, 0x11, 0x22, 0x33, 0x44));
    ctl->setReply(P(0xE6, 0x01, 0x02, 0x00, 0x00), P(0xE6, 0x99, 0x34, 0x12, 0x56));
    ctl->setReply(P(0xF6, 0x90, 0x04, 0x00, 0x00), P(0xF6, 0x90, 0x04, 0x20, 0x0A));
    uint8_t c[4] = {};
    ASSERT_EQ(qvlib::ReadParameterConstant(h, 3, c), 1);
    EXPECT_EQ(std::vector<uint8_t>(c, c + 4), (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11}));
    uint16_t value = 0;
    uint8_t last = 0;
    ASSERT_EQ(qvlib::ReadFeatureItem(h, 1, 2, &value, &last), 1);
    EXPECT_EQ(value, 0x1234);
    EXPECT_EQ(last, 0x56);
    uint8_t maximum = 0, v = 0;
    uint64_t t0 = now();
    ASSERT_EQ(qvlib::ReadItem(h, 0x90, 0x04, &maximum, &v), 1);
    EXPECT_EQ(now() - t0, 50u);  // group 0x90 answers after a 50 ms delay
    EXPECT_EQ(maximum, 0x20);
    EXPECT_EQ(v, 0x0A);
    uint32_t word = 0;
    ctl->profile().featureFC = {0x01, 0x02, 0x03, 0x04};
    ASSERT_EQ(qvlib::ReadRegisterWord(h, 0x00, 0xFC, &word), 1);
    EXPECT_EQ(word, 0x04030201u);
}

TEST_F(Commands, BootLoaderSwitchAndPacketSize) {
    make();
    ctl->setReply(P(0xD4, 0x00, 0x00, 0x00, 0x00), P(0xD4, 0x00, 0x00, 0x00, 0x00));
    ctl->setReply(P(0xD4, 0x00, 0xAA, 0x00, 0x00), P(0xD4, 0x00, 0xAA, 0x00, 0x64));
    uint64_t t0 = now();
    EXPECT_EQ(qvlib::SwitchToBoot(h), 1);
    EXPECT_EQ(now() - t0, 100u);  // waits as long as the boot loader asks
    ctl->refuse(0xD4, 1);
    EXPECT_EQ(qvlib::SwitchToBoot(h), 0);

    ctl->setReply(P(0xD3, 0x00, 0x00, 0x00, 0x01), P(0xD3, 0x40, 0x00, 0x00, 0x00));
    ctl->setReply(P(0xD3, 0x00, 0xAA, 0x00, 0x01), P(0xD3, 0x08, 0x00, 0x00, 0x00));
    uint32_t size = 0;
    EXPECT_EQ(qvlib::ReadBootPacketSize(h, false, &size), 1);
    EXPECT_EQ(size, 0x40u);
    EXPECT_EQ(qvlib::ReadBootPacketSize(h, true, &size), 1);
    EXPECT_EQ(size, 8u);
    qvlib::SlotRecord(h)->byBridgeFeature[4] = 0xFF;  // behind a bridge the direct size does not count
    EXPECT_EQ(qvlib::ReadBootPacketSize(h, false, &size), 0);
}

}  // namespace
