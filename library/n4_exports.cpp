// The N4 family's exports: each one that talks to a controller opens it (the
// serial port set, else the USB HID search), runs its commands and closes it
// again; the virtual-key exports may instead go through the caller's own
// send callbacks. The commands themselves are the protocol's operations.
#include "n4_internal.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace qvlib::n4 {
namespace {

std::atomic<QVN4SendCmdCallBack> g_sendCmd{nullptr};
std::atomic<QVN4SendCmdOnlyCallBack> g_sendCmdOnly{nullptr};
std::atomic<uint8_t> g_i2cAddress{0};

// Runs work on a freshly opened controller and closes it again. openFailed is
// what the export returns when nothing opens.
template <class Work> int WithController(int openFailed, Work work) {
    DevInfo ctx = NewContext();
    if (Open(ctx) != 1) {
        Close(ctx);
        return openFailed;
    }
    const int result = work(ctx);
    Close(ctx);
    return result;
}

bool Answered(DevInfo& ctx, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4, uint8_t* reply = nullptr) {
    uint8_t local[5] = {};
    return Exchange(ctx, c0, c1, c2, c3, c4, reply ? reply : local) == kExchangeOk;
}

void LogName(const char* name) { debug_log_msg(kDbgError, "%s\r\n", name); }

// ---- settings ---------------------------------------------------------------------

bool IsAcceptedRate(uint32_t rate) {
    static constexpr uint32_t kRates[] = {9600, 19200, 38400, 57600, 115200};
    return std::find(std::begin(kRates), std::end(kRates), rate) != std::end(kRates);
}

int KeepSerialPath(const std::string& path) {
    if (path.empty()) return SetUartPath("") ? 1 : 0;
    if (path.size() > kMaxUartPath) return 0;
    if (!qvp::backend().testOpenSerial(path)) {
        debug_log_msg(kDbgError, "Cannot open \"%s\": %s\r\n", path.c_str(), qvp::lastError().text.c_str());
        return 0;
    }
    return SetUartPath(path) ? 1 : 0;
}

// ---- parameter banks --------------------------------------------------------------

int SetParamIn(uint8_t bank, uint8_t limit, uint8_t index, uint8_t value) {
    if (index >= limit) return 0;
    return WithController(0, [&](DevInfo& ctx) {
        if (UpdateLock(ctx, 1) < 0) return 0;
        const bool written = WriteParameter(ctx, bank, index, value) >= 0;
        const bool unlocked = UpdateLock(ctx, 0) >= 0;
        return written && unlocked ? 1 : 0;
    });
}

int GetParamIn(const char* name, uint8_t bank, uint8_t index, uint8_t* value) {
    LogName(name);
    if (!value) return 0;
    return WithController(0, [&](DevInfo& ctx) { return ReadParameter(ctx, bank, index, value) >= 0 ? 1 : 0; });
}

// ---- parameter CRC -------------------------------------------------------------------

// The CRC over the touch and boot lists as the controller holds them. The
// lists go into zero-filled buffers of at least 128 and 64 bytes, so clearing
// the positions that hold no parameter never reaches past a shorter list.
int ComputedParamCrc(DevInfo& ctx) {
    // The list lengths as ListLengths reads them, with the item-protocol check
    // (which also picks the banks) asked once.
    const int items = ItemProtocol(ctx);
    uint32_t touchLength = 128, bootLength = 64;
    uint8_t reply[5] = {};
    if (items == 0) {
        touchLength = 64;
        bootLength = 16;
    } else if (items > 0 && Answered(ctx, 0xE0, 0x00, 0xFB, 0x00, 0x00, reply)) {
        touchLength = reply[4];
        bootLength = reply[3];
    }
    std::vector<uint8_t> touch(std::max<size_t>(touchLength, 128), 0);
    std::vector<uint8_t> boot(std::max<size_t>(bootLength, 64), 0);
    for (uint32_t i = 0; i < touchLength; ++i) {
        const int r = items == 1 ? ReadParameter(ctx, 0x80, uint8_t(i), &touch[i])
                                 : ReadParameter(ctx, 0x00, uint8_t(i), &touch[i]);
        if (r < 0) return -1;
    }
    for (uint32_t i = 0; i < bootLength; ++i) {
        const int r = items == 1 ? ReadParameter(ctx, 0x90, uint8_t(i), &boot[i])
                                 : ReadParameter(ctx, 0x00, uint8_t(0x40 + i), &boot[i]);
        if (r < 0) return -1;
    }
    touch[61] = touch[63] = 0;
    if (touchLength > 64) touch[127] = 0;
    boot[15] = 0;
    if (bootLength > 16) boot[61] = boot[63] = 0;
    if (boot[0] > 63) boot[0] &= 0xC0;
    const uint16_t crc = ChecksumBytes(0xFFFF, touch.data(), touchLength);
    return ChecksumBytes(crc, boot.data(), bootLength);
}

// ---- system reference --------------------------------------------------------------

// E0 00 FC: whether the controller builds a system reference (bit 0 of byte 1).
bool SupportsSystemReference(DevInfo& ctx) {
    uint8_t reply[5] = {};
    return Answered(ctx, 0xE0, 0x00, 0xFC, 0x00, 0x00, reply) && (reply[1] & 0x01);
}

// ---- virtual keys ---------------------------------------------------------------------

// Where a virtual-key export sends its commands: the caller's callbacks for a
// HANDLE above 0, else a controller opened for the call.
class KeyChannel {
public:
    explicit KeyChannel(HANDLE h) : handle_(h) {}
    bool viaCallbacks() const { return reinterpret_cast<intptr_t>(handle_) > 0; }
    void attach(DevInfo& ctx) { ctx_ = &ctx; }

