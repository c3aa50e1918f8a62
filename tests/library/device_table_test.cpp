// Registration with its identity probe, model names, open and close, and the
// small exports that describe a device.
#include "library_support.h"

#include <cstring>

using namespace qvtest;

namespace {

class Registration : public LibTest {};

struct ProbeCase {
    const char* label;
    qvsim::Series series;
    uint8_t feature0;      // byFeature byte 0 (E0 00 F4 reply byte 1)
    uint8_t feature2;      // byFeature byte 2
    uint16_t paraVersion;  // what the firmware answers to F6 00 10
    bool fastTiming;
    uint16_t number;       // identity number as the firmware sends it
    std::vector<std::string> commands;
    uint8_t timing;
    uint32_t expectedParaVersion;
};

TEST_F(Registration, ProbesEachSeriesAsDesigned) {
    const std::vector<ProbeCase> cases = {
        {"current, item protocol", qvsim::Series::Current, 0x82, 0x10, 152, false, 6020,
         {"E0 00 F4 00 00", "E0 00 FC 00 00", "F6 00 10 00 00", "E9 00 00 00 00", "EE AA 00 00 00",
          "E7 00 00 00 00", "F9 FF 00 00 00", "FA FF 00 00 00", "E0 00 F0 00 00", "E0 00 4E 00 00",
          "F6 02 02 00 00", "F6 02 03 00 00"},
         50, 152},
        {"current, no item protocol, fast", qvsim::Series::Current, 0x02, 0x00, 0, true, 6020,
         {"E0 00 F4 00 00", "E0 00 FC 00 00", "E9 00 00 00 00", "EE AA 00 00 00", "E7 00 00 00 00",
          "F9 FF 00 00 00", "FA FF 00 00 00", "E0 00 F0 00 00", "E0 00 4E 00 00", "E5 00 00 00 01",
          "EE 00 00 00 00", "E5 00 00 00 02"},
         5, 0},
        {"current, bank 0x90 scan mode", qvsim::Series::Current, 0x82, 0x80, 115, false, 6020,
         {"E0 00 F4 00 00", "E0 00 FC 00 00", "F6 00 10 00 00", "E9 00 00 00 00", "EE AA 00 00 00",
          "E7 00 00 00 00", "F9 FF 00 00 00", "FA FF 00 00 00", "E0 00 F0 00 00", "E0 90 0E 00 00",
          "F6 02 02 00 00", "F6 02 03 00 00"},
         50, 115},
        {"Ostra series", qvsim::Series::Ostra, 0x82, 0x00, 152, true, 6020, {}, 30, 0},
        {"Melk series", qvsim::Series::Melk, 0x82, 0x00, 152, true, 9000, {}, 30, 0},
        {"current, master select first", qvsim::Series::Current, 0x00, 0x00, 0, false, 0x8000 | 6020,
         {"F4 00 AA 00 00", "E0 00 F4 00 00", "E0 00 FC 00 00", "E9 00 00 00 00", "EE AA 00 00 00",
          "E7 00 00 00 00", "F9 FF 00 00 00", "FA FF 00 00 00", "E0 00 F0 00 00", "E0 00 4E 00 00",
          "E5 00 00 00 01", "EE 00 00 00 00", "E5 00 00 00 02"},
         50, 0},
        {"Ostra series, master select first", qvsim::Series::Ostra, 0x00, 0x00, 0, false, 0x8000 | 6020,
         {"F4 00 AA 00 00"}, 30, 0},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        qvsim::ControllerProfile p;
        p.series = c.series;
        p.identityNumber = c.number;
        p.featureF4 = {c.feature0, 0x00, c.feature2, 0x00};
        p.paraVersion = c.paraVersion;
        p.fastTiming = c.fastTiming;
        p.capability = std::array<uint8_t, 4>{0x00, 0x00, 0x01, 0x1E};
        p.rows = 20;
        p.columns = 30;
        p.extraColumns = 2;
        auto ctl = std::make_shared<qvsim::Controller>(p);
        const Packet id = c.series == qvsim::Series::Ostra ? OstraIdentity(c.number, 1)
                                                           : CurrentIdentity(c.number, 1, 0);
        std::string path = "/sim/hidraw" + std::to_string(n);
        HANDLE h = addHid(ctl, path, "KEY" + std::to_string(n), id);
        ++n;
        EXPECT_EQ(Hex(Received(*ctl)), c.commands);
        auto* d = qvlib::SlotRecord(h);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->byTiming, c.timing);
        EXPECT_EQ(d->dwParaVersion, c.expectedParaVersion);
        EXPECT_EQ(d->byBootMarker, 0);
        EXPECT_EQ(d->dwSize, qvlib::kDevInfoSize);
        if (c.series == qvsim::Series::Current) {
            EXPECT_EQ(d->byFeature[0], c.feature0);
            EXPECT_EQ(d->diag.capability[3], 0x1E);
            EXPECT_EQ(d->diag.bulkSize, 8);
            EXPECT_EQ(d->diag.rows, 20);
            EXPECT_EQ(d->diag.columns, 30);
            EXPECT_EQ(d->diag.extraColumns, 2);
        } else {
            EXPECT_EQ(d->byFeature[0], 0);  // no feature query for a series device
        }
    }
}

