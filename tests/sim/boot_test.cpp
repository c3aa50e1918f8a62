// The simulated boot loader and flash: entry pairs, block writes in packets and
// output reports, both checksum kinds, erased blocks, leaving only with a whole
// flash, slaves with their own loader, faults.

#include "firmware_writer_support.h"
#include "sim_support.h"

#include <gtest/gtest.h>

#include <numeric>

using qvsim::Controller;
using qvsim::ControllerProfile;
using qvsim::Packet;

namespace {

constexpr uint32_t kB = 16;  // block size of these tests (D2 bytes 1..3)

ControllerProfile bootable(bool words = false) {
    ControllerProfile p;
    p.identityNumber = 6020;
    p.major = 2;
    p.minor = 5;
    p.boot = qvsim::BootFlash{};
    p.boot->wordChecksum = words;
    p.boot->image = qvsim::FirmwareIdentity{3, 7, 1, 0x12, 0x34};
    p.d2Reply = {uint8_t(kB), 0, 0, 0};
    return p;
}

using simtest::ask;

void enterBoot(Controller& c) {
    ASSERT_EQ(ask(c, {0xFF, 0xAA, 0x55, 0xAA, 0x55}), (Packet{0xFF, 0xAA, 0x55, 0xAA, 0x55}));
    ASSERT_EQ(ask(c, {0xFF, 0x55, 0xAA, 0x55, 0xAA}), (Packet{0xFF, 0x55, 0xAA, 0x55, 0xAA}));
}

uint16_t sumOf(const std::vector<uint8_t>& b, bool words) {
    uint32_t s = 0;
    for (size_t i = 0; i < b.size(); ++i) s += (words && (i & 1)) ? b[i] * 256u : b[i];
    return uint16_t(~s);
}

// Block n of image (0xFF past its end): D0, packets, D1; the D1 answer.
std::optional<Packet> writeBlock(Controller& c, const std::vector<uint8_t>& image, uint32_t n, bool words,
                                 std::optional<uint16_t> checksum = std::nullopt) {
    std::vector<uint8_t> b(kB, 0xFF);
    for (uint32_t i = 0; i < kB && n * kB + i < image.size(); ++i) b[i] = image[n * kB + i];
    const bool erased = std::all_of(b.begin(), b.end(), [](uint8_t x) { return x == 0xFF; });
    const uint8_t f = erased ? 0xFF : 0x00;
    EXPECT_EQ(ask(c, {0xD0, uint8_t(n), uint8_t(n >> 8), f, f}).value()[0], 0xD0);
    if (!erased)
        for (uint32_t i = 0; i < kB; i += 4) ask(c, {uint8_t((i / 4) % 128), b[i], b[i + 1], b[i + 2], b[i + 3]});
    const uint16_t sum = checksum.value_or(sumOf(b, words));
    return ask(c, {0xD1, 0x00, 0x00, uint8_t(sum), uint8_t(sum >> 8)});
}

std::vector<uint8_t> image(size_t n) {
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), uint8_t(1));
    return v;
}

TEST(SimBoot, EntryPairsOfBothKindsStartTheLoaderAndAnotherPacketDisarms) {
    for (uint8_t a : {0xAA, 0xBB}) {
        const uint8_t b = a == 0xAA ? 0x55 : 0x44;
        Controller c(bootable());
        ask(c, {0xFF, a, b, a, b});
        ask(c, {0xEF, 0, 0, 0, 0});  // the pair broken
        ask(c, {0xFF, b, a, b, a});
        EXPECT_FALSE(c.profile().inBoot);
        ask(c, {0xFF, a, b, a, b});
        ask(c, {0xFF, b, a, b, a});
        EXPECT_TRUE(c.profile().inBoot);
        EXPECT_EQ(ask(c, {0xED, 0, 0, 0, 0}).value()[3], 0x55);
        EXPECT_EQ(ask(c, {0xED, 0, 0, 0, 0}).value()[4], 0xAA);
    }
    // Without a loader the pair is refused as before; D-commands outside the loader too.
    Controller plain;
    EXPECT_EQ(ask(plain, {0xFF, 0xAA, 0x55, 0xAA, 0x55}).value()[0], 0xAA);
    Controller idle(bootable());
    EXPECT_EQ(ask(idle, {0xD0, 0, 0, 0, 0}).value()[0], 0xAA);
}

