// The program's device search against a fake library: the preferred-series
// passes, the remembered key, the 16-entry list, the "-enumfu" choice through
// "EnumUpdate.ini", and the reason given when no controller opens.
#include "core/device_finder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct FakeDevice {
    std::u16string path, model, key;
    uint8_t series = QV_SERIES_CURRENT;
    bool opens = true;
    uint16_t productNumber = 6020;
    uint8_t letter = 1;
    uint16_t crc = 0x1234;
    bool inBoot = false;
};

struct FakeLibrary {
    std::vector<FakeDevice> hid, driver;
    // The reasons the library gives: each enumeration starts from an empty one
    // and leaves its own; an open that fails leaves the open's.
    std::string reason, hidReason, driverReason, openReason;
    std::vector<std::string> calls;
    std::vector<std::u16string> log;
    int open = -1; // index into all() of the open device
    std::vector<FakeDevice*> all() {
        std::vector<FakeDevice*> v;
        for (auto& d : hid) v.push_back(&d);
        for (auto& d : driver) v.push_back(&d);
        return v;
    }
    FakeDevice* current() { return open < 0 ? nullptr : all()[open]; }
};
FakeLibrary* g = nullptr;

HANDLE handleOf(int i) { return reinterpret_cast<HANDLE>(intptr_t(0x100 + i)); }
int indexOf(HANDLE h) { return int(reinterpret_cast<intptr_t>(h) - 0x100); }
std::string narrow(const std::u16string& s) { return QString::fromStdU16String(s).toStdString(); }

int fakeEnumHid(QVEnumCallbackExW cb) {
    g->reason = g->hidReason;
    for (auto& d : g->hid) cb(d.path.c_str(), d.model.c_str(), d.key.c_str());
    return 1;
}
int fakeEnumDriver(QVEnumCallbackExW cb, uint32_t mask) {
    g->calls.push_back("EnumDriver" + std::to_string(mask));
    g->reason = g->driverReason;
    for (auto& d : g->driver) cb(d.path.c_str(), d.model.c_str(), d.key.c_str());
    return 1;
}
uint32_t fakeReason(char* text, uint32_t count) {
    if (text && count) {
        const size_t n = std::min<size_t>(g->reason.size(), count - 1);
        std::memcpy(text, g->reason.data(), n);
        text[n] = 0;
    }
    return uint32_t(g->reason.size());
}
int fakeOpen(const QVWCHAR* path, HANDLE* h) {
    auto all = g->all();
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i]->path != path) continue;
        g->calls.push_back("Open " + narrow(all[i]->path));
        if (!all[i]->opens) {
            if (!g->openReason.empty()) g->reason = g->openReason;
            return 0;
        }
        g->open = int(i);
        *h = handleOf(int(i));
        return 1;
    }
    return 0;
}
int fakeClose(HANDLE h) {
    g->calls.push_back("Close " + narrow(g->all()[indexOf(h)]->path));
    g->open = -1;
    return 1;
}
int fakeSeries(HANDLE h, uint8_t* s) { return *s = g->all()[indexOf(h)]->series, 1; }
int fakeType(HANDLE, uint32_t* t) { return *t = QV_DEVICE_HID, 1; }
int fakeLog(const QVWCHAR* text) { return g->log.push_back(text), 1; }
int fakeVersion(HANDLE h, FirmwareVersionInfoW* v) { return v->masterInBoot = g->all()[indexOf(h)]->inBoot, 1; }
int fakeInformation(HANDLE h, FirmwareInformationW* info) {
    info->productNumber = g->all()[indexOf(h)]->productNumber;
    info->productLetter = g->all()[indexOf(h)]->letter;
    return 1;
}
uint8_t g_touch[64], g_boot[16];
int fakeLists(HANDLE, ParameterList* l) {
    l->touchLength = 64;
    l->bootLength = 16;
    l->touchList = g_touch;
    l->bootList = g_boot;
    return 1;
}
int fakeCrc(HANDLE h, uint16_t* crc) { return *crc = g->all()[indexOf(h)]->crc, 1; }