TEST_F(Registration, BridgeFlagsAndBootVersion) {
    qvsim::ControllerProfile p;
    p.featureF4 = {0x05, 0x06, 0x07, 0x08};
    p.bridge = {0x05, 0x06, 0x07, 0x08};
    p.bootVersion = 0x21;
    auto same = std::make_shared<qvsim::Controller>(p);
    HANDLE h1 = addHid(same, "/sim/hidraw0", "K0", CurrentIdentity(6020, 1, 0));
    auto* d1 = qvlib::SlotRecord(h1);
    EXPECT_EQ(d1->bBridgeSame, 1);
    EXPECT_EQ(d1->byBridgeFeature[4], 0xFF);
    EXPECT_EQ(d1->byBootVersion, 0x21);

    p.bridge = {0, 0, 0, 0};
    p.bootVersion.reset();
    auto none = std::make_shared<qvsim::Controller>(p);
    HANDLE h2 = addHid(none, "/sim/hidraw1", "K1", CurrentIdentity(6020, 1, 0));
    auto* d2 = qvlib::SlotRecord(h2);
    EXPECT_EQ(d2->bBridgeSame, 0);
    EXPECT_EQ(d2->byBridgeFeature[4], 0);
    EXPECT_EQ(d2->byBootVersion, 0);
}

TEST_F(Registration, ModelNames) {
    struct Case { qvsim::Series series; Packet identity; const char16_t* name; } cases[] = {
        {qvsim::Series::Current, CurrentIdentity(6020, 1, 0), u"QV6020"},
        {qvsim::Series::Current, CurrentIdentity(6020, 1, 1), u"QV6020A"},
        {qvsim::Series::Current, CurrentIdentity(3508, 2, 2), u"QV3508B"},
        {qvsim::Series::Current, CurrentIdentity(0x8000 | 6020, 1, 3), u"QV6020C"},
        {qvsim::Series::Ostra, OstraIdentity(6010, 5), u"QV6010"},
        {qvsim::Series::Ostra, P(0xEE, 0x17, 0x7A, 0, 4), u"QV6010"},  // no letter for a series device
        {qvsim::Series::Melk, P(0xF2, 0xD9, 3, 1, 0), u"QV9000"},
    };
    int n = 0;
    for (const auto& c : cases) {
        qvsim::ControllerProfile p;
        p.series = c.series;
        auto ctl = std::make_shared<qvsim::Controller>(p);
        std::u16string name;
        addHid(ctl, "/sim/hidraw" + std::to_string(n), "K" + std::to_string(n), c.identity, &name);
        ++n;
        EXPECT_EQ(name, std::u16string(c.name)) << Hex(c.identity);
    }
    // The narrow twin names the same way.
    qvlib::DevInfo rec = Scratch("/sim/none", "KX", QV_DEVICE_HID, 0);
    char narrow[20] = {};
    const Packet id = CurrentIdentity(6020, 1, 2);
    qvlib::FormatModelName(rec, id.data(), narrow);
    EXPECT_STREQ(narrow, "QV6020B");
}

