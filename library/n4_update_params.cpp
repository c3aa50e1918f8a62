// The update's phases after the firmware: waiting for the controller to come
// back after it left the bus, writing the package's parameter lists and
// reloading them, and writing its virtual-key table.
#include "n4_update.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace qvlib::n4 {
namespace {

constexpr int kReadyAttempts = 30;
constexpr uint32_t kReadyStepMs = 500;

bool Contains(const std::vector<std::string>& list, const std::string& id) {
    return std::find(list.begin(), list.end(), id) != list.end();
}

// The HID device to take back: one with an identity the controller had (the
// latest first); when none is there (a boot switch may bring the controller
// back under another product), a device of no identity known before, and only
// when it is the only one: with several new ones nothing says which is ours.
bool ReopenHid(DevInfo& ctx, const HidLineage& lineage) {
    std::vector<HidCandidate> list;
    if (!HidCandidates(&list)) return false;
    const HidCandidate* pick = nullptr;
    for (auto id = lineage.own.rbegin(); id != lineage.own.rend() && !pick; ++id)
        for (const auto& c : list)
            if (HidIdentity(c.itf) == *id) {
                pick = &c;
                break;
            }
    if (!pick) {
        int fresh = 0;
        for (const auto& c : list) {
            const std::string id = HidIdentity(c.itf);
            if (!Contains(lineage.own, id) && !Contains(lineage.others, id)) {
                pick = &c;
                ++fresh;
            }
        }
        if (fresh != 1) return false;
    }
    // What is known now goes with the new handle: devices listed beside ours
    // stay others even when they leave the bus for a while.
    HidLineage next = lineage;
    const std::string picked = HidIdentity(pick->itf);
    if (!Contains(next.own, picked)) next.own.push_back(picked);
    for (const auto& c : list) {
        std::string id = HidIdentity(c.itf);
        if (!Contains(next.own, id) && !Contains(next.others, id)) next.others.push_back(std::move(id));
    }
    return OpenHidCandidate(ctx, *pick, std::move(next));
}

// Whether the boot-loader state is the one the mode expects (1 the boot loader,
// other modes the application). The check is not logged.
bool InExpectedState(DevInfo& ctx, int mode) {
    std::atomic_ref<int> level(g_DbgLevel);
    const int was = level.exchange(0);
    const int inBoot = BootLoaderCheck(ctx, false);
    level.store(was);
    return inBoot >= 0 && (inBoot == 1) == (mode == 1);
}

VButtonTable ToButtonTable(const qvfmt::VKeyTable& t) {
    VButtonTable out{};
    std::memcpy(out.entry, t.entry, sizeof out.entry);
    out.entrySize = t.entrySize;
    out.usedCount = t.usedCount;
    out.crc = t.crc;
    return out;
}

}  // namespace

int WaitForReady(DevInfo& ctx, int mode) {
    debug_log_msg(kDbgInfo, "* {INFO} Waiting for device ready ");
    const bool uart = !UartPath().empty();
    // Over HID: what is known about the device closed; with nothing known (a
    // context the search did not open) the search takes the first device.
    const HidLineage lineage = uart || !IsOpen(ctx) ? HidLineage{} : LineageOf(ctx.hDevice);
    const bool searchAny = !uart && lineage.own.empty();
    Close(ctx);
    qvp::sleepMs(kReadyStepMs);
    bool ready = false;
    for (int attempt = 0; attempt < kReadyAttempts && !ready; ++attempt) {
        debug_log_msg(kDbgInfo, ".");
        qvp::sleepMs(kReadyStepMs);
        const bool opened = uart ? OpenUart(ctx) == 1 : searchAny ? OpenHid(ctx) == 1 : ReopenHid(ctx, lineage);
        if (!opened) {
            Close(ctx);
            continue;
        }
        if (mode == 2 || InExpectedState(ctx, mode))
            ready = true;
        else
            Close(ctx);
    }
    qvp::sleepMs(kReadyStepMs);
    debug_log_msg(kDbgInfo, "\r\n");
    return ready ? 1 : 0;
}

