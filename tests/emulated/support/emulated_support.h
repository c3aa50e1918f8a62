// Set-up of the library's emulated-device tests: the test bed of
// emulated_bed_support.h with the library on its real linux backend (hidraw,
// sysfs, udev), the protocol's sleeps on a virtual clock.
#pragma once

#include "QV_Standard.h"
#include "emulated_bed_support.h"
#include "internal.h"
#include "library_info_support.h"
#include "testbed_support.h"
#include "wait_support.h"
#include "platform/platform.h"
#include "platform/sim.h"
#include "qvsim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qvmock {

class MockTest : public EmulatedBedTest {
protected:
    std::shared_ptr<qvsim::VirtualClock> clock = std::make_shared<qvsim::VirtualClock>();

    void SetUp() override {
        EmulatedBedTest::SetUp();
        if (skipped()) return;
        qvtest::AttachOverLinuxBackend(clock);
    }

    void TearDown() override {
        qvlib::LibraryDetach();
        // Nothing of the test's backend (handles, a udev monitor) outlives the test bed.
        qvp::useSim(std::make_shared<qvsim::Bench>());
        EmulatedBedTest::TearDown();
    }
};

// The command log of a run, without the tick counts that end its packet lines.
inline std::string WithoutTicks(const std::string& log) {
    std::string out;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t end = log.find('\r', pos);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(pos, end - pos);
        if (line.rfind("[IN]", 0) == 0 || line.rfind("[OUT]", 0) == 0 || line.rfind("[ERR]", 0) == 0) {
            const size_t comma = line.rfind(',');
            if (comma != std::string::npos) line = line.substr(0, comma + 1) + "<tick>";
        }
        out += line;
        if (end < log.size()) out += '\r';
        pos = end + 1;
    }
    return out;
}

}  // namespace qvmock