TEST_F(Registration, SameKeyKeepsItsSlotAndAFullTableDropsTheNewcomer) {
    auto ctl = std::make_shared<qvsim::Controller>();
    for (int i = 0; i < qvlib::kSlotCount; ++i)
        addHid(ctl, "/sim/hidraw" + std::to_string(i), "K" + std::to_string(i), CurrentIdentity(6020, 1, 0));
    EXPECT_EQ(qvlib::g_devInfo[15].szKey, std::string("K15"));
    // Known key again: same slot, new handle.
    HANDLE again = addHid(ctl, "/sim/hidraw20", "K3", CurrentIdentity(6020, 1, 0));
    EXPECT_EQ(qvlib::FindDeviceSlot(again), 3);
    EXPECT_EQ(std::string(qvlib::g_devInfo[3].szPath), "/sim/hidraw20");
    // A 17th key finds no slot.
    HANDLE extra = addHid(ctl, "/sim/hidraw21", "K16", CurrentIdentity(6020, 1, 0));
    EXPECT_EQ(qvlib::FindDeviceSlot(extra), qvlib::kNoSlot);
}

// ---- open and close ------------------------------------------------------------------

class OpenClose : public LibTest {
protected:
    std::shared_ptr<qvsim::Controller> ctl = std::make_shared<qvsim::Controller>();
    int slot = qvlib::kNoSlot;
    void SetUp() override {
        LibTest::SetUp();
        HANDLE probe = addHid(ctl, "/sim/hidraw0", "KEY0", CurrentIdentity(6020, 1, 0));
        slot = qvlib::FindDeviceSlot(probe);
        ASSERT_EQ(slot, 0);
        // Enumeration closes its probe handle after registering.
        qvp::backend().close(probe);
        qvlib::g_devInfo[slot].hDevice = INVALID_HANDLE_VALUE;
        ctl->clearTrace();
    }
};

TEST_F(OpenClose, OpenByPrimaryPathTwiceGivesTheSameHandle) {
    HANDLE a = INVALID_HANDLE_VALUE, b = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OpenDeviceA("/sim/hidraw0", &a), 1);
    ASSERT_EQ(OpenDevice("/sim/hidraw0", &b), 1);
    EXPECT_EQ(a, b);
    HANDLE w = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OpenDeviceW(u"/sim/hidraw0", &w), 1);
    EXPECT_EQ(w, a);
    uint8_t reply[5] = {};
    const uint8_t cmd[5] = {0xE9, 0, 0, 0, 0};
    EXPECT_EQ(SendCmd(a, cmd, reply), 1);
}

TEST_F(OpenClose, OpenByAlternatePathOpensTheAlternateNode) {
    // The device answers on a second node; the slot knows it as its alternate path.
    bench->addHid(std::make_shared<qvsim::Controller>(), qvsim::HidInfo{"/sim/hidraw0-alt"});
    auto& d = qvlib::g_devInfo[slot];
    qvlib::CopyNarrow(d.szAltPath, qvlib::kPathChars, "/sim/hidraw0-alt");
    qvlib::NarrowToWide(d.szAltPathW, qvlib::kPathChars, "/sim/hidraw0-alt");
    bench->remove("/sim/hidraw0");  // only the alternate node can be opened now
    HANDLE h = INVALID_HANDLE_VALUE;
    EXPECT_EQ(OpenDeviceA("/sim/hidraw0", &h), 0);
    EXPECT_EQ(d.hDevice, INVALID_HANDLE_VALUE);
    ASSERT_EQ(OpenDeviceW(u"/sim/hidraw0-alt", &h), 1);
    EXPECT_EQ(d.hDevice, h);
}

