// Flags, state words and the simple settings: data report, scanning, reset,
// monitor id, HID report type, the driver-kept settings, the boot loader's
// packet size, output reports and the boot-loader switch.
#include "library_info_support.h"

#include <cstring>

using namespace qvtest;

namespace {

class Settings : public InfoTest {};

TEST_F(Settings, LibraryVersionAndFeatureSwitch) {
    int v[4] = {-1, -1, -1, -1};
    EXPECT_EQ(GetLibraryVersion(&v[0], &v[1], &v[2], &v[3]), 1);
    EXPECT_EQ(std::vector<int>(v, v + 4), (std::vector<int>{1, 3, 0, 11}));
    EXPECT_EQ(GetFeatureSwitch(), 0);
}

TEST_F(Settings, FeatureFlagsAreThoseReadAtRegistration) {
    qvsim::ControllerProfile p;
    p.featureF4 = {0x11, 0x22, 0x33, 0x44};
    p.featureFC = {0x55, 0x66, 0x77, 0x88};
    p.bridge = {0x01, 0x00, 0x00, 0x02};
    makeHid(p);
    uint8_t f[8] = {}, b[8] = {};
    ASSERT_EQ(GetFeatureFlag(h, f), 1);
    ASSERT_EQ(GetBridgeFeatureFlag(h, b), 1);
    EXPECT_EQ(std::vector<uint8_t>(f, f + 8), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
    EXPECT_EQ(std::vector<uint8_t>(b, b + 8), (std::vector<uint8_t>{0x01, 0x00, 0x00, 0x02, 0xFF, 0, 0, 0}));
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(GetFeatureFlag(reinterpret_cast<HANDLE>(0x42), f), 0);
}

TEST_F(Settings, StateFlagsAndTheirExtendedForm) {
    qvsim::ControllerProfile p;
    p.stateF0 = {0x00, 0x00, 0x12, 0x34};
    p.stateEx = {0xAB, 0xCD, 0x12, 0x34};
    p.stateEx1 = {0x01, 0x02, 0x03, 0x04};
    makeHid(p);
    ctl->setReg(0x00, 0xF1, {0x00, 0x00, 0x56, 0x78});
    uint8_t flags[4] = {};
    ASSERT_EQ(GetStateFlag(h, flags), 1);
    EXPECT_EQ(std::vector<uint8_t>(flags, flags + 4), (std::vector<uint8_t>{0x34, 0x12, 0x78, 0x56}));

    StateFlagEx s{};
    ASSERT_EQ(GetStateFlagEx(h, &s), 1);
    EXPECT_EQ(s.status, 0xABCD);
    EXPECT_EQ(s.flag, 0x1234);
    EXPECT_EQ(s.diagnostic, 0x0102);
    EXPECT_EQ(s.status2, 0x0304);

    // Without the extended words: the plain state bytes, one per word.
    ctl->setReply(P(0xE0, 0x00, 0xFF, 0x00, 0x00), P(0xAA, 0xE0, 0x00, 0xFF, 0x00));
    ASSERT_EQ(GetStateFlagEx(h, &s), 1);
    EXPECT_EQ(s.flag, 0x34);
    EXPECT_EQ(s.status, 0x12);
    EXPECT_EQ(s.status2, 0x78);
    EXPECT_EQ(s.diagnostic, 0x56);
    // The second state word missing reads as zeros.
    ctl->setReply(P(0xE0, 0x00, 0xF1, 0x00, 0x00), P(0xAA, 0xE0, 0x00, 0xF1, 0x00));
    ASSERT_EQ(GetStateFlag(h, flags), 1);
    EXPECT_EQ(flags[2] | flags[3], 0);
    // The first page answers, the second does not: a failure.
    ctl->clearReplies();
    ctl->setReply(P(0xE0, 0x00, 0xFF, 0x00, 0x01), P(0xAA, 0xE0, 0x00, 0xFF, 0x00));
    EXPECT_EQ(GetStateFlagEx(h, &s), 0);

    p.series = qvsim::Series::Ostra;
    makeHid(p, "/sim/hidraw1");
    EXPECT_EQ(GetStateFlag(h, flags), 0);
    EXPECT_EQ(GetStateFlagEx(h, &s), 0);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Settings, DataReportScanAndTouchSwitches) {
    makeHid(qvsim::ControllerProfile{});
    int on = -1;
    ASSERT_EQ(EnableDataReport(h, 1), 1);
    ASSERT_EQ(GetDataReportState(h, &on), 1);
    EXPECT_EQ(on, 1);
    ASSERT_EQ(SetTouchEnable(h, 0), 1);
    ASSERT_EQ(GetDataReportState(h, &on), 1);
    EXPECT_EQ(on, 0);
    ASSERT_EQ(EnablePCAPScan(h, 1), 1);
    EXPECT_EQ(ctl->profile().stateF0[3], 0x01);  // scanning, data report still off
    ASSERT_EQ(EnablePCAPScan(h, 0), 1);
    EXPECT_EQ(ctl->profile().stateF0[3], 0x00);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F1 00 00 00 01", "E0 00 F0 00 00", "F0 00 00 00 01",
                                                "E0 00 F0 00 00", "F1 00 00 00 00", "E0 00 F0 00 00",
                                                "F0 00 00 00 00"}));
}

