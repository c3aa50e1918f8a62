// The N4 firmware update against the simulated controller and its boot loader:
// every file kind over USB HID and over a serial port, both transfer forms and
// both checksum kinds, block order and packet counter, slaves, dual boot, the
// old-boot-loader question, a controller already in its boot loader, and the
// error bit of each failure the engine itself detects.
#include "firmware_writer_support.h"
#include "library_n4_support.h"
#include "n4_update.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>

namespace qvtest {
namespace {

namespace n4 = qvlib::n4;
using fwtest::Bytes;

enum class Link { Hid, Uart };
std::string LinkName(const ::testing::TestParamInfo<Link>& info) { return info.param == Link::Hid ? "Hid" : "Uart"; }

constexpr uint16_t kProduct = 2081;
constexpr uint8_t kLetter = 1;  // 'A'

// The firmware of a chip: its program begins with a copy of its own header
// (which is how the controller names what it runs), then bytes that differ
// from image to image.
fwtest::Image Firmware(size_t n, uint8_t minor = 5, uint8_t seed = 1) {
    fwtest::Image im;
    im.product = kProduct;
    im.letter = kLetter;
    im.major = 2;
    im.minor = minor;
    im.build1 = 3;
    im.build2 = 4;
    im.data.resize(n);
    for (size_t i = 0; i < n; ++i) im.data[i] = uint8_t(i * 7 + seed);
    const Bytes h = fwtest::header(im);
    std::copy(h.begin(), h.end(), im.data.begin());
    return im;
}

// The image's header copied again into its program (after a header field changed).
fwtest::Image Sealed(fwtest::Image im) {
    const Bytes h = fwtest::header(im);
    std::copy(h.begin(), h.end(), im.data.begin());
    return im;
}
fwtest::Image SVariant(fwtest::Image im) {
    im.product = kProduct | 0x8000;
    return Sealed(im);
}

// The flash a loader holds after the image was written in blocks of size bytes.
Bytes Flashed(const Bytes& data, size_t size) {
    Bytes out = data;
    out.resize((data.size() + size - 1) / size * size, 0xFF);
    return out;
}

// A master-only controller running QV2081A 1.0 with a new boot loader (EB byte
// 1 = 0x10) of block size S.
qvsim::ControllerProfile Updatable(uint32_t blockSize) {
    qvsim::ControllerProfile p;
    p.identityNumber = kProduct;
    p.letter = kLetter;
    p.major = 1;
    p.minor = 0;
    p.customerBytes = {0x10, 0, 0, 0};
    p.stateF0 = {0, 0, 0, 0x01};  // scanning
    p.boot = qvsim::BootFlash{};
    p.d2Reply = {uint8_t(blockSize), uint8_t(blockSize >> 8), uint8_t(blockSize >> 16), 0};
    return p;
}

class N4Update : public N4Test, public ::testing::WithParamInterface<Link> {
protected:
    void SetUp() override {
        N4Test::SetUp();
        n4::SetQuestionInput(nullptr);
    }
    void TearDown() override {
        n4::SetQuestionInput(nullptr);
        std::remove(filePath().c_str());
        N4Test::TearDown();
    }

    // A new bench and controller for the next case of a table.
    void freshBench() {
        qvlib::LibraryDetach();
        bench = std::make_shared<qvsim::Bench>();
        qvp::useSim(bench);
        qvlib::LibraryAttach(false);
        ctl = std::make_shared<qvsim::Controller>();
        n4::ResetSettings();
        n4::ResetState();
        std::remove(debugPath().c_str());
        QuorvaneN4_SetLogFileA(debugPath().c_str());
        QuorvaneN4_SetDebug(4);
    }

