// Controls whose work belongs to a page or tool that this version does not
// have yet. Each has its own switch: while it is false the control is shown
// disabled and its tip says so (string IDS_NOT_BUILT_TIP), so pressing it
// never silently does nothing; the change that builds the work turns its
// switch to true.
#pragma once

#include "core/main_ids.h"

#include <cstdint>

namespace vcx {

namespace built {
inline constexpr bool kDraw = true;               // main window 401 "Draw": the drawing window
inline constexpr bool kLoadFirmware = true;       // Field Update command 420 "Load Firmware"
inline constexpr bool kUpdate = true;             // Field Update command 421 "Update"
inline constexpr bool kCombine = true;            // Field Update command 422 "Combine Firmware and Parameters"
inline constexpr bool kLoadProcessConfig = true;  // Process Config command 420 "Load Process Config File"
inline constexpr bool kSaveProcessConfig = true;  // Process Config command 421 "Save Process Config File"
inline constexpr bool kEventHalt = true;          // Debug command 423 "Event Halt" (engineer mode)
inline constexpr bool kNoiseLevel = true;         // Diagnostic command 421 "Noise Level": the noise view
inline constexpr bool kTessaly = true;            // Diagnostic command 422 "Tessaly": the 3-D view
inline constexpr bool kSystemReference = true;    // Diagnostic command 423 "System Reference": the factory view
} // namespace built

// "Not available in this version of VCXMSet."
constexpr uint32_t IDS_NOT_BUILT_TIP = 1010;

// Whether command button kIdFirstCommand + index has its work on `page`.
constexpr bool commandButtonBuilt(int page, int index) {
    switch (page) {
    case kPageDiagnostic:
        return index == 1 ? built::kNoiseLevel : index == 2 ? built::kTessaly : index == 3 ? built::kSystemReference : true;
    case kPageFieldUpdate:
        return index == 0 ? built::kLoadFirmware : index == 1 ? built::kUpdate : index == 2 ? built::kCombine : true;
    case kPageProcessConfig:
        return index == 0 ? built::kLoadProcessConfig : index == 1 ? built::kSaveProcessConfig : true;
    case kPageDebug:
        return index == 3 ? built::kEventHalt : true;
    default:
        return true;
    }
}

} // namespace vcx