    // A command and its answer: answered with the command's code, no refusal.
    bool exchange(const std::array<uint8_t, 5>& cmd, uint8_t reply[5]) {
        std::memset(reply, 0, 5);
        if (viaCallbacks()) {
            const auto send = g_sendCmd.load();
            if (!send || !send(handle_, cmd.data(), reply)) return false;
        } else if (Exchange(*ctx_, cmd.data(), reply) != kExchangeOk) {
            return false;
        }
        return reply[0] == cmd[0] && !ItemRefused(reply);
    }
    // A command whose answer is not needed. A serial controller answers every
    // frame all the same: its answer is read and dropped, or the next command
    // would take it for its own.
    bool sendOnly(const std::array<uint8_t, 5>& cmd) {
        if (viaCallbacks()) {
            const auto send = g_sendCmdOnly.load();
            return send && send(handle_, cmd.data());
        }
        if (Send(*ctx_, cmd.data()) != 0) return false;
        if (IsUart(*ctx_)) {
            uint8_t dropped[5];
            Receive(*ctx_, dropped);
        }
        return true;
    }
    // A command whose answer is read after waitMs on an own controller (the
    // callbacks send and read in one go).
    bool exchangeAfter(const std::array<uint8_t, 5>& cmd, uint32_t waitMs, uint8_t reply[5]) {
        if (viaCallbacks()) return exchange(cmd, reply);
        std::memset(reply, 0, 5);
        if (Send(*ctx_, cmd.data()) != 0) return false;
        qvp::sleepMs(waitMs);
        if (Receive(*ctx_, reply) != 0) return false;
        return reply[0] == cmd[0] && !ItemRefused(reply);
    }

private:
    HANDLE handle_;
    DevInfo* ctx_ = nullptr;
};

// Runs a virtual-key operation over its channel: the callbacks (which must be
// there: needsOnly adds the send-only one), or a controller opened for it.
template <class Work> int WithKeys(HANDLE h, bool needsOnly, Work work) {
    KeyChannel ch(h);
    if (ch.viaCallbacks()) {
        if (!g_sendCmd.load() || (needsOnly && !g_sendCmdOnly.load())) return 0;
        return work(ch);
    }
    return WithController(0, [&](DevInfo& ctx) {
        ch.attach(ctx);
        return work(ch);
    });
}

int KeyControlOn(KeyChannel& ch, uint8_t code, uint8_t b3, uint8_t b4, uint8_t* result = nullptr) {
    uint8_t reply[5];
    if (!ch.exchange({0xF6, 0x0F, code, b3, b4}, reply)) return 0;
    if (result) *result = reply[4];
    return 1;
}

int KeyControl(HANDLE h, uint8_t code, uint8_t b3, uint8_t b4, uint8_t* result = nullptr) {
    return WithKeys(h, false, [&](KeyChannel& ch) { return KeyControlOn(ch, code, b3, b4, result); });
}

int WriteKeysToFlash(KeyChannel& ch) {
    uint8_t reply[5];
    return ch.exchangeAfter({0xF6, 0x0F, 0x93, 0xAA, 0x55}, 200, reply) ? 1 : 0;
}

int ReadKeyTable(KeyChannel& ch, VButtonTable* t) {
    std::memset(t, 0, sizeof *t);
    uint8_t reply[5];
    if (!ch.exchange({0xF6, 0x0F, 0x02, 0, 0}, reply)) return 0;
    const uint8_t size = reply[3];
    // The table holds 16 entries of 12 bytes; a controller naming more gets no more.
    const uint8_t count = std::min<uint8_t>(reply[4], 16);
    for (uint8_t e = 0; e < count; ++e) {
        uint8_t entry[256 + 4] = {};
        for (unsigned w = 0; 4 * w < size; ++w)
            if (ch.exchange({0xF6, 0x0F, 0xA0, e, uint8_t(w)}, reply)) std::memcpy(entry + 4 * w, reply + 1, 4);
        std::memcpy(t->entry[e], entry, std::min<size_t>(size, 12));
    }
    if (ch.exchange({0xF6, 0x0F, 0x03, 0, 0}, reply)) t->crc = uint16_t(reply[4] << 8 | reply[3]);
    t->entrySize = size;
    for (uint8_t e = 0; e < count; ++e)
        if (t->entry[e][8] | t->entry[e][9]) ++t->usedCount;
    return 1;
}

int WriteKeyTable(KeyChannel& ch, const VButtonTable* t) {
    uint8_t reply[5];
    if (!ch.exchange({0xF6, 0x0F, 0x02, 0, 0}, reply)) return 0;
    const uint8_t size = reply[3];
    const uint8_t count = std::min<uint8_t>(reply[4], 16);
    for (uint8_t e = 0; e < count; ++e) {
        if (!ch.exchange({0xF6, 0x0F, 0xB0, e, 0}, reply)) return 0;
        for (unsigned w = 0; 4 * w < size; ++w) {
            std::array<uint8_t, 5> packet{uint8_t(w), 0, 0, 0, 0};
            for (unsigned k = 0; k < 4; ++k)
                if (4 * w + k < 12) packet[1 + k] = t->entry[e][4 * w + k];
            if (!ch.sendOnly(packet)) return 0;
        }
        if (!ch.exchangeAfter({0xF6, 0x0F, 0xB1, e, 0}, 100, reply)) return 0;
    }
    return 1;
}

// The table written under the item lock.
int WriteKeysLocked(KeyChannel& ch, const VButtonTable* t) {
    uint8_t reply[5];
    if (!ch.exchange({0xF6, 0x00, 0x9F, 0x00, 0x01}, reply)) return 0;
    const int written = WriteKeyTable(ch, t);
    const bool unlocked = ch.exchange({0xF6, 0x00, 0x9F, 0x00, 0x00}, reply);
    return written && unlocked ? 1 : 0;
}

KeyChannel ChannelOn(DevInfo& ctx) {
    KeyChannel ch(nullptr);
    ch.attach(ctx);
    return ch;
}

}  // namespace

