// What profiles put on a bench besides controllers: device descriptions a host
// enumerates, empty ports and the settings store; and the built-in benches
// checked against the rules a host applies when it enumerates them.

#include "sim_support.h"

#include <gtest/gtest.h>

#include <set>

using namespace qvsim;

namespace {

const std::string kParameters = "SYSTEM\\CurrentControlSet\\Services\\qvhidusb\\Parameters";
const std::string kEnum = "SYSTEM\\CurrentControlSet\\Services\\qvhidusb\\Enum";

std::shared_ptr<Bench> parse(const std::string& text) {
    std::string error;
    auto bench = parseProfileText(text, "t.ini", &error);
    EXPECT_TRUE(bench) << error;
    return bench;
}

TEST(SimBenchProfile, FileSetsDescriptionsPortsAndSettings) {
    auto bench = parse(R"([controller]
link = hid
path = /sim/hidraw5
name = QVTS2E7B3508:00
hasParent = 0
hasManufacturer = no
inputReportLength = none

[controller]
link = driver
path = \\.\QVSOstra_API2
series = ostra
kind = 3
deviceCode = none
driverVersion = 204
portIndex = 12

[port]
path = /sim/ttyS4

[setting]
key = system\currentcontrolset\services\qvhidusb\parameters
name = 12
string = USB\VID_2E7B&PID_6020&0003#K = 1#

[setting]
KEY = SYSTEM\CurrentControlSet\Services\qvhidusb\Enum
Name = Count
dword = 0x2
)");
    ASSERT_TRUE(bench);
    HidDevice* hid = bench->hid("/sim/hidraw5");
    ASSERT_NE(hid, nullptr);
    EXPECT_EQ(hid->info().name, "QVTS2E7B3508:00");
    EXPECT_FALSE(hid->info().hasParent);
    EXPECT_FALSE(hid->info().hasManufacturer);
    EXPECT_EQ(hid->info().inputReportLength, -1);

    DriverDevice* drv = bench->driver("\\\\.\\QVSOstra_API2");  // the name as a host forms it
    ASSERT_NE(drv, nullptr);
    EXPECT_EQ(drv->info().kind, 3);
    EXPECT_EQ(drv->info().driverVersion, 204u);
    uint8_t out[4];
    uint32_t got;
    EXPECT_EQ(drv->ioctl(0x223CA8, nullptr, 0, out, 4, &got), XferError::InvalidParameter);
    ASSERT_EQ(drv->ioctl(0x223C40, nullptr, 0, out, 4, &got), XferError::None);
    EXPECT_EQ(out[0], 12);

    SerialDevice* port = bench->serial("/sim/ttyS4");
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(port->info().empty);

    // The text after the first '=' is kept as written, '=' and '#' included.
    EXPECT_EQ(bench->setting(kParameters, "12"), Bench::Setting(std::string("USB\\VID_2E7B&PID_6020&0003#K = 1#")));
    EXPECT_EQ(bench->setting(kEnum, "count"), Bench::Setting(uint32_t{2}));
}

struct Malformed {
    const char* name;
    const char* text;
    int line;
    const char* mentions;
};

class SimBenchMalformedProfile : public ::testing::TestWithParam<Malformed> {};

TEST_P(SimBenchMalformedProfile, ErrorNamesTheLine) {
    const Malformed& m = GetParam();
    std::string error;
    EXPECT_EQ(parseProfileText(m.text, "bad.ini", &error), nullptr);
    EXPECT_EQ(error.rfind("bad.ini:" + std::to_string(m.line) + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(m.mentions), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Files, SimBenchMalformedProfile,
    ::testing::Values(
        Malformed{"SettingWithoutKey", "[setting]\nname = 0\nstring = x\n", 1, "'key'"},
        Malformed{"SettingWithoutName", "[setting]\nkey = K\ndword = 1\n[bench]\n", 1, "'name'"},
        Malformed{"SettingWithoutData", "[setting]\nkey = K\nname = 0\n", 1, "'string' or 'dword'"},
        Malformed{"SettingTwoData", "[setting]\nkey = K\nname = 0\ndword = 1\nstring = x\n", 5, "second"},
        Malformed{"SettingBadDword", "[setting]\nkey = K\nname = 0\ndword = -1\n", 4, "'-1'"},
        Malformed{"SettingUnknownKey", "[setting]\nkey = K\ntype = sz\n", 3, "'type'"},
        Malformed{"PortUnknownKey", "[port]\npath = /p\nbaud = 9600\n", 3, "'baud'"},
        Malformed{"PortWithoutPath", "[port]\n[bench]\n", 1, "'path'"},
        Malformed{"PortPathTaken", "[controller]\nlink = serial\npath = /p\n[port]\npath = /p\n", 4, "already used"},
        Malformed{"HidKeyOnDriver", "[controller]\nlink = driver\npath = /d\nhasParent = 0\n", 4, "hasparent"},
        Malformed{"BadFlag", "[controller]\nlink = hid\npath = /h\nhasManufacturer = maybe\n", 4, "'maybe'"},
        Malformed{"PanelNameTooLong", "[controller]\nlink = hid\npath = /h\npanelSize = G156HANXY 0x15 0x61 1 2\n", 4,
                  "NAME"},
        Malformed{"PanelWidthTooLarge", "[controller]\nlink = hid\npath = /h\npanelSize = G156 0x15 0x61 70000 2\n", 4,
                  "out of range"},
        Malformed{"PanelFirstBadNumber", "[controller]\nlink = hid\npath = /h\npanelSize = G 0x15 zz 1 99999\n", 4,
                  "'zz'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimBenchProfile, PanelSizeLinesFillTheTableInOrder) {
    auto bench = parse("[controller]\nlink = hid\npath = /sim/hidraw0\n"
                       "panelSize = G156HAN 0x15 0x61 344 194\npanelSize = ABCDEFGH 0x21 0x58 0x1234 0xFFFF\n");
    ASSERT_TRUE(bench);
    const auto& t = bench->hid("/sim/hidraw0")->controller().profile().panelSizes;
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].name, (std::array<uint8_t, 8>{'G', '1', '5', '6', 'H', 'A', 'N', 0}));
    EXPECT_EQ(t[0].inches, 0x15);
    EXPECT_EQ(t[0].tenthsAndFlags, 0x61);
    EXPECT_EQ(t[0].dimension, (std::array<uint8_t, 4>{344 & 0xFF, 344 >> 8, 194, 0}));
    EXPECT_EQ(t[1].name, (std::array<uint8_t, 8>{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}));
    EXPECT_EQ(t[1].dimension, (std::array<uint8_t, 4>{0x34, 0x12, 0xFF, 0xFF}));
}

// ---------------------------------------------------------------- built-in benches

// The driver's device-name templates by kind, and the series each kind stands for.
const char* const kTemplates[] = {"\\\\.\\QVUVCXM_API", "\\\\.\\QVUOstra_API", "\\\\.\\QVSVCXM_API",
                                  "\\\\.\\QVSOstra_API", "\\\\.\\QVSMelk_API"};
const Series kKindSeries[] = {Series::Current, Series::Ostra, Series::Current, Series::Ostra, Series::Melk};

uint32_t ioctlValue(DriverDevice& d, uint32_t code) {
    uint8_t out[4] = {};
    uint32_t got = 0;
    EXPECT_EQ(d.ioctl(code, nullptr, 0, out, 4, &got), XferError::None) << std::hex << code;
    return uint32_t(out[0] | out[1] << 8 | out[2] << 16 | uint32_t(out[3]) << 24);
}

// A driver device on a built-in bench as a host finds it: a name of its kind's
// template, a device code its kind accepts, and for kinds 0..2 a Parameters value
// whose location, key and product number can be read, with the key's USB parent
// listed in the Enum key.
void expectDriverFindable(Bench& bench, DriverDevice& d) {
    SCOPED_TRACE(d.info().path);
    const int kind = d.info().kind;
    ASSERT_TRUE(kind >= 0 && kind <= 4);
    const std::string prefix = kTemplates[kind];
    ASSERT_EQ(d.info().path.rfind(prefix, 0), 0u);
    const std::string index = d.info().path.substr(prefix.size());
    ASSERT_TRUE(index.size() >= 1 && index.size() <= 2 && std::stoi(index) <= 15);
    EXPECT_EQ(d.info().ioctlPair, kind >= 3 ? 1 : 0);

    // Kinds of a series accept family 6, and 9 as a Melk device; the others 1, 2 and 6.
    const uint32_t family = (ioctlValue(d, 0x223CA8) >> 16) / 1000;
    Series series = kKindSeries[kind];
    bool accepted = family == 1 || family == 2 || family == 6;
    if (series != Series::Current) {
        accepted = family == 6 || family == 9;
        if (family == 9) series = Series::Melk;
    }
    EXPECT_TRUE(accepted) << "family " << family;
    EXPECT_EQ(d.controller().profile().series, series);
    if (kind >= 3) return;  // keyed by the port index alone

    const uint32_t port = ioctlValue(d, 0x223C40);
    auto value = bench.setting(kParameters, std::to_string(port));
    ASSERT_TRUE(value && std::holds_alternative<std::string>(*value)) << "no Parameters value " << port;
    const std::string& text = std::get<std::string>(*value);
    const size_t amp = text.rfind('&');
    const size_t lastHash = text.rfind('#');
    ASSERT_NE(amp, std::string::npos);
    ASSERT_TRUE(lastHash != std::string::npos && lastHash > 0);
    const size_t keyHash = text.rfind('#', lastHash - 1);
    ASSERT_NE(keyHash, std::string::npos);
    const std::string location = text.substr(amp + 1, text.find('#', amp) - amp - 1);
    EXPECT_FALSE(location.empty());
    EXPECT_EQ(location.find_first_not_of("0123456789"), std::string::npos) << location;
    const std::string key = text.substr(keyHash + 1, lastHash - keyHash - 1);
    EXPECT_TRUE(!key.empty() && key.size() <= 19) << key;
    const size_t underscore = text.rfind('_', keyHash);
    ASSERT_NE(underscore, std::string::npos);
    const std::string product = text.substr(underscore + 1, 4);
    EXPECT_EQ(product.find_first_not_of("0123456789"), std::string::npos) << product;

    auto count = bench.setting(kEnum, "Count");
    ASSERT_TRUE(count && std::holds_alternative<uint32_t>(*count));
    bool listed = false;
    for (uint32_t i = 0; i < std::get<uint32_t>(*count) && !listed; ++i) {
        auto id = bench.setting(kEnum, std::to_string(i));
        ASSERT_TRUE(id && std::holds_alternative<std::string>(*id)) << "Enum value " << i;
        const std::string& s = std::get<std::string>(*id);
        listed = s.find(key) != std::string::npos;
        if (listed) {
            EXPECT_NE(s.find("PID_" + product), std::string::npos) << s;
        }
    }
    EXPECT_TRUE(listed) << "key " << key << " is in no Enum value";
}

// A HID device on a built-in bench as a host finds it: the maker's vendor, a product
// number whose thousands digit gives the controller's series, a USB parent of that
// product, and a manufacturer other than the maker's own composite device.
void expectHidFindable(HidDevice& d) {
    const HidInfo& i = d.info();
    SCOPED_TRACE(i.path);
    EXPECT_EQ(i.vendorId, 0x2E7B);
    const int thousands = i.productId >> 12;  // the product number is read from its hex digits
    EXPECT_EQ(d.controller().profile().series, thousands == 6 ? Series::Ostra : Series::Current);
    EXPECT_TRUE(thousands == 3 || thousands == 6) << std::hex << i.productId;
    char pid[5];
    std::snprintf(pid, sizeof pid, "%04X", i.productId);
    EXPECT_TRUE(i.hasParent && i.hasManufacturer);
    EXPECT_EQ(i.parentInstanceId.rfind("USB\\VID_2E7B&PID_" + std::string(pid) + "\\", 0), 0u) << i.parentInstanceId;
    EXPECT_EQ(i.manufacturer.find("Quorvane"), std::string::npos);
}

TEST(SimBenchBuiltins, EveryBuiltinDeviceIsFindableByAHost) {
    for (const std::string& name : builtinProfileNames()) {
        SCOPED_TRACE(name);
        auto bench = loadProfile(name, nullptr);
        ASSERT_TRUE(bench);
        for (HidDevice* d : bench->hidDevices()) expectHidFindable(*d);
        for (DriverDevice* d : bench->driverDevices()) expectDriverFindable(*bench, *d);
        for (SerialDevice* d : bench->serialDevices()) {
            if (d->info().empty) continue;
            const ControllerProfile& p = d->controller().profile();
            switch (p.series) {
                case Series::Current: EXPECT_TRUE(p.identityNumber >= 500 && p.identityNumber <= 2999); break;
                case Series::Ostra: EXPECT_EQ(p.identityNumber / 1000, 6); break;
                case Series::Melk: EXPECT_TRUE(d->info().baud == 19200 || d->info().baud == 9600); break;
            }
        }
    }
}

TEST(SimBenchBuiltins, DriverIsAKindZeroDeviceAtTheFirstName) {
    auto bench = loadProfile("driver", nullptr);
    ASSERT_TRUE(bench);
    ASSERT_EQ(bench->driverDevices().size(), 1u);
    DriverDevice* d = bench->driver("\\\\.\\QVUVCXM_API0");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->info().kind, 0);
}

TEST(SimBenchBuiltins, MultiHoldsEveryLinkAndSeries) {
    auto bench = loadProfile("multi", nullptr);
    ASSERT_TRUE(bench);
    std::set<std::pair<Link, Series>> found;
    for (HidDevice* d : bench->hidDevices()) found.insert({Link::Hid, d->controller().profile().series});
    for (DriverDevice* d : bench->driverDevices()) found.insert({Link::Driver, d->controller().profile().series});
    int empty = 0;
    for (SerialDevice* d : bench->serialDevices()) {
        if (d->info().empty) ++empty;
        else found.insert({Link::Serial, d->controller().profile().series});
    }
    const std::set<std::pair<Link, Series>> want = {
        {Link::Hid, Series::Current},    {Link::Hid, Series::Ostra},       {Link::Driver, Series::Current},
        {Link::Driver, Series::Ostra},   {Link::Driver, Series::Melk},     {Link::Serial, Series::Current},
        {Link::Serial, Series::Ostra},   {Link::Serial, Series::Melk},
    };
    EXPECT_EQ(found, want);
    EXPECT_EQ(empty, 1);
}

}  // namespace
