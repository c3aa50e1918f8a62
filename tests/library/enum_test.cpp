// Enumeration of HID, driver and serial controllers over simulated benches,
// and the classification of device-change messages.
#include "library_support.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

using namespace qvtest;

namespace {

// What the callbacks were given, whatever their form.
struct Seen {
    std::string path, name, key;
    uint32_t location = 0;
    bool operator==(const Seen&) const = default;
};
std::vector<Seen> g_seen;
void PrintTo(const Seen& s, std::ostream* os) { *os << "{" << s.path << ", " << s.name << ", " << s.key << ", " << s.location << "}"; }

std::string N(const QVWCHAR* s) { return qvlib::WideToUtf8(s); }
int OnW(const QVWCHAR* p, const QVWCHAR* n, uint32_t loc) { g_seen.push_back({N(p), N(n), "", loc}); return 1; }
int OnA(const char* p, const char* n, uint32_t loc) { g_seen.push_back({p, n, "", loc}); return 1; }
int OnExW(const QVWCHAR* p, const QVWCHAR* n, const QVWCHAR* k) { g_seen.push_back({N(p), N(n), N(k), 0}); return 0; }
int OnExA(const char* p, const char* n, const char* k) { g_seen.push_back({p, n, k, 0}); return 0; }

class Enumeration : public LibTest {
protected:
    void SetUp() override {
        LibTest::SetUp();
        g_seen.clear();
    }

    std::shared_ptr<qvsim::Controller> hid(const std::string& path, uint16_t pid, const std::string& instance,
                                           qvsim::ControllerProfile p = {}, std::string maker = "Acme Touch") {
        auto c = std::make_shared<qvsim::Controller>(p);
        qvsim::HidInfo info = ControllerHid(path, pid, instance);
        info.manufacturer = maker;
        bench->addHid(c, info);
        return c;
    }
};

TEST_F(Enumeration, HidVendorSeriesAndMakerRules) {
    qvsim::ControllerProfile ostra;
    ostra.series = qvsim::Series::Ostra;
    ostra.identityNumber = 6101;
    hid("/sim/hidraw0", 0x3501, "5&1A2B&0&3");                // series 0, location 3
    hid("/sim/hidraw1", 0x6020, "SER0001", ostra);            // Ostra, keyed by serial number
    hid("/sim/hidraw2", 0x4020, "5&1A2B&0&4");                // 4xxx: not a controller
    hid("/sim/hidraw3", 0x3501, "5&1A2B&0&5", {}, "Quorvane Inc.");  // the maker's own composite: skipped
    {
        auto c = std::make_shared<qvsim::Controller>();
        qvsim::HidInfo other;
        other.path = "/sim/hidraw4";
        other.vendorId = 0x1234;
        other.productId = 0x3501;
        other.parentInstanceId = "USB\\VID_1234&PID_3501\\1&2";
        bench->addHid(c, other);
    }
    {
        // An I2C controller known by its 3508 identity text: no USB parent needed.
        auto c = std::make_shared<qvsim::Controller>();
        qvsim::HidInfo i2c;
        i2c.path = "/sim/hidraw5";
        i2c.name = "QVTS2E7B3508:00";
        i2c.vendorId = 0x0000;
        i2c.productId = 0x0000;
        i2c.hasParent = false;
        i2c.inputReportLength = -1;
        i2c.reportId = 1;  // the 3508 flavour
        bench->addHid(c, i2c);
    }
    ASSERT_EQ(EnumerateHidDevicesA(OnA), 1);
    const std::vector<Seen> want = {
        {"/sim/hidraw0", "QV6020", "", 3},
        {"/sim/hidraw1", "QV6101", "", 37440001},  // no '&': each character counts as its code minus '0'
        {"/sim/hidraw5", "QV6020", "", 0},
    };
    EXPECT_EQ(g_seen, want);
    // The 3508 device is flagged and its product number comes from the rule.
    HANDLE h = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OpenDeviceA("/sim/hidraw5", &h), 1);
    uint32_t type = 0, product = 0;
    GetDeviceType(h, &type);
    GetProductID(h, &product);
    EXPECT_EQ(type, QV_DEVICE_HID | QV_DEVICE_HID_3508);
    EXPECT_EQ(product, 3508u);
    ASSERT_EQ(OpenDeviceA("/sim/hidraw1", &h), 1);
    uint8_t series = 0;
    GetQVOstraMelk(h, &series);
    EXPECT_EQ(series, QV_SERIES_OSTRA);
}


