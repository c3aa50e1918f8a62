// The device read-out against a fake library: which reads end it, what it
// keeps program-wide (feature bytes, bridge flags, Ostra model, debug group),
// and the texts it gives the window, by firmware state and slave count.
#include "core/device_readout.h"

#include "core/strings.h"
#include "core/program_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Fake {
    bool versionOk = true, informationOk = true, featuresOk = true, bridgeOk = true;
    FirmwareVersionInfoW version{};
    uint16_t model = 2081;
    std::array<uint8_t, 8> features{0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    std::array<uint8_t, 8> bridge{0x5A, 0x01, 0x80, 0x24, 0, 0, 0, 0};
    std::vector<std::string> calls;
};
Fake* g = nullptr;

void setText(QVWCHAR* to, const char16_t* text) {
    for (int i = 0; text[i]; ++i) to[i] = text[i];
}

int fakeVersion(HANDLE, FirmwareVersionInfoW* v) {
    g->calls.push_back("version");
    *v = g->version;
    return g->versionOk;
}
int fakeInformation(HANDLE, FirmwareInformationW* info) {
    g->calls.push_back("information");
    info->productNumber = g->model;
    setText(info->panelSize, u"G156HAN");
    setText(info->coverLens, u"1.1mm");
    return g->informationOk;
}
int fakeFeatures(HANDLE, uint8_t flags[8]) {
    g->calls.push_back("features");
    std::memcpy(flags, g->features.data(), 8);
    return g->featuresOk;
}
int fakeBridge(HANDLE, uint8_t flags[8]) {
    g->calls.push_back("bridge");
    std::memcpy(flags, g->bridge.data(), 8);
    return g->bridgeOk;
}
int fakeSend(HANDLE, const uint8_t command[5], uint8_t reply[5]) {
    char text[8];
    std::snprintf(text, sizeof text, "send%02X", command[0]);
    g->calls.push_back(text);
    std::memcpy(reply, command, 5);
    return 1;
}
int fakeExtraMode(HANDLE, uint8_t on) { return g->calls.push_back("extra" + std::to_string(on)), 1; }

class VcxDeviceReadout : public ::testing::Test {
protected:
    void SetUp() override {
        vcx::addProgramStrings();
        g = &fake_;
        c_.dev.device = reinterpret_cast<HANDLE>(intptr_t(0x51));
        c_.api.GetFWVersionW = fakeVersion;
        c_.api.GetFWInformationW = fakeInformation;
        c_.api.GetFeatureFlag = fakeFeatures;
        c_.api.GetBridgeFeatureFlag = fakeBridge;
        c_.api.SendCmd = fakeSend;
        c_.records.paraFuncTable.ExtraModeSwitch = fakeExtraMode;
        setText(fake_.version.master, u"QV2081A.D05.2.7.3.4 Boot 12");
    }
    void TearDown() override { g = nullptr; }
    vcx::DeviceReadout read(bool mayEnterExtraMode = false) { return vcx::ReadDevice(c_, ps_, mayEnterExtraMode); }

    Fake fake_;
    vcx::Controller c_;
    vcx::ProgramState ps_;
};

TEST_F(VcxDeviceReadout, KeepsFeatureBytesAndBridgeFlagsProgramWide) {
    const vcx::DeviceReadout r = read();
    ASSERT_TRUE(r.complete);
    EXPECT_EQ(c_.dev.featureFlags, fake_.features);
    EXPECT_EQ(c_.dev.bridgeFlags, fake_.bridge);
    EXPECT_FALSE(c_.dev.newFirmware); // bit 1 of byte 0
    EXPECT_FALSE(c_.dev.ostraModel);
    EXPECT_EQ(r.masterVersion, "QV2081A.D05.2.7.3.4");
    EXPECT_EQ(r.versionLabel, "Firmware Version");
    EXPECT_EQ(r.slaveCount, 0);
    EXPECT_EQ(r.panelInformation, "G156HAN 1.1mm");
    EXPECT_EQ(r.hostInterface, "USB");
    // No lists and the controller gives no CRC: nothing to show (no CRC over nothing).
    EXPECT_EQ(r.parameterCrc, "");
    EXPECT_EQ(fake_.calls, (std::vector<std::string>{"version", "information", "features", "sendE7", "bridge"}));

    // A bridge read that fails leaves no flags of an earlier controller.
    fake_.bridgeOk = false;
    read();
    EXPECT_EQ(c_.dev.bridgeFlags, (std::array<uint8_t, 8>{}));
    vcx::ForgetDevice(c_);
    EXPECT_EQ(c_.dev.featureFlags, (std::array<uint8_t, 8>{}));
}