TEST(SimBoot, AWholeImageIsWrittenInBothSumKindsAndTheNewFirmwareRuns) {
    for (bool words : {false, true}) {
        Controller c(bootable(words));
        enterBoot(c);
        EXPECT_EQ(ask(c, {0xD9, 0, 0, 0, 0}), (Packet{0xD9, 0, 0, uint8_t(words ? 0x02 : 0x00), 0}));
        const auto img = image(2 * kB + 5);  // three blocks, the last with a 0xFF tail
        for (uint32_t n = 3; n-- > 0;) EXPECT_EQ(writeBlock(c, img, n, words), (Packet{0xD1, 0, 0, 0, 0})) << n;
        auto expect = img;
        expect.resize(3 * kB, 0xFF);
        EXPECT_EQ(c.profile().boot->flash, expect);
        EXPECT_FALSE(c.profile().inBoot);  // a new loader leaves after block 0
        EXPECT_EQ(c.profile().major, 3);
        EXPECT_EQ(c.profile().minor, 7);
        EXPECT_EQ(c.profile().boot->blockWrites.size(), 3u);
    }
}

// The chip runs what it was flashed with: the version of the image header its
// program begins with; a program without a valid header leaves the version as
// it was, and an injected identity runs whatever the flash holds.
TEST(SimBoot, TheFlashedProgramsHeaderNamesTheFirmwareThatRuns) {
    fwtest::Image named;
    named.product = 6020;
    named.major = 4;
    named.minor = 9;
    named.customer = 2;
    named.build1 = 7;
    named.build2 = 3;
    named.data = image(3 * kB);
    const fwtest::Bytes h = fwtest::header(named);
    std::copy(h.begin(), h.end(), named.data.begin());
    fwtest::Image oldHeader = named;  // header version 15: 16 bytes, no build bytes
    oldHeader.headerVersion = 15;
    const fwtest::Bytes h15 = fwtest::header(oldHeader);
    oldHeader.data = image(3 * kB);
    std::copy(h15.begin(), h15.end(), oldHeader.data.begin());
    auto broken = named.data;
    broken[31] ^= 0x01;  // the header's own sum
    struct Case {
        const char* name;
        std::vector<uint8_t> program;
        std::optional<qvsim::FirmwareIdentity> injected;
        std::array<uint8_t, 5> runs;  // major, minor, customer, build A, build B
    } cases[] = {
        {"header", named.data, std::nullopt, {4, 9, 2, 7, 3}},
        {"header version 15", oldHeader.data, std::nullopt, {4, 9, 2, 0, 0}},
        {"broken header", broken, std::nullopt, {2, 5, 0, 0, 0}},
        {"no header", image(3 * kB), std::nullopt, {2, 5, 0, 0, 0}},
        {"injected", named.data, qvsim::FirmwareIdentity{3, 7, 1, 0x12, 0x34}, {3, 7, 1, 0x12, 0x34}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        auto p = bootable();
        p.boot->image = k.injected;
        Controller c(p);
        enterBoot(c);
        for (uint32_t n = 3; n-- > 0;) EXPECT_EQ(writeBlock(c, k.program, n, false), (Packet{0xD1, 0, 0, 0, 0})) << n;
        EXPECT_FALSE(c.profile().inBoot);
        const auto& r = c.profile();
        EXPECT_EQ((std::array<uint8_t, 5>{r.major, r.minor, r.customer, r.buildA, r.buildB}), k.runs);
    }
}

TEST(SimBoot, D1ChecksTheSumKindTheLoaderReported) {
    Controller c(bootable(true));
    enterBoot(c);
    const auto img = image(kB);
    std::vector<uint8_t> b(img);
    // The byte sum where the loader wants the word sum fails; byte 4 = 1.
    EXPECT_EQ(writeBlock(c, img, 0, true, sumOf(b, false)), (Packet{0xD1, 0, 0, 0, 1}));
    EXPECT_TRUE(c.profile().boot->flash.empty());
    EXPECT_TRUE(c.profile().inBoot);
}

TEST(SimBoot, AnErasedBlockTakesNoDataAndTheFixedChecksum) {
    for (bool words : {false, true}) {
        Controller c(bootable(words));
        enterBoot(c);
        std::vector<uint8_t> img(2 * kB, 0xFF);
        for (uint32_t i = 0; i < kB; ++i) img[i] = uint8_t(i);
        const uint16_t fixed = words ? uint16_t(~((kB / 2) * 0xFFFFu)) : uint16_t(~(kB * 255u));
        EXPECT_EQ(writeBlock(c, img, 1, words, fixed), (Packet{0xD1, 0, 0, 0, 0}));
        EXPECT_EQ(writeBlock(c, img, 0, words), (Packet{0xD1, 0, 0, 0, 0}));
        EXPECT_EQ(c.profile().boot->flash, img);
        // A packet while an erased block is open is refused.
        Controller d(bootable(words));
        enterBoot(d);
        ask(d, {0xD0, 1, 0, 0xFF, 0xFF});
        EXPECT_EQ(ask(d, {0x00, 1, 2, 3, 4}).value()[0], 0xAA);
    }
}

TEST(SimBoot, TheLoaderLeavesOnlyWithEveryBlockWritten) {
    Controller c(bootable());
    enterBoot(c);
    const auto img = image(3 * kB);
    writeBlock(c, img, 2, false);
    writeBlock(c, img, 0, false);  // block 1 missing
    ask(c, {0xD8, 0x00, 0x55, 0x00, 0x00});
    EXPECT_TRUE(c.profile().inBoot);
    EXPECT_EQ(c.profile().major, 2);  // the old version
    writeBlock(c, img, 1, false);
    ask(c, {0xD8, 0x00, 0x55, 0x00, 0x00});
    EXPECT_FALSE(c.profile().inBoot);
    EXPECT_EQ(c.profile().major, 3);

    // An old loader stays through D8 and leaves on the reset.
    auto p = bootable();
    p.boot->oldLoader = true;
    Controller old(p);
    enterBoot(old);
    writeBlock(old, img, 0, false);
    EXPECT_TRUE(old.profile().inBoot);
    ask(old, {0xFE, 0, 0, 0, 0});
    EXPECT_FALSE(old.profile().inBoot);  // block 0 was the session's whole image
    EXPECT_EQ(old.profile().major, 3);
}

TEST(SimBoot, FaultsOfTheLoader) {
    // D1 of block 1 fails twice, then takes the block.
    auto p = bootable();
    p.boot->d1Failures[1] = 2;
    Controller c(p);
    enterBoot(c);
    const auto img = image(2 * kB);
    EXPECT_EQ(writeBlock(c, img, 1, false).value()[4], 1);
    EXPECT_EQ(writeBlock(c, img, 1, false).value()[4], 1);
    EXPECT_EQ(writeBlock(c, img, 1, false).value()[4], 0);
    // A data packet out of sequence spoils the block.
    ask(c, {0xD0, 0, 0, 0, 0});
    ask(c, {0x01, 1, 2, 3, 4});
    EXPECT_EQ(ask(c, {0xD1, 0, 0, 0, 0}).value()[4], 1);
    // While a dual boot's second boot runs, block 0 is skipped (byte 4 = 4).
    auto q = bootable();
    q.dualBootState = 0xBB;
    Controller d(q);
    enterBoot(d);
    EXPECT_EQ(ask(d, {0xD0, 0, 0, 0, 0}).value()[4], 4);
    // The boot mark hidden; the n-th command from now refused, then silent.
    auto h = bootable();
    h.boot->hideBootMark = true;
    Controller e(h);
    enterBoot(e);
    EXPECT_NE(ask(e, {0xED, 0, 0, 0, 0}).value()[3], 0x55);
    e.faultAt(2, false);
    EXPECT_EQ(ask(e, {0xEF, 0, 0, 0, 0}).value()[0], 0xEF);
    EXPECT_EQ(ask(e, {0xEF, 0, 0, 0, 0}).value()[0], 0xAA);
    EXPECT_EQ(ask(e, {0xEF, 0, 0, 0, 0}).value()[0], 0xEF);
    e.faultAt(1, true);
    EXPECT_FALSE(ask(e, {0xEF, 0, 0, 0, 0}));
}

TEST(SimBoot, ASelectedSlaveHasItsOwnLoaderAndShowsItsVersionAfterTheMastersReset) {
    auto p = bootable();
    p.boot->image.reset();
    qvsim::SlaveProfile s;
    s.major = 1;
    s.minor = 2;
    s.boot = qvsim::BootFlash{};
    s.boot->image = qvsim::FirmwareIdentity{4, 1, 0, 0, 0};
    p.slaves.push_back(s);
    p.slaveCount = 2;
    Controller c(p);
    ASSERT_EQ(ask(c, {0xF4, 0x00, 0x00, 0x00, 0x01}).value()[0], 0xF4);
    enterBoot(c);
    EXPECT_TRUE(c.profile().slaves[0].inBoot);
    EXPECT_FALSE(c.profile().inBoot);
    const auto img = image(kB);
    EXPECT_EQ(writeBlock(c, img, 0, false), (Packet{0xD1, 0, 0, 0, 0}));
    EXPECT_EQ(c.profile().slaves[0].boot->flash, img);
    EXPECT_TRUE(c.profile().boot->flash.empty());
    EXPECT_FALSE(c.profile().slaves[0].inBoot);
    EXPECT_EQ(c.profile().slaves[0].major, 1);  // not before the master's reset
    ask(c, {0xF4, 0x00, 0x00, 0x00, 0x00});     // back to the master
    EXPECT_EQ(ask(c, {0xD0, 0, 0, 0, 0}).value()[0], 0xAA);  // the master is not in boot
    ask(c, {0xFE, 0, 0, 0, 0});
    EXPECT_EQ(c.profile().slaves[0].major, 4);
    EXPECT_EQ(c.profile().slaves[0].minor, 1);
}

TEST(SimBoot, OutputReportsCarryBlockDataAndTheLoaderReenumerates) {
    qvsim::Bench bench;
    auto p = bootable();
    p.boot->reenumerateOnBoot = true;
    p.boot->image = qvsim::FirmwareIdentity{3, 7, 0, 0, 0};
    qvsim::HidInfo info;
    info.path = "/sim/hidraw0";
    bench.addHid(std::make_shared<Controller>(p), info);
    std::vector<bool> events;
    bench.watch([&](const qvsim::DeviceEvent& e) { events.push_back(e.arrival); });
    auto cmd = [&](const Packet& c) {
        qvsim::HidDevice* d = bench.hid("/sim/hidraw0");
        uint8_t r[6] = {0, c[0], c[1], c[2], c[3], c[4]};
        EXPECT_EQ(d->setFeature(r, 6), qvsim::XferError::None);
        EXPECT_EQ(d->getFeature(r, 6), qvsim::XferError::None);
        return Packet{r[1], r[2], r[3], r[4], r[5]};
    };
    cmd({0xFF, 0xAA, 0x55, 0xAA, 0x55});
    cmd({0xFF, 0x55, 0xAA, 0x55, 0xAA});
    EXPECT_EQ(events, (std::vector<bool>{false, true}));  // left the bus and came back
    const auto img = image(kB);
    cmd({0xD0, 0, 0, 0, 0});
    for (uint32_t at = 0; at < kB; at += 8) {
        uint8_t r[9] = {0};
        std::copy_n(img.begin() + at, 8, r + 1);
        EXPECT_EQ(bench.hid("/sim/hidraw0")->setOutput(r, 9), qvsim::XferError::None);
    }
    const uint16_t sum = sumOf(img, false);
    EXPECT_EQ(cmd({0xD1, 0, 0, uint8_t(sum), uint8_t(sum >> 8)}), (Packet{0xD1, 0, 0, 0, 0}));
    auto& ctl = bench.hid("/sim/hidraw0")->controller();
    EXPECT_EQ(ctl.profile().boot->flash, img);
    EXPECT_EQ(events, (std::vector<bool>{false, true, false, true}));
    EXPECT_EQ(cmd({0xED, 0, 0, 0, 0})[1], 7);  // the new firmware answers
}

TEST(SimBoot, TheBaudCodeF2WritesIsReadBack) {
    Controller c(bootable());
    EXPECT_EQ(ask(c, {0xF2, 0, 0, 0, 3}), (Packet{0xF2, 0, 0, 0, 3}));
    EXPECT_EQ(ask(c, {0xE0, 0x00, 0x02, 0x00, 0x00}).value()[4], 3);
}

TEST(SimBoot, ProfileKeysSetTheLoader) {
    Controller c(ControllerProfile{});
    std::string error;
    EXPECT_FALSE(qvsim::setControllerKey(c, "bootWordChecksum", "1", &error));
    EXPECT_TRUE(qvsim::setControllerKey(c, "bootLoader", "old", &error)) << error;
    EXPECT_TRUE(qvsim::setControllerKey(c, "bootWordChecksum", "1", &error)) << error;
    EXPECT_TRUE(qvsim::setControllerKey(c, "bootImage", "3 1 0 0 0", &error)) << error;
    EXPECT_TRUE(qvsim::setControllerKey(c, "bootD1Fail", "5 -1", &error)) << error;
    ASSERT_TRUE(c.profile().boot);
    EXPECT_TRUE(c.profile().boot->oldLoader);
    EXPECT_TRUE(c.profile().boot->wordChecksum);
    EXPECT_EQ(c.profile().boot->d1Failures.at(5), -1);
    EXPECT_FALSE(qvsim::setControllerKey(c, "bootLoader", "maybe", &error));
}

}  // namespace

