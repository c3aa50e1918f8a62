// The parameter INI file: the controller's touch and boot parameter lists with
// its identity line, written by Export and read back by Import. Line 1 is the
// identity (eleven "%03d " values), lines 2 and 3 the touch and boot lists;
// the sections after them are for people (only lines 1..3 are read back).
#pragma once

#include "params/parameter_ini_format.h"

class QWidget;

namespace vcx {

struct Controller;

// Export: the folder picker, then "QV<name>_x<crc>.ini" ("(1)", "(2)", ... when
// taken). 0 written, 1 failed, 2 cancelled.
int ExportParameterFile(Controller& c, QWidget* owner);
// Import: the file chooser, then the lists are parsed whole into a copy and only
// then written with SetAPBTParaList. 0 written, 1 cancelled, 2 the file is
// missing, from another controller or incomplete, or the lists were never read,
// 3 the controller refused the lists. The caller flushes.
int ImportParameterFile(Controller& c, QWidget* owner);

} // namespace vcx
