// The parameter register lists: reads in each bank form, the descriptor and its
// defaults, slave lists, writes of only the changed bytes, the constant block.
#include "library_info_support.h"

#include <algorithm>
#include <set>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace qvtest {
namespace {

enum class Form { PQ, POnly, Neither };

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + 7 * i + (i >> 3));
    return v;
}

class ListTest : public InfoTest {
protected:
    // A controller whose lists sit in the banks of the form, each bank's memory a
    // pattern longer than its list.
    static qvsim::ControllerProfile FormProfile(Form form, uint8_t touch, uint8_t boot, uint8_t debug,
                                                bool pairs = true) {
        qvsim::ControllerProfile p = CurrentMasterProfile();
        p.listDescriptor = std::array<uint8_t, 4>{debug, 32, boot, touch};
        p.bank0Pairs = pairs;
        if (form == Form::Neither) {
            p.paramBanks[0x00] = Pattern(0xC0, 1);
            // Registers 0x49 and 0x4E of the boot list are the monitor id and scan mode.
            p.monitorId = p.paramBanks[0x00][0x49];
            p.scanMode = p.paramBanks[0x00][0x4E];
            return p;
        }
        p.featureF4[0] = 0x02;
        p.featureF4[2] = 0x80;
        p.featureFC[3] = 0x20;  // Q is then decided by the probe: only bank 0xC0 answers it
        const bool q = form == Form::PQ;
        p.paramBanks[q ? 0xC0 : 0x80] = Pattern(touch + 8u, 0x10);
        p.paramBanks[q ? 0xD0 : 0x90] = Pattern(boot + 8u, 0x20);
        p.paramBanks[q ? 0xE0 : 0xA0] = Pattern(debug + 8u, 0x30);
        return p;
    }

    static std::vector<uint8_t> Bytes(const uint8_t* p, size_t n) { return std::vector<uint8_t>(p, p + n); }
    std::vector<uint8_t> Memory(uint8_t bank, size_t from, size_t n) {
        const auto& m = ctl->profile().paramBanks.at(bank);
        return std::vector<uint8_t>(m.begin() + long(from), m.begin() + long(from + n));
    }

    std::vector<std::string> sentWith(uint8_t code) {
        std::vector<std::string> out;
        for (const auto& p : Received(*ctl))
            if (p[0] == code) out.push_back(Hex(p));
        return out;
    }
    size_t indexOf(const std::string& packet) {
        const auto s = sent();
        return size_t(std::find(s.begin(), s.end(), packet) - s.begin());
    }
};

TEST_F(ListTest, ReadsEveryListFromTheBanksOfItsForm) {
    struct Case {
        Form form;
        uint8_t touchBank, bootBank, debugBank, bootFirst, debugFirst;
    };
    for (const Case& c : {Case{Form::PQ, 0xC0, 0xD0, 0xE0, 0, 0}, Case{Form::POnly, 0x80, 0x90, 0xA0, 0, 0},
                          Case{Form::Neither, 0x00, 0x00, 0x00, 0x40, 0x80}}) {
        SCOPED_TRACE(int(c.form));
        makeHid(FormProfile(c.form, 10, 6, 5));
        ParameterList l{};
        ASSERT_EQ(GetParameterList(h, &l), 1);
        EXPECT_EQ(l.touchLength, 10);
        EXPECT_EQ(l.bootLength, 6);
        EXPECT_EQ(l.debugLength, 5);
        EXPECT_EQ(l.slaveLength, 32);
        EXPECT_EQ(Bytes(l.touchList, 10), Memory(c.touchBank, 0, 10));
        EXPECT_EQ(Bytes(l.bootList, 6), Memory(c.bootBank, c.bootFirst, 6));
        EXPECT_EQ(Bytes(l.debugList, 5), Memory(c.debugBank, c.debugFirst, 5));
        for (uint8_t* s : l.slaveList) EXPECT_NE(s, nullptr);

        char first[32], boot[32];
        std::snprintf(first, sizeof first, "E0 %02X 00 00 00", c.touchBank);
        std::snprintf(boot, sizeof boot, "E0 %02X %02X 00 00", c.bootBank, c.bootFirst);
        EXPECT_TRUE(wasSent(first));
        const bool bit4 = c.bootBank & 0x10;
        EXPECT_EQ(wasSent("F6 06 10 00 00"), bit4);
        if (bit4) {
            EXPECT_LT(indexOf("F6 06 10 00 00"), indexOf(boot));
        }
        // The four-byte form reads every fourth address, the two-byte form every second.
        const bool wide = c.touchBank & 0x40;
        EXPECT_EQ(wasSent(std::string("E0 ") + first[3] + first[4] + " 02 00 00"), !wide);
        EXPECT_EQ(slot().diag.busy, 0);
    }
}

