// The parameter sheet's strings: tab names, tips, range lines and the formats of
// the change list (addProgramStrings adds them).
#pragma once

#include "ui/string_table.h"

#include <span>

namespace vcx {

std::span<const qvui::StringEntry> parameterStrings();

} // namespace vcx
