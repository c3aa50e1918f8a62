// Set-up of the parameter-group tests: one HID controller with the item protocol
// whose groups hold items, registered in slot 0.
#pragma once

#include "library_info_support.h"
#include "param_groups.h"

#include <cstring>
#include <vector>

namespace qvtest {

class ParamTest : public InfoTest {
protected:
    int slotIndex = 0;

    // Every group 1..15 answers its information codes 1..8 (b3 = code, b4 = group).
    static qvsim::ControllerProfile ItemProfile(uint16_t version) {
        qvsim::ControllerProfile p;
        p.paraVersion = version;
        p.featureF4[0] = 0x82;  // the controller has the item protocol
        for (uint8_t g = 1; g <= 15; ++g)
            for (uint8_t i = 1; i <= 8; ++i) p.groupInfo[{g, i}] = {i, g};
        p.groupInfo[{0x02, 0x34}] = {0x34, 0x01};
        p.groupInfo[{0x02, 0x35}] = {0x35, 0x01};
        p.groupInfo[{0x0E, 0x50}] = {0x50, 0x01};
        p.groupInfo[{0x8E, 0x01}] = {0x01, 0x8E};
        return p;
    }

    void make(const qvsim::ControllerProfile& p) {
        makeHid(p);
        slotIndex = qvlib::FindDeviceSlot(h);
        ASSERT_NE(slotIndex, qvlib::kNoSlot);
        ASSERT_EQ(slot().dwParaVersion, p.paraVersion);
    }

    qvsim::ParamItem& item(uint8_t g, uint8_t n) { return ctl->profile().items.at({g, n}); }

    // The item writes (F6 g 80..8F) the controller received.
    std::vector<std::string> itemWrites() {
        std::vector<std::string> out;
        for (const auto& p : Received(*ctl))
            if (p[0] == 0xF6 && p[2] >= 0x80 && p[2] <= 0x8F) out.push_back(Hex(p));
        return out;
    }

    // The register writes (E1) the controller received.
    std::vector<std::string> registerWrites() {
        std::vector<std::string> out;
        for (const auto& p : Received(*ctl))
            if (p[0] == 0xE1) out.push_back(Hex(p));
        return out;
    }
};

}  // namespace qvtest