TEST_F(ListTest, OddListsInTheTwoByteFormReadTheirLastPairBeyondTheLength) {
    struct Case {
        Form form;
        bool pairs;
        std::string last;   // the read that fetches byte 7
        std::string never;  // nothing past the last pair is read
    };
    for (const Case& c : {Case{Form::POnly, true, "E0 80 06 00 00", "E0 80 08 00 00"},
                          Case{Form::Neither, true, "E0 00 06 00 00", "E0 00 08 00 00"},
                          Case{Form::Neither, false, "E0 00 07 00 00", "E0 00 08 00 00"}}) {
        SCOPED_TRACE(c.last);
        makeHid(FormProfile(c.form, 7, 3, 1, c.pairs));
        ParameterList l{};
        ASSERT_EQ(GetParameterList(h, &l), 1);
        const uint8_t bank = c.form == Form::POnly ? 0x80 : 0x00;
        EXPECT_EQ(Bytes(l.touchList, 8), Memory(bank, 0, 8));  // the unit beyond the length is held
        EXPECT_TRUE(wasSent(c.last));
        EXPECT_FALSE(wasSent(c.never));
        if (c.form == Form::POnly)
            EXPECT_EQ(Bytes(l.bootList, 4), Memory(0x90, 0, 4));
        else
            EXPECT_EQ(Bytes(l.bootList, 4), Memory(0x00, 0x40, 4));
    }
}

TEST_F(ListTest, MissingDescriptorGivesTheDefaultLengths) {
    for (bool fallbackAnswers : {true, false}) {
        SCOPED_TRACE(fallbackAnswers);
        qvsim::ControllerProfile p = FormProfile(Form::Neither, 0, 0, 0);
        p.listDescriptor.reset();
        makeHid(p);
        if (!fallbackAnswers) ctl->setReply(P(0xE0, 0x00, 0x80, 0x00, 0x00), P(0xAA, 0xE0, 0x00, 0x80, 0x00));
        ParameterList l{};
        ASSERT_EQ(GetParameterList(h, &l), 1);
        EXPECT_EQ(l.touchLength, 64);
        EXPECT_EQ(l.bootLength, 16);
        EXPECT_EQ(l.slaveLength, 32);
        EXPECT_EQ(l.debugLength, fallbackAnswers ? 16 : 0);
        EXPECT_EQ(Bytes(l.touchList, 64), Memory(0x00, 0, 64));
        EXPECT_EQ(Bytes(l.bootList, 16), Memory(0x00, 0x40, 16));
        if (fallbackAnswers) {
            EXPECT_EQ(Bytes(l.debugList, 16), Memory(0x00, 0x80, 16));
        }
    }
}

TEST_F(ListTest, ApbtReadsOnlyTouchAndBoot) {
    makeHid(FormProfile(Form::PQ, 8, 4, 12));
    ParameterList l{};
    ASSERT_EQ(GetAPBTParaList(h, &l), 1);
    EXPECT_EQ(l.debugLength, 0);
    EXPECT_EQ(Bytes(l.touchList, 8), Memory(0xC0, 0, 8));
    EXPECT_EQ(Bytes(l.bootList, 4), Memory(0xD0, 0, 4));
    EXPECT_FALSE(wasSent("E0 E0 00 00 00"));
    EXPECT_TRUE(sentWith(0xF4).empty());
}

