// The N4 family's tests: a HID controller or a serial one on the simulated
// bench, an open N4 context on it, and the debug log written to a file (at
// the report-trace level) so a test can count the transfers it shows. Log
// lines carry the virtual clock's time ("[00:00:00] " at the start).
#pragma once

#include "library_support.h"
#include "n4_internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace qvtest {

class N4Test : public LibTest {
protected:
    std::shared_ptr<qvsim::Controller> ctl = std::make_shared<qvsim::Controller>();
    qvlib::DevInfo ctx = qvlib::n4::NewContext();

    // Beside the command log, one file per test (a parameterised test's name
    // holds '/').
    std::string debugPath() const {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        return std::string(QV_BINARY_DIR) + "/tests/n4debug_" + name + ".log";
    }

    void SetUp() override {
        LibTest::SetUp();
        qvlib::n4::ResetSettings();
        qvlib::n4::ResetState();
        std::remove(debugPath().c_str());
        QuorvaneN4_SetLogFileA(debugPath().c_str());
        QuorvaneN4_SetDebug(4);
    }
    void TearDown() override {
        qvlib::n4::Close(ctx);
        QuorvaneN4_SetDebug(0);
        QuorvaneN4_SetLogFileA(nullptr);
        std::remove(debugPath().c_str());
        qvlib::n4::ResetSettings();
        LibTest::TearDown();
    }

    // A HID controller whose descriptor uses report ids (report id 1).
    qvsim::HidDevice& addN4Hid(const std::string& path = "/sim/hidraw0") {
        qvsim::HidInfo info = ControllerHid(path, 0x6020, "5&1&0&1");
        info.reportId = 1;
        return bench->addHid(ctl, info);
    }
    qvsim::SerialDevice& addN4Serial(const std::string& path = "/sim/ttyS0", uint32_t baud = 38400) {
        qvsim::SerialInfo info;
        info.path = path;
        info.baud = baud;
        return bench->addSerial(ctl, info);
    }

    void openHid() {
        addN4Hid();
        ASSERT_EQ(qvlib::n4::OpenHid(ctx), 1);
        restart();
    }
    void openUart() {
        addN4Serial();
        ASSERT_TRUE(qvlib::n4::SetUartPath("/sim/ttyS0"));
        ASSERT_EQ(qvlib::n4::OpenUart(ctx), 1);
        restart();
    }
    // Forgets what the controller received and what the log holds.
    void restart() {
        ctl->clearTrace();
        std::remove(debugPath().c_str());
    }

    std::string debugText() const { return ReadFile(debugPath()); }
    size_t count(const std::string& text) const {
        const std::string log = debugText();
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }
    // Transfers the log shows: commands written and replies read.
    size_t sends() const { return count("HidD_SetFeature") + count("{DBG} Send CMD :"); }
    size_t reads() const {
        return count("HidD_GetFeature") + count("{DBG} Get  ACK :") + count("* Failed to get data");
    }
};

}  // namespace qvtest
