// Block programming: the block table and sums, and the flash of the simulated
// boot loader after a whole image, in data packets and in output reports, with
// byte and word sums.

#include "diag_support.h"
#include "update/block_program.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace vcx::update;

namespace {

struct PlanCase {
    uint32_t image, block;
    BlockPlanError error;
    uint32_t last;
};

TEST(UpdateBlocks, TheBlockTableAndItsRefusals) {
    const PlanCase cases[] = {
        {4 * 256, 256, BlockPlanError::None, 3},        // k * B -> k - 1
        {4 * 256 + 1, 256, BlockPlanError::None, 4},    // one byte more: a block more
        {1, 256, BlockPlanError::None, 0},
        {1024, 0, BlockPlanError::ZeroBlockSize, 0},    // D2 answered 0
        {1024, 6, BlockPlanError::BlockSizeNotWords, 0},
        {0, 256, BlockPlanError::EmptyImage, 0},
        {65536u * 4, 4, BlockPlanError::None, 65535},
        {65536u * 4 + 1, 4, BlockPlanError::TooManyBlocks, 0},
    };
    for (const auto& c : cases) {
        BlockPlan plan;
        EXPECT_EQ(PlanBlocks(c.image, c.block, &plan), c.error) << c.image << "/" << c.block;
        EXPECT_EQ(plan.lastBlock, c.last) << c.image << "/" << c.block;
    }
}

TEST(UpdateBlocks, SumsTailsAndErasedBlocks) {
    const uint8_t four[] = {0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(BlockSum(four, 4, false), 0x0A);
    EXPECT_EQ(BlockSum(four, 4, true), 0x0201 + 0x0403);

    // k * B + 1: the last block holds one byte and a tail of 0xFF.
    std::vector<uint8_t> image(2 * 8 + 1, 0x11);
    BlockPlan plan;
    ASSERT_EQ(PlanBlocks(uint32_t(image.size()), 8, &plan), BlockPlanError::None);
    Block last = MakeBlock(image.data(), plan, 2, false, false);
    EXPECT_EQ(last.bytes, (std::vector<uint8_t>{0x11, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_FALSE(last.erased);
    EXPECT_EQ(last.checksum, uint16_t(~(0x11 + 7 * 0xFF)));

    // A block of 0xFF is erased; its checksum in the loader's format.
    std::vector<uint8_t> ff(8, 0xFF);
    ASSERT_EQ(PlanBlocks(8, 8, &plan), BlockPlanError::None);
    Block e = MakeBlock(ff.data(), plan, 0, false, false);
    EXPECT_TRUE(e.erased);
    EXPECT_EQ(e.checksum, uint16_t(~(8 * 255)));
    EXPECT_EQ(MakeBlock(ff.data(), plan, 0, true, false).checksum, uint16_t(~(4 * 0xFFFF)));
    EXPECT_EQ(MakeBlock(ff.data(), plan, 0, false, true).checksum, 0xFFFF);  // Ostra series
    // A block of 0x00 is data, written like any other.
    std::vector<uint8_t> zero(8, 0x00);
    Block z = MakeBlock(zero.data(), plan, 0, false, false);
    EXPECT_FALSE(z.erased);
    EXPECT_EQ(z.checksum, 0xFFFF);
}

// The update profile's controller, open, its loader running.
class UpdateBlocksSim : public diagtest::DiagBench {
protected:
    bool openInBoot(bool words, bool reports) {
        if (!open("update")) return false;
        c.api.SendCmdOnly = &::SendCmdOnly;
        c.api.SetOutputReport = &::SetOutputReport;
        c.api.GetBufferSize = &::GetBufferSize;
        c.api.SendD2 = &::SendD2;
        ctl().editProfile([&](qvsim::ControllerProfile& p) {
            p.inBoot = true;
            p.boot->wordChecksum = words;
            p.boot->reenumerateOnBoot = false;
            if (!reports) p.bootPacketSize.reset();
        });
        return true;
    }

    // Every block of image from the last to block 0 through ProgramNextBlock.
    BlockTick programAll(const std::vector<uint8_t>& image, BlockWriter w, BlockRun* run) {
        uint32_t B = 0;
        EXPECT_EQ(SendD2(c.dev.device, &B), 1);
        int known = 0;
        uint16_t size = 0;
        EXPECT_EQ(GetBufferSize(c.dev.device, 0, &known, &size), 1);
        w.outputReports = known != 0;
        w.reportSize = size;
        BlockPlan plan;
        EXPECT_EQ(PlanBlocks(uint32_t(image.size()), B, &plan), BlockPlanError::None);
        *run = StartBlocks(plan);
        for (int ticks = 0; ticks < 10000; ++ticks) {
            BlockTick t = ProgramNextBlock(c, w, image.data(), run);
            if (t != BlockTick::Next && t != BlockTick::Retry) return t;
        }
        return BlockTick::Retry;
    }

    std::vector<uint32_t> blocksAnnounced() {
        std::vector<uint32_t> out;
        for (const auto& e : ctl().trace())
            if (e.packet[0] == 0xD0) out.push_back(e.packet[1] | e.packet[2] << 8);
        return out;
    }
};

std::vector<uint8_t> testImage(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 7 + (i >> 8));
    // A block of 0xFF and a block of 0x00 inside.
    std::fill(v.begin() + 256, v.begin() + 512, 0xFF);
    std::fill(v.begin() + 512, v.begin() + 768, 0x00);
    return v;
}

TEST_F(UpdateBlocksSim, TheFlashEqualsTheFilePaddedWithFFInBothModesAndSums) {
    for (bool reports : {false, true}) {
        for (bool words : {false, true}) {
            SCOPED_TRACE(std::string(reports ? "reports" : "packets") + (words ? " words" : " bytes"));
            ASSERT_TRUE(openInBoot(words, reports));
            const auto image = testImage(4 * 256 + 100);
            ctl().clearTrace();
            BlockWriter w;
            w.wordChecksum = words;
            w.bootAnswer = 0xAA;
            BlockRun run;
            EXPECT_EQ(programAll(image, w, &run), BlockTick::Finished);
            auto expect = image;
            expect.resize(5 * 256, 0xFF);
            EXPECT_EQ(ctl().profile().boot->flash, expect);
            EXPECT_EQ(blocksAnnounced(), (std::vector<uint32_t>{4, 3, 2, 1, 0}));
            // The erased block was announced D0 01 00 FF FF; no data packets in report mode.
            bool erasedAnnounced = false;
            size_t packets = 0;
            for (const auto& e : ctl().trace()) {
                if (e.packet == qvsim::Packet{0xD0, 0x01, 0x00, 0xFF, 0xFF}) erasedAnnounced = true;
                if (e.packet[0] < 0x80) ++packets;
            }
            EXPECT_TRUE(erasedAnnounced);
            const size_t reportsSent = bench->hid("/sim/hidraw0")->outputReports().size();
            EXPECT_EQ(packets, reports ? 0u : 4u * 64);  // four data blocks of 64 packets
            EXPECT_EQ(reportsSent, reports ? 4u * 4 : 0u);  // four data blocks of 4 reports of 64
            EXPECT_FALSE(ctl().profile().inBoot);
            TearDown();
        }
    }
}

TEST_F(UpdateBlocksSim, ABlockIsTriedThreeTimes) {
    const auto image = testImage(3 * 256);
    struct Case {
        int failures;
        BlockTick end;
    } cases[] = {{2, BlockTick::Finished}, {3, BlockTick::FailedD1}};
    for (const auto& k : cases) {
        ASSERT_TRUE(openInBoot(false, false));
        ctl().editProfile([&](qvsim::ControllerProfile& p) { p.boot->d1Failures[1] = k.failures; });
        BlockWriter w;
        w.bootAnswer = 0xAA;
        BlockRun run;
        EXPECT_EQ(programAll(image, w, &run), k.end) << k.failures;
        TearDown();
    }
    // Output reports of no bytes: the block fails at once, nothing is sent.
    {
        ASSERT_TRUE(openInBoot(false, true));
        ctl().clearTrace();
        BlockWriter w;
        w.outputReports = true;
        w.reportSize = 0;
        BlockPlan plan;
        ASSERT_EQ(PlanBlocks(256, 256, &plan), BlockPlanError::None);
        EXPECT_EQ(WriteFirmwareBlock(c, w, image.data(), plan, 0), kBlockFailedD0);
        EXPECT_TRUE(ctl().trace().empty());
        TearDown();
    }
    // D0 refused: 0xD0 after three tries.
    ASSERT_TRUE(openInBoot(false, false));
    ctl().refuse(0xD0);
    BlockWriter w;
    w.bootAnswer = 0xAA;
    BlockRun run;
    EXPECT_EQ(programAll(image, w, &run), BlockTick::FailedD0);
    EXPECT_EQ(blocksAnnounced().size(), 3u);
}

}  // namespace
