// The pictures of the parameter pages, drawn here and keyed by their resource
// numbers: 204 switch on, 205 switch off, 213 unsupported or disabled switch,
// 214 and 215 the palm page's illustrations (palm on the panel, palm near an
// edge), 206..211 the water modes (OFF, Water Detect, Water Performance; the
// even number chosen, the odd one not), 224..227 the tail orientations
// (bottom, right, top, left). Each label that shows one carries its number in the property "bitmapId".
#pragma once

#include <QPixmap>

class QLabel;

namespace vcx {

constexpr int kBitmapOn = 204;
constexpr int kBitmapOff = 205;
constexpr int kBitmapUnsupported = 213;
constexpr int kBitmapWaterFirst = 206;   // 206 + 2 x mode chosen, + 1 not chosen
constexpr int kBitmapTailBottom = 224;   // 224 + orientation 0..3

// The picture of a number; a null pixmap for a number not drawn here.
QPixmap ParameterBitmap(int id);
// Shows picture `id` in the label (STM_SETIMAGE) and remembers its number.
void SetBitmap(QLabel* label, int id);
// The number of the picture the label shows, 0 when none.
int BitmapOf(const QLabel* label);

} // namespace vcx