namespace {

TEST(SimBootExit, AfterTheLoaderTheChipAnswersStaysSilentOrIsGone) {
    using Exit = qvsim::BootFlash::Exit;
    for (Exit exit : {Exit::Back, Exit::Silent, Exit::Never}) {
        auto p = bootable();
        p.boot->exit = exit;
        Controller c(p);
        enterBoot(c);
        // The answer that ends the loader still arrives.
        EXPECT_EQ(writeBlock(c, image(kB), 0, false), (Packet{0xD1, 0, 0, 0, 0}));
        const auto next = ask(c, {0xED, 0, 0, 0, 0});
        EXPECT_EQ(next.has_value(), exit == Exit::Back);
        EXPECT_EQ(c.connected(), exit != Exit::Never);
    }
    Controller k(ControllerProfile{});
    std::string error;
    EXPECT_TRUE(qvsim::setControllerKey(k, "bootLoader", "new", &error));
    EXPECT_TRUE(qvsim::setControllerKey(k, "bootExit", "silent", &error)) << error;
    EXPECT_EQ(k.profile().boot->exit, Exit::Silent);
    EXPECT_FALSE(qvsim::setControllerKey(k, "bootExit", "later", &error));
}

}  // namespace

namespace {

TEST(SimBootExit, RuntimeFaultKeysReachTheController) {
    Controller c(bootable());
    std::string error;
    EXPECT_TRUE(qvsim::setControllerKey(c, "faultAt", "2 refuse", &error)) << error;
    EXPECT_EQ(ask(c, {0xEF, 0, 0, 0, 0}).value()[0], 0xEF);
    EXPECT_EQ(ask(c, {0xEF, 0, 0, 0, 0}).value()[0], 0xAA);
    EXPECT_TRUE(qvsim::setControllerKey(c, "disconnectAfter", "1", &error)) << error;
    ask(c, {0xEF, 0, 0, 0, 0});
    EXPECT_FALSE(c.connected());
    EXPECT_TRUE(qvsim::setControllerKey(c, "reconnect", "1", &error)) << error;
    EXPECT_TRUE(c.connected());
    EXPECT_FALSE(qvsim::setControllerKey(c, "faultAt", "2 maybe", &error));
}

}  // namespace