TEST_F(ListTest, ListsPastTheEndOfTheBankAreCutAtAddress0xFF) {
    // A debug list of 0xA0 bytes from address 0x80 would wrap onto the touch list.
    makeHid(FormProfile(Form::Neither, 4, 2, 0xA0));
    ctl->profile().paramBanks[0x00] = Pattern(0x100, 3);
    ParameterList l{};
    ASSERT_EQ(GetParameterList(h, &l), 1);
    EXPECT_EQ(l.debugLength, 0x80);
    EXPECT_EQ(Bytes(l.debugList, 0x60), Memory(0x00, 0x80, 0x60));
    const auto s = sent();
    EXPECT_EQ(std::count(s.begin(), s.end(), "E0 00 00 00 00"), 1);  // the touch list's read only
    l.debugList[0x10] ^= 0xFF;
    ctl->clearTrace();
    ASSERT_EQ(SetParameterList(h, &l), 1);
    EXPECT_EQ(sentWith(0xE1), std::vector<std::string>{Hex(P(0xE1, 0x00, 0x90, 0x00, l.debugList[0x10]))});
}

// ---- slaves -------------------------------------------------------------------------

class SlaveListTest : public ListTest {
protected:
    // A master with two slaves whose bank-0 memories are patterns; generation
    // 29 uses diagnostic mode, below it scanning is stopped.
    static qvsim::ControllerProfile SlaveProfile(uint8_t generation, size_t slaves = 2) {
        qvsim::ControllerProfile p = FormProfile(Form::PQ, 8, 4, 4);
        p.listDescriptor = std::array<uint8_t, 4>{4, 6, 4, 8};
        p.slaveCount = 3;
        for (size_t k = 0; k < slaves; ++k) {
            qvsim::SlaveProfile s;
            s.parameters = Pattern(8, uint8_t(0x40 + 0x20 * k));
            p.slaves.push_back(s);
        }
        p.stateEx[1] = 0x80;  // the slaves are reachable
        p.capability = std::array<uint8_t, 4>{0, 0, 0, generation};
        p.stateF0[3] = 0x01;  // scanning
        p.bank0Pairs = true;
        return p;
    }
    std::vector<uint8_t> SlaveMemory(size_t k, size_t n) {
        const auto& m = ctl->profile().slaves[k].parameters;
        return std::vector<uint8_t>(m.begin(), m.begin() + long(n));
    }
};

TEST_F(SlaveListTest, ReadsEachSlaveInDiagnosticModeAndReturnsToTheMaster) {
    makeHid(SlaveProfile(29));
    openLog();
    ParameterList l{};
    ASSERT_EQ(GetParameterList(h, &l), 1);
    const std::string log = closeLogAndRead();
    EXPECT_EQ(l.slaveLength, 6);
    EXPECT_EQ(Bytes(l.slaveList[0], 6), SlaveMemory(0, 6));
    EXPECT_EQ(Bytes(l.slaveList[1], 6), SlaveMemory(1, 6));
    EXPECT_EQ(Bytes(l.slaveList[2], 6), std::vector<uint8_t>(6, 0));  // no third slave
    EXPECT_EQ(sentWith(0xF4),
              (std::vector<std::string>{"F4 00 00 00 01", "F4 00 01 00 01", "F4 00 AA 00 00"}));
    EXPECT_LT(indexOf("F9 FF 90 00 01"), indexOf("F4 00 00 00 01"));
    EXPECT_GT(indexOf("F9 FF 90 00 00"), indexOf("F4 00 AA 00 00"));
    EXPECT_LT(indexOf("F9 FF 90 00 00"), sent().size());
    EXPECT_NE(log.find("\r GetSlaveNumber : EnterDiagnosticMode(TRUE)\r"), std::string::npos);
    EXPECT_NE(log.find("\r GetParameterList : EnterDiagnosticMode(FALSE)\r"), std::string::npos);
}

