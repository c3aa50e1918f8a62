// An Ostra-series controller's update: the E8 pair starts its loader, blocks
// are 512 bytes without D2 or D9, and an all-0xFF block goes with the fixed
// checksum 0xFFFF.

#include "update_support.h"

#include "core/device_readout.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

using updatetest::UpdatePage;

class UpdateOstra : public UpdatePage {
protected:
    bool startOstra() {
        const QString path = dir.filePath(QStringLiteral("ostra.profile"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) return false;
        f.write("[controller]\n"
                "link = hid\n"
                "path = /sim/hidraw0\n"
                "productId = 0x6020\n"
                "reportId = 1\n"
                "parentInstanceId = USB\\VID_2E7B&PID_6020\\5&1A2B3C&0&1\n"
                "series = ostra\n"
                "identity = 6101\n"
                "major = 3\n"
                "minor = 1\n"
                "bootLoader = new\n"
                "bootReenumerate = 1\n"
                "bootImage = 3 2 0 0 0\n");
        f.close();
        if (!start(path.toStdString())) return false;
        vcx::ReadDevice(c, vcx::programState(), false);
        return c.dev.ostraModel;
    }
    static fwtest::Image OstraImage() {
        fwtest::Image im;
        im.product = 6101;
        im.major = 3;
        im.minor = 2;
        // Two blocks of 512 with data, one erased between them, a short tail.
        im.data.assign(3 * 512 + 40, 0xFF);
        for (size_t i = 0; i < 512; ++i) im.data[i] = uint8_t(i * 7 + 1);
        for (size_t i = 1024; i < im.data.size(); ++i) im.data[i] = uint8_t(i * 3);
        return im;
    }
};

TEST_F(UpdateOstra, TheE8PairStartsTheLoaderAndBlocksOf512AreWritten) {
    ASSERT_TRUE(startOstra());
    const auto im = OstraImage();
    useFile(fwtest::image(im));
    dev().clearTrace();
    page->timers()->start(13, 10);
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    EXPECT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
    EXPECT_EQ(dev().profile().boot->flash, updatetest::Padded(im.data, 512));
    EXPECT_EQ(dev().profile().minor, 2);
    bool e8First = false, e8Second = false, ff = false, d2 = false, d9 = false;
    std::vector<uint32_t> blocks;
    for (const auto& t : dev().trace()) {
        const auto& p = t.packet;
        if (p == qvsim::Packet{0xE8, 0xAA, 0x55, 0xAA, 0x55}) e8First = true;
        if (p == qvsim::Packet{0xE8, 0x55, 0xAA, 0x55, 0xAA}) e8Second = e8First;
        ff |= p[0] == 0xFF;
        d2 |= p[0] == 0xD2;
        d9 |= p[0] == 0xD9;
        if (p[0] == 0xD0) {
            blocks.push_back(uint32_t(p[1] | p[2] << 8));
            // Block 1 is erased: announced FF FF, and its D1 carries 0xFFFF.
            EXPECT_EQ(p[3] == 0xFF && p[4] == 0xFF, blocks.back() == 1) << blocks.back();
        }
        if (p[0] == 0xD1 && !blocks.empty() && blocks.back() == 1) {
            EXPECT_EQ(p[3] | p[4] << 8, 0xFFFF);
        }
    }
    EXPECT_TRUE(e8Second);
    EXPECT_FALSE(ff);
    EXPECT_FALSE(d2);
    EXPECT_FALSE(d9);
    EXPECT_EQ(blocks, (std::vector<uint32_t>{3, 2, 1, 0}));
}

}  // namespace
