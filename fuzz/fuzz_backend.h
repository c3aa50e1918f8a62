// A platform backend for fuzz targets: every set-up call (close, serial
// configuration, time-outs, purge, output reports, subscriptions) succeeds
// and does nothing; what a target answers from its input it overrides.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qvfuzz {

class AcceptingBackend : public qvp::Backend {
public:
    bool close(qvp::Handle) override { return true; }
    bool hidSetFeature(qvp::Handle, const uint8_t*, size_t) override { return false; }
    bool hidGetFeature(qvp::Handle, uint8_t*, size_t) override { return false; }
    bool hidSetOutput(qvp::Handle, const uint8_t*, size_t) override { return true; }
    bool driverIoctl(qvp::Handle, uint32_t, const void*, size_t, void*, size_t, uint32_t*) override { return false; }
    bool serialGetConfig(qvp::Handle, qvp::SerialConfig*) override { return true; }
    bool serialSetConfig(qvp::Handle, const qvp::SerialConfig&) override { return true; }
    bool serialGetTimeouts(qvp::Handle, qvp::SerialTimeouts*) override { return true; }
    bool serialSetTimeouts(qvp::Handle, const qvp::SerialTimeouts&) override { return true; }
    bool serialSetEventMask(qvp::Handle, uint32_t) override { return true; }
    bool serialPurge(qvp::Handle) override { return true; }
    bool serialWrite(qvp::Handle, const uint8_t*, size_t len, size_t* written) override {
        *written = len;
        return true;
    }
    bool serialRead(qvp::Handle, uint8_t*, size_t, size_t* got) override {
        *got = 0;
        return true;
    }
    bool listHidInterfaces(std::vector<qvp::HidInterface>*) override { return false; }
    bool listSerialPorts(std::vector<std::string>*) override { return false; }
    bool parentInstanceId(const std::string&, std::string*) override { return false; }
    bool readSettingString(const std::string&, const std::string&, std::string*) override { return false; }
    bool readSettingDword(const std::string&, const std::string&, uint32_t*) override { return false; }
    void* subscribeDeviceChanges(qvp::InterfaceClass, qvp::DeviceChangeHandler) override { return nullptr; }
    void unsubscribeDeviceChanges(void*) override {}
};

// A clock whose sleeps take no time: it only counts the milliseconds asked for.
class VirtualClock : public qvp::Clock {
public:
    uint32_t now = 0;
    void sleepMs(uint32_t ms) override { now += ms; }
    uint32_t tickCount() override { return now; }
};

} // namespace qvfuzz