TEST_F(SlaveListTest, OlderGenerationsStopScanningAndRestartItAfterwards) {
    makeHid(SlaveProfile(20));
    ParameterList l{};
    ASSERT_EQ(GetParameterList(h, &l), 1);
    EXPECT_EQ(Bytes(l.slaveList[1], 6), SlaveMemory(1, 6));
    EXPECT_LT(indexOf("F0 00 00 00 00"), indexOf("F4 00 00 00 01"));
    const size_t back = indexOf("F4 00 AA 00 00");
    const auto s = sent();
    ASSERT_GE(s.size(), back + 4);
    EXPECT_EQ(std::vector<std::string>(s.end() - 3, s.end()),
              (std::vector<std::string>{"F9 00 00 C0 01", "F1 00 00 00 00", "F9 00 00 00 00"}));
    EXPECT_EQ(ctl->profile().stateF0[3] & 0x01, 0x01);  // scanning again
}

TEST_F(SlaveListTest, NoSlavesWhenTheMasterCannotReachThem) {
    qvsim::ControllerProfile p = SlaveProfile(29);
    p.stateEx[1] = 0x00;
    makeHid(p);
    ParameterList l{};
    ASSERT_EQ(GetParameterList(h, &l), 1);
    EXPECT_TRUE(sentWith(0xF4).empty());
    EXPECT_TRUE(wasSent("F9 FF 90 00 00"));  // diagnostic mode is still left
}

TEST_F(SlaveListTest, AFailedSlaveReadFailsTheCallButLeavesTheControllerAsItWas) {
    makeHid(SlaveProfile(29, 1));  // the identity counts two slaves, only one answers
    ParameterList l{};
    EXPECT_EQ(GetParameterList(h, &l), 0);
    EXPECT_EQ(Bytes(l.slaveList[0], 6), SlaveMemory(0, 6));
    EXPECT_EQ(sentWith(0xF4), (std::vector<std::string>{"F4 00 00 00 01", "F4 00 01 00 01", "F4 00 AA 00 00"}));
    EXPECT_EQ(sent().back(), "F9 FF 90 00 00");
    EXPECT_EQ(slot().diag.busy, 0);
}

TEST_F(SlaveListTest, SetWritesTheChangedSlaveBytesOnTheSelectedSlave) {
    makeHid(SlaveProfile(29));
    ParameterList l{};
    ASSERT_EQ(GetParameterList(h, &l), 1);
    l.slaveList[1][3] = 0x5C;
    ctl->clearTrace();
    ASSERT_EQ(SetParameterList(h, &l), 1);
    EXPECT_EQ(sentWith(0xE1), std::vector<std::string>{"E1 00 03 00 5C"});
    EXPECT_EQ(ctl->profile().slaves[1].parameters[3], 0x5C);
    EXPECT_NE(ctl->profile().slaves[0].parameters[3], 0x5C);
    EXPECT_LT(indexOf("F4 00 01 00 01"), indexOf("E1 00 03 00 5C"));
    EXPECT_GT(indexOf("F4 00 AA 00 00"), indexOf("E1 00 03 00 5C"));
    EXPECT_FALSE(ctl->profile().updateLocked);
}

// ---- writes ---------------------------------------------------------------------------

