// Enumeration of driver controllers (five kinds) and serial controllers.
#include "library_support.h"
#include "enumeration.h"

using namespace qvtest;

namespace {

struct Found {
    std::string path, name, key;
    uint32_t location = 0;
    bool operator==(const Found&) const = default;
};
std::vector<Found> g_found;
void PrintTo(const Found& f, std::ostream* os) { *os << "{" << f.path << ", " << f.name << ", " << f.key << ", " << f.location << "}"; }

int OnA(const char* p, const char* n, uint32_t loc) { g_found.push_back({p, n, "", loc}); return 1; }
int OnExA(const char* p, const char* n, const char* k) { g_found.push_back({p, n, k, 0}); return 1; }
int OnW(const QVWCHAR* p, const QVWCHAR* n, uint32_t loc) {
    g_found.push_back({qvlib::WideToUtf8(p), qvlib::WideToUtf8(n), "", loc});
    return 1;
}

const char* const kParameters = "SYSTEM\\CurrentControlSet\\Services\\qvhidusb\\Parameters";
const char* const kEnum = "SYSTEM\\CurrentControlSet\\Services\\qvhidusb\\Enum";

class PortEnumeration : public LibTest {
protected:
    void SetUp() override {
        LibTest::SetUp();
        g_found.clear();
    }
    std::shared_ptr<qvsim::Controller> driver(const std::string& name, int kind, uint32_t family, uint32_t port,
                                              qvsim::ControllerProfile p = {}) {
        auto c = std::make_shared<qvsim::Controller>(p);
        qvsim::DriverInfo info;
        info.path = name;
        info.kind = kind;
        info.ioctlPair = kind >= 3 ? 1 : 0;
        info.deviceCode = family << 16;
        info.portIndex = port;
        info.driverVersion = 203;
        bench->addDriver(c, info);
        return c;
    }
};

TEST_F(PortEnumeration, DriverKindsKeysAndLocations) {
    qvsim::ControllerProfile ostra;
    ostra.series = qvsim::Series::Ostra;
    ostra.identityNumber = 6101;
    qvsim::ControllerProfile melk;
    melk.series = qvsim::Series::Melk;
    driver("\\\\.\\QVUVCXM_API0", 0, 2000, 1);
    driver("\\\\.\\QVUVCXM_API2", 0, 1000, 2);        // no Parameters value: "Failed Port Index"
    driver("\\\\.\\QVUVCXM_API3", 0, 5000, 3);        // family 5: not accepted
    driver("\\\\.\\QVSOstra_API1", 3, 6000, 12, ostra);  // kind 3: keyed by the port index
    driver("\\\\.\\QVSMelk_API0", 4, 9000, 4, melk);
    bench->setSettingString(kParameters, "1", "HID\\VID_2E7B&PID_3501&Col01\\5&2A3B&0&0002#KEY3501#x");
    bench->setSettingDword(kEnum, "Count", 2);
    bench->setSettingString(kEnum, "0", "USB\\VID_2E7B&PID_3501\\OTHER");
    bench->setSettingString(kEnum, "1", "USB\\VID_2E7B&PID_3501\\KEY3501");

    EXPECT_EQ(EnumerateQVDevicesExA(OnExA, 0x1F), 0x19);  // kinds 0, 3 and 4 reported
    const std::vector<Found> want = {
        {"\\\\.\\QVUVCXM_API0", "QV6020", "KEY3501", 0},
        {"\\\\.\\QVUVCXM_API2", "QV6020", "Failed Port Index", 0},
        {"\\\\.\\QVSOstra_API1", "QV6101", "12", 0},
        {"\\\\.\\QVSMelk_API0", "QV9000", "4", 0},
    };
    EXPECT_EQ(g_found, want);
    auto& d0 = qvlib::g_devInfo[0];
    EXPECT_EQ(d0.dwLocation, 2u);
    EXPECT_EQ(d0.dwProductId, 3501u);
    EXPECT_EQ(std::string(d0.szParentId), "USB\\VID_2E7B&PID_3501\\KEY3501");
    EXPECT_EQ(qvlib::g_devInfo[1].dwLocation, 0xFFFFFFFFu);
    EXPECT_EQ(qvlib::g_devInfo[3].byQVOstraMelk, QV_SERIES_MELK);

    g_found.clear();
    EXPECT_EQ(EnumerateQVDevicesA(OnA, 0), 0);  // an empty mask opens nothing...
    EXPECT_TRUE(g_found.empty());
    for (const auto& d : qvlib::g_devInfo)  // ...but still closes every driver slot
        if (d.dwDeviceType & (QV_DEVICE_DRIVER | QV_DEVICE_DRIVER_EX)) {
            EXPECT_EQ(d.hDevice, INVALID_HANDLE_VALUE);
        }
}

// The location is the number after the last '&' of the Parameters value; one
// too large for a location is no location, as a missing value is.
TEST_F(PortEnumeration, DriverLocationTooLargeIsNoLocation) {
    driver("\\\\.\\QVUVCXM_API0", 0, 1000, 1);
    const struct {
        const char* value;
        uint32_t location;
        const char* key;
    } cases[] = {
        {"HID\\VID_2E7B&PID_3501\\5&0&2147483647#K1#x", 2147483647u, "K1"},
        {"HID\\VID_2E7B&PID_3501\\5&0&2147483648#K1#x", 0xFFFFFFFFu, "Failed Port Index"},
        {"HID\\VID_2E7B&PID_3501\\5&0&99999999999999999999#K1#x", 0xFFFFFFFFu, "Failed Port Index"},
        {"HID\\VID_2E7B&PID_3501\\5&0&0000000000000000000012#K1#x", 12u, "K1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        bench->setSettingString(kParameters, "1", c.value);
        g_found.clear();
        EXPECT_EQ(EnumerateQVDevicesExA(OnExA, 0x01), 0x01);
        EXPECT_EQ(EnumerateQVDevicesA(OnA, 0x01), 0x01);
        ASSERT_EQ(g_found.size(), 2u);
        EXPECT_EQ(g_found[0].key, c.key);
        EXPECT_EQ(g_found[1].location, c.location);
    }
}

TEST_F(PortEnumeration, DriverVersionSwitchIsDecidedOnceAtTheFirstDevice) {
    auto c = std::make_shared<qvsim::Controller>();
    qvsim::DriverInfo info;
    info.path = "\\\\.\\QVUVCXM_API0";
    info.kind = 0;
    info.ioctlPair = 1;  // a newer driver: the second pair, version 2.04
    info.deviceCode = 1000u << 16;
    info.driverVersion = 204;
    bench->addDriver(c, info);
    EXPECT_EQ(EnumerateQVDevicesA(OnA, 0x01), 0x01);
    EXPECT_EQ(qvlib::g_driverIoctlSwitch, 1u);
    // An older driver seen later does not change the decision.
    info.path = "\\\\.\\QVUVCXM_API1";
    info.driverVersion = 203;
    bench->addDriver(c, info);
    EXPECT_EQ(EnumerateQVDevicesA(OnA, 0x01), 0x01);
    EXPECT_EQ(qvlib::g_driverIoctlSwitch, 1u);
}

TEST_F(PortEnumeration, FindDriverDeviceWideTakesTheLastKindNarrowTheFirst) {
    driver("\\\\.\\QVUVCXM_API0", 0, 1000, 0);
    qvsim::ControllerProfile melk;
    melk.series = qvsim::Series::Melk;
    driver("\\\\.\\QVSMelk_API5", 4, 9000, 7, melk);
    HANDLE h = INVALID_HANDLE_VALUE;
    char16_t nameW[20] = {};
    uint32_t location = 0;
    ASSERT_EQ(FindQVDeviceW(&h, nameW, &location), 1);
    EXPECT_EQ(std::u16string(nameW), u"QV9000");
    EXPECT_EQ(location, 7u);
    char nameA[20] = {};
    ASSERT_EQ(FindQVDevice(&h, nameA, &location), 1);
    EXPECT_STREQ(nameA, "QV6020");
}

// ---- serial -----------------------------------------------------------------------

class SerialEnumeration : public LibTest {
protected:
    void SetUp() override {
        LibTest::SetUp();
        g_found.clear();
    }
    std::shared_ptr<qvsim::Controller> port(const std::string& path, uint32_t baud, qvsim::ControllerProfile p) {
        auto c = std::make_shared<qvsim::Controller>(p);
        bench->addSerial(c, qvsim::SerialInfo{path, baud});
        return c;
    }
    static qvsim::ControllerProfile Current(uint16_t number) {
        qvsim::ControllerProfile p;
        p.identityNumber = number;
        return p;
    }
};

TEST_F(SerialEnumeration, ProbesTheBaudsInOrderAndAppliesTheNumberRules) {
    qvsim::ControllerProfile ostra;
    ostra.series = qvsim::Series::Ostra;
    ostra.identityNumber = 6101;
    port("/sim/ttyS1", 19200, Current(2081));
    port("/sim/ttyS12", 57600, ostra);
    port("/sim/ttyUSB3", 115200, Current(450));  // 450 is no controller number
    bench->addEmptySerialPort("/sim/ttyS4");
    const uint64_t t0 = now();
    ASSERT_EQ(EnumerateRSDevicesA(OnA), 1);
    const std::vector<Found> want = {{"/sim/ttyS1", "QV2081", "", 1}, {"/sim/ttyS12", "QV6101", "", 12}};
    EXPECT_EQ(g_found, want);
    EXPECT_EQ(qvlib::g_devInfo[0].dwBaudRate, 19200u);
    EXPECT_EQ(qvlib::g_devInfo[1].dwBaudRate, 57600u);
    EXPECT_EQ(qvlib::g_devInfo[1].byQVOstraMelk, QV_SERIES_OSTRA);
    // Every silent probe costs two reads of the 30 ms read time-out.
    EXPECT_GE(now() - t0, (2u + 4u + 1u + 5u) * 60u);
}

TEST_F(SerialEnumeration, MelkProbesOnlyItsTwoBauds) {
    qvsim::ControllerProfile melk;
    melk.series = qvsim::Series::Melk;
    auto fast = port("/sim/ttyS1", 38400, melk);
    auto slow = port("/sim/ttyS2", 9600, melk);
    ASSERT_EQ(EnumerateMelkDevicesW(OnW), 1);
    EXPECT_EQ(g_found, (std::vector<Found>{{"/sim/ttyS2", "QV9000", "", 2}}));
    EXPECT_TRUE(fast->trace().empty());  // never heard at its own speed
    EXPECT_EQ(qvlib::g_devInfo[0].dwBaudRate, 9600u);
}

TEST_F(SerialEnumeration, NoPortsMeansZero) {
    EXPECT_EQ(EnumerateRSDevicesA(OnA), 0);
    EXPECT_EQ(EnumerateMelkDevicesA(OnA), 0);
}

TEST_F(SerialEnumeration, FindByPortNumberAndBaud) {
    port("/sim/ttyS12", 115200, Current(450));  // Find does not apply the number rule
    HANDLE h = INVALID_HANDLE_VALUE;
    char name[20] = {};
    EXPECT_EQ(FindRSDeviceA(12, 38400, &h, name), 0);  // wrong speed
    ASSERT_EQ(FindRSDevice(12, 115200, &h, name), 1);
    EXPECT_STREQ(name, "QV450");
    uint32_t baud = 0;
    EXPECT_EQ(GetBaudRate(h, &baud), 1);
    EXPECT_EQ(baud, 115200u);
    EXPECT_EQ(qvlib::SlotRecord(h)->dwLocation, 12u);
    EXPECT_EQ(FindRSDeviceA(7, 115200, &h, name), 0);  // no such port

    qvsim::ControllerProfile melk;
    melk.series = qvsim::Series::Melk;
    port("/sim/ttyS5", 19200, melk);
    char16_t nameW[20] = {};
    ASSERT_EQ(FindMelkDeviceW(5, 19200, &h, nameW), 1);
    EXPECT_EQ(std::u16string(nameW), u"QV9000");
}

TEST_F(SerialEnumeration, PlugAndPlayTestNeedsARunningReader) {
    qvsim::ControllerProfile ostra;
    ostra.series = qvsim::Series::Ostra;
    ostra.identityNumber = 6101;
    port("/sim/ttyS1", 38400, ostra);
    ASSERT_EQ(EnumerateRSDevicesA(OnA), 1);
    HANDLE h = qvlib::g_devInfo[0].hDevice;
    int result = 5;
    EXPECT_EQ(RS232PNPTest(h, &result), 0);  // no reader thread runs for the port
    EXPECT_EQ(RS232PNPTest(reinterpret_cast<HANDLE>(0x77), &result), 0);
}

TEST(PortNumbers, TrailingDigits) {
    struct Case { const char* path; uint32_t number; } cases[] = {
        {"/dev/ttyS0", 0}, {"/dev/ttyUSB3", 3}, {"/dev/ttyS12", 12}, {"/dev/ttyACM123", 23}, {"/dev/pts/x", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(qvlib::PortNumberOfPath(c.path), c.number) << c.path;
}

}  // namespace
