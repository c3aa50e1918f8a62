// A picture of a drawing saved as a PNG file: what both drawing windows (the
// stand-alone program's and the configuration program's) save on F12.
#pragma once

#include <QString>

class QImage;

namespace qvdraw {

// Writes `image` to `path` as PNG. An empty text on success; else the system's
// text for why the file could not be written (or the encoder's).
QString writePngSnapshot(const QImage& image, const QString& path);

} // namespace qvdraw
