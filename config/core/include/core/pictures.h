// The program's own pictures, drawn here in code and keyed by their resource
// numbers: the scan view's status pictures 2000..2003 (START, CANCEL, PASS,
// FAIL) and the silent result's pictures 219 (pass), 220 (fail) and 2004..2008
// (the noise grades), and the noise view's test patterns 2010..2012 (white,
// black, checkerboard tiles).
#pragma once

#include <QPixmap>

namespace vcx {

// The picture of that number; a null pixmap for a number that has none.
QPixmap programPicture(int id);

}  // namespace vcx
