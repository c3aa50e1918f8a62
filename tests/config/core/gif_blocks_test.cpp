// The GIF block walk: block kinds and lengths on fixed bytes, the split of
// written files into stand-alone frames (exact bytes, delays, disposals,
// offsets), and files that end early or are no GIF at all.
#include "core/gif_blocks.h"

#include "gif_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using giftest::Bytes;
using vcx::GifBlock;
using vcx::GifBlocks;
using vcx::GifFrameBlock;

// A screen of 4 x 4 without a global table: its first block is at 13.
Bytes screenWithout(const Bytes& blocks) {
    Bytes data{'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0x00, 0, 0};
    data.insert(data.end(), blocks.begin(), blocks.end());
    return data;
}

struct BlockCase {
    const char* name;
    Bytes blocks;
    GifBlock kind;
    long length;
};

TEST(GifBlocks, KindAndLengthOfEachBlock) {
    const BlockCase cases[] = {
        {"application", {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0},
         GifBlock::ApplicationExtension, 19},
        {"comment", {0x21, 0xFE, 2, 'h', 'i', 1, '!', 0}, GifBlock::CommentExtension, 8},
        {"empty comment", {0x21, 0xFE, 0}, GifBlock::CommentExtension, 3},
        {"graphic control", {0x21, 0xF9, 4, 0x08, 10, 0, 0, 0}, GifBlock::GraphicControlExtension, 8},
        {"plain text", {0x21, 0x01, 12, 0, 0, 0, 0, 4, 0, 4, 0, 1, 1, 0, 1, 2, 'o', 'k', 0},
         GifBlock::PlainTextExtension, 19},
        {"image", {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x00, 2, 2, 0x4C, 0x01, 0}, GifBlock::ImageDescriptor, 15},
        // A local table of 2^(1 + 1) entries: 12 bytes after the descriptor.
        {"image with local table",
         {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x81, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 2, 2, 0x4C, 0x01, 0},
         GifBlock::ImageDescriptor, 27},
        {"trailer", {0x3B}, GifBlock::Trailer, 1},
        {"unknown extension", {0x21, 0x02, 0}, GifBlock::Unknown, -1},
        {"extension label 0", {0x21, 0x00, 0}, GifBlock::Unknown, -1},
        {"unknown byte", {0x00}, GifBlock::Unknown, -1},
        // Blocks that run past the data.
        {"lone introducer", {0x21}, GifBlock::Unknown, -1},
        {"comment without its terminator", {0x21, 0xFE, 2, 'h', 'i'}, GifBlock::CommentExtension, -1},
        {"sub-block longer than the data", {0x21, 0xFE, 9, 'h', 'i', 0}, GifBlock::CommentExtension, -1},
        {"short graphic control", {0x21, 0xF9, 4, 0x08, 10}, GifBlock::GraphicControlExtension, -1},
        {"short image descriptor", {0x2C, 0, 0, 0, 0, 1, 0}, GifBlock::ImageDescriptor, -1},
        {"local table past the data", {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x87, 2}, GifBlock::ImageDescriptor, -1},
        {"nothing", {}, GifBlock::Unknown, -1},
    };
    for (const BlockCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes data = screenWithout(c.blocks);
        GifBlocks blocks;
        ASSERT_TRUE(blocks.Open(data.data(), data.size()));
        ASSERT_EQ(blocks.Offset(), 13u);
        EXPECT_EQ(blocks.GetBlockKind(), c.kind);
        EXPECT_EQ(blocks.GetBlockLength(), c.length);
        // Skipping moves exactly past a whole block, and never past the data.
        EXPECT_EQ(blocks.SkipNextBlock(), c.length > 0);
        EXPECT_EQ(blocks.Offset(), c.length > 0 ? 13u + size_t(c.length) : 13u);
    }
}

TEST(GifBlocks, SubBlockChains) {
    const Bytes data = screenWithout({0, /*15:*/ 2, 'a', 'b', 1, 'c', 0, /*21:*/ 3, 'x'});
    GifBlocks blocks;
    ASSERT_TRUE(blocks.Open(data.data(), data.size()));
    EXPECT_EQ(blocks.GetSubBlocksLength(13), 1);   // the empty chain
    EXPECT_EQ(blocks.GetSubBlocksLength(14), 6);
    EXPECT_EQ(blocks.GetSubBlocksLength(20), -1);  // its sub-block runs past the end
    EXPECT_EQ(blocks.GetSubBlocksLength(data.size()), -1);
}

TEST(GifBlocks, ScreenAndBackground) {
    giftest::File file;
    file.width = 300, file.height = 200;
    file.globalTable = {0x102030, 0x405060, 0x708090};  // padded to 4 entries
    file.background = 2;
    Bytes data = giftest::write(file);
    GifBlocks blocks;
    ASSERT_TRUE(blocks.Open(data.data(), data.size()));
    EXPECT_EQ(blocks.Width(), 300);
    EXPECT_EQ(blocks.Height(), 200);
    EXPECT_EQ(blocks.GlobalTableSize(), 12u);
    EXPECT_EQ(blocks.Offset(), 25u);
    uint32_t rgb = 0;
    ASSERT_TRUE(blocks.Background(&rgb));
    EXPECT_EQ(rgb, 0x708090u);
    // An index past the table gives no colour.
    data[11] = 4;
    ASSERT_TRUE(blocks.Open(data.data(), data.size()));
    EXPECT_FALSE(blocks.Background(&rgb));
}

TEST(GifBlocks, DataThatIsNoGifIsRefused) {
    const Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    const Bytes shortScreen{'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0};
    // The global table (2^8 entries) runs past the data.
    const Bytes shortTable = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0x87, 0, 0, 1, 2, 3};
    for (const Bytes& data : {png, shortScreen, shortTable, Bytes{}}) {
        GifBlocks blocks;
        EXPECT_FALSE(blocks.Open(data.data(), data.size()));
        EXPECT_EQ(blocks.CountFrames(), 0);
        EXPECT_FALSE(blocks.NextGraphicBlockExists());
        GifFrameBlock frame;
        EXPECT_FALSE(blocks.GetNextGraphicBlock(&frame));
    }
}

// A file with everything the walk passes on its way: a loop extension and a
// comment before the frames, a frame without a graphic control extension, a
// comment inside a frame, a local colour table and a transparent colour.
giftest::File variedFile() {
    giftest::File file;
    file.width = 8, file.height = 6;
    file.globalTable = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    file.extensions = giftest::loopExtension(0);
    const Bytes note = giftest::comment("drawn for the tests");
    file.extensions.insert(file.extensions.end(), note.begin(), note.end());

    giftest::Frame whole = giftest::solid(0, 0, 8, 6, 0, 1, 25);
    giftest::Frame plain = giftest::solid(2, 1, 3, 2, 1);
    plain.control = false;
    giftest::Frame local = giftest::solid(5, 3, 3, 3, 1, 3, 7);
    local.localTable = {0x000000, 0x808080};
    local.between = giftest::comment("inside the frame");
    giftest::Frame clear = giftest::solid(1, 4, 2, 2, 2, 2, 300);
    clear.transparent = 3;
    clear.pixels[0] = 3;
    file.frames = {whole, plain, local, clear};
    return file;
}

TEST(GifBlocks, SplitsEachFrameIntoAStandAloneGif) {
    const giftest::File file = variedFile();
    const Bytes data = giftest::write(file);
    const Bytes head = giftest::head(file);
    GifBlocks blocks;
    ASSERT_TRUE(blocks.Open(data.data(), data.size()));
    ASSERT_EQ(blocks.CountFrames(), 4);
    struct Expected {
        uint32_t delay, disposal;
    };
    const Expected expected[] = {{25, 1}, {vcx::kGifNoDelay, 0}, {7, 3}, {300, 2}};
    for (size_t i = 0; i < file.frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        const giftest::Frame& f = file.frames[i];
        const size_t before = blocks.Offset();
        ASSERT_TRUE(blocks.NextGraphicBlockExists());
        EXPECT_EQ(blocks.Offset(), before);  // the look ahead keeps the offset
        GifFrameBlock frame;
        ASSERT_TRUE(blocks.GetNextGraphicBlock(&frame));
        Bytes standAlone = head;
        const Bytes own = giftest::frameBlocks(f);
        standAlone.insert(standAlone.end(), own.begin(), own.end());
        standAlone.push_back(0x3B);
        EXPECT_EQ(frame.gif, standAlone);
        EXPECT_EQ(frame.delay, expected[i].delay);
        EXPECT_EQ(frame.disposal, expected[i].disposal);
        EXPECT_EQ(frame.left, f.left);
        EXPECT_EQ(frame.top, f.top);
        EXPECT_EQ(frame.width, f.width);
        EXPECT_EQ(frame.height, f.height);
    }
    EXPECT_FALSE(blocks.NextGraphicBlockExists());
    EXPECT_EQ(blocks.GetBlockKind(), GifBlock::Trailer);
}

TEST(GifBlocks, ATruncatedFileKeepsItsWholeFrames) {
    const giftest::File file = variedFile();
    const Bytes data = giftest::write(file);
    // Where each frame's last block ends in the file.
    std::vector<size_t> ends;
    size_t at = giftest::head(file).size() + file.extensions.size();
    for (const giftest::Frame& f : file.frames) ends.push_back(at += giftest::frameBlocks(f).size());

    for (size_t cut = 0; cut <= data.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        // A copy of exactly that size, so a read past it is caught.
        const Bytes part(data.begin(), data.begin() + long(cut));
        GifBlocks blocks;
        if (!blocks.Open(part.data(), part.size())) {
            EXPECT_LT(cut, giftest::head(file).size());
            continue;
        }
        int whole = 0;
        for (size_t end : ends) whole += end <= cut;
        EXPECT_EQ(blocks.CountFrames(), whole);
        GifFrameBlock frame;
        int taken = 0;
        while (blocks.GetNextGraphicBlock(&frame)) {
            EXPECT_EQ(frame.gif.back(), 0x3B);
            ++taken;
        }
        EXPECT_EQ(taken, whole);
    }
}

TEST(GifBlocks, AWalkStopsAtAnUnknownBlock) {
    giftest::File file = variedFile();
    Bytes data = giftest::write(file);
    // The second frame's image descriptor made unknown: the first frame only.
    const size_t second = giftest::head(file).size() + file.extensions.size() +
                          giftest::frameBlocks(file.frames[0]).size();
    ASSERT_EQ(data[second], 0x2C);
    data[second] = 0x99;
    GifBlocks blocks;
    ASSERT_TRUE(blocks.Open(data.data(), data.size()));
    EXPECT_EQ(blocks.CountFrames(), 1);
}

}  // namespace
