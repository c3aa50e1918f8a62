// The block walk over a GIF file's bytes: block kinds and lengths, and the
// split of an animated GIF into one stand-alone GIF per frame (the file's
// header, logical screen descriptor and global colour table, the frame's own
// blocks, the trailer), with the frame's delay, disposal method, offset and
// size. Plain code over bytes; every block it reports lies inside the data, so
// a truncated file gives its complete frames and no more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vcx {

enum class GifBlock {
    Unknown = 0,
    ApplicationExtension = 1,
    CommentExtension = 2,
    GraphicControlExtension = 3,
    PlainTextExtension = 4,
    ImageDescriptor = 5,
    Trailer = 6,
};

// A frame's delay when no graphic control extension precedes it.
inline constexpr uint32_t kGifNoDelay = 0xFFFFFFFF;

struct GifFrameBlock {
    std::vector<uint8_t> gif;  // the frame as a GIF file of its own
    uint32_t delay = 0;        // in 1/100 s; kGifNoDelay without a graphic control extension
    uint32_t disposal = 0;     // the graphic control extension's disposal method (0..7)
    int left = 0, top = 0;     // the image descriptor's offset on the logical screen
    int width = 0, height = 0; // and its size (0 x 0 for a plain-text frame)
};

class GifBlocks {
public:
    // Starts a walk over `data` (not copied: it must outlive the walk). False,
    // and nothing to walk, when the data is no GIF: it does not begin with
    // "GIF", or its logical screen descriptor or global colour table runs past
    // the end.
    bool Open(const uint8_t* data, size_t size);

    int Width() const { return width_; }
    int Height() const { return height_; }
    uint32_t GlobalTableSize() const { return globalTableSize_; }
    // The global colour table's entry at the screen's background index, as
    // 0xRRGGBB; false without a global table or with an index outside it.
    bool Background(uint32_t* rgb) const;

    // The parse offset: at the first block after Open, past each frame taken.
    size_t Offset() const { return offset_; }
    size_t FirstBlockOffset() const { return 13 + size_t(globalTableSize_); }

    // The kind of the block at the parse offset.
    GifBlock GetBlockKind() const;
    // The length in bytes of the block at the parse offset, its sub-blocks
    // included; -1 for an unknown block or one that runs past the data.
    long GetBlockLength() const;
    // The length of the sub-block chain at `at`: each sub-block's size byte and
    // data, and the terminating zero (an empty chain is 1); -1 when the chain
    // runs past the data.
    long GetSubBlocksLength(size_t at) const;
    // Moves the parse offset past the block there; false (offset kept) when
    // the block is unknown or does not lie wholly inside the data.
    bool SkipNextBlock();
    // Whether a whole frame follows the parse offset (the offset is kept).
    bool NextGraphicBlockExists() const;
    // The next frame from the parse offset, which moves past it; false when no
    // whole frame follows (the offset is then unspecified).
    bool GetNextGraphicBlock(GifFrameBlock* frame);

    // The number of whole frames from the first block on.
    int CountFrames() const;

private:
    struct Span {
        size_t begin = 0, end = 0;    // the frame's blocks
        size_t control = 0;           // its graphic control extension; 0 when none
        size_t graphic = 0;           // its image descriptor or plain-text block
        GifBlock graphicKind = GifBlock::Unknown;
    };
    bool FindNextFrame(Span* span);

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t offset_ = 0;
    int width_ = 0, height_ = 0;
    uint32_t globalTableSize_ = 0;
};

}  // namespace vcx
