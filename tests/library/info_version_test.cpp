// Version texts of the master and slave ICs, and the mode changes around the
// slave queries.
#include "library_info_support.h"

#include <cstring>

using namespace qvtest;

namespace {

// A current controller: QV6020A, customer 5, version 2.7, build 3.4, boot loader 1.3 'B'.
qvsim::ControllerProfile Master() { return CurrentMasterProfile(); }

// Master plus two slaves the master can reach (state-ex bit 15).
qvsim::ControllerProfile MasterWithTwoSlaves() { return MasterWithTwoSlavesProfile(); }

class Versions : public InfoTest {
protected:
    FirmwareVersionInfoA info;
    void SetUp() override {
        InfoTest::SetUp();
        std::memset(&info, 0x5A, sizeof info);
    }
    int read() { return GetFWVersionA(h, &info); }
    std::string slave(int k) const { return info.slave[k]; }
};

TEST_F(Versions, SingleControllerTexts) {
    struct Case {
        const char* what;
        std::function<void(qvsim::ControllerProfile&)> adjust;
        const char* text;
    };
    const Case cases[] = {
        {"build tail", [](auto&) {}, "QV6020A.D05.2.7.3.4   Boot : 1.3 B"},
        {"no ED byte 4", [](auto& p) { p.buildB = 0; }, "QV6020A.D05.2.7.3   Boot : 1.3 B"},
        {"boot loader without letter", [](auto& p) { p.customerBytes = {1, 0, 3, 0}; }, "QV6020A.D05.2.7.3.4   Boot : 1.3 "},
        {"no boot version", [](auto& p) { p.customerBytes = {0, 2, 0, 9}; }, "QV6020A.D05.2.7.3.4   "},
        {"no letter, no customer", [](auto& p) { p.letter = 0, p.customer = 0; }, "QV6020.2.7.3.4   Boot : 1.3 B"},
        {"EF reports no IC", [](auto& p) { p.slaveCount = 0; }, "QV6020A.D05.2.7.3.4   Boot : 1.3 B"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto p = Master();
        c.adjust(p);
        makeHid(p);
        ASSERT_EQ(read(), 1);
        EXPECT_STREQ(info.master, c.text);
        for (int k = 0; k < 4; ++k) EXPECT_STREQ(info.slave[k], "");
        EXPECT_EQ(info.masterInBoot, 0);
        EXPECT_EQ(info.slaveCount, 0);
        EXPECT_EQ(sent(), (std::vector<std::string>{"ED 00 00 00 00", "EF 00 00 00 00", "EE 00 00 00 00",
                                                    "EB 00 00 00 00"}));
        bench->remove("/sim/hidraw0");
    }
}

TEST_F(Versions, EveryCustomerPrefixRange) {
    const std::pair<uint8_t, const char*> cases[] = {{0, ""},      {5, "D05."},   {199, "D199."}, {200, "A01."},
                                                     {249, "A50."}, {250, "T."}, {251, "T1."},   {255, "T5."}};
    for (const auto& [customer, prefix] : cases) {
        auto p = Master();
        p.customer = customer;
        makeHid(p);
        ASSERT_EQ(read(), 1);
        EXPECT_EQ(std::string(info.master), std::string("QV6020A.") + prefix + "2.7.3.4   Boot : 1.3 B")
            << "customer " << int(customer);
        bench->remove("/sim/hidraw0");
    }
}

TEST_F(Versions, OstraAndMelkControllers) {
    qvsim::ControllerProfile ostra;
    ostra.series = qvsim::Series::Ostra;
    ostra.identityNumber = 6101;
    ostra.major = 4;
    ostra.minor = 9;
    ostra.buildA = 1;
    ostra.buildB = 2;
    ostra.customerBytes = {2, 0, 5, 0};  // E7 on this series
    makeHid(ostra);
    ASSERT_EQ(read(), 1);
    EXPECT_STREQ(info.master, "QV6101.4.9.1.2   Boot : 2.5 ");
    EXPECT_EQ(sent(), (std::vector<std::string>{"ED 00 00 00 00", "EF 00 00 00 00", "EE 00 00 00 00",
                                                "E7 00 00 00 00"}));

    qvsim::ControllerProfile melk;
    melk.series = qvsim::Series::Melk;
    melk.major = 0x2;
    melk.minor = 0x5B;
    makeHid(melk, "/sim/hidraw1");
    ASSERT_EQ(read(), 1);
    EXPECT_STREQ(info.master, "QV9000.25B.0");
    ctl->profile().inBoot = true;  // the boot byte's high nibble; Melk never counts as in its boot loader
    ASSERT_EQ(read(), 1);
    EXPECT_STREQ(info.master, "QV9000.25B.A");
    EXPECT_EQ(info.masterInBoot, 0);
    EXPECT_EQ(info.slaveCount, 0);
}

TEST_F(Versions, ControllerInItsBootLoaderHasNoSlaveTexts) {
    // Ostra controllers send the boot loader's marks as 55 AA in bytes 3 and 4.
    qvsim::ControllerProfile ostra;
    ostra.series = qvsim::Series::Ostra;
    ostra.identityNumber = 6101;
    ostra.major = 4;
    ostra.minor = 9;
    ostra.inBoot = true;
    ostra.slaveCount = 2;
    ostra.stateEx = {0x00, 0x80, 0x00, 0x00};
    ostra.slaves = {Slave(6102, 0, 1, 0, 0, 0, {})};
    makeHid(ostra);
    ASSERT_EQ(read(), 1);
    EXPECT_STREQ(info.master, "QV6101.4.9 (Boot)");
    EXPECT_EQ(info.masterInBoot, 1);
    EXPECT_EQ(info.slaveCount, 1);
    EXPECT_STREQ(info.slave[0], "");
    EXPECT_EQ(sent(), (std::vector<std::string>{"ED 00 00 00 00", "EF 00 00 00 00", "EE 00 00 00 00"}));

    // A current controller whose boot state bytes 3 and 4 read 55 AA.
    auto p = MasterWithTwoSlaves();
    makeHid(p, "/sim/hidraw1");
    ctl->setReply(P(0xED, 0, 0, 0, 0), P(0xED, 7, 5, 0x55, 0xAA));
    ASSERT_EQ(read(), 1);
    EXPECT_STREQ(info.master, "QV6020A.D05.2.7 (Boot)");
    EXPECT_EQ(info.masterInBoot, 1);
    EXPECT_EQ(info.slaveCount, 2);
    EXPECT_STREQ(info.slave[0], "");
    EXPECT_STREQ(info.slave[1], "");
    EXPECT_EQ(sent(), (std::vector<std::string>{"ED 00 00 00 00", "EF 00 00 00 00", "EE 00 00 00 00"}));
}

TEST_F(Versions, MasterWithTwoSlavesStopsScanningAroundTheSlaveQueries) {
    makeHid(MasterWithTwoSlaves());
    openLog();
    const uint64_t t0 = now();
    ASSERT_EQ(read(), 1);
    EXPECT_STREQ(info.master, "QV6020A.D05.2.7.3.4   Boot : 1.3 B");
    EXPECT_EQ(slave(0), "QV6021BS.D03.1.2.5.6   Boot : 1.4 ");
    EXPECT_EQ(slave(1), "QV6022S.1.3.7   ");
    EXPECT_STREQ(info.slave[2], "");
    EXPECT_EQ(info.slaveCount, 2);
    EXPECT_EQ(info.slaveInBoot[0], 0);
    EXPECT_EQ(info.slaveInBoot[1], 0);
    EXPECT_EQ(sent(), (std::vector<std::string>{
                          "ED 00 00 00 00", "EF 00 00 00 00", "E0 00 FF 00 00", "EE 00 F0 00 00",
                          "E0 00 F0 00 00", "F0 00 00 00 00",  // scanning stopped
                          "EE 00 00 00 00", "EB 00 00 00 00",
                          "F4 00 00 00 01", "ED 00 F0 00 00", "EE 00 F0 00 00", "EB 00 F0 00 00",
                          "F4 00 01 00 01", "ED 00 F1 00 00", "EE 00 F1 00 00", "EB 00 F1 00 00",
                          "F4 00 AA 00 00",  // back to the master
                          "F1 00 00 00 00", "E0 00 F0 00 00"}));  // scanning again
    EXPECT_EQ(now() - t0, 50u + 100u);
    EXPECT_EQ(ctl->profile().stateF0[3] & 0x01, 1);
    EXPECT_NE(closeLogAndRead().find("\r GetFWVer : EnterDiagnosticMode(FALSE)\r"), std::string::npos);

    // Not scanning: nothing to stop, nothing to restart.
    ctl->profile().stateF0 = {0, 0, 0, 0};
    ctl->clearTrace();
    ASSERT_EQ(read(), 1);
    EXPECT_FALSE(wasSent("F0 00 00 00 00"));
    EXPECT_FALSE(wasSent("F1 00 00 00 00"));
    EXPECT_EQ(slave(1), "QV6022S.1.3.7   ");
}

TEST_F(Versions, NewerScanControlEntersAndLeavesDiagnosticMode) {
    makeHid(MasterWithTwoSlaves());
    slot().diag.capability[3] = 32;
    openLog();
    ASSERT_EQ(read(), 1);
    EXPECT_EQ(slave(1), "QV6022S.1.3.7   ");
    auto s = sent();
    ASSERT_GE(s.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(s.begin() + 3, s.begin() + 6),
              (std::vector<std::string>{"EE 00 F0 00 00", "E0 00 FF 00 01", "F9 FF 90 00 01"}));
    EXPECT_EQ(std::vector<std::string>(s.end() - 2, s.end()),
              (std::vector<std::string>{"F4 00 AA 00 00", "F9 FF 90 00 00"}));
    EXPECT_FALSE(wasSent("F0 00 00 00 00"));
    const std::string log = closeLogAndRead();
    EXPECT_LT(log.find("\r GetFWVer : EnterDiagnosticMode(TRUE)\r"), log.find("\r GetFWVer : EnterDiagnosticMode(FALSE)\r"));
    EXPECT_NE(log.find("\r GetFWVer : EnterDiagnosticMode(FALSE)\r"), std::string::npos);

    // Already in diagnostic mode: the caller's mode is left as it was.
    const uint8_t enter[5] = {0xF9, 0xFF, 0x90, 0x00, 0x01};
    uint8_t reply[5];
    ASSERT_EQ(SendCmd(h, enter, reply), 1);
    ctl->clearTrace();
    ASSERT_EQ(read(), 1);
    EXPECT_FALSE(wasSent("F9 FF 90 00 01"));
    EXPECT_FALSE(wasSent("F9 FF 90 00 00"));
}

TEST_F(Versions, SeriesControllerThatNeedsDiagnosticModeFails) {
    auto p = MasterWithTwoSlaves();
    p.series = qvsim::Series::Ostra;
    makeHid(p);
    slot().diag.capability[3] = 32;
    EXPECT_EQ(read(), 0);
    EXPECT_FALSE(wasSent("F9 FF 90 00 01"));
    EXPECT_FALSE(wasSent("F4 00 00 00 01"));
}

TEST_F(Versions, SharedIcsAreReadWithoutSelectionOrModeChange) {
    auto p = MasterWithTwoSlaves();
    p.slaveCount = 2;
    p.slavesShareIc = true;
    // The second core: same boot letter byte as the master, version 2.8.
    p.slaves = {Slave(1234, 3, 8, 0, 1, 0, {1, 2, 3, 0})};
    p.slaves[0].major = 2;
    makeHid(p);
    ASSERT_EQ(read(), 1);
    EXPECT_EQ(slave(0), "QV6020CS.2.8.1   Boot : 1.3 B");  // the master's number
    EXPECT_EQ(sent(), (std::vector<std::string>{"ED 00 00 00 00", "EF 00 00 00 00", "E0 00 FF 00 00",
                                                "EE 00 F0 00 00", "EB 00 00 00 00", "EB 00 F0 00 00",
                                                "EE 00 00 00 00", "EB 00 00 00 00", "ED 00 F0 00 00",
                                                "EE 00 F0 00 00", "EB 00 F0 00 00"}));

    // The same answer to the identity query, but another boot letter: separate ICs after all.
    ctl->profile().slaves[0].customerBytes[1] = 9;
    ctl->clearTrace();
    ASSERT_EQ(read(), 1);
    EXPECT_TRUE(wasSent("F4 00 00 00 01"));
    EXPECT_TRUE(wasSent("F4 00 AA 00 00"));
    EXPECT_TRUE(wasSent("F0 00 00 00 00"));
}

TEST_F(Versions, SlavesAreNotReadWhenTheMasterCannotReachThem) {
    auto p = MasterWithTwoSlaves();
    p.stateEx = {0, 0, 0, 0};
    makeHid(p);
    ctl->setReply(P(0xE0, 0x00, 0xFF, 0x00, 0x00), P(0xAA, 0xE0, 0x00, 0xFF, 0x00));  // no state-ex word
    ASSERT_EQ(read(), 1);
    EXPECT_EQ(info.slaveCount, 2);
    EXPECT_STREQ(info.slave[0], "");
    EXPECT_EQ(sent(), (std::vector<std::string>{"ED 00 00 00 00", "EF 00 00 00 00", "E0 00 FF 00 00",
                                                "E0 00 F0 00 00", "EE 00 00 00 00", "EB 00 00 00 00"}));

    // The state word's bit 23 says they can be reached.
    ctl->profile().stateF0 = {0, 0, 0x80, 0};
    ASSERT_EQ(read(), 1);
    EXPECT_EQ(slave(1), "QV6022S.1.3.7   ");
}

TEST_F(Versions, SlaveInItsBootLoader) {
    qvsim::ControllerProfile p;
    p.series = qvsim::Series::Ostra;
    p.identityNumber = 6101;
    p.major = 4;
    p.minor = 9;
    p.slaveCount = 2;
    p.stateEx = {0x00, 0x80, 0x00, 0x00};
    p.slaves = {Slave(6102, 0, 1, 0, 0, 0, {})};
    p.slaves[0].major = 3;
    p.slaves[0].inBoot = true;
    makeHid(p);
    ASSERT_EQ(read(), 1);
    EXPECT_EQ(slave(0), "QV6102S.3.1");
    EXPECT_EQ(info.slaveInBoot[0], 1);
    EXPECT_EQ(info.masterInBoot, 0);
}

TEST_F(Versions, FailedSlaveQueryStillReturnsToMasterAndScanning) {
    makeHid(MasterWithTwoSlaves());
    ctl->setReply(P(0xEB, 0x00, 0xF1, 0x00, 0x00), P(0xAA, 0xEB, 0x00, 0xF1, 0x00));
    EXPECT_EQ(read(), 0);
    EXPECT_STREQ(info.master, "QV6020A.D05.2.7.3.4   Boot : 1.3 B");
    EXPECT_EQ(slave(0), "QV6021BS.D03.1.2.5.6   Boot : 1.4 ");
    EXPECT_STREQ(info.slave[1], "");
    auto s = sent();
    EXPECT_EQ(std::vector<std::string>(s.end() - 3, s.end()),
              (std::vector<std::string>{"F4 00 AA 00 00", "F1 00 00 00 00", "E0 00 F0 00 00"}));
    EXPECT_EQ(ctl->profile().stateF0[3] & 0x01, 1);
}

TEST_F(Versions, AtMostFourSlavesAreRead) {
    auto p = MasterWithTwoSlaves();
    p.slaveCount = 9;
    p.slaves.clear();
    for (int k = 0; k < 8; ++k) p.slaves.push_back(Slave(uint16_t(6030 + k), 0, 1, 0, 1, 0, {}));
    makeHid(p);
    ASSERT_EQ(read(), 1);
    EXPECT_EQ(info.slaveCount, 4);
    EXPECT_EQ(slave(3), "QV6033S.1.1.1   ");
    EXPECT_TRUE(wasSent("F4 00 03 00 01"));
    EXPECT_FALSE(wasSent("F4 00 04 00 01"));
}

TEST_F(Versions, WideTextsMatchTheNarrowOnes) {
    makeHid(MasterWithTwoSlaves());
    FirmwareVersionInfoW wide;
    std::memset(&wide, 0, sizeof wide);
    ASSERT_EQ(GetFWVersionW(h, &wide), 1);
    ASSERT_EQ(GetFWVersion(h, &info), 1);
    EXPECT_EQ(Narrow(wide.master), info.master);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(Narrow(wide.slave[k]), info.slave[k]);
    EXPECT_EQ(wide.slaveCount, 2);
    EXPECT_EQ(GetFWVersionW(reinterpret_cast<HANDLE>(0x1234), &wide), 0);
}

}  // namespace
