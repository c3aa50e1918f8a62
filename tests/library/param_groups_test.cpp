// The group workers against the simulated controller: what a Get fills, what a
// Set sends, and what the controller holds afterwards.
#include "library_param_support.h"

#include <functional>

namespace qvtest {
namespace {

using qvlib::kSlotCount;

// One group as a caller sees it: where each item's record sits (byte offsets of
// the interface), and its workers.
struct GroupCase {
    const char* name;
    uint8_t group;
    uint32_t size;
    std::vector<std::pair<uint8_t, uint16_t>> items;  // item n, offset of its record
    std::vector<uint8_t> pairItems;                    // items in the pair form (stored at byte 3)
    std::function<int(int, uint32_t, void*)> get;
    std::function<int(int, void*)> set;
};

void PrintTo(const GroupCase& g, std::ostream* os) { *os << g.name; }

template <class T> std::function<int(int, uint32_t, void*)> G(int (*f)(int, uint32_t, T*)) {
    return [f](int s, uint32_t m, void* r) { return f(s, m, static_cast<T*>(r)); };
}
template <class T> std::function<int(int, void*)> S(int (*f)(int, T*)) {
    return [f](int s, void* r) { return f(s, static_cast<T*>(r)); };
}

std::vector<std::pair<uint8_t, uint16_t>> Run(uint8_t first, uint8_t count, uint16_t offset) {
    std::vector<std::pair<uint8_t, uint16_t>> v;
    for (uint8_t i = 0; i < count; ++i) v.push_back({uint8_t(first + i), uint16_t(offset + 8 * i)});
    return v;
}
template <class... V> std::vector<std::pair<uint8_t, uint16_t>> Cat(V... parts) {
    std::vector<std::pair<uint8_t, uint16_t>> v;
    (v.insert(v.end(), parts.begin(), parts.end()), ...);
    return v;
}

const std::vector<GroupCase>& Groups() {
    using namespace qvlib;
    static const std::vector<GroupCase> groups = {
        {"HostInterface", 1, 56, Cat(Run(0, 3, 12), Run(3, 1, 48)), {}, G(GetHostInterface), S(SetHostInterface)},
        {"Panel", 2, 160, Cat(Run(0, 6, 12), Run(6, 5, 120)), {}, G(GetPanel), S(SetPanel)},
        {"Finger", 3, 136, Cat(Run(0, 4, 12), Run(5, 1, 44), Run(4, 1, 52), Run(6, 3, 60), Run(9, 5, 88), Run(14, 1, 128)),
         {}, G(GetFinger), S(SetFinger)},
        {"Palm", 4, 60, Run(0, 6, 12), {}, G(GetPalm), S(SetPalm)},
        {"Base", 5, 84, Run(0, 9, 12), {}, G(GetBase), S(SetBase)},
        {"Water", 6, 104, Cat(Run(0, 4, 12), Run(8, 4, 44), Run(15, 1, 76), Run(12, 2, 88)), {0, 8},
         G(GetWater), S(SetWater)},
        {"AntiNoise", 7, 176, Cat(Run(0, 11, 12), Run(12, 4, 116)), {0}, G(GetAntiNoise), S(SetAntiNoise)},
        {"Coordinate", 8, 176, Cat(Run(8, 4, 108), Run(12, 4, 144)), {}, G(GetCoordinate), S(SetCoordinate)},
        {"PowerSaving", 9, 44, Run(0, 4, 12), {}, G(GetPowerSaving), S(SetPowerSaving)},
        {"NormalScan", 10, 84, Cat(Run(0, 5, 12), Run(5, 2, 56), Run(7, 1, 76)), {},
         [](int s, uint32_t m, void* r) { return GetScan(s, 10, m, static_cast<ParameterScan*>(r)); },
         [](int s, void* r) { return SetScan(s, 10, static_cast<ParameterScan*>(r)); }},
        {"AbnormalScan", 11, 84, Cat(Run(0, 5, 12), Run(5, 2, 56), Run(7, 1, 76)), {},
         [](int s, uint32_t m, void* r) { return GetScan(s, 11, m, static_cast<ParameterScan*>(r)); },
         [](int s, void* r) { return SetScan(s, 11, static_cast<ParameterScan*>(r)); }},
        {"Misc", 12, 68, Cat(Run(0, 4, 12), Run(5, 2, 52)), {}, G(GetMisc), S(SetMisc)},
        {"DriveIC", 13, 44, Run(0, 2, 12), {}, G(GetDriveIC), S(SetDriveIC)},
        {"Debug", 14, 104, Run(0, 11, 16), {}, G(GetDebug), S(SetDebug)},
        {"VButton", 15, 52, Run(0, 4, 20), {}, G(GetVButton), S(SetVButton)},
        {"Custom", 0x8E, 24, Run(0, 1, 16), {},
         [](int s, uint32_t, void* r) { return GetCustom(s, static_cast<ParameterCustom*>(r)); }, S(SetCustom)},
    };
    return groups;
}

struct Rec {
    alignas(8) uint8_t b[256];
    uint8_t& at(size_t i) { return b[i]; }
    uint32_t u32(size_t i) const { uint32_t v; std::memcpy(&v, b + i, 4); return v; }
};

class ParamGroupTest : public ParamTest, public ::testing::WithParamInterface<GroupCase> {};

TEST_P(ParamGroupTest, GetFillsWhatTheDeviceHoldsAndSetSendsOnlyWhatChanged) {
    const GroupCase& gc = GetParam();
    qvsim::ControllerProfile p = ItemProfile(152);
    for (auto [n, off] : gc.items) p.items[{gc.group, n}] = {uint8_t(60 + n), uint8_t(n + 1), uint8_t(0x40 + n)};
    if (gc.group == 1) p.groupInfo[{1, 2}] = {0x00, 60};  // item 0's maximum comes from here
    make(p);
    const uint16_t mask = [&] { uint16_t m = 0; for (auto [n, o] : gc.items) m |= 1u << n; return m; }();

    Rec r{};
    std::memset(r.b, 0xCC, sizeof r.b);
    std::memcpy(r.b, &gc.size, 4);
    ASSERT_EQ(gc.get(slotIndex, 0xFFFFFFFFu, r.b), 1) << gc.name;
    EXPECT_EQ(r.u32(8), 1u) << "valid";
    uint16_t itemMask;
    std::memcpy(&itemMask, r.b + 4, 2);
    EXPECT_EQ(itemMask, mask);
    EXPECT_EQ(qvlib::g_itemMask[slotIndex], mask);
    for (size_t i = gc.size; i < sizeof r.b; ++i) ASSERT_EQ(r.b[i], 0xCC) << "byte " << i << " past the record";
    auto isPair = [&](uint8_t n) { return std::find(gc.pairItems.begin(), gc.pairItems.end(), n) != gc.pairItems.end(); };
    for (auto [n, off] : gc.items) {
        SCOPED_TRACE(std::string(gc.name) + " item " + std::to_string(n));
        EXPECT_EQ(r.at(off), n + 1);
        EXPECT_EQ(r.at(off + 1), 60 + n);
        EXPECT_EQ(r.at(off + (isPair(n) ? 3 : 2)), n + 1);
        if (isPair(n)) {
            EXPECT_EQ(r.at(off + 2), 0x40 + n);
        }
        EXPECT_EQ(r.u32(off + 4), 1u);
    }

    // Change every item but the third; the second goes above its maximum.
    const size_t count = gc.items.size();
    auto kept = [](size_t k) { return k == 1 || k == 2; };
    for (size_t k = 0; k < count; ++k) {
        const uint16_t off = gc.items[k].second;
        r.at(off) = k == 1 ? uint8_t(r.at(off + 1) + 1) : k == 2 ? r.at(off) : uint8_t(r.at(off) + 20);
    }
    ctl->clearTrace();
    ASSERT_EQ(gc.set(slotIndex, r.b), 1) << gc.name;
    EXPECT_EQ(itemWrites().size(), count - std::min<size_t>(count - 1, 2));
    EXPECT_EQ(r.at(6), 0x01) << "changed bits";
    for (size_t k = 0; k < count; ++k) {
        auto [n, off] = gc.items[k];
        SCOPED_TRACE(std::string(gc.name) + " item " + std::to_string(n));
        const uint8_t held = item(gc.group, n).value;
        EXPECT_EQ(held, kept(k) ? n + 1 : n + 21);
        EXPECT_EQ(r.at(off + (isPair(n) ? 3 : 2)), held) << "stored";
    }
    // Nothing changed since: a second Set sends nothing.
    ctl->clearTrace();
    ASSERT_EQ(gc.set(slotIndex, r.b), 1);
    EXPECT_TRUE(itemWrites().empty());
}

INSTANTIATE_TEST_SUITE_P(Groups, ParamGroupTest, ::testing::ValuesIn(Groups()),
                         [](const ::testing::TestParamInfo<GroupCase>& i) { return std::string(i.param.name); });

TEST_F(ParamTest, AbsentItemsAreClearedAndNeverWritten) {
    qvsim::ControllerProfile p = ItemProfile(152);
    p.items[{4, 1}] = {50, 7};
    make(p);
    ParameterPalm r;
    std::memset(&r, 0x5A, sizeof r);
    r.cbSize = sizeof r;
    ASSERT_EQ(qvlib::GetPalm(slotIndex, 1u << 4, &r), 1);
    EXPECT_EQ(r.itemMask, 0x0002);
    for (int n : {0, 2, 3, 4}) {
        EXPECT_EQ(r.item[n].value | r.item[n].maximum | r.item[n].stored | r.item[n].present, 0) << n;
        EXPECT_FALSE(wasSent(Hex(P(0xF6, 4, uint8_t(0x10 + n), 0, 0))));
    }
    EXPECT_EQ(r.item5.present, 0u);
    // A caller marking an absent item present does not get it written: the mask decides.
    r.item[2] = ParameterItem{3, 9, 0, 0, 1};
    r.item[1].value = 8;
    ctl->clearTrace();
    ASSERT_EQ(qvlib::SetPalm(slotIndex, &r), 1);
    EXPECT_EQ(itemWrites(), std::vector<std::string>{"F6 04 81 00 08"});
}

TEST_F(ParamTest, GroupLeftOutOfTheMaskAndRecordsNeverReadReturnWithoutCommands) {
    qvsim::ControllerProfile p = ItemProfile(152);
    p.items[{4, 0}] = {50, 7};
    make(p);
    ParameterPalm r{};
    r.cbSize = sizeof r;
    r.valid = 1;
    EXPECT_EQ(qvlib::GetPalm(slotIndex, ~(1u << 4), &r), 1);
    EXPECT_EQ(r.valid, 0u);
    EXPECT_TRUE(sent().empty());
    r.item[0] = ParameterItem{9, 50, 7, 0, 1};
    EXPECT_EQ(qvlib::SetPalm(slotIndex, &r), 0) << "a record whose valid is 0 is refused";
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(item(4, 0).value, 7);
}

TEST_F(ParamTest, FailedReadsAndWritesStopTheWorker) {
    qvsim::ControllerProfile p = ItemProfile(152);
    for (uint8_t n = 0; n < 5; ++n) p.items[{5, n}] = {50, n};
    make(p);
    ParameterBase r{};
    r.cbSize = sizeof r;
    ctl->setReply(P(0xF6, 5, 0x12, 0, 0), P(0xF6, 0xFF, 0xFF, 0, 0));
    EXPECT_EQ(qvlib::GetBase(slotIndex, 0xFFFF, &r), 0);
    EXPECT_EQ(r.valid, 0u);
    EXPECT_FALSE(wasSent("F6 05 13 00 00")) << "the Get stops at the refused read";
    ctl->clearReplies();
    ASSERT_EQ(qvlib::GetBase(slotIndex, 0xFFFF, &r), 1);

    // Reply byte 4 = 0xFF fails an item write; the items after it are not sent.
    for (int n = 0; n < 5; ++n) r.item[n].value = uint8_t(n + 10);
    ctl->setReply(P(0xF6, 5, 0x81, 0, 11), P(0xF6, 5, 0x81, 0, 0xFF));
    ctl->clearTrace();
    EXPECT_EQ(qvlib::SetBase(slotIndex, &r), 0);
    EXPECT_EQ(itemWrites(), (std::vector<std::string>{"F6 05 80 00 0A", "F6 05 81 00 0B"}));
    EXPECT_EQ(item(5, 0).value, 10);
    EXPECT_EQ(item(5, 2).value, 2);

    // The debug group's item 3 may fail both ways without failing the group.
    qvsim::ControllerProfile q = ItemProfile(152);
    for (uint8_t n = 0; n < 5; ++n) q.items[{14, n}] = {50, n};
    q.groupInfo[{14, 0x50}] = {1, 2};
    make(q);
    ctl->setReply(P(0xF6, 14, 0x13, 0, 0), P(0xF6, 0xFF, 0xFF, 0, 0));
    ParameterDebug d{};
    d.cbSize = sizeof d;
    ASSERT_EQ(qvlib::GetDebug(slotIndex, 0xFFFF, &d), 1);
    EXPECT_EQ(d.item[3].present, 0u);
    EXPECT_EQ(d.item[4].present, 1u);
    EXPECT_EQ(d.eventHalt[0], 1);
    EXPECT_EQ(d.eventHalt[1], 2);
    d.item[3] = ParameterItem{9, 50, 3, 0, 1};
    d.item[4].value = 9;
    ctl->setReply(P(0xF6, 14, 0x83, 0, 9), P(0xF6, 14, 0x83, 0, 0xFF));
    EXPECT_EQ(qvlib::SetDebug(slotIndex, &d), 1);
    EXPECT_EQ(item(14, 4).value, 9);
}

}  // namespace
}  // namespace qvtest