// The virtual-key operations on a context the caller holds open.

int KeysClearOn(DevInfo& ctx, uint8_t flag) {
    KeyChannel ch = ChannelOn(ctx);
    return KeyControlOn(ch, 0x90, 0, flag);
}

int KeysInitOn(DevInfo& ctx, uint8_t* result) {
    KeyChannel ch = ChannelOn(ctx);
    return KeyControlOn(ch, 0x91, 0, 0, result);
}

int KeysWriteFlashOn(DevInfo& ctx) {
    KeyChannel ch = ChannelOn(ctx);
    return WriteKeysToFlash(ch);
}

int KeysReadOn(DevInfo& ctx, VButtonTable* table) {
    KeyChannel ch = ChannelOn(ctx);
    return ReadKeyTable(ch, table);
}

int KeysWriteOn(DevInfo& ctx, const VButtonTable* table) {
    KeyChannel ch = ChannelOn(ctx);
    return WriteKeysLocked(ch, table);
}

namespace {

// ---- user settings ------------------------------------------------------------------

constexpr uint8_t kLastItem = 0x0F;

int SetUserSetting(uint8_t group, uint8_t item, uint8_t v1, uint8_t v2) {
    // Item codes above 15 would reach the group's control items (reload, lock,
    // write to flash): refused.
    if (item > kLastItem) return -1;
    return WithController(0, [&](DevInfo& ctx) {
        if (!Answered(ctx, 0xF6, 0x00, 0x9F, 0x00, 0x01)) return -1;
        const int changed = WriteUserSetting(ctx, group, item, v1, v2);
        Answered(ctx, 0xF6, 0x00, 0x9F, 0x00, 0x00);
        return changed;
    });
}

int Unsupported(const char* what) {
    debug_log_msg(kDbgError, "QuorvaneN4_%s() is not supported !\r\n", what);
    return 0;
}

}  // namespace