class VcxDeviceFinder : public ::testing::Test {
protected:
    void SetUp() override {
        g = &lib_;
        ASSERT_TRUE(dir_.isValid());
        c_.library = this; // bound: any non-null module
        c_.api.EnumerateHidDevicesExW = fakeEnumHid;
        c_.api.EnumerateQVDevicesExW = fakeEnumDriver;
        c_.api.OpenDeviceW = fakeOpen;
        c_.api.CloseDevice = fakeClose;
        c_.api.GetQVOstraMelk = fakeSeries;
        c_.api.GetDeviceType = fakeType;
        c_.api.WriteCommandLogW = fakeLog;
        c_.api.GetFWVersionW = fakeVersion;
        c_.api.GetFWInformationW = fakeInformation;
        c_.api.GetAPBTParaList = fakeLists;
        c_.api.GetParameterCRC = fakeCrc;
        c_.lastErrorText = fakeReason;
        c_.sleepMs = [this](int ms) { sleeps_.push_back(ms); };
        f_.programFolder = dir_.path() + "/";
        f_.fileArg = &fileArg_;
    }
    void TearDown() override {
        c_.library = nullptr;
        g = nullptr;
    }
    static FakeDevice dev(const char* name, uint8_t series = QV_SERIES_CURRENT) {
        FakeDevice d;
        d.path = u"/dev/" + QString(name).toStdU16String();
        d.model = u"QV" + QString(name).toStdU16String();
        d.key = u"key-" + QString(name).toStdU16String();
        d.series = series;
        return d;
    }
    QString openPath() { return lib_.current() ? QString::fromStdU16String(lib_.current()->path) : QString(); }
    void writeIni(const QByteArray& text) {
        QFile ini(dir_.filePath("EnumUpdate.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(text);
    }
    void touch(const QString& name) {
        QFile file(dir_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    FakeLibrary lib_;
    vcx::Controller c_;
    vcx::DeviceFinder f_;
    QTemporaryDir dir_;
    QString fileArg_;
    std::vector<int> sleeps_;
};

TEST_F(VcxDeviceFinder, PrefersTheFirstCurrentSeriesControllerInListOrder) {
    struct Case {
        const char* name;
        std::vector<FakeDevice> hid, driver;
        const char* opened; // nullptr: nothing opens
    } cases[] = {
        {"two current ones: the first", {dev("a"), dev("b")}, {}, "/dev/a"},
        {"an Ostra before a current one", {dev("o", QV_SERIES_OSTRA)}, {dev("c")}, "/dev/c"},
        {"only Ostra and Melk: entry 0", {dev("m", QV_SERIES_MELK), dev("o", QV_SERIES_OSTRA)}, {}, "/dev/m"},
        {"a current one that does not open is passed over",
         {[] { auto d = dev("x"); d.opens = false; return d; }(), dev("y")}, {}, "/dev/y"},
        {"one device that does not open", {[] { auto d = dev("x"); d.opens = false; return d; }()}, {}, nullptr},
        {"no device", {}, {}, nullptr},
    };
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.name);
        lib_.hid = cs.hid;
        lib_.driver = cs.driver;
        lib_.open = -1;
        c_.dev = {};
        EXPECT_EQ(vcx::FindQVDevice(c_, f_), cs.opened != nullptr);
        EXPECT_EQ(openPath(), cs.opened ? QString(cs.opened) : QString());
        if (cs.opened) {
            EXPECT_EQ(c_.dev.modelName, "QV" + QString(cs.opened).mid(5));
            EXPECT_EQ(c_.dev.currentKey, "key-" + QString(cs.opened).mid(5));
            EXPECT_EQ(c_.dev.deviceType, QV_DEVICE_HID);
        } else {
            EXPECT_EQ(c_.dev.device, INVALID_HANDLE_VALUE);
        }
    }
    // Every search logs itself, asks for the driver kinds 0..3 and waits 100 ms.
    EXPECT_EQ(lib_.log.front(), u"\rFindQVDevice()\r");
    EXPECT_NE(std::find(lib_.calls.begin(), lib_.calls.end(), "EnumDriver15"), lib_.calls.end());
    EXPECT_EQ(sleeps_, std::vector<int>(std::size(cases), 100));
}

TEST_F(VcxDeviceFinder, SeriesPassOpensAndClosesEveryDeviceBeforeChoosing) {
    lib_.hid = {dev("o", QV_SERIES_OSTRA), dev("a"), dev("b")};
    ASSERT_TRUE(vcx::FindQVDevice(c_, f_));
    EXPECT_EQ(lib_.calls, (std::vector<std::string>{"EnumDriver15", "Open /dev/o", "Close /dev/o", "Open /dev/a",
                                                    "Close /dev/a", "Open /dev/b", "Close /dev/b", "Open /dev/a"}));
    // A second search closes the open controller first.
    lib_.calls.clear();
    ASSERT_TRUE(vcx::FindQVDevice(c_, f_));
    EXPECT_EQ(lib_.calls.front(), "Close /dev/a");
}

TEST_F(VcxDeviceFinder, RememberedKeyReopensThatControllerAndIsConsumed) {
    lib_.hid = {dev("a"), dev("b")};
    c_.dev.rememberedKey = "key-b";
    ASSERT_TRUE(vcx::FindQVDevice(c_, f_));
    EXPECT_EQ(openPath(), "/dev/b");
    EXPECT_TRUE(c_.dev.rememberedKey.isEmpty());
    EXPECT_EQ(c_.dev.currentKey, "key-b");

    // The controller vanished during its reset: nothing opens, the key stays for the retries.
    c_.dev.rememberedKey = "key-gone";
    EXPECT_FALSE(vcx::FindQVDevice(c_, f_));
    EXPECT_EQ(c_.dev.device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(c_.dev.rememberedKey, "key-gone");
    // The key compares exactly.
    c_.dev.rememberedKey = "KEY-A";
    EXPECT_FALSE(vcx::FindQVDevice(c_, f_));
}

TEST_F(VcxDeviceFinder, KeepsTheFirstSixteenDevicesAndLogsTheRest) {
    for (int i = 0; i < 18; ++i) lib_.hid.push_back(dev(qPrintable(QString("d%1").arg(i)), QV_SERIES_OSTRA));
    // A path longer than the field is cut to it.
    lib_.hid[0].path = u"/dev/" + std::u16string(400, u'p');
    EXPECT_FALSE(vcx::FindQVDevice(c_, f_)); // entry 0 opens, but its cut path names no device
    ASSERT_EQ(f_.list.size(), 16u);
    EXPECT_EQ(f_.reported, 18);
    EXPECT_EQ(f_.list[0].path.size(), 259);
    EXPECT_EQ(f_.list[15].key, "key-d15");
    EXPECT_EQ(lib_.log.back(), u"\rFindQVDevice() : 18 controllers found, the first 16 are listed\r");
}

TEST_F(VcxDeviceFinder, EnumUpdateOpensEachListedControllerOnceAndNamesItsPackage) {
    f_.enumFU = true;
    FakeDevice a = dev("a"), b = dev("b"), c = dev("c");
    a.crc = 0x00AB;
    b.crc = 0x0BAD; // no entry
    c.productNumber = 6021;
    c.letter = 0;
    c.crc = 0xBEEF;
    lib_.hid = {a, b, c};
    writeIni("[QV6020A]\r\nx00AB=pkg/first\r\nx0BAD=\r\n[qv6021]\r\nxBEEF = third.pfp\r\n");
    QDir(dir_.path()).mkdir("pkg");
    touch("pkg/first.pfp"); // found with the extension added
    touch("third.pfp");

    ASSERT_TRUE(vcx::FindQVDevice(c_, f_));
    EXPECT_EQ(openPath(), "/dev/a");
    EXPECT_EQ(fileArg_, dir_.filePath("pkg/first.pfp"));
    EXPECT_EQ(f_.enumKey, "key-a");
    // After its reset the same controller is found again.
    ASSERT_TRUE(vcx::FindQVDevice(c_, f_));
    EXPECT_EQ(openPath(), "/dev/a");

    // Its update done, the next search passes over b and takes c.
    f_.enumKey.clear();
    ASSERT_TRUE(vcx::FindQVDevice(c_, f_));
    EXPECT_EQ(openPath(), "/dev/c");
    EXPECT_EQ(fileArg_, dir_.filePath("third.pfp"));
    EXPECT_EQ(f_.handledKeys, (QStringList{"key-a", "key-c"}));

    f_.enumKey.clear();
    EXPECT_FALSE(vcx::FindQVDevice(c_, f_));
    EXPECT_EQ(c_.dev.device, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(fileArg_.isEmpty());
}

TEST_F(VcxDeviceFinder, EnumUpdateNeedsAnExistingPackageAndAControllerOutOfBoot) {
    f_.enumFU = true;
    FakeDevice a = dev("a");
    lib_.hid = {a};
    writeIni("[QV6020A]\nx1234=missing\n");
    EXPECT_FALSE(vcx::FindQVDevice(c_, f_));
    EXPECT_TRUE(fileArg_.isEmpty());
    EXPECT_EQ(lib_.calls.back(), "Close /dev/a");

    touch("missing");
    lib_.hid[0].inBoot = true;
    EXPECT_FALSE(vcx::FindQVDevice(c_, f_));
    lib_.hid[0].inBoot = false;
    EXPECT_TRUE(vcx::FindQVDevice(c_, f_));
    EXPECT_EQ(fileArg_, dir_.filePath("missing"));
}

TEST_F(VcxDeviceFinder, NoControllerLineGivesTheLastCandidatesReason) {
    const auto unopened = [](const char* name) {
        FakeDevice d = dev(name);
        d.opens = false;
        return d;
    };
    struct Case {
        const char* what;
        std::vector<FakeDevice> hid;
        const char *hidReason, *driverReason, *openReason;
        const char* line;
    } cases[] = {
        {"nothing found, no reason", {}, "", "", "", "VCXMSet: no controller: none found"},
        {"the HID candidate's reason survives an empty driver enumeration", {},
         "open /dev/hidraw3: Permission denied", "", "",
         "VCXMSet: no controller: open /dev/hidraw3: Permission denied"},
        {"the later enumeration's reason is the last candidate's", {}, "open /dev/hidraw3: Permission denied",
         "open /dev/ttyS0: No such device", "", "VCXMSet: no controller: open /dev/ttyS0: No such device"},
        {"a listed controller that does not open", {unopened("x")}, "", "", "open /dev/x: Device or resource busy",
         "VCXMSet: no controller: open /dev/x: Device or resource busy"},
        {"listed controllers that do not open, no reason", {unopened("x"), unopened("y")}, "", "", "",
         "VCXMSet: no controller: none of the 2 listed could be opened"},
        // The reason is one line, whatever the library's text holds.
        {"a reason with line breaks", {}, "first\nsecond\r\n", "", "", "VCXMSet: no controller: first second"},
    };
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.what);
        lib_.hid = cs.hid;
        lib_.hidReason = cs.hidReason;
        lib_.driverReason = cs.driverReason;
        lib_.openReason = cs.openReason;
        lib_.reason = "a reason from before the search";
        EXPECT_FALSE(vcx::FindQVDevice(c_, f_));
        EXPECT_EQ(vcx::noControllerLine(f_), cs.line);
    }
    // A library without the export: the reason is what the search itself knows.
    c_.lastErrorText = nullptr;
    lib_.hid = {};
    lib_.hidReason = "never asked";
    EXPECT_FALSE(vcx::FindQVDevice(c_, f_));
    EXPECT_EQ(vcx::noControllerLine(f_), "VCXMSet: no controller: none found");
    // A reason longer than a line of context is cut.
    c_.lastErrorText = fakeReason;
    lib_.hidReason = std::string(5000, 'r');
    EXPECT_FALSE(vcx::FindQVDevice(c_, f_));
    EXPECT_EQ(f_.failure, QString(1024, u'r'));
}

TEST(VcxDeviceFinderNames, SectionNameCarriesTheLetter) {
    FirmwareInformationW info{};
    info.productNumber = 6000;
    info.productLetter = 1;
    EXPECT_EQ(vcx::enumUpdateSection(info), "QV6000A");
    info.productLetter = 0;
    EXPECT_EQ(vcx::enumUpdateSection(info), "QV6000");
}

TEST(VcxDeviceFinderUnbound, NothingHappensWithoutTheLibrary) {
    vcx::Controller c;
    vcx::DeviceFinder f;
    EXPECT_FALSE(vcx::FindQVDevice(c, f));
}

} // namespace
