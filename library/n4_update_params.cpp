// The update's phases after the firmware: waiting for the controller to come
// back after it left the bus, writing the package's parameter lists and
// reloading them, and writing its virtual-key table.
#include "n4_update.h"

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace qvlib::n4 {
namespace {

constexpr int kReadyAttempts = 30;
constexpr uint32_t kReadyStepMs = 500;

// The HID device to take back: the one of the same identity as the device
// closed; when that does not come back (a boot switch may bring the controller
// back under another product), a device that was not listed before, and only
// when it is the only one: with several new ones nothing says which is ours.
bool ReopenHid(DevInfo& ctx, std::string& target, const std::set<std::string>& known) {
    std::vector<HidCandidate> list;
    if (!HidCandidates(&list)) return false;
    for (const auto& c : list)
        if (HidIdentity(c.itf) == target) return OpenHidCandidate(ctx, c, list);
    const HidCandidate* fresh = nullptr;
    int count = 0;
    for (const auto& c : list)
        if (!known.count(HidIdentity(c.itf))) {
            fresh = &c;
            ++count;
        }
    if (count != 1 || !OpenHidCandidate(ctx, *fresh, list)) return false;
    target = HidIdentity(fresh->itf);
    return true;
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
    // Over HID: the identity of the device closed, and every identity listed
    // when it was opened (a device listed then is another controller).
    std::string target;
    std::set<std::string> known;
    const bool searchAny = !uart && (!IsOpen(ctx) || ctx.dwDeviceType != kKindHid || !ctx.szParentId[0]);
    if (!uart && !searchAny) {
        target = ctx.szParentId;
        for (const auto& id : IdentitiesAtOpen(ctx.hDevice)) known.insert(id);
        known.insert(target);
    }
    Close(ctx);
    qvp::sleepMs(kReadyStepMs);
    bool ready = false;
    for (int attempt = 0; attempt < kReadyAttempts && !ready; ++attempt) {
        debug_log_msg(kDbgInfo, ".");
        qvp::sleepMs(kReadyStepMs);
        const bool opened = uart ? OpenUart(ctx) == 1 : searchAny ? OpenHid(ctx) == 1 : ReopenHid(ctx, target, known);
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
    const int items = ItemProtocol(ctx);
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
