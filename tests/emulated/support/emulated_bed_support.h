// The umockdev test bed of every test over emulated devices, the library's and
// the programs' alike: the skip without umockdev's preload, the controllers and
// interfaces the tests put on the bus, and a fixture with a fresh bed. Nothing
// of the library's own code: emulated_support.h adds the library over it.
//
// Without umockdev's preload (the program not started by umockdev-wrapper)
// the tests skip with the reason; with QV_REQUIRE_UMOCKDEV=1 in the
// environment they fail instead, so CI cannot pass without running them.
#pragma once

#include "controller_profiles_support.h"
#include "testbed_support.h"
#include "qvsim.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace qvmock {

inline bool umockdevRequired() {
    const char* v = std::getenv("QV_REQUIRE_UMOCKDEV");
    return v && *v && std::strcmp(v, "0") != 0;
}

// Skips the test (fails it under QV_REQUIRE_UMOCKDEV) when the test bed is not in effect.
#define QV_REQUIRE_TESTBED(bed)                                                              \
    do {                                                                                     \
        const std::string why_ = (bed).unavailable();                                        \
        if (!why_.empty()) {                                                                 \
            if (::qvmock::umockdevRequired()) FAIL() << why_ << " (QV_REQUIRE_UMOCKDEV is set)"; \
            GTEST_SKIP() << why_;                                                            \
        }                                                                                    \
    } while (0)

// A current-series controller (QV6020A, customer 5, version 2.7, build 3.4)
// with the item protocol, a sensor for frame reads and the palm group's items.
inline qvsim::ControllerProfile CurrentControllerProfile() {
    qvsim::ControllerProfile p = qvtest::CurrentMasterProfile();
    p.featureF4 = {0x82, 0x00, 0x10, 0x00};  // the item protocol is there
    p.paraVersion = 152;
    p.capability = std::array<uint8_t, 4>{0x00, 0x00, 0x00, 0x1E};
    p.reportLength = 7;  // odd: a frame's words straddle the feature reports
    p.rows = 4;
    p.columns = 6;
    p.extraColumns = 1;
    p.sensor = qvsim::SensorProfile{};
    for (uint8_t i = 0; i < 6; ++i) p.items[{0x04, i}] = {uint8_t(40 + i), uint8_t(10 + i), 0};  // the palm group
    return p;
}

// An older-series (Ostra) controller.
inline qvsim::ControllerProfile OstraControllerProfile() {
    qvsim::ControllerProfile p;
    p.series = qvsim::Series::Ostra;
    p.identityNumber = 6101;
    p.major = 3;
    p.minor = 2;
    return p;
}

// A fresh test bed for each test; skipped (failed under QV_REQUIRE_UMOCKDEV)
// when it is not in effect.
class EmulatedBedTest : public ::testing::Test {
protected:
    std::unique_ptr<Testbed> bed;

    void SetUp() override {
        bed = std::make_unique<Testbed>();
        QV_REQUIRE_TESTBED(*bed);
    }
    void TearDown() override { bed.reset(); }

    bool skipped() const { return ::testing::Test::IsSkipped() || ::testing::Test::HasFatalFailure(); }

    // The first controller: serial number QV35010001 on port 1 of bus 2.
    static Interface ControllerA(std::shared_ptr<qvsim::Controller> c) {
        Interface itf;
        itf.usb.ports = "1";
        itf.usb.productId = 0x3501;
        itf.usb.serial = "QV35010001";
        itf.controller = std::move(c);
        return itf;
    }
    // The second controller: no serial number, behind a hub (devpath 3.4).
    static Interface ControllerB(std::shared_ptr<qvsim::Controller> c) {
        Interface itf;
        itf.usb.ports = "3.4";
        itf.usb.productId = 0x6020;
        itf.usb.serial.reset();
        itf.usb.manufacturer = "Beta Panels";
        itf.controller = std::move(c);
        return itf;
    }
    // The touch-screen interface of a controller's USB device: no controller behind its feature reports.
    static Interface Digitizer(const Interface& of, uint8_t reportId, uint16_t logicalMax, int fingers) {
        Interface itf;
        itf.usb = of.usb;
        itf.number = of.number + 1;
        itf.descriptor = touchScreenDescriptor(reportId, logicalMax, fingers);
        return itf;
    }
};

}  // namespace qvmock
