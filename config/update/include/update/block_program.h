// Block programming of the Field Update page: the image cut into blocks of the
// boot loader's size, each announced with D0, sent as data packets or HID
// output reports and checked with D1, from the last block down to block 0.
//
// The block table and the sums are pure; WriteFirmwareBlock and
// ProgramNextBlock talk to the controller through the library binding.
#pragma once

#include "core/controller_api.h"

#include <cstdint>
#include <vector>

namespace vcx::update {

// Why an image and a block size cannot be programmed.
enum class BlockPlanError {
    None,
    ZeroBlockSize,         // D2 answered 0
    BlockSizeNotWords,     // not a multiple of the 4-byte data packet
    EmptyImage,            // nothing to write (the last block would be 0xFFFFFFFF)
    TooManyBlocks,         // more blocks than D0's 16-bit number can name
};

struct BlockPlan {
    uint32_t blockSize = 0;
    uint32_t imageSize = 0;
    uint32_t lastBlock = 0;  // image size / B, minus 1 when the division is exact
};

BlockPlanError PlanBlocks(uint32_t imageSize, uint32_t blockSize, BlockPlan* plan);

// The 16-bit sum D1 checks: plain bytes, or (words) little-endian 16-bit words,
// bytes at odd offsets counting 256 times.
uint16_t BlockSum(const uint8_t* bytes, size_t count, bool words);

// Block n of the image: B bytes, 0xFF past the image's end.
struct Block {
    std::vector<uint8_t> bytes;
    bool erased = false;   // every byte 0xFF: announced D0 n FF FF, no data sent
    uint16_t checksum = 0; // complement of the sum (0xFFFF for an erased Ostra-series block)
};
Block MakeBlock(const uint8_t* image, const BlockPlan& plan, uint32_t n, bool words, bool ostra);

// What a block write needs beside the controller.
struct BlockWriter {
    bool wordChecksum = false;   // the loader's D9 answer
    bool ostra = false;          // g_bOstraModel
    bool driverLink = false;     // g_dwDeviceType bit 2: an Ostra D0 failure goes on
    bool skipFirstBlock = false; // the entry's byte 18 bit 6
    uint8_t bootAnswer = 0;      // CheckNewBootEx: 0, 0xAA or 0xBB
    bool outputReports = false;  // GetBufferSize: data as HID output reports
    uint16_t reportSize = 0;
};

constexpr int kBlockDone = 1, kBlockSkipped = 0xBB, kBlockFailedD0 = 0xD0, kBlockFailedD1 = 0xD1;

// Writes block n: 1 or 0xBB done, 0xD0 or 0xD1 failed.
int WriteFirmwareBlock(Controller& c, const BlockWriter& w, const uint8_t* image, const BlockPlan& plan, uint32_t n);

// The block loop of timer 1: one block per tick, three tries per block.
struct BlockRun {
    BlockPlan plan;
    uint32_t current = 0;     // the block the next tick writes
    uint32_t retriesLeft = 2;
    uint32_t blocksWritten = 0;
};
enum class BlockTick { Next, Retry, Finished, FailedD0, FailedD1 };
// Starts at the last block.
BlockRun StartBlocks(const BlockPlan& plan);
BlockTick ProgramNextBlock(Controller& c, const BlockWriter& w, const uint8_t* image, BlockRun* run);

}  // namespace vcx::update