    std::string filePath() const { return debugPath() + ".qvf"; }
    std::string write(const Bytes& bytes) const {
        std::ofstream f(filePath(), std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return filePath();
    }

    void plug(qvsim::ControllerProfile profile, Link link) {
        ctl->profile() = std::move(profile);
        if (link == Link::Hid) {
            addN4Hid();
        } else {
            addN4Serial();
            ASSERT_TRUE(n4::SetUartPath("/sim/ttyS0"));
        }
    }

    int update(const Bytes& file, uint32_t options = 1) {
        return QuorvaneN4_FirmwareUpdateExA(write(file).c_str(), options);
    }

    qvsim::BootFlash& boot() { return *ctl->profile().boot; }
    std::vector<qvsim::Packet> sentWith(uint8_t code) const {
        std::vector<qvsim::Packet> out;
        for (const auto& e : ctl->trace())
            if (e.packet[0] == code) out.push_back(e.packet);
        return out;
    }
    bool sentAny(std::initializer_list<uint8_t> codes) const {
        for (const auto& e : ctl->trace())
            if (std::find(codes.begin(), codes.end(), e.packet[0]) != codes.end()) return true;
        return false;
    }
};

// ---- every file kind --------------------------------------------------------------

// A package of `magic` whose images are stored in this order (kinds 1 and 2:
// entries 1, 0; kind 3: entries 1, 3, 0, 2), each with its own bytes.
Bytes PackageOf(const std::string& magic, size_t images, size_t n = 700) {
    fwtest::Package p;
    p.magic = magic;
    p.images.clear();
    for (size_t i = 0; i < images; ++i) p.images.push_back(Firmware(n, 5, uint8_t(1 + 40 * i)));
    return fwtest::package(p);
}

struct KindRow {
    const char* name;
    std::string magic;
    size_t images;
    uint8_t bootLoaderVersion;  // 9 and above: a new boot loader
    size_t stored;              // which stored image the master gets
};

class N4UpdateKinds : public N4Update {};

TEST_P(N4UpdateKinds, TheMasterGetsTheImageOfItsKindAndBootLoader) {
    const KindRow rows[] = {
        {"kind 0", "PFPF", 1, 0x10, 0},
        {"kind 1: the configuration image", "PFPC", 2, 0x10, 0},
        {"kind 2, new boot loader: entry 1", "PXPF", 2, 0x10, 0},
        {"kind 3, new boot loader: entry 1", "PXPC", 4, 0x10, 0},
        {"kind 1, old boot loader: still the configuration image", "PFPC", 2, 0x05, 0},
        {"kind 2, old boot loader: entry 0", "PXPF", 2, 0x05, 1},
        {"kind 3, old boot loader: entry 3", "PXPC", 4, 0x05, 1},
    };
    for (const KindRow& row : rows) {
        SCOPED_TRACE(row.name);
        freshBench();
        qvsim::ControllerProfile p = Updatable(256);
        p.customerBytes[0] = row.bootLoaderVersion;
        plug(p, GetParam());
        const Bytes file = PackageOf(row.magic, row.images);
        const auto laid = fwtest::readPackage(file);
        ASSERT_TRUE(laid);
        EXPECT_EQ(update(file), 1) << debugText();
        EXPECT_EQ(boot().flash, Flashed(laid->images[row.stored].data, 256));
        EXPECT_EQ(QuorvaneN4_GetUpdateStatus(), n4::kStatusMasterDone);
        EXPECT_EQ(QuorvaneN4_GetUpdateProgress(), 100);
        // What runs now is the image's version.
        EXPECT_EQ(ctl->profile().major, 2);
        EXPECT_EQ(ctl->profile().minor, 5);
    }
}

TEST_P(N4Update, AnImageFileWithEveryOptionAndTheWideFormsUpdateTheFirmware) {
    plug(Updatable(256), GetParam());
    const fwtest::Image im = Firmware(600);
    EXPECT_EQ(QuorvaneN4_FirmwareUpdateA(write(fwtest::image(im)).c_str()), 1) << debugText();
    EXPECT_EQ(boot().flash, Flashed(im.data, 256));
    // The summary names the file, the target and each image's version.
    EXPECT_EQ(count("File     : " + filePath() + "\r"), 1u);
    EXPECT_EQ(count("Target   : QV2081A\r"), 1u);
    EXPECT_EQ(count("Version  : 2.5.3.4\r"), 1u);

    const fwtest::Image next = Firmware(600, 6, 9);
    write(fwtest::image(next));
    const std::u16string wide = qvlib::Utf8ToWide(filePath());
    EXPECT_EQ(QuorvaneN4_FirmwareUpdateExW(wide.c_str(), n4::kUpdateFirmware), 1) << debugText();
    EXPECT_EQ(boot().flash, Flashed(next.data, 256));
    EXPECT_EQ(ctl->profile().minor, 6);
}

TEST_P(N4Update, APackageWithParametersEndsWithTheListsWrittenAndStatus512) {
    qvsim::ControllerProfile p = Updatable(256);
    p.featureF4 = {0x02, 0x00, 0x80, 0x00};  // the item protocol
    p.listDescriptor = std::array<uint8_t, 4>{0, 0, 16, 64};
    p.paramBanks[0x80] = Bytes(64, 0x11);
    p.paramBanks[0x90] = Bytes(16, 0x22);
    plug(p, GetParam());
    fwtest::Package pkg;
    pkg.images = {Firmware(600)};
    pkg.para.touch = Bytes(64, 0x33);
    pkg.para.boot = Bytes(16, 0x44);
    pkg.para.boot[14] = 0x22;  // the scan mode: the running controller keeps its own
    ASSERT_EQ(update(fwtest::package(pkg), n4::kUpdateFirmware | n4::kUpdateParameters), 1) << debugText();
    EXPECT_EQ(boot().flash, Flashed(pkg.images[0].data, 256));
    EXPECT_EQ(ctl->profile().paramBanks[0x80], pkg.para.touch);
    EXPECT_EQ(ctl->profile().paramBanks[0x90], pkg.para.boot);
    EXPECT_EQ(QuorvaneN4_GetUpdateStatus(), n4::kStatusParametersDone);
    EXPECT_EQ(QuorvaneN4_GetUpdateProgress(), 100);
}

// ---- blocks ------------------------------------------------------------------------

// The blocks as the controller received them: D0's block number and the first
// bytes of the packets up to D1.
struct BlockSeen {
    qvsim::Packet open;
    std::vector<uint8_t> counters;
};
std::vector<BlockSeen> BlocksSeen(qvsim::Controller& c) {
    std::vector<BlockSeen> out;
    bool inBlock = false;
    for (const auto& e : c.trace()) {
        const auto& k = e.packet;
        if (k[0] == 0xD0) {
            out.push_back({k, {}});
            inBlock = true;
        } else if (k[0] == 0xD1) {
            inBlock = false;
        } else if (inBlock && k[0] < 0x80) {
            out.back().counters.push_back(k[0]);
        }
    }
    return out;
}

struct BlockRow {
    size_t bytes;
    bool words;
};

class N4UpdateBlocks : public N4Update {};

TEST_P(N4UpdateBlocks, BlocksGoFromTheLastDownToZeroWholeWithTheirCountersAndChecksums) {
    constexpr size_t S = 1024;
    const BlockRow rows[] = {{3 * S, false}, {3 * S + 1, false}, {3 * S, true}, {3 * S + 1, true}};
    plug(Updatable(S), GetParam());
    uint8_t minor = 10;
    for (const BlockRow& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.bytes << " bytes, " << (row.words ? "word" : "byte") << " sums");
        boot().wordChecksum = row.words;
        boot().flash.clear();
        ctl->clearTrace();
        const fwtest::Image im = Firmware(row.bytes, minor++);
        ASSERT_EQ(update(fwtest::image(im)), 1) << debugText();
        EXPECT_EQ(boot().flash, Flashed(im.data, S));
        const auto blocks = BlocksSeen(*ctl);
        const size_t n = (row.bytes + S - 1) / S;
        ASSERT_EQ(blocks.size(), n);
        std::vector<uint8_t> counters;
        for (size_t i = 0; i < S / 4; ++i) counters.push_back(uint8_t(i % 128));
        for (size_t i = 0; i < n; ++i) {
            const uint16_t number = uint16_t(n - 1 - i);
            EXPECT_EQ(blocks[i].open, (qvsim::Packet{0xD0, uint8_t(number), uint8_t(number >> 8), 0, 0}));
            // Every block whole, its counter running 0..127 and again from 0.
            EXPECT_EQ(blocks[i].counters, counters);
        }
    }
}

TEST_F(N4Update, OutputReportsOfTheTransferSizeCarryTheBlocks) {
    qvsim::ControllerProfile p = Updatable(256);
    p.bootPacketSize = 64;
    plug(p, Link::Hid);
    const fwtest::Image im = Firmware(700);
    ASSERT_EQ(update(fwtest::image(im)), 1) << debugText();
    EXPECT_EQ(boot().flash, Flashed(im.data, 256));
    const auto& reports = bench->hid("/sim/hidraw0")->outputReports();
    ASSERT_EQ(reports.size(), 3u * 256 / 64);
    for (const auto& r : reports) EXPECT_EQ(r.size(), 64u);
    // No data packets: each block is D0, its reports and D1.
    for (const BlockSeen& b : BlocksSeen(*ctl)) EXPECT_TRUE(b.counters.empty());
}

// ---- slaves, dual boot, a running boot loader ---------------------------------------

TEST_P(N4Update, TheSlaveOfAnSVariantIsProgrammedBeforeTheMaster) {
    qvsim::ControllerProfile p = Updatable(256);
    p.slaveCount = 2;  // the master and one slave
    qvsim::SlaveProfile slave;
    slave.identityNumber = kProduct;
    slave.boot = qvsim::BootFlash{};
    p.slaves = {slave};
    plug(p, GetParam());
    const fwtest::Image master = SVariant(Firmware(600, 5, 1));
    fwtest::Image forSlave = SVariant(Firmware(500, 7, 77));
    fwtest::Package pkg;
    pkg.magic = "PFPC";
    pkg.images = {master, forSlave};  // entry 1 (the master's), entry 0 (the slave's)
    ASSERT_EQ(update(fwtest::package(pkg)), 1) << debugText();
    EXPECT_EQ(ctl->profile().slaves[0].boot->flash, Flashed(forSlave.data, 256));
    EXPECT_EQ(boot().flash, Flashed(master.data, 256));
    EXPECT_EQ(ctl->profile().slaves[0].minor, 7);
    EXPECT_EQ(ctl->profile().minor, 5);
    EXPECT_EQ(QuorvaneN4_GetUpdateStatus(), n4::kStatusMasterDone);
    // The slave selected, its blocks, back to the master, a reset, then the master's entry.
    std::vector<std::string> steps;
    for (const std::string& k : Hex(Received(*ctl)))
        if (k == "F4 00 00 00 01" || k == "F4 00 00 00 00" || k == "FE 00 00 00 00" || k == "FF AA 55 AA 55")
            steps.push_back(k);
    EXPECT_EQ(steps, (std::vector<std::string>{"F4 00 00 00 01", "FF AA 55 AA 55", "F4 00 00 00 00", "FE 00 00 00 00",
                                               "FE 00 00 00 00", "FF AA 55 AA 55"}));

    // Without a configuration image only the slaves are programmed.
    ctl->clearTrace();
    boot().flash.clear();
    forSlave = SVariant(Firmware(500, 8, 5));
    pkg.magic = "PFPF";
    pkg.images = {forSlave};
    ASSERT_EQ(update(fwtest::package(pkg)), 1) << debugText();
    EXPECT_EQ(ctl->profile().slaves[0].boot->flash, Flashed(forSlave.data, 256));
    EXPECT_TRUE(boot().flash.empty());
    EXPECT_EQ(QuorvaneN4_GetUpdateStatus(), n4::kStatusSlavesDone);
}

TEST_P(N4Update, ADualBootControllerIsErasedFirstAndLeftWithD8) {
    qvsim::ControllerProfile p = Updatable(256);
    p.dualBootState = 0xAA;
    plug(p, GetParam());
    const fwtest::Image im = Firmware(700);
    ASSERT_EQ(update(fwtest::image(im)), 1) << debugText();
    EXPECT_EQ(boot().flash, Flashed(im.data, 256));
    const auto hex = Hex(Received(*ctl));
    const auto erase = std::find(hex.begin(), hex.end(), "D4 00 AA 00 00");
    const auto firstBlock = std::find(hex.begin(), hex.end(), "D0 02 00 00 00");
    ASSERT_NE(erase, hex.end());
    EXPECT_LT(erase, firstBlock);
    const auto leave = std::find(hex.begin(), hex.end(), "D8 00 55 00 00");
    ASSERT_NE(leave, hex.end());
    EXPECT_GT(leave - hex.begin(), std::find(hex.begin(), hex.end(), "D0 00 00 00 00") - hex.begin());

    // With the second boot active, an image whose format byte has bit 6 leaves block 0 alone.
    ctl->profile().dualBootState = 0xBB;
    ctl->clearTrace();
    fwtest::Image keep = Firmware(700, 6);
    keep.byte22 = 0x50;  // bit 6, in a format every loader takes
    keep = Sealed(keep);
    update(fwtest::image(keep));
    std::vector<std::string> opened;
    for (const BlockSeen& b : BlocksSeen(*ctl)) opened.push_back(Hex(b.open));
    EXPECT_EQ(opened, (std::vector<std::string>{"D0 02 00 00 00", "D0 01 00 00 00"}));
}

TEST_P(N4Update, AControllerAlreadyInItsBootLoaderSkipsTheEntry) {
    qvsim::ControllerProfile p = Updatable(256);
    p.inBoot = true;
    plug(p, GetParam());
    const fwtest::Image im = Firmware(700);
    ASSERT_EQ(update(fwtest::image(im)), 1) << debugText();
    EXPECT_EQ(boot().flash, Flashed(im.data, 256));
    EXPECT_TRUE(sentWith(0xFF).empty());
    EXPECT_EQ(count("* Device already in bootloader !!"), 1u);
}

// ---- the old-boot-loader question ------------------------------------------------

struct QuestionRow {
    const char* name;
    int level;
    const char* input;  // nullptr: not asked
    bool updates;
};

TEST_P(N4Update, TheOldBootLoaderQuestion) {
    const QuestionRow rows[] = {
        {"'n'", 2, "\nn\n", false},
        {"end of input", 2, "", false},
        {"'y'", 2, " Y\n", true},
        {"debug level 0: yes", 0, nullptr, true},
    };
    qvsim::ControllerProfile p = Updatable(256);
    p.stateEx = {0x80, 0, 0, 0};  // the running image needs the old loader
    plug(p, GetParam());
    uint8_t minor = 10;
    for (const QuestionRow& row : rows) {
        SCOPED_TRACE(row.name);
        ctl->clearTrace();
        boot().flash.clear();
        QuorvaneN4_SetDebug(row.level);
        std::FILE* in = nullptr;
        if (row.input) {
            const std::string path = filePath() + ".answer";
            std::ofstream(path) << row.input;
            in = std::fopen(path.c_str(), "r");
            n4::SetQuestionInput(in);
        }
        const fwtest::Image im = Firmware(700, minor++);
        const int result = update(fwtest::image(im));
        n4::SetQuestionInput(nullptr);
        if (in) std::fclose(in);
        if (row.updates) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(boot().flash, Flashed(im.data, 256));
            EXPECT_EQ(sentWith(0xFF).front(), (qvsim::Packet{0xFF, 0xBB, 0x44, 0xBB, 0x44}));
        } else {
            // Refused by the operator: no error bit, and not one flash command.
            EXPECT_EQ(result, 0);
            EXPECT_FALSE(sentAny({0xFF, 0xD0, 0xD1, 0xD4}));
            EXPECT_TRUE(boot().flash.empty());
        }
    }
}

// ---- failures -------------------------------------------------------------------------

TEST_P(N4Update, NoPathAndASecondUpdateAreRefusedWithoutErrorBits) {
    plug(Updatable(256), GetParam());
    EXPECT_EQ(QuorvaneN4_FirmwareUpdateExA("", 1), 0);
    EXPECT_EQ(QuorvaneN4_GetUpdateStatus(), n4::kStatusFileMissing);
    EXPECT_EQ(QuorvaneN4_FirmwareUpdateExA(nullptr, 1), 0);

    const std::string path = write(fwtest::image(Firmware(700)));
    ctl->clearTrace();
    n4::UpdateState().running = true;  // another update runs
    EXPECT_EQ(QuorvaneN4_FirmwareUpdateExA(path.c_str(), 1), 0);
    n4::UpdateState().running = false;
    EXPECT_TRUE(ctl->trace().empty());
    EXPECT_TRUE(boot().flash.empty());
}

// A failure of the engine: what the controller or the file is, what goes wrong
// (a fault set before the update, or the controller gone right after it took
// the first command matching `cut` as a clean run sent them), the error bits and the status.
struct FailureRow {
    const char* name;
    std::function<void(qvsim::ControllerProfile&, fwtest::Image&)> setUp;
    std::function<void(qvsim::Controller&)> fault;
    std::function<bool(const qvsim::Packet&)> cut;
    uint32_t bits;
    int status;  // -1: not checked
};

qvsim::PacketPrefix Exactly(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint8_t e) {
    return qvsim::PacketPrefix::exact(qvsim::Packet{a, b, c, d, e});
}

const FailureRow kFailures[] = {
    {"another product letter", [](auto&, auto& im) { im.letter = 2; }, nullptr, nullptr, n4::kErrFileInvalid, -1},
    {"the master's EB unanswered", nullptr, [](auto& c) { c.refuse(0xEB); }, nullptr, n4::kErrMasterVersion, -1},
    {"the master's ED unanswered", nullptr, [](auto& c) { c.refuse(0xED); }, nullptr, n4::kErrMasterVersion, -1},
    {"the controller runs another version afterwards",
     [](auto& p, auto&) { p.boot->image = qvsim::FirmwareIdentity{2, 9, 0, 3, 4}; }, nullptr, nullptr,
     n4::kErrMaster, n4::kStatusMasterFailed},
    {"the boot loader's entry refused", nullptr, [](auto& c) { c.refuse(0xFF); }, nullptr,
     n4::kErrEnterBoot | n4::kErrMaster, n4::kStatusMasterFailed},
    {"block 1's checksum refused", [](auto& p, auto&) { p.boot->d1Failures[1] = -1; }, nullptr, nullptr,
     n4::kErrBlockChecksum | n4::kErrMaster, n4::kStatusMasterFailed},
    {"a data packet that cannot go out", nullptr, nullptr, [](const qvsim::Packet& k) { return k[0] < 0x80; },
     n4::kErrBlockData | n4::kErrMaster, n4::kStatusMasterFailed},
    // (a serial line keeps the answer the controller gave before it went: it is silent there)
    {"the dual boot's erase unanswered", [](auto& p, auto&) { p.dualBootState = 0xAA; },
     [](auto& c) { c.silence(Exactly(0xD4, 0x00, 0xAA, 0x00, 0x00)); },
     [](const qvsim::Packet& k) { return k[0] == 0xD4; }, n4::kErrErase | n4::kErrMaster, n4::kStatusMasterFailed},
    {"a format the loader does not take",
     [](auto& p, auto& im) {
         p.boot->formats = {0x10};
         im.byte22 = 0x20;
     },
     nullptr, nullptr, n4::kErrBootIncompatible | n4::kErrMaster, n4::kStatusMasterFailed},
    {"a newer-format file for an old loader",
     [](auto& p, auto& im) {
         p.customerBytes[0] = 5;
         im.magic = "PNFF";
     },
     nullptr, nullptr, n4::kErrBootIncompatible | n4::kErrMaster, n4::kStatusMasterFailed},
    {"no block size", nullptr, [](auto& c) { c.refuse(0xD2); }, nullptr, n4::kErrBlockSize | n4::kErrMaster,
     n4::kStatusMasterFailed},
    {"block size 0", [](auto& p, auto&) { p.d2Reply = {0, 0, 0, 0}; }, nullptr, nullptr,
     n4::kErrBlockSize | n4::kErrMaster, n4::kStatusMasterFailed},
};

TEST_P(N4Update, EachFailureSetsItsErrorBits) {
    for (const FailureRow& row : kFailures) {
        SCOPED_TRACE(row.name);
        freshBench();
        qvsim::ControllerProfile p = Updatable(256);
        fwtest::Image im = Firmware(700);
        if (row.setUp) row.setUp(p, im);
        im = Sealed(im);
        plug(p, GetParam());
        if (row.cut) {
            // A clean run shows where the command comes; the same update again
            // loses the controller there.
            ASSERT_EQ(update(fwtest::image(im)), 1) << debugText();
            const auto trace = Received(*ctl);
            const auto at = std::find_if(trace.begin(), trace.end(), row.cut);
            ASSERT_NE(at, trace.end());
            ctl->clearTrace();
            ctl->disconnectAfter(int(at - trace.begin()) + 1);
        }
        if (row.fault) row.fault(*ctl);
        EXPECT_EQ(update(fwtest::image(im)), -int(row.bits)) << debugText();
        if (row.status >= 0) {
            EXPECT_EQ(QuorvaneN4_GetUpdateStatus(), row.status);
        }
    }
}

// A serial line still delivers the answer the controller gave before it went,
// so the controller gone after block 0's checksum leaves only D8 unsent.
TEST_F(N4Update, ADualBootLoaderThatCannotBeLeftOnTheSerialLine) {
    qvsim::ControllerProfile p = Updatable(256);
    p.dualBootState = 0xAA;
    plug(p, Link::Uart);
    const fwtest::Image im = Firmware(700);
    ASSERT_EQ(update(fwtest::image(im)), 1) << debugText();
    const auto trace = Received(*ctl);
    const auto d8 = std::find(trace.begin(), trace.end(), qvsim::Packet{0xD8, 0x00, 0x55, 0x00, 0x00});
    ASSERT_NE(d8, trace.end());
    ctl->clearTrace();
    ctl->disconnectAfter(int(d8 - trace.begin()));
    EXPECT_EQ(update(fwtest::image(im)), -int(n4::kErrLeaveBoot | n4::kErrMaster)) << debugText();
    EXPECT_EQ(QuorvaneN4_GetUpdateStatus(), n4::kStatusMasterFailed);
}

TEST_P(N4Update, AFileThatCannotBeReadOrIsInvalid) {
    plug(Updatable(256), GetParam());
    EXPECT_EQ(QuorvaneN4_FirmwareUpdateExA((filePath() + ".missing").c_str(), 1), -int(n4::kErrOpenFile));
    EXPECT_EQ(QuorvaneN4_GetUpdateStatus(), n4::kStatusFileMissing);
    fwtest::Image broken = Firmware(700);
    broken.trailerDelta = 1;
    EXPECT_EQ(update(fwtest::image(broken)), -int(n4::kErrFileInvalid));
    EXPECT_EQ(QuorvaneN4_GetUpdateStatus(), n4::kStatusFileMissing);
    EXPECT_FALSE(sentAny({0xFF, 0xD0}));
}

TEST_P(N4Update, ScanningThatWillNotStopIsNotedAndTheEntryAsksAgainAfterTheErrorReply) {
    qvsim::ControllerProfile p = Updatable(256);
    p.boot->entryNeedsQuiet = true;
    plug(p, GetParam());
    // The first three stops do not take: the controller still scans at the entry.
    ctl->setReply(Exactly(0xF0, 0, 0, 0, 0), qvsim::Packet{0xF0, 0, 0, 0, 0}, 3);
    const fwtest::Image im = Firmware(700);
    EXPECT_EQ(update(fwtest::image(im)), 1) << debugText();
    EXPECT_EQ(n4::UpdateState().errors.load(), n4::kErrScanState);
    EXPECT_EQ(count("* {INFO} Disable scanning before firmware update !!"), 1u);
    EXPECT_EQ(boot().flash, Flashed(im.data, 256));
}

TEST_P(N4Update, SlaveFailures) {
    struct Row {
        const char* name;
        std::function<void(qvsim::Controller&)> fault;
        uint32_t bits;
    };
    const Row rows[] = {
        {"the slave cannot be selected", [](auto& c) { c.refuse(Exactly(0xF4, 0, 0, 0, 1)); }, n4::kErrSwitchSlave},
        {"the slave's block 1 fails",
         [](auto& c) { c.profile().slaves[0].boot->d1Failures[1] = -1; }, n4::kErrSlave | n4::kErrBlockChecksum},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        freshBench();
        qvsim::ControllerProfile p = Updatable(256);
        p.slaveCount = 2;
        qvsim::SlaveProfile slave;
        slave.boot = qvsim::BootFlash{};
        p.slaves = {slave};
        plug(p, GetParam());
        row.fault(*ctl);
        const fwtest::Image im = SVariant(Firmware(700));
        EXPECT_EQ(update(fwtest::image(im)), -int(row.bits)) << debugText();
        EXPECT_EQ(QuorvaneN4_GetUpdateStatus(), n4::kStatusSlavesFailed);
        EXPECT_TRUE(boot().flash.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Links, N4Update, ::testing::Values(Link::Hid, Link::Uart), LinkName);
INSTANTIATE_TEST_SUITE_P(Links, N4UpdateKinds, ::testing::Values(Link::Hid, Link::Uart), LinkName);
INSTANTIATE_TEST_SUITE_P(Links, N4UpdateBlocks, ::testing::Values(Link::Hid, Link::Uart), LinkName);

}  // namespace
}  // namespace qvtest
