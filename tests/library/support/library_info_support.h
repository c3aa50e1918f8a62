// Set-up shared by the device-information tests: one simulated controller,
// registered as the enumerators would, with its trace cleared afterwards.
#pragma once

#include "controller_profiles_support.h"
#include "library_support.h"

#include <string>
#include <vector>

namespace qvtest {

class InfoTest : public LibTest {
protected:
    std::shared_ptr<qvsim::Controller> ctl;
    HANDLE h = INVALID_HANDLE_VALUE;

    // A HID controller with this profile, registered; the trace starts empty.
    HANDLE makeHid(const qvsim::ControllerProfile& p, const std::string& path = "/sim/hidraw0") {
        ctl = std::make_shared<qvsim::Controller>(p);
        const Packet id = p.series == qvsim::Series::Ostra ? OstraIdentity(p.identityNumber, p.major)
                                                            : CurrentIdentity(p.identityNumber, p.major, p.letter);
        h = addHid(ctl, path, "KEY" + path.substr(path.size() - 1), id);
        ctl->clearTrace();
        return h;
    }

    // A controller behind the kernel driver (kinds 0..2).
    HANDLE makeDriver(const qvsim::ControllerProfile& p, const std::string& path = "/sim/qvdrv0") {
        ctl = std::make_shared<qvsim::Controller>(p);
        h = addDriver(ctl, path, QV_DEVICE_DRIVER, 0);
        ctl->clearTrace();
        return h;
    }

    HANDLE makeSerial(const qvsim::ControllerProfile& p, const std::string& path = "/sim/ttyS0") {
        ctl = std::make_shared<qvsim::Controller>(p);
        h = addSerial(ctl, path, 115200);
        ctl->clearTrace();
        return h;
    }

    qvlib::DevInfo& slot() { return *qvlib::SlotRecord(h); }

    std::vector<std::string> sent() { return Hex(Received(*ctl)); }
    bool wasSent(const std::string& packet) {
        for (const auto& s : sent())
            if (s == packet) return true;
        return false;
    }
};

inline std::string Narrow(const char16_t* s) { return qvlib::WideToUtf8(s); }

// One slave IC: version 1.minor, boot state bytes a and b.
inline qvsim::SlaveProfile Slave(uint16_t number, uint8_t letter, uint8_t minor, uint8_t customer, uint8_t a,
                                 uint8_t b, std::array<uint8_t, 4> customerBytes) {
    qvsim::SlaveProfile s;
    s.identityNumber = number;
    s.letter = letter;
    s.major = 1;
    s.minor = minor;
    s.customer = customer;
    s.buildA = a;
    s.buildB = b;
    s.customerBytes = customerBytes;
    return s;
}

// The master of CurrentMasterProfile with two slaves it can reach (state-ex bit 15),
// scanning: "QV6021BS.D03.1.2.5.6   Boot : 1.4 " and "QV6022S.1.3.7   ".
inline qvsim::ControllerProfile MasterWithTwoSlavesProfile() {
    qvsim::ControllerProfile p = CurrentMasterProfile();
    p.slaveCount = 3;
    p.stateEx = {0x00, 0x80, 0x00, 0x00};
    p.stateF0 = {0, 0, 0, 0x01};  // scanning
    // The first slave's identity carries bit 15, which is not part of its number.
    p.slaves = {Slave(0x8000 | 6021, 2, 2, 3, 5, 6, {1, 0, 4, 0}), Slave(6022, 0, 3, 0, 7, 0, {0, 0, 0, 0})};
    return p;
}

}  // namespace qvtest
