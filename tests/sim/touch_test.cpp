// What the simulated devices send unasked: HID input reports in each report
// form, serial touch packets in each series' framing and the plug-and-play
// identifier at the host's switch to 1200 baud, driver notify codes; and the
// device state setters behind the control socket's set verb.
#include "sim_support.h"

#include <gtest/gtest.h>

using namespace qvsim;

namespace {

std::shared_ptr<Controller> SeriesController(Series s) {
    ControllerProfile p;
    p.series = s;
    return std::make_shared<Controller>(p);
}

std::vector<uint8_t> ReadAll(SerialDevice& d) {
    std::vector<uint8_t> out(d.available());
    out.resize(d.read(out.data(), out.size()));
    return out;
}

}  // namespace

TEST(SimTouch, HidReportsInEachForm) {
    Bench bench;
    HidInfo withIds;
    withIds.path = "/sim/hidraw0";
    HidInfo noIds = withIds;
    noIds.path = "/sim/hidraw1";
    noIds.inputReportIds = false;
    HidInfo form3508 = withIds;
    form3508.path = "/sim/hidraw2";
    form3508.productId = 0x3508;
    form3508.inputReportLength = 14;
    auto& a = bench.addHid(std::make_shared<Controller>(), withIds);
    auto& b = bench.addHid(std::make_shared<Controller>(), noIds);
    auto& c = bench.addHid(std::make_shared<Controller>(), form3508);
    const uint64_t seen = bench.activity()->seq;
    a.queueTouch(0x71, 0x1234, 0x0456, 0x7777);  // no force in this form
    b.queueTouch(0x71, 0x1234, 0x0456);
    c.queueTouch(0x72, 5, 6, 0xBEEF);
    EXPECT_GE(bench.activity()->seq, seen + 3);
    std::vector<uint8_t> r;
    ASSERT_TRUE(a.takeInput(&r));
    ASSERT_EQ(r.size(), 64u);
    EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.begin() + 12),
              (std::vector<uint8_t>{1, 0x71, 0x34, 0x12, 0x56, 0x04, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(b.takeInput(&r));
    ASSERT_EQ(r.size(), 63u);
    EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.begin() + 5), (std::vector<uint8_t>{0x71, 0x34, 0x12, 0x56, 0x04}));
    ASSERT_TRUE(c.takeInput(&r));
    EXPECT_EQ(r, (std::vector<uint8_t>{1, 0x72, 5, 0, 6, 0, 0, 0, 0, 0, 0, 0xEF, 0xBE, 0}));
    EXPECT_FALSE(c.takeInput(&r));
    // A removed device hands out nothing more.
    a.queueInput({1, 2, 3});
    ASSERT_TRUE(bench.remove("/sim/hidraw0"));
    EXPECT_FALSE(a.takeInput(&r));
}

TEST(SimTouch, SerialPacketsAndTheIdentifierAtTheSwitchTo1200) {
    Bench bench;
    auto& ostra = bench.addSerial(SeriesController(Series::Ostra), SerialInfo{"/sim/ttyS1", 9600});
    auto& melk = bench.addSerial(SeriesController(Series::Melk), SerialInfo{"/sim/ttyS2", 9600});
    auto& current = bench.addSerial(std::make_shared<Controller>(), SerialInfo{"/sim/ttyS3", 9600});
    ostra.queueTouch(0x71, 0x0110, 0x0220);
    EXPECT_EQ(ReadAll(ostra), simtest::framed(Packet{0x71, 0x10, 0x01, 0x20, 0x02}));
    melk.queueTouch(0x71, 389, 897);  // down: 0xF0 | id, 7-bit pairs high first
    melk.queueTouch(0x41, 1, 2);      // up: 0xB0 | id
    EXPECT_EQ(ReadAll(melk), (std::vector<uint8_t>{0xF1, 3, 5, 7, 1, 0xB1, 0, 1, 0, 2}));

    auto identifier = [](const char* text) {
        std::vector<uint8_t> out;
        for (const char* c = text; *c; ++c) out.push_back(uint8_t(*c) | 0x80);
        return out;
    };
    struct Step {
        SerialDevice* device;
        uint32_t baud;
        bool rts;
        std::vector<uint8_t> sent;
    };
    const std::vector<Step> steps = {
        {&ostra, 1200, true, {}},                         // RTS on: nothing yet
        {&ostra, 1200, false, identifier("(01QRV6000)")},  // RTS dropped at 1200 baud
        {&ostra, 1200, false, {}},                        // no second drop, no second identifier
        {&ostra, 9600, true, {}},
        {&ostra, 9600, false, {}},                        // another speed: nothing
        {&melk, 1200, true, {}},
        {&melk, 1200, false, identifier("(01QRV9000)")},
        {&current, 1200, true, {}},
        {&current, 1200, false, {}},                      // the current series has none
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        steps[i].device->setHostLines(steps[i].baud, steps[i].rts);
        EXPECT_EQ(ReadAll(*steps[i].device), steps[i].sent) << "step " << i;
    }
    ostra.setPnpIdentifier("(27XYZ6000)");
    ostra.setHostLines(1200, true);
    ostra.setHostLines(1200, false);
    EXPECT_EQ(ReadAll(ostra), identifier("(27XYZ6000)"));
}

