#include "core/gif_frames.h"

#include <QRect>

namespace vcx {

bool DecodeGifFrame(const GifFrameBlock& frame, QImage* picture, QPoint* offset) {
    const QImage screen = QImage::fromData(frame.gif.data(), int(frame.gif.size()), "GIF");
    if (screen.isNull()) return false;
    const QRect area = QRect(frame.left, frame.top, frame.width, frame.height).intersected(screen.rect());
    *offset = area.topLeft();
    *picture = area.isEmpty() ? QImage() : screen.copy(area);
    return true;
}

}  // namespace vcx
