// The coordinate record's rows the coordinate pages and the outer setting
// share: the range words (items 0..3: X min, X max, Y min, Y max), the axis
// items 8..10 (X reverse, Y reverse, X Y switch), the tail orientation (item
// 11) and the edge items 12..15 (left, right, top, bottom), read and written
// through the field table.
#pragma once

#include "params/calibration_dlg.h"

namespace vcx {

struct ProgramRecords;

extern const char* const kCoordRangeRows[4];
extern const char* const kCoordAxisRows[3];
extern const char* const kCoordTailRow;
extern const char* const kCoordEdgeRows[4];

CoordRange CoordinateRangeOf(const ProgramRecords& r);
void SetCoordinateRange(ProgramRecords& r, const CoordRange& range);
// Whether every edge item was read.
bool CoordinateEdgesPresent(const ProgramRecords& r);
// Sets the row's value wherever the controller has the item (present), read or not.
void SetWhereItemIs(ProgramRecords& r, const char* key, int value);

} // namespace vcx
