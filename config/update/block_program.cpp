// Block programming: the block table, the sums and the D0 / data / D1 exchange.

#include "update/block_program.h"

#include "update/boot_commands.h"

#include <algorithm>
#include <cstring>

namespace vcx::update {

BlockPlanError PlanBlocks(uint32_t imageSize, uint32_t blockSize, BlockPlan* plan) {
    *plan = BlockPlan{};
    if (blockSize == 0) return BlockPlanError::ZeroBlockSize;
    if (blockSize % 4 != 0) return BlockPlanError::BlockSizeNotWords;
    if (imageSize == 0) return BlockPlanError::EmptyImage;
    uint32_t last = imageSize / blockSize;
    if (imageSize % blockSize == 0) --last;
    if (last > 0xFFFF) return BlockPlanError::TooManyBlocks;
    *plan = BlockPlan{blockSize, imageSize, last};
    return BlockPlanError::None;
}

uint16_t BlockSum(const uint8_t* bytes, size_t count, bool words) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum += (words && (i & 1)) ? uint32_t(bytes[i]) << 8 : bytes[i];
    return uint16_t(sum & 0xFFFF);
}

Block MakeBlock(const uint8_t* image, const BlockPlan& plan, uint32_t n, bool words, bool ostra) {
    Block b;
    b.bytes.assign(plan.blockSize, 0xFF);
    const uint64_t base = uint64_t(n) * plan.blockSize;
    const uint64_t valid = n == plan.lastBlock ? plan.imageSize - base : plan.blockSize;
    if (base < plan.imageSize) std::memcpy(b.bytes.data(), image + base, size_t(std::min<uint64_t>(valid, plan.blockSize)));
    // Only a block of 0xFF is erased: a block of any other single value is data
    // and is written like every other.
    b.erased = std::all_of(b.bytes.begin(), b.bytes.end(), [](uint8_t x) { return x == 0xFF; });
    b.checksum = uint16_t(~BlockSum(b.bytes.data(), b.bytes.size(), words));
    if (b.erased && ostra) b.checksum = 0xFFFF;
    return b;
}

int WriteFirmwareBlock(Controller& c, const BlockWriter& w, const uint8_t* image, const BlockPlan& plan, uint32_t n) {
    if (n == 0 && w.skipFirstBlock && w.bootAnswer == 0xBB) return kBlockDone;
    // Output reports of no bytes would never carry the block.
    if (!plan.blockSize || (w.outputReports && w.reportSize == 0)) return kBlockFailedD0;
    const Block b = MakeBlock(image, plan, n, w.wordChecksum, w.ostra);

    uint8_t status = 0;
    if (!SendCmdStartBlockD0(c, uint16_t(n), b.erased, &status)) {
        if (!(w.ostra && w.driverLink)) return kBlockFailedD0;
    } else if (status == 4) {
        return kBlockSkipped;
    }

    if (!b.erased) {
        if (w.outputReports) {
            // Consecutive slices of the report size; the last one padded with 0xFF.
            std::vector<uint8_t> report(w.reportSize, 0xFF);
            for (uint32_t at = 0; at < plan.blockSize; at += w.reportSize) {
                const uint32_t count = std::min<uint32_t>(w.reportSize, plan.blockSize - at);
                std::fill(report.begin(), report.end(), 0xFF);
                std::memcpy(report.data(), b.bytes.data() + at, count);
                if (!c.api.SetOutputReport || !c.api.SetOutputReport(c.dev.device, w.reportSize, report.data())) break;
            }
        } else {
            for (uint32_t i = 0; i < plan.blockSize; i += 4) {
                const uint8_t p[5] = {uint8_t((i / 4) % 128), b.bytes[i], b.bytes[i + 1], b.bytes[i + 2],
                                      b.bytes[i + 3]};
                if (!c.api.SendCmdOnly || !c.api.SendCmdOnly(c.dev.device, p)) break;
            }
        }
    }

    const bool ok = SendCmdCheckBlockD1(c, b.checksum, &status);
    if (ok && (status == 0 || status == 4)) return kBlockDone;
    if (w.ostra && status == 1) return kBlockDone;
    if (w.bootAnswer == 0 && n == 0) return kBlockDone;
    return kBlockFailedD1;
}

BlockRun StartBlocks(const BlockPlan& plan) {
    BlockRun r;
    r.plan = plan;
    r.current = plan.lastBlock;
    return r;
}

BlockTick ProgramNextBlock(Controller& c, const BlockWriter& w, const uint8_t* image, BlockRun* run) {
    const int result = WriteFirmwareBlock(c, w, image, run->plan, run->current);
    if (result == kBlockFailedD0 || result == kBlockFailedD1) {
        if (run->retriesLeft > 0) {
            --run->retriesLeft;
            return BlockTick::Retry;
        }
        return result == kBlockFailedD0 ? BlockTick::FailedD0 : BlockTick::FailedD1;
    }
    ++run->blocksWritten;
    run->retriesLeft = 2;
    if (run->current == 0) return BlockTick::Finished;
    --run->current;
    return BlockTick::Next;
}

}  // namespace vcx::update
