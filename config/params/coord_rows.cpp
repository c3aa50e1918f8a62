#include "params/coord_rows.h"

#include "core/field_table.h"
#include "params/page_build.h"

namespace vcx {

using pagebuild::fieldRow;

const char* const kCoordRangeRows[4] = {"coord.xMin", "coord.xMax", "coord.yMin", "coord.yMax"};
const char* const kCoordAxisRows[3] = {"coord.xReverse", "coord.yReverse", "coord.switch"};
const char* const kCoordTailRow = "coord.orientation";
const char* const kCoordEdgeRows[4] = {"coord.edge0", "coord.edge1", "coord.edge2", "coord.edge3"};

CoordRange CoordinateRangeOf(const ProgramRecords& r) {
    auto at = [&r](int i) { return ReadField(r, fieldRow(kCoordRangeRows[i])).value; };
    return {at(0), at(1), at(2), at(3)};
}

void SetCoordinateRange(ProgramRecords& r, const CoordRange& range) {
    const int values[4] = {range.xMin, range.xMax, range.yMin, range.yMax};
    for (int i = 0; i < 4; ++i) WriteField(r, fieldRow(kCoordRangeRows[i]), values[i]);
}

bool CoordinateEdgesPresent(const ProgramRecords& r) {
    for (const char* key : kCoordEdgeRows)
        if (!FieldPresent(r, fieldRow(key))) return false;
    return true;
}

void SetWhereItemIs(ProgramRecords& r, const char* key, int value) {
    const ParamField& f = fieldRow(key);
    if (ReadField(r, f).present) WriteField(r, f, value);
}

} // namespace vcx
