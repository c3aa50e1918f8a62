// The strings of the abnormal-state window and the touch notifications.
#pragma once

namespace vcx {

// Adds them to the string table (once; later calls do nothing).
void addTouchStrings();

} // namespace vcx
