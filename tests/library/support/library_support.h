// Shared set-up of the library tests: a fresh device table over a simulated
// bench on the virtual clock, and helpers that register controllers the way
// the enumerators do (scratch record, probe handle, identity answer).
#pragma once

#include "QV_Standard.h"
#include "internal.h"
#include "platform/platform.h"
#include "platform/sim.h"
#include "qvsim.h"
#include "sim_trace_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qvtest {

using qvsim::Packet;

inline Packet P(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint8_t e) { return Packet{a, b, c, d, e}; }

// The identity answer (EE) as a current-series controller sends it.
inline Packet CurrentIdentity(uint16_t number, uint8_t major, uint8_t letter) {
    return P(0xEE, number & 0xFF, number >> 8, major, letter);
}
inline Packet OstraIdentity(uint16_t number, uint8_t major) { return P(0xEE, number >> 8, number & 0xFF, 0, major); }

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// A HID controller as an enumeration finds it: the maker's vendor id, product
// pid, a USB parent with this instance, and the report id the product speaks.
inline qvsim::HidInfo ControllerHid(const std::string& path, uint16_t pid, const std::string& instance) {
    qvsim::HidInfo info;
    info.path = path;
    info.vendorId = 0x2E7B;
    info.productId = pid;
    info.parentInstanceId = "USB\\VID_2E7B&PID_" + std::to_string(pid) + "\\" + instance;
    info.inputReportLength = 64;
    // Products 3501 and 6020 speak the newer report flavour, with report id 1.
    info.reportId = pid == 0x3501 || pid == 0x6020 ? 1 : 0;
    return info;
}

// The library attached afresh over the real (hidraw, termios) backend, its
// protocol sleeps on `clock`: only the devices' own read time-outs are real.
inline void AttachOverLinuxBackend(std::shared_ptr<qvsim::VirtualClock> clock) {
    qvlib::LibraryDetach();
    qvp::setBackend(qvp::makeLinuxBackend());
    qvp::setClock(qvp::makeVirtualClock(std::move(clock)));
    qvlib::LibraryAttach(false);
}

class LibTest : public ::testing::Test {
protected:
    std::shared_ptr<qvsim::Bench> bench;

    void SetUp() override {
        qvlib::LibraryDetach();
        bench = std::make_shared<qvsim::Bench>();
        qvp::useSim(bench);
        qvlib::LibraryAttach(false);
    }

    void TearDown() override {
        qvlib::LibraryDetach();
        std::remove(logPath().c_str());
    }

    std::string logPath() const {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return std::string(QV_BINARY_DIR) + "/tests/cmdlog_" + info->test_suite_name() + "_" + info->name() + ".log";
    }

    // Opens a fresh command log at logPath() (narrow path).
    void openLog() {
        std::remove(logPath().c_str());
        SetCommandLogPathA(logPath().c_str());
        ASSERT_EQ(EnableLogCommandLine(1), 1);
    }
    std::string closeLogAndRead() {
        EnableLogCommandLine(0);
        return ReadFile(logPath());
    }

    static qvlib::DevInfo Scratch(const std::string& path, const std::string& key, uint32_t type, uint8_t series) {
        qvlib::DevInfo rec = qvlib::EmptyDevInfo();
        rec.dwSize = qvlib::kDevInfoSize;
        qvlib::CopyNarrow(rec.szPath, qvlib::kPathChars, path.c_str());
        qvlib::NarrowToWide(rec.szPathW, qvlib::kPathChars, path.c_str());
        qvlib::CopyNarrow(rec.szKey, qvlib::kKeyChars, key.c_str());
        qvlib::NarrowToWide(rec.szKeyW, qvlib::kKeyChars, key.c_str());
        rec.dwDeviceType = type;
        rec.byQVOstraMelk = series;
        rec.byTiming = 50;
        return rec;
    }

    // Attaches a HID controller and registers it; returns its open handle.
    HANDLE addHid(std::shared_ptr<qvsim::Controller> c, const std::string& path, const std::string& key,
                  const Packet& identity, std::u16string* name = nullptr, uint8_t reportId = 0) {
        qvsim::HidInfo info;
        info.path = path;
        info.reportId = reportId;
        bench->addHid(c, info);
        qvlib::DevInfo rec = Scratch(path, key, QV_DEVICE_HID, static_cast<uint8_t>(c->profile().series));
        rec.bWin8Ptl = reportId ? 1 : 0;
        rec.hDevice = qvp::backend().open(path, qvp::DeviceKind::Hid);
        EXPECT_NE(rec.hDevice, INVALID_HANDLE_VALUE);
        char16_t n[qvlib::kKeyChars] = {};
        qvlib::NameAndRegisterDeviceW(rec, identity.data(), n);
        if (name) *name = n;
        return rec.hDevice;
    }

    HANDLE addDriver(std::shared_ptr<qvsim::Controller> c, const std::string& path, uint32_t type, int pair,
                     uint32_t baud = 115200, const std::map<uint32_t, uint32_t>& contactSampleRates = {}) {
        qvsim::DriverInfo info;
        info.path = path;
        info.kind = type == QV_DEVICE_DRIVER ? 0 : 3;
        info.ioctlPair = pair;
        info.baudRate = baud;
        info.contactSampleRates = contactSampleRates;
        bench->addDriver(c, info);
        qvlib::DevInfo rec = Scratch(path, "DRV" + path.substr(path.size() - 1), type,
                                     static_cast<uint8_t>(c->profile().series));
        rec.hDevice = qvp::backend().open(path, qvp::DeviceKind::Driver);
        EXPECT_NE(rec.hDevice, INVALID_HANDLE_VALUE);
        qvlib::RegisterDeviceSlot(rec);
        return rec.hDevice;
    }

    HANDLE addSerial(std::shared_ptr<qvsim::Controller> c, const std::string& path, uint32_t baud) {
        qvsim::SerialInfo info;
        info.path = path;
        info.baud = baud;
        bench->addSerial(c, info);
        qvlib::DevInfo rec = Scratch(path, "COM" + path.substr(path.size() - 1), QV_DEVICE_RS232,
                                     static_cast<uint8_t>(c->profile().series));
        rec.dwBaudRate = baud;
        rec.hDevice = qvp::backend().open(path, qvp::DeviceKind::Serial);
        EXPECT_NE(rec.hDevice, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(qvlib::Rs232PortSetup(rec, baud));
        qvlib::RegisterDeviceSlot(rec);
        return rec.hDevice;
    }

    uint64_t now() { return bench->clock().nowMs(); }
};

}  // namespace qvtest