QVN4SendCmdCallBack SendCmdCallback() { return g_sendCmd.load(); }
QVN4SendCmdOnlyCallBack SendCmdOnlyCallback() { return g_sendCmdOnly.load(); }

// The full path name of a path: relative names taken from the working
// directory, "." and ".." resolved by name only (the file need not exist). ""
// when the working directory cannot be had.
std::string FullPathName(const std::string& path) {
    std::filesystem::path p(path);
    if (p.is_relative()) {
        std::error_code ec;
        const auto cwd = std::filesystem::current_path(ec);
        if (ec) return {};
        p = cwd / p;
    }
    return p.lexically_normal().string();
}

}  // namespace qvlib::n4

using namespace qvlib;
using namespace qvlib::n4;

extern "C" {

QV_API int QuorvaneN4_GetLibVersion(uint32_t* major, uint32_t* minor) {
    if (!major || !minor) return 0;
    *major = 2;
    *minor = 4;
    return 1;
}

QV_API int QuorvaneN4_GetLibVersionEx(uint32_t* major, uint32_t* minor, uint32_t* release, uint32_t* build) {
    if (!major || !minor || !release || !build) return 0;
    *major = 2;
    *minor = 4;
    *release = 5;
    *build = 11;
    return 1;
}

QV_API int QuorvaneN4_GetDrvVersion(uint32_t* major, uint32_t* minor, uint32_t* release, uint32_t* build) {
    return WithController(0, [&](DevInfo&) {
        qvp::sleepMs(20);
        for (uint32_t* out : {major, minor, release, build})
            if (out) *out = 0;
        return 1;
    });
}

QV_API int QuorvaneN4_SetDevPathA(const char* path) { return path ? KeepSerialPath(path) : 0; }

QV_API int QuorvaneN4_SetDevPathW(const QVWCHAR* path) {
    if (!path) return 0;
    if (!*path) return KeepSerialPath("");
    const std::string narrow = WideToUtf8(path);
    const std::string full = FullPathName(narrow);
    return full.empty() ? 0 : KeepSerialPath(full);
}

QV_API int QuorvaneN4_SetDevIOPort(uint32_t port) {
    SetIoPort(port);
    return 1;
}

QV_API int QuorvaneN4_SetDevIRQ(uint32_t irq) {
    SetIrq(irq);
    return 1;
}

QV_API int QuorvaneN4_UseI2CAddress(uint8_t address) {
    g_i2cAddress = address;
    return 1;
}

QV_API int QuorvaneN4_SetBaudRate(uint32_t rate) {
    if (!IsAcceptedRate(rate)) return 0;
    n4::SetBaudRate(rate);
    return 1;
}

QV_API int QuorvaneN4_GetDevVersionStrA(char* out) {
    if (!out) return 0;
    return WithController(0, [&](DevInfo& ctx) { return GetIdentity(ctx, out) >= 0 ? 1 : 0; });
}

QV_API int QuorvaneN4_GetDevVersionStrW(QVWCHAR* out, int count) {
    LogName("QuorvaneN4_GetDevVersionStrW");
    if (!out || count <= 0) return 0;
    char text[kVersionTextSize] = {};
    const int ok = QuorvaneN4_GetDevVersionStrA(text);
    if (ok) CopyWide(out, std::min<size_t>(size_t(count), kVersionTextSize), Utf8ToWide(text).c_str());
    return ok;
}

QV_API int QuorvaneN4_GloveMode(uint8_t mode) {
    LogName("QuorvaneN4_GloveMode");
    return WithController(0, [&](DevInfo& ctx) { return Answered(ctx, 0xF3, 0x00, 0x01, 0x00, mode) ? 1 : 0; });
}

QV_API int QuorvaneN4_DeviceReset(void) {
    return WithController(0, [&](DevInfo& ctx) { return Reset(ctx) >= 0 ? 1 : 0; });
}

QV_API int QuorvaneN4_SetParam(uint8_t index, uint8_t value) { return SetParamIn(0x00, 80, index, value); }
QV_API int QuorvaneN4_SetParamAP(uint8_t index, uint8_t value) { return SetParamIn(0x80, 80, index, value); }
QV_API int QuorvaneN4_SetParamBT(uint8_t index, uint8_t value) { return SetParamIn(0x90, 64, index, value); }

QV_API int QuorvaneN4_GetParam(uint8_t index, uint8_t* value) {
    return GetParamIn("QuorvaneN4_GetParam", 0x00, index, value);
}
QV_API int QuorvaneN4_GetParamAP(uint8_t index, uint8_t* value) {
    return GetParamIn("QuorvaneN4_GetParamAP", 0x80, index, value);
}
QV_API int QuorvaneN4_GetParamBT(uint8_t index, uint8_t* value) {
    return GetParamIn("QuorvaneN4_GetParamBT", 0x90, index, value);
}

QV_API int QuorvaneN4_GetParamCRC(void) {
    return WithController(0, [&](DevInfo& ctx) {
        uint8_t reply[5] = {};
        if (!Answered(ctx, 0xE0, 0x00, 0xFC, 0x00, 0x00, reply)) return -1;
        if (reply[1] & 0x10) {
            // The controller keeps its own.
            uint16_t crc = 0;
            return ReadParamCrc(ctx, &crc) >= 0 ? int(crc) : -1;
        }
        if (GetIdentity(ctx) != 0) return -1;  // in the boot loader, or no answer
        return ComputedParamCrc(ctx);
    });
}

QV_API int QuorvaneN4_GetSRStatus(void) {
    return WithController(-1, [&](DevInfo& ctx) {
        if (!SupportsSystemReference(ctx)) return -1;
        uint8_t reply[5] = {};
        if (!Answered(ctx, 0xE4, 0x00, 0x00, 0x00, 0x00, reply)) return -1;
        return (reply[4] & 0x01) ? 0 : 1;
    });
}

QV_API int QuorvaneN4_ResetSR(void) {
    return WithController(-1, [&](DevInfo& ctx) {
        if (!SupportsSystemReference(ctx)) return -1;
        const bool accepted = Answered(ctx, 0xE4, 0x01, 0x00, 0x00, 0xFF);
        qvp::sleepMs(500);
        return accepted ? 1 : 0;
    });
}

QV_API int QuorvaneN4_InitSR(void) {
    return WithController(-1, [&](DevInfo& ctx) {
        if (!SupportsSystemReference(ctx)) return -1;
        return StartSystemReference(ctx) == 1 ? 1 : 0;
    });
}

QV_API int QuorvaneN4_SetupSendCmdCallBack(QVN4SendCmdCallBack callback) {
    g_sendCmd = callback;
    return 0;
}

QV_API int QuorvaneN4_SetupSendCmdOnlyCallBack(QVN4SendCmdOnlyCallBack callback) {
    g_sendCmdOnly = callback;
    return 0;
}

QV_API int QuorvaneN4_VKeyGetCRC(HANDLE handle, uint16_t* crc) {
    if (!crc) return 0;
    uint8_t reply[5] = {};
    return WithKeys(handle, false, [&](KeyChannel& ch) {
        if (!ch.exchange({0xF6, 0x0F, 0x03, 0, 0}, reply)) return 0;
        *crc = uint16_t(reply[4] << 8 | reply[3]);
        return 1;
    });
}

QV_API int QuorvaneN4_VKeyClear(HANDLE handle, uint8_t flag) { return KeyControl(handle, 0x90, 0, flag); }

QV_API int QuorvaneN4_VKeyInit(HANDLE handle, uint8_t* result) {
    return result ? KeyControl(handle, 0x91, 0, 0, result) : 0;
}

QV_API int QuorvaneN4_VKeyLoadSetting(HANDLE handle, uint8_t flag) { return KeyControl(handle, 0x92, 0, flag); }

QV_API int QuorvaneN4_VKeyWriteFlash(HANDLE handle) {
    return WithKeys(handle, false, [&](KeyChannel& ch) { return WriteKeysToFlash(ch); });
}

QV_API int QuorvaneN4_VKeyRead(HANDLE handle, VButtonTable* table) {
    if (!table) return 0;
    return WithKeys(handle, false, [&](KeyChannel& ch) { return ReadKeyTable(ch, table); });
}

QV_API int QuorvaneN4_VKeyWrite(HANDLE handle, const VButtonTable* table) {
    if (!table) return 0;
    return WithKeys(handle, true, [&](KeyChannel& ch) { return WriteKeysLocked(ch, table); });
}

QV_API int QuorvaneN4_GetUserSetting8(uint8_t group, uint8_t item, uint8_t* value, uint8_t* maximum) {
    return WithController(0, [&](DevInfo& ctx) {
        if (ItemProtocol(ctx) != 1) return -1;
        uint8_t v = 0, m = 0;
        if (ReadUserSetting(ctx, group, item, &v, &m) < 0) return 0;
        if (value) *value = v;
        if (maximum) *maximum = m;
        return 1;
    });
}

QV_API int QuorvaneN4_GetUserSetting16(uint8_t group, uint8_t item, uint16_t* value) {
    if (!value) return 0;
    return WithController(0, [&](DevInfo& ctx) {
        if (ItemProtocol(ctx) != 1) return -1;
        uint8_t low = 0, high = 0;
        if (ReadUserSettingBytes(ctx, group, item, &low, &high) < 0) return 0;
        *value = uint16_t(high << 8 | low);
        return 1;
    });
}

QV_API int QuorvaneN4_SetUserSetting8(uint8_t group, uint8_t item, uint8_t value) {
    return SetUserSetting(group, item, 0, value);
}

QV_API int QuorvaneN4_SetUserSetting16(uint8_t group, uint8_t item, uint16_t value) {
    return SetUserSetting(group, item, uint8_t(value & 0xFF), uint8_t(value >> 8));
}

QV_API int QuorvaneN4_EnterSleepMode(int enter) {
    return WithController(0, [&](DevInfo& ctx) {
        qvp::sleepMs(20);
        return Answered(ctx, enter ? 0xE2 : 0xFC, 0x00, 0x00, 0x00, 0x00) ? 1 : 0;
    });
}

QV_API int QuorvaneN4_EnableTouchScan(int enable) {
    return WithController(0, [&](DevInfo& ctx) {
        qvp::sleepMs(20);
        return (enable ? StartScanning(ctx) : StopScanning(ctx)) >= 0 ? 1 : 0;
    });
}

QV_API int QuorvaneN4_ChangeI2CAddress(uint8_t address) {
    // The address goes out shifted left by one: above 0x7F it would wrap.
    if (address > 0x7F) return 0;
    return WithController(0, [&](DevInfo& ctx) { return n4::ChangeI2CAddress(ctx, address) >= 0 ? 1 : 0; });
}

QV_API int QuorvaneN4_GetDevStatus(void) {
    WithController(0, [](DevInfo&) { return 0; });
    return Unsupported("GetDevStatus");
}

QV_API int QuorvaneN4_InitSRExW(void) { return Unsupported("InitSRExW"); }
QV_API int QuorvaneN4_InitSRExA(void) { return Unsupported("InitSRExA"); }
QV_API int QuorvaneN4_GetInterface(void) { return Unsupported("GetInterface"); }
QV_API int QuorvaneN4_GetIdleMode(void) { return Unsupported("IdleMode"); }
QV_API int QuorvaneN4_SetIdleMode(void) { return Unsupported("IdleMode"); }
QV_API int QuorvaneN4_GetSleepMode(void) { return Unsupported("SleepMode"); }
QV_API int QuorvaneN4_SetSleepMode(void) { return Unsupported("SleepMode"); }
QV_API int QuorvaneN4_GetTouchPoint(void) { return Unsupported("TouchPoint"); }
QV_API int QuorvaneN4_SetTouchPoint(void) { return Unsupported("TouchPoint"); }
QV_API int QuorvaneN4_GetActiveWaterSolution(void) { return Unsupported("WaterSwitch"); }
QV_API int QuorvaneN4_GetSupportedWaterSolution(void) { return Unsupported("WaterSwitch"); }
QV_API int QuorvaneN4_GetWaterSolution(void) { return Unsupported("WaterSwitch"); }
QV_API int QuorvaneN4_WaterEnable(void) { return Unsupported("WaterSwitch"); }
QV_API int QuorvaneN4_GetWaterNotification(void) { return Unsupported("WaterNotification"); }
QV_API int QuorvaneN4_SetWaterNotification(void) { return Unsupported("WaterNotification"); }
QV_API int QuorvaneN4_GetWaterPerfLevel(void) { return Unsupported("WaterPerfLevel"); }
QV_API int QuorvaneN4_SetWaterPerfLevel(void) { return Unsupported("WaterPerfLevel"); }
QV_API int QuorvaneN4_GetAntiNoise(void) { return Unsupported("AntiNoise"); }
QV_API int QuorvaneN4_SetAntiNoise(void) { return Unsupported("AntiNoise"); }
QV_API int QuorvaneN4_GetEdgeCompsate(void) { return Unsupported("EdgeCompensate"); }
QV_API int QuorvaneN4_SetEdgeCompsate(void) { return Unsupported("EdgeCompensate"); }
QV_API int QuorvaneN4_GetPanelActiveArea(void) { return Unsupported("PanelActiveArea"); }
QV_API int QuorvaneN4_SetPanelActiveArea(void) { return Unsupported("PanelActiveArea"); }
QV_API int QuorvaneN4_GetScreenActiveArea(void) { return Unsupported("PanelActiveArea"); }
QV_API int QuorvaneN4_SetScreenActiveArea(void) { return Unsupported("PanelActiveArea"); }
QV_API int QuorvaneN4_GetPanelOrient(void) { return Unsupported("PanelOrient"); }
QV_API int QuorvaneN4_SetPanelOrient(void) { return Unsupported("PanelOrient"); }
QV_API int QuorvaneN4_GetSensitivity(void) { return Unsupported("Sensitivity"); }
QV_API int QuorvaneN4_SetSensitivity(void) { return Unsupported("Sensitivity"); }
QV_API int QuorvaneN4_MonitorAbnStatus(void) { return Unsupported("MonitorAbnStatus"); }
QV_API int QuorvaneN4_ReloadParam(void) { return Unsupported("ReloadParam"); }

}  // extern "C"