TEST_F(Enumeration, HidCallbackFormsAndFindModes) {
    hid("/sim/hidraw0", 0x3501, "5&1A2B&0&7");
    struct Case { const char* label; int (*run)(); std::vector<Seen> want; } cases[] = {
        {"W", [] { return EnumerateHidDevicesW(OnW); }, {{"/sim/hidraw0", "QV6020", "", 7}}},
        {"A", [] { return EnumerateHidDevices(OnA); }, {{"/sim/hidraw0", "QV6020", "", 7}}},
        {"ExW", [] { return EnumerateHidDevicesExW(OnExW); }, {{"/sim/hidraw0", "QV6020", "5&1A2B&0&7", 0}}},
        {"ExA", [] { return EnumerateHidDevicesEx(OnExA); }, {{"/sim/hidraw0", "QV6020", "5&1A2B&0&7", 0}}},
    };
    for (const auto& c : cases) {
        g_seen.clear();
        EXPECT_EQ(c.run(), 1) << c.label;  // the callback's own result does not matter
        EXPECT_EQ(g_seen, c.want) << c.label;
    }
    // The table keeps the found controller open: opening its path hands back that handle.
    HANDLE found = INVALID_HANDLE_VALUE, opened = INVALID_HANDLE_VALUE;
    char16_t nameW[20] = {};
    ASSERT_EQ(FindHidDeviceW(&found, nameW), 1);
    EXPECT_EQ(std::u16string(nameW), u"QV6020");
    ASSERT_EQ(OpenDeviceA("/sim/hidraw0", &opened), 1);
    EXPECT_EQ(opened, found);
    char nameA[20] = {};
    ASSERT_EQ(FindHidDevice(&found, nameA), 1);
    EXPECT_STREQ(nameA, "QV6020");
}

TEST_F(Enumeration, HidEnumerationClosesPreviousHandlesAndLogsWhyDevicesDrop) {
    auto good = hid("/sim/hidraw0", 0x3501, "1&1");
    auto mute = hid("/sim/hidraw1", 0x3501, "1&2");
    mute->silence(0xED);
    ASSERT_EQ(EnumerateHidDevicesA(OnA), 1);
    HANDLE first = qvlib::g_devInfo[0].hDevice;
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    openLog();
    ASSERT_EQ(EnumerateHidDevicesA(OnA), 1);
    EXPECT_NE(qvlib::g_devInfo[0].hDevice, first);  // closed and opened anew
    uint8_t report[6] = {0};
    EXPECT_FALSE(qvp::backend().hidGetFeature(first, report, sizeof report));
    const std::string log = closeLogAndRead();
    EXPECT_EQ(log.rfind("\r[GetHidDevice]\r"
                        "\r[devInfo.byQVOstraMelk = 0]\r"
                        "\r[REPORT_ID_INVALID : devInfo.bWin8Ptl = 0001]\r", 0), 0u) << log;
    EXPECT_NE(log.find("\r[!cmdEE || !cmdED]\r"), std::string::npos);
    EXPECT_EQ(g_seen.size(), 2u);  // one controller, twice
    // Probe commands go over the scratch record, outside the command log's packet lines.
    const auto sent = Hex(Received(*mute));
    EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + 2),
              (std::vector<std::string>{"E9 00 AD 00 00", "EE 00 00 00 00"}));
}

TEST_F(Enumeration, ReportFlavourFromTheInputReportLength) {
    struct Case { uint16_t pid; int length; uint16_t flavour; const char* log; } cases[] = {
        {0x6020, 6, 1, "HidP_GetCaps : devInfo.bWin8Ptl = 0001"},
        {0x3501, 6, 1, "HidP_GetCaps : devInfo.bWin8Ptl = 0001"},
        {0x3502, 6, 0, "HidP_GetCaps : devInfo.bWin8Ptl = 0000"},
        {0x3502, 14, 0x3508, "HidP_GetCaps : devInfo.bWin8Ptl = 3508"},
        {0x3508, -1, 0x3508, "REPORT_ID_INVALID : devInfo.bWin8Ptl = 3508"},
        {0x6020, 64, 1, "REPORT_ID_INVALID : devInfo.bWin8Ptl = 0001"},
        {0x3502, -1, 0, "REPORT_ID_INVALID : devInfo.bWin8Ptl = 0000"},
    };
    int n = 0;
    for (const auto& c : cases) {
        auto ctl = std::make_shared<qvsim::Controller>();
        qvsim::HidInfo info;
        info.path = "/sim/hidraw" + std::to_string(n);
        info.productId = c.pid;
        info.parentInstanceId = "USB\\VID_2E7B&PID_X\\1&" + std::to_string(n);
        info.inputReportLength = c.length;
        info.reportId = c.flavour ? 1 : 0;
        bench->addHid(ctl, info);
        openLog();
        g_seen.clear();
        EXPECT_EQ(EnumerateHidDevicesA(OnA), 1) << c.pid << " " << c.length;
        EXPECT_NE(closeLogAndRead().find(c.log), std::string::npos) << c.log;
        bench->remove(info.path);
        ++n;
    }
}