TEST_F(ListTest, SetWritesExactlyTheChangedBytes) {
    // touch[5] and boot[0] change. Four-byte banks write the pair holding the byte.
    for (Form form : {Form::PQ, Form::POnly, Form::Neither}) {
        SCOPED_TRACE(int(form));
        makeHid(FormProfile(form, 10, 6, 5));
        ParameterList l{};
        ASSERT_EQ(GetParameterList(h, &l), 1);
        const std::vector<uint8_t> before = Bytes(l.touchList, 10);
        l.touchList[5] = 0xA5;
        l.bootList[0] = 0x5A;
        std::vector<std::string> want;
        if (form == Form::PQ)
            want = {Hex(P(0xE1, 0xC0, 0x04, 0xA5, l.touchList[4])), Hex(P(0xE1, 0xD0, 0x00, l.bootList[1], 0x5A))};
        else if (form == Form::POnly)
            want = {"E1 80 05 00 A5", "E1 90 00 00 5A"};
        else
            want = {"E1 00 05 00 A5", "E1 00 40 00 5A"};
        ctl->clearTrace();
        ASSERT_EQ(SetParameterList(h, &l), 1);
        EXPECT_EQ(sentWith(0xE1), want);
        const uint8_t touchBank = form == Form::PQ ? 0xC0 : form == Form::POnly ? 0x80 : 0x00;
        std::vector<uint8_t> expect = before;
        expect[5] = 0xA5;
        EXPECT_EQ(Memory(touchBank, 0, 10), expect);
        EXPECT_FALSE(ctl->profile().updateLocked);
        EXPECT_LT(indexOf("F3 00 07 00 01"), indexOf(want[0]));
        EXPECT_GT(indexOf("F3 00 07 00 00"), indexOf(want[1]));

        // Nothing changed since: no write at all, for either Set.
        ctl->clearTrace();
        ASSERT_EQ(SetParameterList(h, &l), 1);
        ASSERT_EQ(SetAPBTParaList(h, &l), 1);
        EXPECT_TRUE(sentWith(0xE1).empty());
    }
}

TEST_F(ListTest, SetApbtLeavesTheDebugListAndUsesTheItemLockWithAVersion) {
    qvsim::ControllerProfile p = FormProfile(Form::POnly, 4, 4, 4);
    p.featureF4[0] = 0x82;
    p.paraVersion = 120;
    makeHid(p);
    ParameterList l{};
    ASSERT_EQ(GetParameterList(h, &l), 1);
    l.touchList[1] ^= 1;
    l.debugList[0] ^= 1;
    ctl->clearTrace();
    ASSERT_EQ(SetAPBTParaList(h, &l), 1);
    EXPECT_EQ(sentWith(0xE1), std::vector<std::string>{Hex(P(0xE1, 0x80, 0x01, 0x00, l.touchList[1]))});
    EXPECT_TRUE(wasSent("F6 00 9F 00 01"));
    EXPECT_EQ(sent().back(), "F6 00 9F 00 00");
}

TEST_F(ListTest, SetIsBoundedByTheBuffersAndNeedsARead) {
    makeHid(FormProfile(Form::POnly, 6, 2, 2));
    ParameterList l{};
    EXPECT_EQ(SetParameterList(h, &l), 0);  // nothing read yet
    EXPECT_EQ(SetAPBTParaList(h, &l), 0);
    ASSERT_EQ(GetParameterList(h, &l), 1);
    l.touchList[5] ^= 0xFF;
    ParameterList bigger = l;
    bigger.touchLength = bigger.bootLength = bigger.debugLength = bigger.slaveLength = 255;
    ctl->clearTrace();
    ASSERT_EQ(SetParameterList(h, &bigger), 1);
    EXPECT_EQ(sentWith(0xE1), std::vector<std::string>{Hex(P(0xE1, 0x80, 0x05, 0x00, l.touchList[5]))});
}

TEST_F(ListTest, AFailedWriteLeavesTheLockOnAndReportsIt) {
    makeHid(FormProfile(Form::POnly, 6, 2, 2));
    ParameterList l{};
    ASSERT_EQ(GetParameterList(h, &l), 1);
    l.touchList[0] ^= 1;
    l.touchList[2] ^= 1;
    ctl->refuse(0xE1, 1);
    EXPECT_EQ(SetParameterList(h, &l), 0);
    EXPECT_TRUE(ctl->profile().updateLocked);
    // The byte not written keeps its difference, so the next Set sends it again.
    ctl->clearTrace();
    ASSERT_EQ(SetParameterList(h, &l), 1);
    EXPECT_EQ(sentWith(0xE1).size(), 2u);
}

