// Benches from built-in profile names and from profile files.

#include "sim_support.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace qvsim;

namespace {

// A profile file that removes itself.
class ProfileFile {
public:
    explicit ProfileFile(const std::string& text) {
        char name[] = "/tmp/qvsim-profile-XXXXXX";
        int fd = ::mkstemp(name);
        EXPECT_GE(fd, 0);
        ::close(fd);
        path_ = name;
        std::ofstream(path_) << text;
    }
    ~ProfileFile() { std::filesystem::remove(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

const char* seriesName(Series s) {
    switch (s) {
        case Series::Current: return "current";
        case Series::Ostra: return "ostra";
        case Series::Melk: return "melk";
    }
    return "?";
}

// The devices of a bench in the order `qvsim check` lists them (HID, driver, serial,
// each as added): "link path series[ boot]", or "serial path empty".
std::vector<std::string> devicesOf(Bench& b) {
    std::vector<std::string> out;
    auto describe = [](const char* link, const std::string& path, Controller& c) {
        const ControllerProfile& p = c.profile();
        return std::string(link) + " " + path + " " + seriesName(p.series) + (p.inBoot ? " boot" : "");
    };
    for (auto* d : b.hidDevices()) out.push_back(describe("hid", d->info().path, d->controller()));
    for (auto* d : b.driverDevices()) out.push_back(describe("driver", d->info().path, d->controller()));
    for (auto* d : b.serialDevices())
        out.push_back(d->info().empty ? "serial " + d->info().path + " empty"
                                      : describe("serial", d->info().path, d->controller()));
    return out;
}

struct Builtin {
    const char* name;
    std::vector<std::string> devices;
};

const std::vector<Builtin>& builtinTable() {
    static const std::vector<Builtin> table = {
        {"demo", {"hid /sim/hidraw0 current"}},
        {"demo-boot", {"hid /sim/hidraw0 current boot"}},
        {"two-controllers", {"hid /sim/hidraw0 current", "hid /sim/hidraw1 ostra"}},
        {"current", {"hid /sim/hidraw0 current"}},
        {"boot", {"hid /sim/hidraw0 current boot"}},
        {"driver", {"driver \\\\.\\QVUVCXM_API0 current"}},
        {"serial", {"serial /sim/ttyS0 current"}},
        {"ostra", {"serial /sim/ttyS0 ostra"}},
        {"melk", {"serial /sim/ttyS0 melk"}},
        {"multi",
         {"hid /sim/hidraw0 current", "hid /sim/hidraw1 ostra", "driver \\\\.\\QVUOstra_API0 ostra",
          "driver \\\\.\\QVUVCXM_API0 current", "driver \\\\.\\QVSMelk_API0 melk", "serial /sim/ttyS0 current",
          "serial /sim/ttyS1 ostra", "serial /sim/ttyS2 melk", "serial /sim/ttyS3 empty"}},
        {"full", {"hid /sim/hidraw0 current"}},
        {"full125", {"hid /sim/hidraw0 current"}},
        {"update", {"hid /sim/hidraw0 current"}},
        {"diag", {"hid /sim/hidraw0 current"}},
        {"diag-old", {"hid /sim/hidraw0 current"}},
    };
    return table;
}

class SimBuiltinProfile : public ::testing::TestWithParam<Builtin> {};

TEST_P(SimBuiltinProfile, HoldsItsControllers) {
    const Builtin& b = GetParam();
    std::string error;
    auto bench = loadProfile(b.name, &error);
    ASSERT_TRUE(bench) << error;
    EXPECT_EQ(devicesOf(*bench), b.devices);
}

INSTANTIATE_TEST_SUITE_P(Names, SimBuiltinProfile, ::testing::ValuesIn(builtinTable()), [](const auto& info) {
    std::string n = info.param.name;
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
});

TEST(SimProfiles, EveryBuiltinNameHasARowInTheTable) {
    std::vector<std::string> rows;
    for (const Builtin& b : builtinTable()) rows.push_back(b.name);
    EXPECT_EQ(rows, builtinProfileNames());
}

TEST(SimProfiles, DemoControllersAreCurrentModelsWithSlaves) {
    // A configuration program takes numbers 6000..6999 outside 6600..6699 for an
    // Ostra model and a product's thousands digit 3 for the current series.
    for (const char* name : {"demo", "demo-boot", "two-controllers"}) {
        SCOPED_TRACE(name);
        auto bench = loadProfile(name, nullptr);
        ASSERT_TRUE(bench);
        HidDevice* d = bench->hid("/sim/hidraw0");
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->info().productId >> 12, 3);
        EXPECT_EQ(d->info().reportId, 1);
        const ControllerProfile& p = d->controller().profile();
        const int n = p.identityNumber;
        EXPECT_FALSE(n >= 6000 && n <= 6999 && !(n >= 6600 && n <= 6699)) << n;
        EXPECT_EQ(p.slaveCount, p.slaves.size() + 1);
    }
}

TEST(SimProfiles, CurrentProfileMakesAHostAskForTheParameterVersion) {
    auto bench = loadProfile("current", nullptr);
    ASSERT_TRUE(bench);
    HidDevice* dev = bench->hid("/sim/hidraw0");
    ASSERT_NE(dev, nullptr);
    auto exchange = [&](const Packet& p) {
        uint8_t r[6] = {dev->info().reportId, p[0], p[1], p[2], p[3], p[4]};
        EXPECT_EQ(dev->setFeature(r, 6), XferError::None);
        EXPECT_EQ(dev->getFeature(r, 6), XferError::None);
        return Packet{r[1], r[2], r[3], r[4], r[5]};
    };
    Packet f4 = exchange({0xE0, 0x00, 0xF4, 0x00, 0x00});
    EXPECT_EQ(f4[1] & 0x82, 0x82);
    Packet version = exchange({0xF6, 0x00, 0x10, 0x00, 0x00});
    EXPECT_EQ(version[3] * 100 + version[4], 152);
}

TEST(SimProfiles, SerialProfilesCarryNumbersAHostAcceptsOnALine) {
    // A host takes current-series numbers 500..2999 and Ostra numbers 6000..6999 on serial lines.
    auto serial = loadProfile("serial", nullptr);
    auto ostra = loadProfile("ostra", nullptr);
    ASSERT_TRUE(serial && ostra);
    uint16_t current = serial->serialDevices()[0]->controller().profile().identityNumber;
    EXPECT_TRUE(current >= 500 && current <= 2999) << current;
    EXPECT_EQ(ostra->serialDevices()[0]->controller().profile().identityNumber / 1000, 6);
}

TEST(SimProfiles, FileDescribesEveryLinkAndTheBench) {
    ProfileFile f(R"(# two controllers
[bench]
latencyMs = 3

[controller]
link = hid
path = /sim/hidraw4
series = current
identity = 0x9784
featureF4 = 0x82, 0, 0x10, 0
capability = none
reportLength = 64
reportId = 1
parentInstanceId = USB\VID_2E7B&PID_6020\5&1A2B3C&0&4
reg = 0x00 0xF7 1 2 3 4

; a Melk controller on a line
[Controller]
Link = serial
path = /sim/ttyS2
series = melk
baud = 9600
)");
    std::string error;
    auto bench = loadProfile(f.path(), &error);
    ASSERT_TRUE(bench) << error;
    EXPECT_EQ(bench->latencyMs(), 3u);

    HidDevice* hid = bench->hid("/sim/hidraw4");
    ASSERT_NE(hid, nullptr);
    EXPECT_EQ(hid->info().reportId, 1);
    EXPECT_EQ(hid->info().parentInstanceId, "USB\\VID_2E7B&PID_6020\\5&1A2B3C&0&4");
    const ControllerProfile& p = hid->controller().profile();
    EXPECT_EQ(p.identityNumber, 0x9784);
    EXPECT_EQ(p.featureF4, (std::array<uint8_t, 4>{0x82, 0, 0x10, 0}));
    EXPECT_FALSE(p.capability.has_value());
    EXPECT_EQ(p.reportLength, 64);
    EXPECT_EQ(hid->controller().reg(0x00, 0xF7), (std::array<uint8_t, 4>{1, 2, 3, 4}));

    SerialDevice* ser = bench->serial("/sim/ttyS2");
    ASSERT_NE(ser, nullptr);
    EXPECT_EQ(ser->info().baud, 9600u);
    EXPECT_EQ(ser->controller().profile().series, Series::Melk);
}

struct Malformed {
    const char* name;
    const char* text;
    int line;
    const char* mentions;
};

class SimMalformedProfile : public ::testing::TestWithParam<Malformed> {};

TEST_P(SimMalformedProfile, ErrorNamesTheLine) {
    const Malformed& m = GetParam();
    ProfileFile f(m.text);
    std::string error;
    EXPECT_EQ(loadProfile(f.path(), &error), nullptr);
    EXPECT_EQ(error.rfind(f.path() + ":" + std::to_string(m.line) + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(m.mentions), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Files, SimMalformedProfile,
    ::testing::Values(
        Malformed{"UnknownKey", "[controller]\nlink = hid\nflavour = 3\npath = /a\n", 3, "flavour"},
        Malformed{"BadNumber", "[controller]\nlink = hid\npath = /a\nmajor = 1x\n", 4, "'1x'"},
        Malformed{"NumberTooLarge", "[controller]\nlink = hid\npath = /a\nrows = 256\n", 4, "out of range"},
        Malformed{"ShortByteList", "[controller]\nlink = hid\npath = /a\nbridge = 1 2 3\n", 4, "4 bytes"},
        Malformed{"NoEquals", "[controller]\nlink hid\n", 2, "key = value"},
        Malformed{"OutsideSection", "\n# c\nlink = hid\n", 3, "outside"},
        Malformed{"UnknownSection", "[controllers]\n", 1, "controllers"},
        Malformed{"UnclosedSection", "[controller\n", 1, "']'"},
        Malformed{"MissingLink", "[bench]\nlatencyMs = 1\n[controller]\npath = /a\n", 3, "'link'"},
        Malformed{"MissingPath", "[controller]\nlink = driver\n[controller]\nlink = hid\npath = /b\n", 1, "'path'"},
        Malformed{"KeyOfAnotherLink", "[controller]\nlink = hid\npath = /a\nbaud = 9600\n", 4, "baud"},
        Malformed{"DuplicatePath", "[controller]\nlink = hid\npath = /a\n[controller]\nlink = serial\npath = /a\n",
                  4, "already used"},
        Malformed{"UnknownSeries", "[controller]\nlink = hid\npath = /a\nseries = 7\n", 4, "series"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimProfiles, UnknownNameThatIsNoFileIsReported) {
    std::string error;
    EXPECT_EQ(loadProfile("/nonexistent/qvsim-profile", &error), nullptr);
    EXPECT_NE(error.find("/nonexistent/qvsim-profile"), std::string::npos) << error;
    EXPECT_NE(error.find("current"), std::string::npos) << error;  // lists the built-in names
}

}  // namespace
