// Fuzz target: the GIF block walk must take any bytes. Each frame it gives is
// a stand-alone GIF: the file's head, bytes the walk passed over, the trailer;
// walked again it holds exactly that one frame with the same delay, disposal
// and rectangle; and as many frames are given as were counted. Frames of small
// screens are also decoded and cut to their rectangle.
#include "core/gif_blocks.h"
#include "core/gif_frames.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Decoding gives a picture of the whole screen (or of a larger frame) per
// frame: kept small so a run stays fast.
constexpr int kLargestDecodedScreen = 64 * 64;
constexpr int kMostDecodedFrames = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto previous = qInstallMessageHandler(quiet);
    (void)previous;

    vcx::GifBlocks blocks;
    if (!blocks.Open(data, size)) return 0;
    const size_t head = blocks.FirstBlockOffset();
    if (head > size || blocks.Offset() != head) __builtin_trap();
    uint32_t rgb = 0;
    (void)blocks.Background(&rgb);
    const int count = blocks.CountFrames();
    const bool decode = int64_t(blocks.Width()) * blocks.Height() <= kLargestDecodedScreen;

    int taken = 0;
    size_t from = blocks.Offset();
    vcx::GifFrameBlock frame;
    while (blocks.GetNextGraphicBlock(&frame)) {
        ++taken;
        const size_t to = blocks.Offset();
        if (to <= from || to > size) __builtin_trap();
        if (frame.gif.size() < head + 2 || std::memcmp(frame.gif.data(), data, head) != 0 || frame.gif.back() != 0x3B)
            __builtin_trap();
        const size_t own = frame.gif.size() - head - 1;
        if (own > to - from || std::memcmp(frame.gif.data() + head, data + to - own, own) != 0) __builtin_trap();

        vcx::GifBlocks alone;
        vcx::GifFrameBlock again;
        if (!alone.Open(frame.gif.data(), frame.gif.size()) || alone.CountFrames() != 1 ||
            !alone.GetNextGraphicBlock(&again) || again.gif != frame.gif || again.delay != frame.delay ||
            again.disposal != frame.disposal || again.left != frame.left || again.top != frame.top ||
            again.width != frame.width || again.height != frame.height)
            __builtin_trap();

        if (decode && taken <= kMostDecodedFrames &&
            int64_t(frame.width) * frame.height <= kLargestDecodedScreen) {
            QImage picture;
            QPoint offset;
            if (vcx::DecodeGifFrame(frame, &picture, &offset) && !picture.isNull() &&
                (offset.x() < frame.left || offset.y() < frame.top ||
                 offset.x() + picture.width() > frame.left + frame.width ||
                 offset.y() + picture.height() > frame.top + frame.height))
                __builtin_trap();
        }
        from = to;
    }
    if (taken != count) __builtin_trap();
    return 0;
}
