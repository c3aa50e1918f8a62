// The strings of the abnormal-state window and the touch notifications
// (addProgramStrings adds them).
#pragma once

#include "ui/string_table.h"

#include <span>

namespace vcx {

std::span<const qvui::StringEntry> touchStrings();

} // namespace vcx