namespace {

// A controller that left the bus on boot entry arrives at once, at the K-th
// host listing, at the first listing past its delay, or never; set as a key.
TEST(SimBootExit, TheReenumeratedChipArrivesAtOnceAfterListingsAfterADelayOrNever) {
    using Arrival = ControllerProfile::Reenumeration::Arrival;
    struct Case {
        const char* value;
        Arrival arrival;
        int listingsBefore;  // listings that still miss it (-1: it never arrives)
        uint64_t advanceMs;  // virtual time passed before each listing
    };
    for (const Case& k : {Case{"now", Arrival::AtOnce, 0, 0}, Case{"enumerations 3", Arrival::AfterEnumerations, 2, 0},
                          Case{"delay 2500", Arrival::AfterMs, 2, 1000}, Case{"never", Arrival::Never, -1, 1000}}) {
        SCOPED_TRACE(k.value);
        qvsim::Bench bench;
        auto p = bootable();
        p.boot->reenumerateOnBoot = true;
        auto c = std::make_shared<Controller>(p);
        std::string error;
        ASSERT_TRUE(qvsim::setControllerKey(*c, "reenumerateArrival", k.value, &error)) << error;
        EXPECT_EQ(c->profile().reenumeration.arrival, k.arrival);
        qvsim::HidInfo info;
        info.path = "/sim/hidraw0";
        bench.addHid(c, info);
        int arrivals = 0;
        bench.watch([&](const qvsim::DeviceEvent& e) { arrivals += e.arrival ? 1 : 0; });
        for (const Packet& cmd : {Packet{0xFF, 0xAA, 0x55, 0xAA, 0x55}, Packet{0xFF, 0x55, 0xAA, 0x55, 0xAA}}) {
            qvsim::HidDevice* d = bench.hid("/sim/hidraw0");
            ASSERT_NE(d, nullptr);
            uint8_t r[6] = {0, cmd[0], cmd[1], cmd[2], cmd[3], cmd[4]};
            ASSERT_EQ(d->setFeature(r, 6), qvsim::XferError::None);
            ASSERT_EQ(d->getFeature(r, 6), qvsim::XferError::None);
        }
        int listings = 0;
        while (!bench.hid("/sim/hidraw0") && listings < 20) {
            bench.clock().advance(k.advanceMs);
            bench.enumerated();
            ++listings;
        }
        if (k.listingsBefore < 0) {
            EXPECT_EQ(bench.hid("/sim/hidraw0"), nullptr);
            EXPECT_EQ(arrivals, 0);
        } else {
            ASSERT_NE(bench.hid("/sim/hidraw0"), nullptr);
            EXPECT_EQ(listings, k.listingsBefore == 0 ? 0 : k.listingsBefore + 1);
            EXPECT_EQ(arrivals, 1);
            EXPECT_TRUE(bench.hid("/sim/hidraw0")->controller().profile().inBoot);
        }
    }
    Controller bad(ControllerProfile{});
    std::string error;
    EXPECT_FALSE(qvsim::setControllerKey(bad, "reenumerateArrival", "later", &error));
    EXPECT_FALSE(qvsim::setControllerKey(bad, "reenumerateArrival", "delay", &error));
}

}  // namespace