uint32_t UpdateParameters(DevInfo& ctx, const qvfmt::ParaSection& para, uint8_t customer) {
    StopScanning(ctx);
    LogBanner({"|         Updating Firmware Parameters         |"});
    // The package's lists must be the controller's: a longer list would run
    // past the controller's (and 0x40 + i into other registers).
    uint32_t touchLength = 0, bootLength = 0;
    if (ListLengths(ctx, &touchLength, &bootLength) < 0 || touchLength != para.touch.size() ||
        bootLength != para.boot.size()) {
        debug_log_msg(kDbgError, "* {ERROR} Parameter list lengths do not match (device %u/%u, file %zu/%zu) !\r\n",
                      touchLength, bootLength, para.touch.size(), para.boot.size());
        return kErrTouchList;
    }
    const int items = ItemProtocol(ctx);  // which banks the lists are written to
    if (items < 0) return kErrTouchList;
    UpdateLock(ctx, 1);
    for (size_t i = 0; i < para.touch.size(); ++i) {
        const int r = items == 1 ? WriteParameter(ctx, 0x80, uint8_t(i), para.touch[i])
                                 : WriteParameter(ctx, 0x00, uint8_t(i), para.touch[i]);
        if (r < 0) {
            debug_log_msg(kDbgError, "* {ERROR} Failed to write touch parameter #%zu !\r\n", i);
            return kErrTouchList;
        }
    }
    for (size_t i = 0; i < para.boot.size(); ++i) {
        const int r = items == 1 ? WriteParameter(ctx, 0x90, uint8_t(i), para.boot[i])
                                 : WriteParameter(ctx, 0x00, uint8_t(0x40 + i), para.boot[i]);
        if (r < 0) {
            debug_log_msg(kDbgError, "* {ERROR} Failed to write boot parameter #%zu !\r\n", i);
            return kErrBootList;
        }
    }
    if (Flush(ctx, false) < 0 || Flush(ctx, true) < 0) {
        debug_log_msg(kDbgError, "* {ERROR} Failed to flush parameters !\r\n");
        return kErrFlush;
    }
    if (Reset(ctx) < 0 || !WaitForReady(ctx, 0)) {
        debug_log_msg(kDbgError, "* {ERROR} Failed to reset device !\r\n");
        return kErrResetAfterParameters;
    }
    debug_log_msg(kDbgInfo, "=> Result : Update parameters finished !\r\n");

    if (customer != 0)
        LogBanner({"|       Reloading All Firmware Parameters      |"});
    else
        LogBanner({"|         Reloading Firmware Parameters        |"});
    UpdateState().status = kStatusReloading;
    // A customer's firmware takes its interface registers from the reloaded
    // parameters; others keep the ones they run with.
    if (ReloadPreservingInterface(ctx, customer != 0) < 0) {
        debug_log_msg(kDbgError, "* {ERROR} Failed to reload parameters !\r\n");
        return kErrReload;
    }
    if (Reset(ctx) < 0 || !WaitForReady(ctx, 0)) {
        debug_log_msg(kDbgError, "* {ERROR} Failed to reset device !\r\n");
        return kErrResetAfterParameters;
    }
    debug_log_msg(kDbgInfo, "=> Result : Reload parameters finished !\r\n");
    UpdateState().status = kStatusParametersDone;
    return 0;
}

uint32_t UpdateVirtualKeys(DevInfo& ctx, const qvfmt::VKeyTable& table) {
    if (!UartPath().empty() && !(IsOpen(ctx) && IsUart(ctx))) {
        Close(ctx);
        if (OpenUart(ctx) != 1) return kErrVirtualKeys;
    }
    VButtonTable held{};
    if (!KeysReadOn(ctx, &held)) {
        debug_log_msg(kDbgError, "* {ERROR} Failed to read virtual key data !\r\n");
        return kErrVirtualKeys;
    }
    if (table.usedCount <= held.usedCount) return 0;

    LogBanner({"|      Updating Firmware Virtual Key Data      |"});
    const VButtonTable wanted = ToButtonTable(table);
    UpdateLock(ctx, 1);
    uint8_t entries = 0;
    bool ok = KeysClearOn(ctx, 0) && KeysWriteOn(ctx, &wanted) && KeysInitOn(ctx, &entries) &&
              entries == uint32_t(table.usedCount) + 1 && KeysWriteFlashOn(ctx);
    Reset(ctx);
    ok = WaitForReady(ctx, 0) && ok;
    if (ok) {
        debug_log_msg(kDbgInfo, "=> Result : Update Virtual Key data [OK] !!\n");
        return 0;
    }
    debug_log_msg(kDbgError, "=> Result : Update Virtual Key data [NG] !!\n");
    return kErrVirtualKeys;
}

}  // namespace qvlib::n4