TEST_F(Settings, SeriesControllersSwitchTheDataReportThroughTheDriver) {
    qvsim::ControllerProfile p;
    p.series = qvsim::Series::Ostra;
    makeDriver(p);
    int on = -1;
    ASSERT_EQ(EnableDataReport(h, 1), 1);
    EXPECT_EQ(ctl->profile().driver.dataReport, 1u);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F1 00 00 00 01"}));
    ASSERT_EQ(GetDataReportState(h, &on), 1);
    EXPECT_EQ(on, 1);
    // Under touch type 1 the driver passes no data reports on: refused, nothing sent.
    ctl->profile().driver.touchType = 1;
    ctl->clearTrace();
    EXPECT_EQ(EnableDataReport(h, 0), 0);
    EXPECT_EQ(GetDataReportState(h, &on), 0);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(ctl->profile().driver.dataReport, 1u);

    makeHid(p, "/sim/hidraw0");
    EXPECT_EQ(EnableDataReport(h, 1), 0);
    EXPECT_EQ(GetDataReportState(h, &on), 0);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Settings, ResetIsSentTwice) {
    makeHid(qvsim::ControllerProfile{});
    ASSERT_EQ(ResetMPU(h), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"FE 00 00 00 00", "FE 00 00 00 00"}));
    ctl->silence(0xFE, 5);  // every attempt of the first exchange
    EXPECT_EQ(ResetMPU(h), 0);  // the first must be answered
    // A restarting firmware that no longer answers the second still counts as reset.
    ctl->disconnectAfter(2);  // gone before the second answer can be read
    EXPECT_EQ(ResetMPU(h), 1);

    qvsim::ControllerProfile ostra;
    ostra.series = qvsim::Series::Ostra;
    makeHid(ostra, "/sim/hidraw1");
    EXPECT_EQ(ResetMPU(h), 0);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Settings, MonitorIdByInterfaceAndProtocol) {
    // Current controller without the item protocol: register 0x49 inside the register lock, flushed.
    makeHid(qvsim::ControllerProfile{});
    const uint8_t id = 7;
    ASSERT_EQ(SetMonitorID(h, &id), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F3 00 07 00 01", "E1 00 49 00 07", "EA 00 00 00 00",
                                                "EA 00 00 00 00", "EA 00 AA 00 00", "EA 00 AA 00 00",
                                                "F3 00 07 00 00"}));
    uint32_t got = 0;
    ASSERT_EQ(GetMonitorID(h, &got), 1);
    EXPECT_EQ(got, 7u);
    ctl->refuse(0xEA, 1);
    EXPECT_EQ(SetMonitorID(h, &id), 0);

    // With the item protocol: the lock and flush items.
    qvsim::ControllerProfile items;
    items.featureF4 = {0x82, 0, 0, 0};
    items.paraVersion = 152;
    makeHid(items, "/sim/hidraw1");
    const uint8_t id2 = 3;
    ASSERT_EQ(SetMonitorID(h, &id2), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F6 00 9F 00 01", "E1 00 49 00 03", "F6 00 90 00 00",
                                                "F6 00 9F 00 00"}));
    EXPECT_EQ(ctl->profile().monitorId, 3);

    // Series controller over HID: the F3 query's byte 4 goes back with the write.
    qvsim::ControllerProfile ostra;
    ostra.series = qvsim::Series::Ostra;
    ostra.monitorKey = 0x3C;
    makeHid(ostra, "/sim/hidraw2");
    const uint8_t id3 = 2;
    ASSERT_EQ(SetMonitorID(h, &id3), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F3 00 7C 00 00", "F2 00 7C 02 3C", "EF 00 00 00 00"}));
    ASSERT_EQ(GetMonitorID(h, &got), 1);
    EXPECT_EQ(got, 2u);
    // A write the controller refuses is a failure, whatever the last command says.
    ctl->setReply(P(0xF3, 0x00, 0x7C, 0x00, 0x00), P(0xF3, 0x00, 0x7C, 0x02, 0x00));
    EXPECT_EQ(SetMonitorID(h, &id3), 0);

    // Through the driver: its own setting.
    makeDriver(qvsim::ControllerProfile{});
    const uint8_t id4 = 5;
    ASSERT_EQ(SetMonitorID(h, &id4), 1);
    EXPECT_EQ(ctl->profile().driver.monitorId, 5u);
    ASSERT_EQ(GetMonitorID(h, &got), 1);
    EXPECT_EQ(got, 5u);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Settings, DriverKeptSettings) {
    makeDriver(qvsim::ControllerProfile{});
    uint8_t type = 9;
    ASSERT_EQ(GetQVDriverTouchType(h, &type), 1);
    EXPECT_EQ(type, 2);
    ASSERT_EQ(SetQVDriverTouchType(h, 1), 1);
    ASSERT_EQ(GetQVDriverTouchType(h, &type), 1);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(SetQVDriverTouchType(h, 3), 0);
    EXPECT_EQ(ctl->profile().driver.touchType, 1u);

    int on = -1;
    ASSERT_EQ(SetRightButton(h, 5), 1);
    EXPECT_EQ(ctl->profile().driver.rightButton, 1u);  // stored as 0/1
    ctl->profile().driver.rightButton = 0x100;
    ASSERT_EQ(GetRightButton(h, &on), 1);
    EXPECT_EQ(on, 1);
    ASSERT_EQ(SetTouchAndHold(h, 1), 1);
    ASSERT_EQ(GetTouchAndHold(h, &on), 1);
    EXPECT_EQ(on, 1);
    ASSERT_EQ(SetTouchAndHold(h, 0), 1);
    ASSERT_EQ(GetTouchAndHold(h, &on), 1);
    EXPECT_EQ(on, 0);

    ctl->profile().driver.versionWord = 0x00070003;
    uint32_t v3[3] = {}, v4[4] = {};
    ASSERT_EQ(GetQVDriverVersion(h, v3), 1);
    EXPECT_EQ(v3[2], 0x00070003u);
    ASSERT_EQ(GetQVDriverVersionEx(h, v4), 1);
    EXPECT_EQ(v4[0], v3[0]);
    EXPECT_EQ(v4[1], v3[1]);
    EXPECT_EQ(v4[2], 3u);
    EXPECT_EQ(v4[3], 7u);
    EXPECT_TRUE(sent().empty());  // the firmware sees none of this

    // Controllers that are not behind the driver have none of these settings.
    makeHid(qvsim::ControllerProfile{});
    type = 9;
    EXPECT_EQ(GetQVDriverTouchType(h, &type), 0);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(SetQVDriverTouchType(h, 2), 0);
    EXPECT_EQ(GetRightButton(h, &on), 0);
    EXPECT_EQ(SetTouchAndHold(h, 1), 0);
    EXPECT_EQ(GetQVDriverVersion(h, v3), 0);
    EXPECT_EQ(GetQVDriverVersionEx(h, v4), 0);
}

