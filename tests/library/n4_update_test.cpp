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

TEST_P(N4Update, SmokeKind0) {
    plug(Updatable(256), GetParam());
    const fwtest::Image im = Firmware(1000);
    EXPECT_EQ(update(fwtest::image(im)), 1) << debugText();
    EXPECT_EQ(boot().flash, Flashed(im.data, 256));
    EXPECT_EQ(QuorvaneN4_GetUpdateStatus(), n4::kStatusMasterDone);
    EXPECT_EQ(QuorvaneN4_GetUpdateProgress(), 100);
}

INSTANTIATE_TEST_SUITE_P(Links, N4Update, ::testing::Values(Link::Hid, Link::Uart), LinkName);

}  // namespace
}  // namespace qvtest