// ---- the buffers -------------------------------------------------------------------

TEST_F(ListTest, BuffersAreKeptForTheSlotAndFreedAtUnload) {
    makeHid(FormProfile(Form::PQ, 8, 4, 4));
    ParameterList a{}, b{};
    ASSERT_EQ(GetParameterList(h, &a), 1);
    ASSERT_EQ(GetAPBTParaList(h, &b), 1);
    EXPECT_EQ(a.touchList, b.touchList);
    EXPECT_EQ(a.slaveList[3], b.slaveList[3]);
    uint8_t* pointers[7] = {a.touchList, a.bootList, a.debugList, a.slaveList[0], a.slaveList[1],
                            a.slaveList[2], a.slaveList[3]};
    EXPECT_EQ(std::set<uint8_t*>(std::begin(pointers), std::end(pointers)).size(), 7u);
    qvlib::LibraryDetach();
#if defined(__SANITIZE_ADDRESS__)
    for (uint8_t* p : pointers) EXPECT_TRUE(__asan_address_is_poisoned(p));
#endif
    qvlib::LibraryAttach(false);
}

TEST_F(ListTest, AFailedReadFailsAndClearsTheBusyByte) {
    makeHid(FormProfile(Form::POnly, 6, 2, 2));
    ctl->setReply(P(0xE0, 0x90, 0x00, 0x00, 0x00), P(0xAA, 0xE0, 0x90, 0x00, 0x00));
    ParameterList l{};
    EXPECT_EQ(GetParameterList(h, &l), 0);
    EXPECT_EQ(slot().diag.busy, 0);
    EXPECT_FALSE(wasSent("E0 A0 00 00 00"));  // the lists after the failed one are not read
    EXPECT_EQ(GetAPBTParaList(h, &l), 0);
    EXPECT_EQ(slot().diag.busy, 0);
}

// ---- the constant block, and the devices without lists ------------------------------

TEST_F(ListTest, ConstantBlockInBothFormsIsCappedAt80Bytes) {
    struct Case {
        uint8_t bootVersion;
        uint8_t bridgeSame;
        bool older;  // E0 B0 form, length in byte 2; else C1, length in byte 1
    };
    for (const Case& c : {Case{54, 0, true}, Case{55, 0, false}, Case{32, 1, true}, Case{33, 1, false}}) {
        SCOPED_TRACE(c.bootVersion);
        qvsim::ControllerProfile p = CurrentMasterProfile();
        p.constants = Pattern(96, 9);
        p.constants[c.older ? 2 : 1] = 90;
        makeHid(p);
        slot().byBootVersion = c.bootVersion;
        slot().bBridgeSame = c.bridgeSame;
        std::vector<uint8_t> out(80);  // exactly the documented size
        ASSERT_EQ(GetParameterConst(h, out.data()), 1);
        EXPECT_EQ(out, std::vector<uint8_t>(ctl->profile().constants.begin(), ctl->profile().constants.begin() + 80));
        const auto reads = sentWith(c.older ? 0xE0 : 0xC1);
        ASSERT_EQ(reads.size(), 20u);
        EXPECT_EQ(reads.back(), c.older ? "E0 B0 4C 00 00" : "C1 00 4C 00 00");
        EXPECT_TRUE(sentWith(c.older ? 0xC1 : 0xE0).empty());
    }
    // A block shorter than 5 bytes ends after its first word.
    qvsim::ControllerProfile p = CurrentMasterProfile();
    p.constants = {1, 2, 4, 8};
    makeHid(p);
    slot().byBootVersion = 10;
    slot().bBridgeSame = 0;
    uint8_t out[80] = {};
    ASSERT_EQ(GetParameterConst(h, out), 1);
    EXPECT_EQ(sent(), std::vector<std::string>{"E0 B0 00 00 00"});
    EXPECT_EQ(Bytes(out, 4), (std::vector<uint8_t>{1, 2, 4, 8}));
}