TEST_F(Settings, HidReportTypeItem) {
    qvsim::ControllerProfile p;
    p.featureF4 = {0x82, 0, 0, 0};
    p.paraVersion = 152;
    p.items[{1, 3}] = {3, 1};
    makeHid(p);
    uint8_t type = 0;
    ASSERT_EQ(GetHidReportType(h, &type), 1);
    EXPECT_EQ(type, 1);
    ctl->clearTrace();
    ASSERT_EQ(SetHidReportType(h, 1), 1);  // unchanged: nothing written
    EXPECT_EQ(sent(), (std::vector<std::string>{"F6 01 13 00 00"}));
    ctl->clearTrace();
    ASSERT_EQ(SetHidReportType(h, 2), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F6 01 13 00 00", "F6 00 9F 00 01", "F6 01 83 00 02",
                                                "F6 00 9F 00 00"}));
    EXPECT_EQ((ctl->profile().items[{1, 3}].value), 2);
    EXPECT_EQ(SetHidReportType(h, 9), 0);  // above the item's maximum

    p.paraVersion = 146;
    makeHid(p, "/sim/hidraw1");
    EXPECT_EQ(GetHidReportType(h, &type), 0);
    EXPECT_EQ(SetHidReportType(h, 2), 0);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Settings, BootLoaderPacketSize) {
    qvsim::ControllerProfile p;
    p.bootPacketSize = 64;
    p.slaves.resize(2);
    p.slaves[1].inBoot = true;
    makeHid(p);
    int known = -1;
    uint16_t size = 0;
    ASSERT_EQ(GetBufferSize(h, 0, &known, &size), 1);
    EXPECT_EQ(size, 64);
    EXPECT_EQ(known, 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"D3 00 00 00 01"}));

    // A slave in its boot loader: known, with the boot loader's fixed packets.
    ctl->clearTrace();
    ASSERT_EQ(GetBufferSize(h, 2, &known, &size), 1);
    EXPECT_EQ(known, 1);
    EXPECT_EQ(size, 8);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F4 00 01 00 01", "D3 00 00 00 01", "D3 00 AA 00 01"}));
    // A slave that is not: not known, no size asked.
    ctl->clearTrace();
    ASSERT_EQ(GetBufferSize(h, 1, &known, &size), 1);
    EXPECT_EQ(known, 0);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F4 00 00 00 01"}));

    // No size from the controller: 8 and not known, still 1.
    ctl->profile().bootPacketSize.reset();
    ASSERT_EQ(GetBufferSize(h, 0, &known, &size), 1);
    EXPECT_EQ(size, 8);
    EXPECT_EQ(known, 0);
    ctl->refuse(0xF4);
    EXPECT_EQ(GetBufferSize(h, 1, &known, &size), 0);

    makeDriver(qvsim::ControllerProfile{});
    known = -1;
    ASSERT_EQ(GetBufferSize(h, 0, &known, &size), 1);
    EXPECT_EQ(size, 8);
    EXPECT_EQ(known, 0);
    EXPECT_TRUE(sent().empty());

    qvsim::ControllerProfile melk;
    melk.series = qvsim::Series::Melk;
    makeHid(melk, "/sim/hidraw1");
    EXPECT_EQ(GetBufferSize(h, 0, &known, &size), 0);
}