TEST_F(VcxDeviceReadout, ReadsThatEndTheReadOut) {
    struct Case {
        const char* what;
        void (*fail)(Fake&);
        std::vector<std::string> calls;
    } cases[] = {
        {"versions", [](Fake& f) { f.versionOk = false; }, {"version"}},
        {"information", [](Fake& f) { f.informationOk = false; }, {"version", "information"}},
        {"feature bytes", [](Fake& f) { f.featuresOk = false; }, {"version", "information", "features"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake_ = Fake{};
        c.fail(fake_);
        c_.dev.featureFlags.fill(0xEE); // an earlier controller's
        c_.dev.bridgeFlags.fill(0xEE);
        const vcx::DeviceReadout r = read();
        EXPECT_FALSE(r.complete);
        EXPECT_TRUE(r.masterVersion.isEmpty());
        EXPECT_EQ(fake_.calls, c.calls);
        EXPECT_EQ(c_.dev.featureFlags, (std::array<uint8_t, 8>{}));
        EXPECT_EQ(c_.dev.bridgeFlags, (std::array<uint8_t, 8>{}));
    }
}

TEST_F(VcxDeviceReadout, FirmwareStateSeriesAndSlaves) {
    struct Case {
        const char* what;
        uint16_t model;
        bool masterInBoot;
        int slaves;
        std::vector<bool> slaveInBoot;
        const char* master;
        const char* label;
        std::vector<const char*> slaveLabels;
        bool anySlaveInBoot, ostra;
        bool readsFeatures, sendsE7;
    } cases[] = {
        {"master in its boot loader", 2081, true, 2, {false, false}, "QV2081A.D05.2.7.3.4 Boot 12", "Firmware Version",
         {}, false, false, false, false},
        {"one slave", 2081, false, 1, {false}, "QV2081A.D05.2.7.3.4", "Master Firmware Version",
         {" Slave  Firmware Version"}, false, false, true, true},
        {"two slaves, the second in boot", 2081, false, 2, {false, true}, "QV2081A.D05.2.7.3.4",
         "Master Firmware Version", {"Slave 1 Firmware Version", "Slave 2 Firmware Version"}, true, false, true,
         true},
        {"more slaves than rows", 2081, false, 9, {false, false, false, false}, "QV2081A.D05.2.7.3.4",
         "Master Firmware Version",
         {"Slave 1 Firmware Version", "Slave 2 Firmware Version", "Slave 3 Firmware Version",
          "Slave 4 Firmware Version"},
         false, false, true, true},
        {"an Ostra controller sends no E7", 6020, false, 0, {}, "QV2081A.D05.2.7.3.4", "Firmware Version", {}, false,
         true, true, false},
        {"a 66xx controller is of the current series", 6650, false, 0, {}, "QV2081A.D05.2.7.3.4", "Firmware Version",
         {}, false, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake_ = Fake{};
        setText(fake_.version.master, u"QV2081A.D05.2.7.3.4 Boot 12");
        fake_.model = c.model;
        fake_.version.masterInBoot = c.masterInBoot;
        fake_.version.slaveCount = c.slaves;
        for (size_t i = 0; i < c.slaveInBoot.size(); ++i) {
            fake_.version.slaveInBoot[i] = c.slaveInBoot[i];
            setText(fake_.version.slave[i], u"QV6021A.2.1  ");
        }
        // The controller gives its CRC (read only out of the boot loader).
        c_.api.GetParameterCRC = [](HANDLE, uint16_t* crc) { return *crc = 0x1234, 1; };
        const vcx::DeviceReadout r = read();
        ASSERT_TRUE(r.complete);
        EXPECT_EQ(r.masterInBoot, c.masterInBoot);
        EXPECT_EQ(r.masterVersion, c.master);
        EXPECT_EQ(r.versionLabel, c.label);
        ASSERT_EQ(r.slaveCount, int(c.slaveLabels.size()));
        for (int i = 0; i < r.slaveCount; ++i) {
            EXPECT_EQ(r.slaveLabels[size_t(i)], c.slaveLabels[size_t(i)]);
            EXPECT_EQ(r.slaveVersions[size_t(i)], "QV6021A.2.1");
        }
        for (int i = r.slaveCount; i < vcx::kMaxSlaves; ++i) EXPECT_TRUE(r.slaveVersions[size_t(i)].isEmpty());
        EXPECT_EQ(r.anySlaveInBoot, c.anySlaveInBoot);
        EXPECT_EQ(c_.dev.ostraModel, c.ostra);
        const auto called = [&](const char* name) {
            return std::find(fake_.calls.begin(), fake_.calls.end(), name) != fake_.calls.end();
        };
        EXPECT_EQ(called("features"), c.readsFeatures);
        EXPECT_EQ(called("sendE7"), c.sendsE7);
        EXPECT_EQ(r.parameterCrc, c.masterInBoot ? "" : "x1234");
    }
}

TEST_F(VcxDeviceReadout, ExtraModeOnlyOnNewerFirmwareAndWhenAllowed) {
    fake_.features[0] = 0x02; // the newer firmware
    EXPECT_FALSE(read(false).extraModeSwitched);
    EXPECT_TRUE(c_.dev.newFirmware);
    EXPECT_EQ(std::count(fake_.calls.begin(), fake_.calls.end(), "extra1"), 0);
    EXPECT_TRUE(read(true).extraModeSwitched);
    EXPECT_EQ(std::count(fake_.calls.begin(), fake_.calls.end(), "extra1"), 1);
    fake_.features[0] = 0x00;
    EXPECT_FALSE(read(true).extraModeSwitched);
    EXPECT_EQ(std::count(fake_.calls.begin(), fake_.calls.end(), "extra1"), 1);
}

} // namespace