TEST_F(Enumeration, BootLoaderDevicesAlsoGetTheAlternatePath) {
    qvsim::ControllerProfile p;
    p.series = qvsim::Series::Ostra;
    p.identityNumber = 6101;
    p.inBoot = true;  // ED answers 55 AA in bytes 3..4
    hid("/sim/hidraw0", 0x6020, "1&1", p);
    ASSERT_EQ(EnumerateHidDevicesW(OnW), 1);
    EXPECT_EQ(g_seen, (std::vector<Seen>{{"/sim/hidraw0", "QV6101", "", 1}}));
    EXPECT_EQ(std::string(qvlib::g_devInfo[0].szPath), "/sim/hidraw0");
    // The narrow find records the boot loader's path as the slot's alternate path,
    // beside the primary path the controller had when it ran normally.
    HANDLE h = INVALID_HANDLE_VALUE, opened = INVALID_HANDLE_VALUE;
    char name[20];
    ASSERT_EQ(FindHidDeviceA(&h, name), 1);
    EXPECT_EQ(std::string(qvlib::g_devInfo[0].szAltPath), "/sim/hidraw0");
    EXPECT_EQ(std::string(qvlib::g_devInfo[0].szPath), "/sim/hidraw0");
    ASSERT_EQ(OpenDeviceA("/sim/hidraw0", &opened), 1);
    EXPECT_EQ(opened, h);
}

TEST_F(Enumeration, HidDeviceWithoutParentOrMakerIsSkipped) {
    auto c = std::make_shared<qvsim::Controller>();
    qvsim::HidInfo noParent;
    noParent.path = "/sim/hidraw0";
    noParent.productId = 0x3501;
    noParent.hasParent = false;
    bench->addHid(c, noParent);
    qvsim::HidInfo noMaker = noParent;
    noMaker.path = "/sim/hidraw1";
    noMaker.hasParent = true;
    noMaker.parentInstanceId = "USB\\VID_2E7B&PID_3501\\1&1";
    noMaker.hasManufacturer = false;
    bench->addHid(c, noMaker);
    EXPECT_EQ(EnumerateHidDevicesA(OnA), 0);
    EXPECT_TRUE(g_seen.empty());
    HANDLE h;
    char name[20];
    EXPECT_EQ(FindHidDeviceA(&h, name), 0);
}

// ---- device change -----------------------------------------------------------------

QVDeviceBroadcast Broadcast(const char* name, uint32_t type = QV_DBT_DEVTYP_DEVICEINTERFACE, bool wide = false) {
    QVDeviceBroadcast b{};
    b.dbcc_size = sizeof b;
    b.dbcc_devicetype = type;
    if (wide)
        qvlib::NarrowToWide(b.dbcc_nameW, 260, name);
    else
        qvlib::CopyNarrow(b.dbcc_name, 260, name);
    return b;
}

TEST(DeviceChange, Classification) {
    struct Case { uint32_t event; const char* name; uint32_t type; bool wide; int kind; } cases[] = {
        {QV_DBT_DEVICEARRIVAL, "\\\\?\\USB#VID_2E7B&PID_6020#5&1A#{a5dcbf10}", 5, false, 1},
        {QV_DBT_DEVICEREMOVECOMPLETE, "usb#vid_2e7b&pid_3501#1&1", 5, false, 0},
        {QV_DBT_DEVICEREMOVECOMPLETE, "usb#vid_2e7b&pid_3501#1&1", 5, true, 0},
        {QV_DBT_DEVICEARRIVAL, "usb#vid_2e7b&pid_5902#1&1", 5, true, -1},  // not a controller's product
        {QV_DBT_DEVICEARRIVAL, "usb#vid_1234&pid_6020#1&1", 5, false, -1},
        {0x8001, "usb#vid_2e7b&pid_6020#1&1", 5, false, -1},             // neither arrival nor removal
        {QV_DBT_DEVICEARRIVAL, "usb#vid_2e7b&pid_6020#1&1", 2, false, -1},  // not a device interface
        {QV_DBT_DEVICEARRIVAL, "", 5, false, -1},
    };
    for (const auto& c : cases) {
        QVDeviceBroadcast b = Broadcast(c.name, c.type, c.wide);
        int kind = 7;
        EXPECT_EQ(QVDeviceChange(c.event, &b, &kind), 1);
        EXPECT_EQ(kind, c.kind) << c.name;
    }
    int kind = 7;
    EXPECT_EQ(QVDeviceChange(QV_DBT_DEVICEARRIVAL, nullptr, &kind), 1);
    EXPECT_EQ(kind, -1);
}