TEST(SimTouch, DriverNotifyWaits) {
    Bench bench;
    DriverInfo info;
    info.path = "/sim/drv0";
    auto& d = bench.addDriver(std::make_shared<Controller>(), info);
    std::optional<uint32_t> code;
    EXPECT_EQ(d.takeNotify(DriverDevice::kIoctlNotify, 4, &code), XferError::None);
    EXPECT_FALSE(code);  // pending
    d.pushNotify(0x8A);
    d.pushNotify(0x0A);
    EXPECT_EQ(d.takeNotify(DriverDevice::kIoctlNotify, 4, &code), XferError::None);
    EXPECT_EQ(code, 0x8Au);
    EXPECT_EQ(d.takeNotify(0x223C4C, 4, &code), XferError::InvalidParameter);
    EXPECT_EQ(d.takeNotify(DriverDevice::kIoctlNotify, 2, &code), XferError::InvalidParameter);
    d.failNotify(XferError::Other);
    EXPECT_EQ(d.takeNotify(DriverDevice::kIoctlNotify, 4, &code), XferError::Other);
    EXPECT_EQ(d.takeNotify(DriverDevice::kIoctlNotify, 4, &code), XferError::None);
    EXPECT_EQ(code, 0x0Au);
    ASSERT_TRUE(bench.remove("/sim/drv0"));
    EXPECT_EQ(d.takeNotify(DriverDevice::kIoctlNotify, 4, &code), XferError::NotFound);
}

TEST(SimTouch, DeviceStateSetters) {
    Bench bench;
    HidInfo hid;
    hid.path = "/sim/hidraw0";
    bench.addHid(std::make_shared<Controller>(), hid);
    DriverInfo drv;
    drv.path = "/sim/drv0";
    bench.addDriver(std::make_shared<Controller>(), drv);
    bench.addSerial(SeriesController(Series::Ostra), SerialInfo{"/sim/ttyS1", 9600});
    struct Case {
        const char* path;
        const char* key;
        const char* value;
        bool handled, ok;
    };
    const std::vector<Case> table = {
        {"/sim/hidraw0", "touch", "0x71 10 20", true, true},
        {"/sim/hidraw0", "Touch", "0x71 10 20 300", true, true},
        {"/sim/hidraw0", "touch", "0x71 10", true, false},
        {"/sim/hidraw0", "touch", "0x171 10 20", true, false},
        {"/sim/hidraw0", "touch", "0x71 10 0x10000", true, false},
        {"/sim/hidraw0", "input", "01 8B 00 00 00 47", true, true},
        {"/sim/hidraw0", "input", "01 8", true, false},
        {"/sim/hidraw0", "notify", "10", true, false},
        {"/sim/hidraw0", "pnp", "(01QRV6000)", true, false},
        {"/sim/drv0", "notify", "0x8A", true, true},
        {"/sim/drv0", "touch", "0x0A 0 0", true, true},
        {"/sim/drv0", "input", "0A", true, false},
        {"/sim/ttyS1", "touch", "0x71 1 2", true, true},
        {"/sim/ttyS1", "input", "FF00", true, true},
        {"/sim/ttyS1", "pnp", "none", true, true},
        {"/sim/ttyS1", "pnp", "(01QRV\x01)", true, false},
        {"/sim/hidraw9", "touch", "0x71 1 2", true, false},
        {"/sim/hidraw0", "featureF4", "0x82 0 0 0", false, false},
    };
    for (const Case& c : table) {
        bool handled = false;
        std::string error;
        EXPECT_EQ(setDeviceKey(bench, c.path, c.key, c.value, &handled, &error), c.ok) << c.path << " " << c.key << " " << c.value;
        EXPECT_EQ(handled, c.handled) << c.key;
        if (c.handled && !c.ok) {
            EXPECT_FALSE(error.empty()) << c.key << " " << c.value;
        }
    }
    EXPECT_EQ(bench.hid("/sim/hidraw0")->queuedInput(), 3u);
    EXPECT_TRUE(bench.serial("/sim/ttyS1")->pnpIdentifier().empty());
    std::optional<uint32_t> code;
    bench.driver("/sim/drv0")->takeNotify(DriverDevice::kIoctlNotify, 4, &code);
    EXPECT_EQ(code, 0x8Au);
}
