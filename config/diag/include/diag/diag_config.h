// The thresholds file of the diagnostic pages, "VCXMSet.ini" in the program's
// folder: three threshold sets, the noise grades and the run options.
#pragma once

#include "diag/diag_state.h"

#include <QString>

namespace vcx {

constexpr const char* kDiagConfigFileName = "VCXMSet.ini";

// Reads the file (a missing one gives the defaults) and brings the noise grades
// into order: Great 3..100, Good below Great, OK below Good, Poor below OK,
// PoorRed at most 100 (else 10), OKRed below PoorRed, each lowered value at least
// 0; then OK and Poor at most 99 so that p + r x 100 splits again. AutoSaveResult is
// always 0.
DiagConfig LoadDiagnosticConfig(const QString& path);

} // namespace vcx
