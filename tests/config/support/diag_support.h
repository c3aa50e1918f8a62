// What the diagnostic tests share: VCXMSet's binding filled with the library's
// own exports (linked in, over the sim backend), a bench from a built-in
// profile with its controller opened the way the program opens it, and the
// device read-out the program does on a connect.
#pragma once

#include "QV_Standard.h"
#include "linked_library_support.h"
#include "qvsim.h"
#include "sim_trace_support.h"
#include "core/controller_api.h"
#include "core/device_readout.h"
#include "core/program_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace diagtest {

using vcxtest::BindLinkedLibrary;

// The mutual part of a simulated sensor frame (scan `scan`, 1 = the first),
// as the library splits it: each row's first B values of its B + C + 1.
inline std::vector<uint16_t> Mutual(const qvsim::ControllerProfile& p, uint8_t kind, uint32_t scan,
                                    uint8_t pattern = 0) {
    const std::vector<uint16_t> whole = qvsim::SensorFrame(p, kind, scan, pattern);
    const size_t perRow = size_t(p.columns) + p.extraColumns + 1;
    std::vector<uint16_t> out;
    for (size_t r = 0; r < p.rows; ++r)
        out.insert(out.end(), whole.begin() + long(r * perRow), whole.begin() + long(r * perRow + p.columns));
    return out;
}

// A bench of a built-in profile under the library, its HID controller at
// /sim/hidraw0 open in `c`.
class DiagBench : public ::testing::Test {
protected:
    std::shared_ptr<qvsim::Bench> bench;
    vcx::Controller c;

    void TearDown() override {
        if (c.dev.device != INVALID_HANDLE_VALUE) CloseDevice(c.dev.device);
        c.dev.device = INVALID_HANDLE_VALUE;
        vcxtest::DetachLinkedLibrary();
    }

    // Loads the profile and opens its controller; false (with a failure) when it does not open.
    bool open(const std::string& profile) {
        vcxtest::DetachLinkedLibrary();
        std::string error;
        bench = qvsim::loadProfile(profile, &error);
        EXPECT_TRUE(bench) << error;
        if (!bench) return false;
        vcxtest::AttachLinkedLibrary(bench);
        BindLinkedLibrary(c);
        EXPECT_EQ(EnumerateHidDevicesA([](const char*, const char*, uint32_t) { return 1; }), 1);
        HANDLE h = INVALID_HANDLE_VALUE;
        EXPECT_EQ(OpenDeviceA("/sim/hidraw0", &h), 1);
        c.dev.device = h;
        return h != INVALID_HANDLE_VALUE;
    }

    qvsim::Controller& ctl() { return bench->hid("/sim/hidraw0")->controller(); }

    // The program's read-out of a connect, and the parameter groups the layout uses.
    void readDevice() {
        vcx::ReadDevice(c, vcx::programState(), false);
        const ParameterFunctionTable& t = c.records.paraFuncTable;
        vcx::ProgramRecords& r = c.records;
        if (!t.GetParameterGeneralInfo || !t.GetParameterGeneralInfo(c.dev.device, &r.generalInfo)) return;
        const uint16_t groups = r.generalInfo.groupMask;
        t.GetParameterPanel(c.dev.device, groups, &r.panel);
        t.GetParameterFinger(c.dev.device, groups, &r.finger);
        t.GetParameterCoordinate(c.dev.device, groups, &r.coordinate);
        t.GetParameterDriveIC(c.dev.device, groups, &r.driveIC);
    }

    // The commands the controller received since the last clearTrace, in hex.
    std::vector<std::string> sent() { return qvtest::Hex(qvtest::Received(ctl())); }
};

}  // namespace diagtest