TEST_F(ListTest, OstraMelkAndUnknownHandlesHaveNoLists) {
    uint8_t block[80] = {};
    ParameterList l{};
    for (qvsim::Series series : {qvsim::Series::Ostra, qvsim::Series::Melk}) {
        qvsim::ControllerProfile p = FormProfile(Form::Neither, 4, 4, 4);
        p.series = series;
        makeHid(p);
        EXPECT_EQ(GetParameterList(h, &l), 0);
        EXPECT_EQ(GetAPBTParaList(h, &l), 0);
        EXPECT_EQ(SetParameterList(h, &l), 0);
        EXPECT_EQ(SetAPBTParaList(h, &l), 0);
        EXPECT_EQ(GetParameterConst(h, block), 0);
        EXPECT_TRUE(sent().empty());
    }
    HANDLE unknown = reinterpret_cast<HANDLE>(uintptr_t(0x4242));
    EXPECT_EQ(GetParameterList(unknown, &l), 0);
    EXPECT_EQ(GetAPBTParaList(unknown, &l), 0);
    EXPECT_EQ(SetParameterList(unknown, &l), 0);
    EXPECT_EQ(SetAPBTParaList(unknown, &l), 0);
    EXPECT_EQ(GetParameterConst(unknown, block), 0);
    EXPECT_EQ(l.touchList, nullptr);
}

// ---- buffers that outlive later reads ---------------------------------------------------

TEST_F(ListTest, PointersFromAnEarlierReadStayValidWhenLaterListsAreLonger) {
    qvsim::ControllerProfile p = FormProfile(Form::POnly, 6, 4, 2);
    for (uint8_t bank : {uint8_t(0x80), uint8_t(0x90), uint8_t(0xA0)}) p.paramBanks[bank] = Pattern(0x100, bank);
    // The scan-mode word inside the boot bank answers the mode in its byte 4, 0 in byte 3.
    p.scanMode = p.paramBanks[0x90][0x0E];
    p.paramBanks[0x90][0x0F] = 0;
    makeHid(p);
    ParameterList first{};
    ASSERT_EQ(GetParameterList(h, &first), 1);
    ASSERT_EQ(first.touchLength, 6);
    // A refused descriptor brings the longer default lengths, then a descriptor
    // with the longest lists a length byte can give.
    ctl->profile().listDescriptor.reset();
    ParameterList second{};
    ASSERT_EQ(GetParameterList(h, &second), 1);
    ASSERT_EQ(second.touchLength, 64);
    ctl->profile().listDescriptor = std::array<uint8_t, 4>{0x80, 0xFF, 0xC0, 0xFF};
    ParameterList third{};
    ASSERT_EQ(GetAPBTParaList(h, &third), 1);
    ASSERT_EQ(third.touchLength, 0xFF);
    ASSERT_EQ(third.bootLength, 0xC0);

    uint8_t* const held[7] = {first.touchList,    first.bootList,     first.debugList,   first.slaveList[0],
                              first.slaveList[1], first.slaveList[2], first.slaveList[3]};
    uint8_t* const later[7] = {third.touchList,     third.bootList,      second.debugList,  second.slaveList[0],
                               second.slaveList[1], second.slaveList[2], second.slaveList[3]};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(held[i], later[i]) << i;
    // Read through the pointers of the first read: the newest bytes, all of them.
    EXPECT_EQ(Bytes(first.touchList, 0xFF), Memory(0x80, 0, 0xFF));
    EXPECT_EQ(Bytes(first.bootList, 0xC0), Memory(0x90, 0, 0xC0));
    EXPECT_EQ(Bytes(first.debugList, 16), Memory(0xA0, 0, 16));
    for (uint8_t* slave : first.slaveList) EXPECT_EQ(slave[0xFE], 0);
}

// ---- failures are failures -------------------------------------------------------------

