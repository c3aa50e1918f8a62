// A GIF frame's picture: its stand-alone GIF decoded by Qt's GIF reader, cut to
// the frame's rectangle. Qt gives the frame on the whole logical screen, filled
// with the screen's background where the frame has no pixels (transparent
// where the frame has a transparent colour); only the frame's own area is kept.
#pragma once

#include "core/gif_blocks.h"

#include <QImage>
#include <QPoint>

namespace vcx {

// The frame's picture and where it lies on the screen (the frame's rectangle
// cut to the screen). False when the frame does not decode; true with a null
// picture when its rectangle lies wholly off the screen or is empty.
bool DecodeGifFrame(const GifFrameBlock& frame, QImage* picture, QPoint* offset);

}  // namespace vcx