TEST_F(OpenClose, PathsThatNameNoDevice) {
    HANDLE h = reinterpret_cast<HANDLE>(0x77);
    EXPECT_EQ(OpenDeviceA("/sim/hidraw9", &h), 0);
    EXPECT_EQ(OpenDeviceA("/SIM/HIDRAW0", &h), 0);  // paths compare exactly
    EXPECT_EQ(OpenDeviceA("", &h), 0);              // an empty path is no alternate path
    EXPECT_EQ(OpenDeviceW(u"", &h), 0);
    EXPECT_EQ(OpenDeviceA(nullptr, &h), 0);
    EXPECT_EQ(h, reinterpret_cast<HANDLE>(0x77));
    EXPECT_EQ(qvlib::g_devInfo[slot].hDevice, INVALID_HANDLE_VALUE);
}

TEST_F(OpenClose, CloseEdgeCases) {
    openLog();
    EXPECT_EQ(CloseDevice(INVALID_HANDLE_VALUE), 1);
    EXPECT_EQ(closeLogAndRead(), "");  // nothing sent, nothing logged

    // A handle the library does not hold stays open; only the log shows the try.
    bench->addHid(ctl, qvsim::HidInfo{"/sim/other"});
    HANDLE foreign = qvp::backend().open("/sim/other", qvp::DeviceKind::Hid);
    ASSERT_NE(foreign, INVALID_HANDLE_VALUE);
    openLog();
    EXPECT_EQ(CloseDevice(foreign), 1);
    std::string log = closeLogAndRead();
    EXPECT_NE(log.find("\r[IN],0xEE,0x00,0x00,0x00,0x00,"), std::string::npos);
    EXPECT_NE(log.find("[ERR],0x00,0x00,0x00,0x00,0x00,"), std::string::npos);
    const uint8_t report[6] = {0, 0xE9, 0, 0, 0, 0};
    EXPECT_TRUE(qvp::backend().hidSetFeature(foreign, report, sizeof report));
    EXPECT_TRUE(ctl->trace().size() == 1u);  // the E9 above; the EE went nowhere

    // A held handle is closed and forgotten; the path opens again.
    HANDLE h = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OpenDeviceA("/sim/hidraw0", &h), 1);
    EXPECT_EQ(CloseDevice(h), 1);
    EXPECT_EQ(qvlib::g_devInfo[slot].hDevice, INVALID_HANDLE_VALUE);
    uint32_t type = 0;
    EXPECT_EQ(GetDeviceType(h, &type), 0);
    HANDLE again = INVALID_HANDLE_VALUE;
    EXPECT_EQ(OpenDeviceA("/sim/hidraw0", &again), 1);
}

TEST_F(OpenClose, DriverDevicesRunANotifyThreadUntilClosed) {
    auto drv = std::make_shared<qvsim::Controller>();
    HANDLE probe = addDriver(drv, "/sim/qvdrv0", QV_DEVICE_DRIVER, 0);
    int s = qvlib::FindDeviceSlot(probe);
    ASSERT_NE(s, qvlib::kNoSlot);
    qvp::backend().close(probe);
    qvlib::g_devInfo[s].hDevice = INVALID_HANDLE_VALUE;

    HANDLE h = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OpenDeviceA("/sim/qvdrv0", &h), 1);
    EXPECT_TRUE(qvlib::g_slotThread[s].running);
    EXPECT_EQ(CloseDevice(h), 1);
    EXPECT_FALSE(qvlib::g_slotThread[s].running);
    EXPECT_FALSE(qvlib::g_slotThread[s].thread.joinable());
    // Unload stops a thread that is still running.
    ASSERT_EQ(OpenDeviceA("/sim/qvdrv0", &h), 1);
    qvlib::LibraryDetach();
    EXPECT_FALSE(qvlib::g_slotThread[s].thread.joinable());
}

// ---- describing a device --------------------------------------------------------------

class Describe : public LibTest {};