TEST_F(ListTest, ADescriptorThatCannotBeReadFailsTheRead) {
    // A controller that refuses the descriptor has the default lists; one that does
    // not answer it (or the debug fallback) cannot be read.
    for (uint8_t silent : {uint8_t(0xFB), uint8_t(0x80)}) {
        SCOPED_TRACE(int(silent));
        qvsim::ControllerProfile p = FormProfile(Form::Neither, 8, 4, 4);
        if (silent == 0x80) p.listDescriptor.reset();
        makeHid(p);
        ctl->setReply(P(0xE0, 0x00, silent, 0x00, 0x00), P(0x00, 0x00, 0x00, 0x00, 0x00));
        ParameterList l{};
        EXPECT_EQ(GetParameterList(h, &l), 0);
        EXPECT_EQ(GetAPBTParaList(h, &l), 0);
        EXPECT_TRUE(sentWith(0xE1).empty());
        EXPECT_FALSE(wasSent("E0 00 00 00 00"));  // no list was read with made-up lengths
        EXPECT_EQ(slot().diag.busy, 0);
    }
}

TEST_F(SlaveListTest, WithoutTheSlaveCountNeitherReadNorWriteSucceeds) {
    makeHid(SlaveProfile(29));
    ParameterList l{};
    ASSERT_EQ(GetParameterList(h, &l), 1);
    l.touchList[1] ^= 0xFF;
    l.slaveList[0][2] ^= 0xFF;
    ctl->silence(0xEF);
    ctl->clearTrace();
    EXPECT_EQ(SetParameterList(h, &l), 0);
    EXPECT_TRUE(sentWith(0xE1).empty());  // nothing written when the slaves could not be counted
    EXPECT_FALSE(ctl->profile().updateLocked);
    ctl->clearTrace();
    EXPECT_EQ(GetParameterList(h, &l), 0);
    EXPECT_TRUE(sentWith(0xF4).empty());

    // The state-ex word unanswered leaves the count unknown too; refused, no slave is reachable.
    ctl->clearFaults();
    ctl->setReply(P(0xE0, 0x00, 0xFF, 0x00, 0x00), P(0x00, 0x00, 0x00, 0x00, 0x00));
    EXPECT_EQ(GetParameterList(h, &l), 0);
    ctl->clearReplies();
    ctl->setReply(P(0xE0, 0x00, 0xFF, 0x00, 0x00), P(0xAA, 0xE0, 0x00, 0xFF, 0x00));
    ctl->clearTrace();
    EXPECT_EQ(GetParameterList(h, &l), 1);
    EXPECT_TRUE(sentWith(0xF4).empty());
}

TEST_F(SlaveListTest, ADisconnectDuringTheSlaveSelectionEndsTheReadWithinOneTimeOut) {
    // Every transfer costs what a device's time-out does, so each one the read
    // makes after the controller went away shows on the clock.
    constexpr uint32_t kTimeoutMs = 2000;
    makeHid(SlaveProfile(29));
    bench->setLatencyMs(kTimeoutMs);
    ParameterList l{};
    ASSERT_EQ(GetParameterList(h, &l), 1);
    const size_t select = indexOf("F4 00 00 00 01");
    ASSERT_LT(select, sent().size());
    // The controller takes the slave selection and is gone before its answer is read.
    ctl->clearTrace();
    ctl->disconnectAfter(int(select) + 1);
    EXPECT_EQ(GetParameterList(h, &l), 0);
    const auto trace = ctl->trace();
    ASSERT_EQ(trace.size(), select + 1);
    EXPECT_EQ(Hex(trace.back().packet), "F4 00 00 00 01");
    EXPECT_LE(now() - trace.back().timeMs, kTimeoutMs);
    EXPECT_EQ(slot().diag.busy, 0);
    // The next call meets the gone device once and stops as well.
    const uint64_t t0 = now();
    EXPECT_EQ(GetParameterList(h, &l), 0);
    EXPECT_LE(now() - t0, kTimeoutMs);
}

}  // namespace
}  // namespace qvtest