TEST(DeviceChange, NoNameIsReadPastTheSizeTheBroadcastGives) {
    // The record is cut off where its size says; a name that would match lies
    // beyond that and must not be read.
    const char* name = "usb#vid_2e7b&pid_6020#1&1";
    const size_t nameAt = offsetof(QVDeviceBroadcast, dbcc_name);
    for (size_t size : {size_t(0), size_t(4), size_t(8), nameAt, nameAt + 10}) {
        SCOPED_TRACE(size);
        const size_t block = std::max<size_t>(size, 4);
        std::unique_ptr<uint8_t[]> record(new uint8_t[block]);
        QVDeviceBroadcast full = Broadcast(name);
        full.dbcc_size = static_cast<uint32_t>(size);
        std::memcpy(record.get(), &full, block);
        int kind = 7;
        EXPECT_EQ(QVDeviceChange(QV_DBT_DEVICEARRIVAL, reinterpret_cast<const QVDeviceBroadcast*>(record.get()), &kind),
                  1);
        EXPECT_EQ(kind, -1);
    }
    // A narrow-only broadcast whose size ends after the name is classified by it.
    const size_t narrowOnly = nameAt + std::strlen(name) + 1;
    std::unique_ptr<uint8_t[]> record(new uint8_t[narrowOnly]);
    QVDeviceBroadcast full = Broadcast(name);
    full.dbcc_size = static_cast<uint32_t>(narrowOnly);
    std::memcpy(record.get(), &full, narrowOnly);
    int kind = 7;
    EXPECT_EQ(QVDeviceChange(QV_DBT_DEVICEARRIVAL, reinterpret_cast<const QVDeviceBroadcast*>(record.get()), &kind), 1);
    EXPECT_EQ(kind, 1);
}

struct Inbox {
    std::vector<std::pair<uintptr_t, int>> got;  // event, classification
    static void Send(void* ctx, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
        auto* self = static_cast<Inbox*>(ctx);
        if (msg != QV_WM_DEVICECHANGE) return;
        int kind = 9;
        QVDeviceChange(static_cast<uint32_t>(wParam), reinterpret_cast<const QVDeviceBroadcast*>(lParam), &kind);
        self->got.push_back({wParam, kind});
    }
};

TEST_F(Enumeration, RegisteredWindowHearsArrivalAndRemoval) {
    Inbox inbox;
    QVWindow window{&Inbox::Send, &inbox};
    HDEVNOTIFY a = nullptr, b = nullptr, usb = nullptr;
    ASSERT_EQ(RegisterNotify(&window, &a, &b, &usb), 1);
    ASSERT_NE(usb, nullptr);
    hid("/sim/hidraw0", 0x6020, "1&1");
    bench->remove("/sim/hidraw0");
    EXPECT_EQ(inbox.got, (std::vector<std::pair<uintptr_t, int>>{{QV_DBT_DEVICEARRIVAL, 1},
                                                                  {QV_DBT_DEVICEREMOVECOMPLETE, 0}}));
    EXPECT_EQ(UnRegisterNotify(a, b, usb), 1);
    bench->replug("/sim/hidraw0");
    EXPECT_EQ(inbox.got.size(), 2u);  // nothing after unregistering
}

TEST_F(Enumeration, UnRegisterNotifyEndsOnlyItsOwnRegistrationsAndEachOnce) {
    Inbox inbox;
    QVWindow window{&Inbox::Send, &inbox};
    HDEVNOTIFY a = nullptr, b = nullptr, usb = nullptr;
    ASSERT_EQ(RegisterNotify(&window, &a, &b, &usb), 1);
    // Made-up handles and handles ended before are ignored.
    int local = 0;
    EXPECT_EQ(UnRegisterNotify(reinterpret_cast<HDEVNOTIFY>(uintptr_t(0x1234)), &local, &window), 1);
    hid("/sim/hidraw0", 0x6020, "1&1");
    EXPECT_EQ(inbox.got.size(), 1u);  // still registered
    EXPECT_EQ(UnRegisterNotify(a, b, usb), 1);
    EXPECT_EQ(UnRegisterNotify(a, b, usb), 1);
    EXPECT_EQ(UnRegisterNotify(usb, nullptr, nullptr), 1);
    bench->remove("/sim/hidraw0");
    EXPECT_EQ(inbox.got.size(), 1u);
    // A new registration works as the first did, and ends once.
    HDEVNOTIFY again = nullptr;
    ASSERT_EQ(RegisterNotify(&window, nullptr, nullptr, &again), 1);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, usb);
    bench->replug("/sim/hidraw0");
    EXPECT_EQ(inbox.got.size(), 2u);
    EXPECT_EQ(UnRegisterNotify(nullptr, nullptr, again), 1);
    EXPECT_EQ(UnRegisterNotify(nullptr, nullptr, again), 1);
    bench->remove("/sim/hidraw0");
    EXPECT_EQ(inbox.got.size(), 2u);
}

}  // namespace
