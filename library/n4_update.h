// The N4 firmware update: what the engine's parts share. The engine
// (n4_update.cpp) reads the file, puts the chips into their boot loaders and
// writes the blocks; the parameter and virtual-key phases and the wait for the
// controller to come back live in n4_update_params.cpp.
//
// Status, progress and error bits are atomics: an update blocks its calling
// thread, and another thread polls them through QuorvaneN4_GetUpdateStatus and
// QuorvaneN4_GetUpdateProgress while it runs.
#pragma once

#include "n4_internal.h"

#include "format/firmware_format.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>

namespace qvlib::n4 {

// Update status (the last phase reached).
constexpr uint16_t kStatusIdle = 0;
constexpr uint16_t kStatusMaster = 1;
constexpr uint16_t kStatusMasterDone = 2;
constexpr uint16_t kStatusMasterFailed = 4;
constexpr uint16_t kStatusSlaves = 16;
constexpr uint16_t kStatusSlavesDone = 32;
constexpr uint16_t kStatusSlavesFailed = 64;
constexpr uint16_t kStatusFileMissing = 128;
constexpr uint16_t kStatusReloading = 256;
constexpr uint16_t kStatusParametersDone = 512;

// Error bits, accumulated over one update; the update export returns their negation.
constexpr uint32_t kErrResetAfterParameters = 0x1;
constexpr uint32_t kErrOpenFile = 0x2;
constexpr uint32_t kErrFileInvalid = 0x4;  // also a product mismatch
constexpr uint32_t kErrMaster = 0x10;
constexpr uint32_t kErrNoMasterImage = 0x20;
constexpr uint32_t kErrSlave = 0x40;
constexpr uint32_t kErrSwitchSlave = 0x80;
constexpr uint32_t kErrNoSlaveImage = 0x100;
constexpr uint32_t kErrMasterVersion = 0x1000;
constexpr uint32_t kErrScanState = 0x2000;
constexpr uint32_t kErrNoMemory = 0x4000;
constexpr uint32_t kErrEnterBoot = 0x8000;
constexpr uint32_t kErrLeaveBoot = 0x10000;
constexpr uint32_t kErrBlockChecksum = 0x20000;
constexpr uint32_t kErrBlockData = 0x40000;
constexpr uint32_t kErrErase = 0x80000;
constexpr uint32_t kErrBootIncompatible = 0x80008;
constexpr uint32_t kErrBlockSize = 0x100000;
constexpr uint32_t kErrTouchList = 0x200000;
constexpr uint32_t kErrBootList = 0x400000;
constexpr uint32_t kErrFlush = 0x800000;
constexpr uint32_t kErrReload = 0x1000000;
constexpr uint32_t kErrVirtualKeys = 0x2000000;

// Update options (bits of the export's option word).
constexpr unsigned kUpdateFirmware = 0x1;
constexpr unsigned kUpdateParameters = 0x2;
constexpr unsigned kUpdateVirtualKeys = 0x4;

struct UpdateShared {
    std::atomic<uint16_t> status{kStatusIdle};
    std::atomic<int> progress{0};
    std::atomic<uint32_t> errors{0};
    std::atomic<bool> running{false};  // one update at a time
};
// The library-wide update state (the exports' view of the running update).
UpdateShared& UpdateState();

// The whole update of the controller open in ctx from the file at path:
// option bit 0 the firmware, bit 1 the package's parameters, bit 2 its
// virtual-key table. 0 when every selected step ran, else -1 with the error
// bits in UpdateState().errors; a failure that has no error bit (an empty path,
// the operator's 'n' to the old-boot question) leaves them 0.
int Update(DevInfo& ctx, const std::string& path, unsigned options);

// Where the old-boot question reads the operator's answer (standard input
// unless a caller set another stream; nullptr goes back to standard input).
void SetQuestionInput(std::FILE* in);

// Lines between two star lines on the debug log (the update's banners).
void LogBanner(std::initializer_list<const char*> lines);

// Waits until the controller is back after it left the bus: mode 1 expects the
// boot loader, 2 anything, other values the application. A serial path, when
// one is set, is reopened; otherwise the HID search is repeated and only a
// device of the same USB parent as the one closed is taken (after a boot switch
// that changed it, a new device only when exactly one appeared). 1 when the
// context is open again, else 0.
int WaitForReady(DevInfo& ctx, int mode);

// The package's parameter lists written into the controller, flushed, the
// controller reset and its parameters reloaded (status 256, then 512 when
// done). `customer` is the first image's customer code. 0 or the error bits.
uint32_t UpdateParameters(DevInfo& ctx, const qvfmt::ParaSection& para, uint8_t customer);

// The package's virtual-key table written when its counts exceed the
// controller's (else nothing is done). 0 or kErrVirtualKeys.
uint32_t UpdateVirtualKeys(DevInfo& ctx, const qvfmt::VKeyTable& table);

}  // namespace qvlib::n4