TEST_F(Settings, OutputReportsGoToHidControllersOnly) {
    makeHid(qvsim::ControllerProfile{});
    const uint8_t block[3] = {0x10, 0x20, 0x30};
    ASSERT_EQ(SetOutputReport(h, 3, block), 1);
    auto* dev = bench->hid("/sim/hidraw0");
    ASSERT_EQ(dev->outputReports().size(), 1u);
    EXPECT_EQ(dev->outputReports()[0], (std::vector<uint8_t>{0x10, 0x20, 0x30}));
    EXPECT_EQ(SetOutputReport(h, 3, nullptr), 0);
    EXPECT_EQ(dev->outputReports().size(), 1u);
    makeDriver(qvsim::ControllerProfile{});
    EXPECT_EQ(SetOutputReport(h, 3, block), 0);
}

TEST_F(Settings, OutputReportsAreBoundedByTheDevicesReportLength) {
    makeHid(qvsim::ControllerProfile{});
    auto* dev = bench->hid("/sim/hidraw0");
    std::vector<uint8_t> block(64, 0x5A);
    ASSERT_EQ(SetOutputReport(h, 64, block.data()), 1);  // 64 bytes and the id: the device's 65
    // Longer is refused before the caller's block is read, however long it says it is.
    for (uint32_t length : {65u, 4096u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(length);
        EXPECT_EQ(SetOutputReport(h, length, block.data()), 0);
    }
    EXPECT_EQ(dev->outputReports().size(), 1u);

    // A device that does not say: the largest report the HID layer passes.
    qvsim::HidInfo quiet;
    quiet.path = "/sim/hidraw1";
    quiet.outputReportLength = -1;
    auto other = std::make_shared<qvsim::Controller>();
    bench->addHid(other, quiet);
    qvlib::DevInfo rec = Scratch(quiet.path, "KEY1", QV_DEVICE_HID, 0);
    rec.hDevice = qvp::backend().open(quiet.path, qvp::DeviceKind::Hid);
    qvlib::RegisterDeviceSlot(rec);
    std::vector<uint8_t> big(16383, 0x11);
    EXPECT_EQ(SetOutputReport(rec.hDevice, 16383, big.data()), 1);
    EXPECT_EQ(SetOutputReport(rec.hDevice, 16384, big.data()), 0);
    EXPECT_EQ(SetOutputReport(rec.hDevice, 0xFFFFFFFFu, big.data()), 0);
    EXPECT_EQ(bench->hid(quiet.path)->outputReports().size(), 1u);
}

TEST_F(Settings, NewBootLoaderCheckSwitchesToIt) {
    qvsim::ControllerProfile p;
    p.dualBootState = 0xAA;
    p.bootSwitchMs = 40;
    makeHid(p);
    int isNew = -1;
    const uint64_t t0 = now();
    ASSERT_EQ(CheckNewBoot(h, &isNew), 1);
    EXPECT_EQ(isNew, 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"EF 00 00 00 00", "D4 00 00 00 00", "D4 00 AA 00 00"}));
    EXPECT_EQ(now() - t0, 40u);
    EXPECT_TRUE(ctl->profile().inBoot);

    ctl->profile().inBoot = false;
    ctl->profile().dualBootState = 0xBB;
    ctl->clearTrace();
    ASSERT_EQ(CheckNewBoot(h, &isNew), 1);
    EXPECT_EQ(isNew, 0);
    EXPECT_EQ(sent(), (std::vector<std::string>{"EF 00 00 00 00"}));

    // Ex: the switch only for a listed state.
    const uint8_t states[2] = {0xAA, 0xBB};
    uint8_t state = 0;
    ctl->clearTrace();
    ASSERT_EQ(CheckNewBootEx(h, states, 2, &state), 1);
    EXPECT_EQ(state, 0xBB);
    EXPECT_TRUE(ctl->profile().inBoot);
    ctl->profile().inBoot = false;
    ctl->clearTrace();
    ASSERT_EQ(CheckNewBootEx(h, states, 0, &state), 1);  // an empty list
    EXPECT_EQ(state, 0);
    ASSERT_EQ(CheckNewBootEx(h, nullptr, 2, &state), 1);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(sent(), (std::vector<std::string>{"EF 00 00 00 00", "EF 00 00 00 00"}));
    EXPECT_FALSE(ctl->profile().inBoot);
    ctl->refuse(0xD4);
    EXPECT_EQ(CheckNewBootEx(h, states, 2, &state), 0);

    qvsim::ControllerProfile ostra;
    ostra.series = qvsim::Series::Ostra;
    ostra.dualBootState = 0xAA;
    makeHid(ostra, "/sim/hidraw1");
    ASSERT_EQ(CheckNewBoot(h, &isNew), 1);
    EXPECT_EQ(isNew, 0);
    state = 7;
    ASSERT_EQ(CheckNewBootEx(h, states, 2, &state), 1);
    EXPECT_EQ(state, 0);
    EXPECT_TRUE(sent().empty());

    qvsim::ControllerProfile melk;
    melk.series = qvsim::Series::Melk;
    makeHid(melk, "/sim/hidraw2");
    EXPECT_EQ(CheckNewBoot(h, &isNew), 0);
    EXPECT_EQ(CheckNewBootEx(h, states, 2, &state), 0);
}

}  // namespace
