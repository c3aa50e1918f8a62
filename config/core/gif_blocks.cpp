#include "core/gif_blocks.h"

#include <cstring>

namespace vcx {

namespace {

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// A colour table's size in bytes from the flags byte of a screen or image
// descriptor: three bytes for each of 2^(n + 1) entries when bit 7 is set.
uint32_t colourTableSize(uint8_t flags) { return (flags & 0x80) ? 3u << ((flags & 7) + 1) : 0; }

}  // namespace

bool GifBlocks::Open(const uint8_t* data, size_t size) {
    data_ = nullptr;
    size_ = offset_ = 0;
    width_ = height_ = 0;
    globalTableSize_ = 0;
    if (!data || size < 13 || std::memcmp(data, "GIF", 3) != 0) return false;
    const uint32_t table = colourTableSize(data[10]);
    if (13 + size_t(table) > size) return false;
    data_ = data;
    size_ = size;
    width_ = le16(data + 6);
    height_ = le16(data + 8);
    globalTableSize_ = table;
    offset_ = FirstBlockOffset();
    return true;
}

bool GifBlocks::Background(uint32_t* rgb) const {
    if (!data_ || globalTableSize_ == 0) return false;
    const size_t entry = 13 + size_t(data_[11]) * 3;
    if (entry + 3 > FirstBlockOffset()) return false;
    *rgb = uint32_t(data_[entry]) << 16 | uint32_t(data_[entry + 1]) << 8 | data_[entry + 2];
    return true;
}

GifBlock GifBlocks::GetBlockKind() const {
    if (offset_ >= size_) return GifBlock::Unknown;
    switch (data_[offset_]) {
    case 0x21:
        if (offset_ + 1 >= size_) return GifBlock::Unknown;
        switch (data_[offset_ + 1]) {
        case 0xFF: return GifBlock::ApplicationExtension;
        case 0xFE: return GifBlock::CommentExtension;
        case 0xF9: return GifBlock::GraphicControlExtension;
        case 0x01: return GifBlock::PlainTextExtension;
        default: return GifBlock::Unknown;
        }
    case 0x2C: return GifBlock::ImageDescriptor;
    case 0x3B: return GifBlock::Trailer;
    default: return GifBlock::Unknown;
    }
}

long GifBlocks::GetSubBlocksLength(size_t at) const {
    size_t p = at;
    while (p < size_) {
        if (data_[p] == 0) return long(p + 1 - at);
        p += size_t(data_[p]) + 1;
    }
    return -1;
}

long GifBlocks::GetBlockLength() const {
    // A block of `head` fixed bytes followed by a sub-block chain.
    const auto withSubBlocks = [this](size_t head) -> long {
        if (offset_ + head > size_) return -1;
        const long chain = GetSubBlocksLength(offset_ + head);
        return chain < 0 ? -1 : long(head) + chain;
    };
    switch (GetBlockKind()) {
    case GifBlock::ApplicationExtension: return withSubBlocks(14);
    case GifBlock::CommentExtension: return withSubBlocks(2);
    case GifBlock::GraphicControlExtension: return offset_ + 8 <= size_ ? 8 : -1;
    case GifBlock::PlainTextExtension: return withSubBlocks(15);
    case GifBlock::ImageDescriptor:
        if (offset_ + 10 > size_) return -1;
        // The descriptor's 10 bytes, its local colour table, the LZW code size.
        return withSubBlocks(11 + size_t(colourTableSize(data_[offset_ + 9])));
    case GifBlock::Trailer: return 1;
    case GifBlock::Unknown: break;
    }
    return -1;
}

bool GifBlocks::SkipNextBlock() {
    const long length = GetBlockLength();
    if (length <= 0 || offset_ + size_t(length) > size_) return false;
    offset_ += size_t(length);
    return true;
}

bool GifBlocks::FindNextFrame(Span* span) {
    const auto isGraphic = [](GifBlock kind) {
        return kind == GifBlock::ImageDescriptor || kind == GifBlock::PlainTextExtension;
    };
    // Skip what comes before the frame: application and comment extensions.
    GifBlock kind = GetBlockKind();
    while (kind != GifBlock::GraphicControlExtension && !isGraphic(kind)) {
        if (kind == GifBlock::Unknown || kind == GifBlock::Trailer || !SkipNextBlock()) return false;
        kind = GetBlockKind();
    }
    *span = Span{};
    span->begin = offset_;
    if (kind == GifBlock::GraphicControlExtension) {
        // The frame runs from its graphic control to its image or plain text.
        span->control = offset_;
        if (!SkipNextBlock()) return false;
        kind = GetBlockKind();
        while (!isGraphic(kind)) {
            if (kind == GifBlock::Unknown || kind == GifBlock::Trailer || !SkipNextBlock()) return false;
            kind = GetBlockKind();
        }
    }
    span->graphic = offset_;
    span->graphicKind = kind;
    if (!SkipNextBlock()) return false;
    span->end = offset_;
    return true;
}

bool GifBlocks::NextGraphicBlockExists() const {
    GifBlocks walk = *this;
    Span span;
    return data_ && walk.FindNextFrame(&span);
}

bool GifBlocks::GetNextGraphicBlock(GifFrameBlock* frame) {
    Span span;
    if (!data_ || !FindNextFrame(&span)) return false;
    *frame = GifFrameBlock{};
    if (span.control) {
        frame->delay = le16(data_ + span.control + 4);
        frame->disposal = (data_[span.control + 3] >> 2) & 7;
    } else {
        frame->delay = kGifNoDelay;
    }
    if (span.graphicKind == GifBlock::ImageDescriptor) {
        const uint8_t* d = data_ + span.graphic;
        frame->left = le16(d + 1);
        frame->top = le16(d + 3);
        frame->width = le16(d + 5);
        frame->height = le16(d + 7);
    }
    const size_t head = FirstBlockOffset();
    frame->gif.reserve(head + (span.end - span.begin) + 1);
    frame->gif.assign(data_, data_ + head);
    frame->gif.insert(frame->gif.end(), data_ + span.begin, data_ + span.end);
    frame->gif.push_back(0x3B);
    return true;
}

int GifBlocks::CountFrames() const {
    GifBlocks walk = *this;
    walk.offset_ = FirstBlockOffset();
    int count = 0;
    Span span;
    while (walk.data_ && walk.FindNextFrame(&span)) ++count;
    return count;
}

}  // namespace vcx