namespace {

// A loader that needs a quiet controller answers the FF entry with the error
// reply while the controller scans; stopping the scan lets the pair through,
// and scanning again brings the error back.
TEST(SimBootEntry, WhileScanningTheEntryGetsTheErrorReplyUntilScanningStops) {
    const Packet first{0xFF, 0xAA, 0x55, 0xAA, 0x55}, second{0xFF, 0x55, 0xAA, 0x55, 0xAA};
    const Packet error{0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
    auto p = bootable();
    p.boot->entryNeedsQuiet = true;
    p.stateF0 = {0, 0, 0, 0x01};  // scanning
    Controller c(p);
    EXPECT_EQ(ask(c, first), error);
    EXPECT_EQ(ask(c, {0xFF, 0xBB, 0x44, 0xBB, 0x44}), error);
    ask(c, second);
    EXPECT_FALSE(c.profile().inBoot);
    ask(c, {0xF1, 0, 0, 0, 1});  // the data report is no scan switch
    EXPECT_EQ(ask(c, first), error);
    ask(c, {0xF0, 0, 0, 0, 0});
    EXPECT_EQ(ask(c, first), first);
    EXPECT_EQ(ask(c, second), second);
    EXPECT_TRUE(c.profile().inBoot);

    // Without the key the loader starts while scanning, as before.
    auto q = bootable();
    q.stateF0 = {0, 0, 0, 0x01};
    Controller plain(q);
    EXPECT_EQ(ask(plain, first), first);
    ask(plain, second);
    EXPECT_TRUE(plain.profile().inBoot);
}

// A loader under its own USB product id: the device arrives under that id (and
// its parent's instance id names it) while the loader runs, and under the
// firmware's id again once the loader left.
TEST(SimBootEntry, TheLoaderArrivesUnderItsOwnProductIdAndLeavesUnderTheFirmwares) {
    qvsim::Bench bench;
    auto p = bootable();
    p.boot->reenumerateOnBoot = true;
    p.boot->productId = 0x0B00;
    qvsim::HidInfo info;
    info.path = "/sim/hidraw0";
    info.productId = 0x6020;
    info.parentInstanceId = "USB\\VID_2E7B&PID_6020\\5&1A2B3C&0&1";
    bench.addHid(std::make_shared<Controller>(p), info);
    std::vector<uint16_t> arrivals;
    bench.watch([&](const qvsim::DeviceEvent& e) {
        if (e.arrival) arrivals.push_back(e.hid.productId);
    });
    auto cmd = [&](const Packet& c) {
        qvsim::HidDevice* d = bench.hid("/sim/hidraw0");
        uint8_t r[6] = {0, c[0], c[1], c[2], c[3], c[4]};
        EXPECT_EQ(d->setFeature(r, 6), qvsim::XferError::None);
        EXPECT_EQ(d->getFeature(r, 6), qvsim::XferError::None);
        return Packet{r[1], r[2], r[3], r[4], r[5]};
    };
    cmd({0xFF, 0xAA, 0x55, 0xAA, 0x55});
    cmd({0xFF, 0x55, 0xAA, 0x55, 0xAA});
    ASSERT_NE(bench.hid("/sim/hidraw0"), nullptr);
    EXPECT_EQ(bench.hid("/sim/hidraw0")->info().productId, 0x0B00);
    EXPECT_EQ(bench.hid("/sim/hidraw0")->info().parentInstanceId, "USB\\VID_2E7B&PID_0B00\\5&1A2B3C&0&1");
    const auto img = image(kB);
    cmd({0xD0, 0, 0, 0, 0});
    for (uint32_t i = 0; i < kB; i += 4) cmd({uint8_t(i / 4), img[i], img[i + 1], img[i + 2], img[i + 3]});
    const uint16_t sum = sumOf(img, false);
    EXPECT_EQ(cmd({0xD1, 0, 0, uint8_t(sum), uint8_t(sum >> 8)}), (Packet{0xD1, 0, 0, 0, 0}));
    ASSERT_NE(bench.hid("/sim/hidraw0"), nullptr);
    EXPECT_EQ(bench.hid("/sim/hidraw0")->info().productId, 0x6020);
    EXPECT_EQ(bench.hid("/sim/hidraw0")->info().parentInstanceId, info.parentInstanceId);
    EXPECT_EQ(arrivals, (std::vector<uint16_t>{0x0B00, 0x6020}));
}

// The keys a host's update reads the loader's state through.
TEST(SimBootEntry, KeysSetTheLoaderVersionTheOldLoaderNeedAndTheActiveBoot) {
    Controller c(ControllerProfile{});
    std::string error;
    EXPECT_FALSE(qvsim::setControllerKey(c, "bootEntryNeedsQuiet", "1", &error));  // no loader yet
    ASSERT_TRUE(qvsim::setControllerKey(c, "bootLoader", "new", &error)) << error;
    EXPECT_TRUE(qvsim::setControllerKey(c, "bootEntryNeedsQuiet", "1", &error)) << error;
    EXPECT_TRUE(qvsim::setControllerKey(c, "bootProductId", "0x0B00", &error)) << error;
    EXPECT_TRUE(c.profile().boot->entryNeedsQuiet);
    EXPECT_EQ(c.profile().boot->productId, 0x0B00);
    EXPECT_TRUE(qvsim::setControllerKey(c, "bootProductId", "none", &error)) << error;
    EXPECT_FALSE(c.profile().boot->productId);

    EXPECT_TRUE(qvsim::setControllerKey(c, "bootLoaderVersion", "9", &error)) << error;
    EXPECT_EQ(ask(c, {0xEB, 0, 0, 0, 0}).value()[1], 9);
    EXPECT_TRUE(qvsim::setControllerKey(c, "imageNeedsOldBoot", "1", &error)) << error;
    EXPECT_EQ(ask(c, {0xE0, 0x00, 0xFF, 0x00, 0x00}).value()[1], 0x80);
    EXPECT_TRUE(qvsim::setControllerKey(c, "imageNeedsOldBoot", "0", &error)) << error;
    EXPECT_EQ(ask(c, {0xE0, 0x00, 0xFF, 0x00, 0x00}).value()[1], 0x00);
    const std::pair<const char*, uint8_t> boots[] = {{"off", 0x00}, {"first", 0xAA}, {"second", 0xBB}};
    for (const auto& [value, byte4] : boots) {
        EXPECT_TRUE(qvsim::setControllerKey(c, "dualBoot", value, &error)) << error;
        EXPECT_EQ(ask(c, {0xEF, 0, 0, 0, 0}).value()[4], byte4) << value;
    }
    EXPECT_FALSE(qvsim::setControllerKey(c, "dualBoot", "third", &error));
}

}  // namespace