TEST_F(Describe, TypeProductSeriesAndBaud) {
    auto c = std::make_shared<qvsim::Controller>();
    HANDLE hid = addHid(c, "/sim/hidraw0", "K0", CurrentIdentity(6020, 1, 0));
    qvlib::SlotRecord(hid)->dwProductId = 6020;
    qvsim::ControllerProfile po;
    po.series = qvsim::Series::Ostra;
    HANDLE ser = addSerial(std::make_shared<qvsim::Controller>(po), "/sim/ttyS1", 38400);
    qvlib::SlotRecord(ser)->dwProductId = 6010;

    uint32_t v = 0;
    uint8_t series = 9;
    EXPECT_EQ(GetDeviceType(hid, &v), 1);
    EXPECT_EQ(v, QV_DEVICE_HID);
    EXPECT_EQ(GetProductID(hid, &v), 1);
    EXPECT_EQ(v, 6020u);
    EXPECT_EQ(GetBaudRate(hid, &v), 0);
    EXPECT_EQ(GetQVOstraMelk(hid, &series), 1);
    EXPECT_EQ(series, 0);

    EXPECT_EQ(GetProductID(ser, &v), 0);  // serial devices report no product id
    EXPECT_EQ(GetBaudRate(ser, &v), 1);
    EXPECT_EQ(v, 38400u);
    EXPECT_EQ(GetQVOstraMelk(ser, &series), 1);
    EXPECT_EQ(series, 1);
    EXPECT_EQ(GetDriverSampleRate(ser, 100, &v), 0);

    HANDLE unknown = reinterpret_cast<HANDLE>(0x4321);
    EXPECT_EQ(GetDeviceType(unknown, &v), 0);
    EXPECT_EQ(GetQVOstraMelk(INVALID_HANDLE_VALUE, &series), 0);
}

TEST_F(Describe, LastTouchDeviceMatchesByNameOrParent) {
    auto c = std::make_shared<qvsim::Controller>();
    HANDLE hid = addHid(c, "/sim/hidraw0", "K0", CurrentIdentity(6020, 1, 0));
    HANDLE drv = addDriver(c, "/sim/qvdrv0", QV_DEVICE_DRIVER, 0);
    qvlib::CopyNarrow(qvlib::SlotRecord(drv)->szParentId, qvlib::kPathChars, "USB\\VID_2E7B&PID_6020\\7&ABC");
    int last = 5;
    EXPECT_EQ(CheckLastTouchDeviceHandle(hid, &last), 1);
    EXPECT_EQ(last, 0);  // no touch report yet

    qvlib::g_lastTouchDevice = {true, "/SIM/HIDRAW0", "usb\\vid_2e7b&pid_6020\\7&abc"};
    EXPECT_EQ(CheckLastTouchDeviceHandle(hid, &last), 1);
    EXPECT_EQ(last, 1);
    EXPECT_EQ(CheckLastTouchDeviceHandle(drv, &last), 1);
    EXPECT_EQ(last, 1);
    qvlib::g_lastTouchDevice = {true, "/sim/hidraw7", "USB\\OTHER"};
    EXPECT_EQ(CheckLastTouchDeviceHandle(hid, &last), 1);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(CheckLastTouchDeviceHandle(drv, &last), 1);
    EXPECT_EQ(last, 0);
    last = 3;
    EXPECT_EQ(CheckLastTouchDeviceHandle(reinterpret_cast<HANDLE>(0x55), &last), 0);
    EXPECT_EQ(last, 0);
}

TEST_F(Describe, DebugSwitchKeepsTheValueOnlyWhenEnabled) {
    EXPECT_EQ(DebugCallBackEn(1, 42), 1);
    EXPECT_EQ(qvlib::g_debugValue, 42);
    EXPECT_EQ(DebugCallBackEn(0, 7), 1);
    EXPECT_EQ(qvlib::g_debugEnable, 0);
    EXPECT_EQ(qvlib::g_debugValue, 42);
}

}  // namespace
