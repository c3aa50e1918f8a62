// The parameter calls of the public interface: the common gates, the clearing of
// Get records, the choice of protocol by parameter version, the control calls and
// the table of entry points.
#include "library_param_support.h"

#include <cstdint>
#include <functional>

namespace qvtest {
namespace {

// One group call pair as a caller sees it.
struct ApiGroup {
    const char* name;
    uint8_t bit;          // its bit in the general group mask
    uint32_t size;        // sizeof the record
    uint32_t base;        // the smallest accepted cbSize
    bool registerForm;    // version-0 firmware has a register form for it
    uint32_t itemsFrom;   // the parameter version from which the item protocol is used
    std::function<int(HANDLE, uint16_t, void*)> get;
    std::function<int(HANDLE, void*)> set;
};

void PrintTo(const ApiGroup& g, std::ostream* os) { *os << g.name; }

template <class T> ApiGroup Group(const char* name, uint8_t bit, bool registerForm, uint32_t itemsFrom,
                                  int (*get)(HANDLE, uint16_t, T*), int (*set)(HANDLE, T*)) {
    return ApiGroup{name, bit, sizeof(T), qvlib::kParameterBaseSize<T>, registerForm, itemsFrom,
                    [get](HANDLE h, uint16_t m, void* r) { return get(h, m, static_cast<T*>(r)); },
                    [set](HANDLE h, void* r) { return set(h, static_cast<T*>(r)); }};
}

const std::vector<ApiGroup>& Groups() {
    static const std::vector<ApiGroup> all = {
        Group("HostInterface", 1, false, 115, GetParameterHostInterface, SetParameterHostInterface),
        Group("Panel", 2, true, 1, GetParameterPanel, SetParameterPanel),
        Group("Finger", 3, true, 1, GetParameterFinger, SetParameterFinger),
        Group("Palm", 4, false, 1, GetParameterPalm, SetParameterPalm),
        Group("Base", 5, false, 1, GetParameterBase, SetParameterBase),
        Group("Water", 6, true, 1, GetParameterWater, SetParameterWater),
        Group("AntiNoise", 7, true, 1, GetParameterAntiNoise, SetParameterAntiNoise),
        Group("Coordinate", 8, false, 1, GetParameterCoordinate, SetParameterCoordinate),
        Group("PowerSaving", 9, false, 1, GetParameterPowerSaving, SetParameterPowerSaving),
        Group("NormalScan", 10, false, 1, GetParameterNormalScan, SetParameterNormalScan),
        Group("AbnormalScan", 11, false, 1, GetParameterAbnormalScan, SetParameterAbnormalScan),
        Group("Misc", 12, false, 1, GetParameterMisc, SetParameterMisc),
        Group("DriveIC", 13, false, 1, GetParameterDriveIC, SetParameterDriveIC),
        Group("Debug", 14, false, 1, GetParameterDebug, SetParameterDebug),
        Group("VButton", 15, false, 1, GetParameterVButton, SetParameterVButton),
    };
    return all;
}

// A caller's buffer: the record followed by guard bytes, all set to a pattern.
struct Buffer {
    std::vector<uint8_t> bytes;
    Buffer(uint32_t cbSize, uint32_t total, uint8_t fill = 0xAB) : bytes(total, fill) {
        std::memcpy(bytes.data(), &cbSize, 4);
    }
    void* data() { return bytes.data(); }
    void setValid(uint32_t v) { std::memcpy(bytes.data() + 8, &v, 4); }
    uint32_t valid() const { uint32_t v; std::memcpy(&v, bytes.data() + 8, 4); return v; }
};

class ParamApiTest : public ParamTest, public ::testing::WithParamInterface<ApiGroup> {};

// Unknown handles and the older series are refused before the record is touched.
TEST_P(ParamApiTest, RefusesUnknownHandlesAndTheOlderSeries) {
    const ApiGroup& g = GetParam();
    const HANDLE unknown = reinterpret_cast<HANDLE>(intptr_t(0x7777));
    for (bool series : {false, true}) {
        SCOPED_TRACE(series ? "Ostra series" : "unknown handle");
        HANDLE target = unknown;
        if (series) {
            qvsim::ControllerProfile p = ItemProfile(152);
            p.series = qvsim::Series::Ostra;
            makeHid(p);
            ASSERT_NE(slot().byQVOstraMelk, QV_SERIES_CURRENT);
            target = h;
        }
        Buffer b(g.size, g.size);
        const std::vector<uint8_t> before = b.bytes;
        EXPECT_EQ(g.get(target, 0xFFFF, b.data()), 0);
        EXPECT_EQ(b.bytes, before);
        b.setValid(1);
        EXPECT_EQ(g.set(target, b.data()), 0);
        if (series) {
            EXPECT_TRUE(sent().empty());
        }
    }
}

// Version 0: groups without a register form read as cleared, invalid records and
// refuse writes without a command; the others go to their register forms.
TEST_P(ParamApiTest, VersionZeroFirmware) {
    const ApiGroup& g = GetParam();
    qvsim::ControllerProfile p = ItemProfile(0);
    p.antiNoiseRegister = qvsim::ControllerProfile::AntiNoiseRegister{9, 4, 0x21};
    p.featureF4[0] |= 0x08; // the water mode exists (the water group needs it)
    make(p);
    Buffer b(g.size, g.size + 8);
    ASSERT_EQ(g.get(h, 0xFFFF, b.data()), 1);
    if (!g.registerForm) {
        for (uint32_t i = 4; i < g.size; ++i) ASSERT_EQ(b.bytes[i], 0) << "byte " << i;
        EXPECT_TRUE(sent().empty());
        b.setValid(1);
        EXPECT_EQ(g.set(h, b.data()), 0);
        EXPECT_TRUE(sent().empty());
    } else {
        EXPECT_EQ(b.valid(), 1u);
        ASSERT_FALSE(sent().empty());
        for (const auto& s : sent()) EXPECT_NE(s.substr(0, 2), "F6") << s;
    }
    for (uint32_t i = g.size; i < g.size + 8; ++i) EXPECT_EQ(b.bytes[i], 0xAB) << "past the record, byte " << i;
}

// The item protocol from the group's first version on; below it (the host
// interface below 1.15) the group behaves as on version-0 firmware.
TEST_P(ParamApiTest, ItemProtocolByVersion) {
    const ApiGroup& g = GetParam();
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "F6 %02X", g.bit);
    auto itemReads = [&] {
        int n = 0;
        for (const auto& s : sent()) n += s.rfind(prefix, 0) == 0;
        return n;
    };
    for (uint32_t version : {101u, 114u, 115u}) {
        SCOPED_TRACE(version);
        qvsim::ControllerProfile p = ItemProfile(uint16_t(version));
        p.items[{g.bit, 0}] = {1, 1};
        make(p);
        Buffer b(g.size, g.size);
        ASSERT_EQ(g.get(h, 0xFFFF, b.data()), 1);
        const bool items = version >= g.itemsFrom;
        if (items) {
            EXPECT_GT(itemReads(), 0);
            EXPECT_EQ(b.valid(), 1u);
        } else {
            EXPECT_EQ(itemReads(), 0);
            EXPECT_EQ(b.valid(), 0u);
        }
        // Write back what was read: the item protocol takes it, the other refuses.
        b.setValid(1);
        ctl->clearTrace();
        EXPECT_EQ(g.set(h, b.data()), items ? 1 : 0);
        if (!items) {
            EXPECT_TRUE(sent().empty());
        }
    }
}

// A Get clears the record but cbSize before it reads, also when the group is absent;
// a Set of an invalid record sends nothing; a short record is refused untouched.
TEST_P(ParamApiTest, GetClearsTheRecordAndSetNeedsAValidOne) {
    const ApiGroup& g = GetParam();
    make(ItemProfile(152));
    Buffer b(g.base, g.size);
    ASSERT_EQ(g.get(h, uint16_t(~(1u << g.bit)), b.data()), 1);
    uint32_t cb;
    std::memcpy(&cb, b.bytes.data(), 4);
    EXPECT_EQ(cb, g.base);
    for (uint32_t i = 4; i < g.base; ++i) ASSERT_EQ(b.bytes[i], 0) << "byte " << i;
    for (uint32_t i = g.base; i < g.size; ++i) ASSERT_EQ(b.bytes[i], 0xAB) << "past cbSize, byte " << i;
    EXPECT_TRUE(sent().empty());

    Buffer invalid(g.size, g.size, 0x01);
    invalid.setValid(0);
    EXPECT_EQ(g.set(h, invalid.data()), 0);
    EXPECT_TRUE(sent().empty());

    if (g.base > 4) {
        Buffer shortRecord(g.base - 1, g.size);
        const std::vector<uint8_t> before = shortRecord.bytes;
        EXPECT_EQ(g.get(h, 0xFFFF, shortRecord.data()), 0);
        EXPECT_EQ(shortRecord.bytes, before);
    }
}

INSTANTIATE_TEST_SUITE_P(Groups, ParamApiTest, ::testing::ValuesIn(Groups()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ParamTest, GeneralInfoAndCustomByVersion) {
    qvsim::ControllerProfile items = ItemProfile(152);
    for (uint8_t n = 1; n <= 4; ++n) items.items[{0, n}] = {n, n};
    make(items);
    ParameterGeneralInfo g;
    std::memset(&g, 0xAB, sizeof g);
    g.cbSize = sizeof g;
    ASSERT_EQ(GetParameterGeneralInfo(h, &g), 1);
    EXPECT_EQ(g.valid, 1);
    EXPECT_TRUE(wasSent("F6 00 00 00 00"));

    // The custom group ignores the group mask.
    ParameterCustom c{};
    c.cbSize = sizeof c;
    ASSERT_EQ(GetParameterCustom(h, 0, &c), 1);
    EXPECT_TRUE(wasSent("F6 8E 00 00 00"));

    // Version 0: the fixed group mask, version bytes cleared, valid left 0.
    qvsim::ControllerProfile p = ItemProfile(0);
    p.featureF4[0] = 0x08;
    p.antiNoiseRegister = qvsim::ControllerProfile::AntiNoiseRegister{};
    make(p);
    std::memset(&g, 0xAB, sizeof g);
    g.cbSize = sizeof g;
    ASSERT_EQ(GetParameterGeneralInfo(h, &g), 1);
    EXPECT_EQ(g.groupMask, 0x1CF);
    EXPECT_EQ(g.versionMajor | g.versionMinor | g.valid | g.item4Value, 0);
    std::memset(&c, 0xAB, sizeof c);
    c.cbSize = sizeof c;
    ASSERT_EQ(GetParameterCustom(h, 0xFFFF, &c), 1);
    EXPECT_EQ(c.valid, 0u);
    EXPECT_EQ(c.item0.present, 0u);
}

// ---- control calls -----------------------------------------------------------------------------

struct ControlCase {
    const char* name;
    std::function<int(HANDLE)> call;
    uint32_t minVersion;    // below it (and on version 0) the call returns 0 without a command
    const char* command;
};

TEST_F(ParamTest, ControlCallsByVersion) {
    const std::vector<ControlCase> cases = {
        {"CalibrationPreSetup", [](HANDLE x) { return CalibrationPreSetup(x); }, 1, "F6 08 91 00 00"},
        {"ActivateCalibration", [](HANDLE x) { return ActivateCalibrationParameter(x); }, 1, "F6 08 90 00 00"},
        {"UseAllSensorDriver", [](HANDLE x) { return UseAllSensorDriver(x, 5); }, 112, "F6 02 90 AA 05"},
        {"SetExternalPanelIndex", [](HANDLE x) { return SetExternalPanelIndex(x); }, 172, "F6 02 92 AA 00"},
        {"SwitchEventHalt", [](HANDLE x) { return SwitchEventHalt(x, 3); }, 1, "F6 0E 90 00 03"},
        {"ClearEventHalt", [](HANDLE x) { return ClearEventHalt(x); }, 1, "F6 0E 91 00 00"},
        {"ExtraModeSwitch", [](HANDLE x) { return ExtraModeSwitch(x, 2); }, 1, "F6 00 9E 00 02"},
        {"ForceTouchDemo", [](HANDLE x) { return ForceTouchDemo(x, 6); }, 1, "F8 04 00 00 06"},
        {"VButtonClear", [](HANDLE x) { return VButtonClear(x, 7); }, 1, "F6 0F 90 00 01"},
        {"VButtonWriteFlash", [](HANDLE x) { return VButtonWriteFlash(x); }, 1, "F6 0F 93 AA 55"},
    };
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (uint32_t version : {0u, 111u, 112u, 171u, 172u}) {
            SCOPED_TRACE(version);
            make(ItemProfile(uint16_t(version)));
            Packet command{};
            for (size_t i = 0; i < 5; ++i) command[i] = uint8_t(std::stoul(std::string(c.command + 3 * i, 2), nullptr, 16));
            ctl->setReply(command, command);
            const bool runs = version != 0 && version >= c.minVersion;
            EXPECT_EQ(c.call(h), runs ? 1 : 0);
            EXPECT_EQ(sent(), runs ? std::vector<std::string>{c.command} : std::vector<std::string>{});
        }
    }
}

TEST_F(ParamTest, ControlCallsWithAnswersAndLocks) {
    qvsim::ControllerProfile withForce = ItemProfile(152);
    withForce.forceTouch = qvsim::ForceTouchProfile{};
    make(withForce);
    ctl->setReply(P(0xF6, 0x0E, 0x50, 0, 0), P(0xF6, 0x0E, 0x50, 0x09, 0x04));
    uint8_t state = 0;
    ASSERT_EQ(GetEventHalt(h, &state), 1);
    EXPECT_EQ(state, 0x09);
    EXPECT_EQ(GetEventHalt(h, nullptr), 0);

    // Table writes run inside the update lock.
    ctl->clearTrace();
    VButtonTable t{};
    ASSERT_EQ(VButtonWrite(h, &t), 1);
    const auto s = sent();
    ASSERT_GE(s.size(), 2u);
    EXPECT_EQ(s.front(), "F6 00 9F 00 01");
    EXPECT_EQ(s.back(), "F6 00 9F 00 00");
    EXPECT_FALSE(ctl->profile().updateLocked);
    ctl->clearTrace();
    ForceTouchTable f{};
    f.cbSize = sizeof f;
    f.rows = f.columns = 1;
    f.value[0][0] = 0x0102;
    ASSERT_EQ(ForceTouchWrite(h, &f), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F6 00 9F 00 01", "F8 03 11 02 01", "F6 00 9F 00 00"}));
    EXPECT_EQ(ctl->profile().forceTouch->values[0x11], 0x0102);

    // The erase is sent on version-0 firmware too, the other virtual-button calls not.
    make(ItemProfile(0));
    ctl->setReply(P(0xF6, 0x0F, 0x94, 0xAA, 0x55), P(0xF6, 0x0F, 0x94, 0xAA, 0x55));
    EXPECT_EQ(VButtonErase(h), 1);
    EXPECT_EQ(sent(), std::vector<std::string>{"F6 0F 94 AA 55"});
    ctl->clearTrace();
    EXPECT_EQ(VButtonWrite(h, &t), 0);
    uint16_t crc = 0;
    EXPECT_EQ(VButtonGetCRC(h, &crc), 0);
    EXPECT_TRUE(sent().empty());

    // Flush and lock of either protocol are reachable through the handle; the older
    // series is refused.
    uint8_t result = 0;
    ASSERT_EQ(FlushParameter(h, &result), 1);
    EXPECT_EQ(result, 15);
    qvsim::ControllerProfile p = ItemProfile(152);
    p.series = qvsim::Series::Ostra;
    makeHid(p);
    EXPECT_EQ(ParameterUpdateLock(h, 1), 0);
    EXPECT_EQ(VButtonErase(h), 0);
    EXPECT_TRUE(sent().empty());
}

// ---- the table of entry points -------------------------------------------------------------------

// The entry points in table order.
std::vector<void*> EntryOrder() {
    return {
        (void*)GetParameterGeneralInfo, (void*)FlushParameter, (void*)ReloadDefaultParameter,
        (void*)ReloadFlushParameter, (void*)ParameterUpdateLock, (void*)GetParameterHostInterface,
        (void*)SetParameterHostInterface, (void*)GetParameterPanel, (void*)SetParameterPanel,
        (void*)GetParameterFinger, (void*)SetParameterFinger, (void*)GetParameterPalm, (void*)SetParameterPalm,
        (void*)GetParameterBase, (void*)SetParameterBase, (void*)GetParameterWater, (void*)SetParameterWater,
        (void*)GetParameterAntiNoise, (void*)SetParameterAntiNoise, (void*)GetParameterCoordinate,
        (void*)SetParameterCoordinate, (void*)CalibrationPreSetup, (void*)ActivateCalibrationParameter,
        (void*)GetParameterPowerSaving, (void*)SetParameterPowerSaving, (void*)GetParameterNormalScan,
        (void*)SetParameterNormalScan, (void*)GetParameterAbnormalScan, (void*)SetParameterAbnormalScan,
        (void*)GetParameterMisc, (void*)SetParameterMisc, (void*)GetParameterDriveIC, (void*)SetParameterDriveIC,
        (void*)GetParameterDebug, (void*)SetParameterDebug, (void*)SwitchEventHalt, (void*)GetEventHalt,
        (void*)ClearEventHalt, (void*)ReloadAllDefaultParameter, (void*)UseAllSensorDriver, (void*)ExtraModeSwitch,
        (void*)GetParameterVButton, (void*)SetParameterVButton, (void*)VButtonGetCRC, (void*)VButtonClear,
        (void*)VButtonInit, (void*)VButtonLoadSetting, (void*)VButtonWriteFlash, (void*)VButtonRead,
        (void*)VButtonWrite, (void*)VButtonErase, (void*)GetParameterCustom, (void*)SetParameterCustom,
    };
}

TEST(ParameterFunctionTable, FillsExactlyTheEntriesOfItsSize) {
    const std::vector<void*> order = EntryOrder();
    ASSERT_EQ(order.size(), 53u);
    constexpr size_t kBuffer = sizeof(ParameterFunctionTable) + 16;
    for (unsigned count : {33u, 37u, 38u, 40u, 41u, 50u, 51u, 53u}) {
        SCOPED_TRACE(count);
        const uint32_t cb = QV_PARAMETER_TABLE_SIZE(count);
        EXPECT_EQ(cb, 4 + 8 * count) << "a 64-bit build";
        uint8_t buffer[kBuffer];
        std::memset(buffer, 0xCD, sizeof buffer);
        std::memcpy(buffer, &cb, 4);
        ASSERT_EQ(SetupParameterFunctionPointer(reinterpret_cast<ParameterFunctionTable*>(buffer)), 1);
        for (unsigned n = 0; n < count; ++n) {
            void* entry;
            std::memcpy(&entry, buffer + 4 + n * sizeof(void*), sizeof entry);
            EXPECT_EQ(entry, order[n]) << "entry " << n + 1;
        }
        for (size_t i = cb; i < kBuffer; ++i) ASSERT_EQ(buffer[i], 0xCD) << "byte " << i << " past cbSize";
    }
}

TEST(ParameterFunctionTable, RefusesOtherSizesUntouched) {
    // 200 matches no count; 136 and 168 are the sizes of a 32-bit table.
    for (uint32_t cb : {0u, 4u, 136u, 168u, 200u, QV_PARAMETER_TABLE_SIZE(53) + 8, QV_PARAMETER_TABLE_SIZE(41) - 1}) {
        SCOPED_TRACE(cb);
        uint8_t buffer[sizeof(ParameterFunctionTable) + 16];
        std::memset(buffer, 0xCD, sizeof buffer);
        std::memcpy(buffer, &cb, 4);
        uint8_t before[sizeof buffer];
        std::memcpy(before, buffer, sizeof buffer);
        EXPECT_EQ(SetupParameterFunctionPointer(reinterpret_cast<ParameterFunctionTable*>(buffer)), 0);
        EXPECT_EQ(std::memcmp(buffer, before, sizeof buffer), 0);
    }
    EXPECT_EQ(SetupParameterFunctionPointer(nullptr), 0);
}

}  // namespace
}  // namespace qvtest
