// The N4 command protocol: five-byte commands and their replies over the N4
// transport (send with retries, receive, the exchange rule with its echo check
// and the controller's error reply), the version text, and the operations the
// N4 exports and the firmware update are made of.
#include "n4_internal.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace qvlib::n4 {
namespace {

constexpr uint8_t kRejected[5] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE};

// The transport kind with the report id in bits 5..7.
int TransportKind(const DevInfo& ctx) { return int(ctx.dwDeviceType | (uint32_t(ctx.bWin8Ptl & 7) << 5)); }

std::mutex& StateMutex() {
    static auto* m = new std::mutex;
    return *m;
}

ProtocolState& TheState() {
    static auto* s = new ProtocolState;
    return *s;
}

void SetLastCommand(uint8_t c) {
    std::lock_guard lock(StateMutex());
    TheState().lastCommand = c;
}

uint8_t LastCommand() {
    std::lock_guard lock(StateMutex());
    return TheState().lastCommand;
}

// An exchange whose failure logs the command that failed.
int Run(DevInfo& ctx, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4, uint8_t reply[5]) {
    const int r = Exchange(ctx, c0, c1, c2, c3, c4, reply);
    if (r != kExchangeOk) debug_log_msg(kDbgError, "* {ERROR} Failed to send [0x%02X] command !!\n", c0);
    return r;
}

int SendOnly(DevInfo& ctx, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4) {
    const uint8_t cmd[5] = {c0, c1, c2, c3, c4};
    const int r = Send(ctx, cmd);
    if (r < 0) debug_log_msg(kDbgError, "* {ERROR} Failed to send [0x%02X] command !!\n", c0);
    return r;
}

uint16_t Word12(const uint8_t r[5]) { return uint16_t(r[2] << 8 | r[1]); }

}  // namespace

ProtocolState& State() { return TheState(); }

void ResetState() {
    std::lock_guard lock(StateMutex());
    TheState() = ProtocolState{};
}

// ---- send, receive, exchange --------------------------------------------------------

int Send(DevInfo& ctx, const uint8_t cmd[5], int retries) {
    if (retries < 0) retries = ctx.dwDeviceType == kKindHidAlt ? 5 : 3;
    for (int attempt = 1; attempt <= retries; ++attempt) {
        if (tch_data_write(TransportKind(ctx), ctx.hDevice, cmd, 5) == 1) {
            debug_log_msg(kDbgBytes, "* Send CMD [0x%02X][0x%02X][0x%02X][0x%02X][0x%02X] {OK}\r\n", cmd[0], cmd[1],
                          cmd[2], cmd[3], cmd[4]);
            SetLastCommand(cmd[0]);
            return 0;
        }
        if (attempt == retries) break;
        debug_log_msg(kDbgInfo, "* Send CMD [0x%02X][0x%02X][0x%02X][0x%02X][0x%02X] {RETRY}\r\n", cmd[0], cmd[1],
                      cmd[2], cmd[3], cmd[4]);
        qvp::sleepMs(5);
    }
    if (retries > 0)
        debug_log_msg(kDbgError, "* Send CMD [0x%02X][0x%02X][0x%02X][0x%02X][0x%02X] {FAILED}\r\n", cmd[0], cmd[1],
                      cmd[2], cmd[3], cmd[4]);
    return -1;
}

int Receive(DevInfo& ctx, uint8_t reply[5]) {
    if (tch_data_read(TransportKind(ctx), ctx.hDevice, reply, 5) == 1) {
        debug_log_msg(kDbgBytes, "* Get  ACK [0x%02X][0x%02X][0x%02X][0x%02X][0x%02X]\r\n", reply[0], reply[1],
                      reply[2], reply[3], reply[4]);
        return 0;
    }
    const uint8_t last = LastCommand();
    if (last == 0xF0)
        SetLastCommand(0);  // the link command: its answer may be gone with the purge
    else if (last != 0xD1)
        debug_log_msg(kDbgError, "* Get  ACK {FAILED}\r\n");
    return -1;
}

int Exchange(DevInfo& ctx, const uint8_t cmd[5], uint8_t* reply) {
    constexpr int kAttempts = 3;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        if (attempt == 1 || !IsUart(ctx)) {
            if (Send(ctx, cmd) < 0) return kExchangeFailed;
        } else {
            qvp::sleepMs(1);  // the reply may still be on its way: read again
        }
        if (!reply) return kExchangeOk;
        uint8_t got[5] = {};
        const int read = Receive(ctx, got);
        if (cmd[0] == 0xF0) return kExchangeOk;
        if (read < 0) continue;
        std::memcpy(reply, got, 5);
        if (std::memcmp(got, kRejected, 5) == 0) return kExchangeRejected;
        const bool echoed = cmd[0] == 0xE1 ? std::memcmp(got, cmd, 5) == 0 : got[0] == cmd[0];
        if (echoed) return kExchangeOk;
        if (ctx.dwDeviceType == kKindHidAlt) qvp::sleepMs(10);
    }
    return kExchangeFailed;
}

int Exchange(DevInfo& ctx, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4, uint8_t* reply) {
    const uint8_t cmd[5] = {c0, c1, c2, c3, c4};
    return Exchange(ctx, cmd, reply);
}

// ---- version text -------------------------------------------------------------------------

void device_get_version_str(char* out, size_t cap, uint16_t product, uint8_t major, uint8_t minor, uint16_t build,
                            uint8_t customer, uint8_t letter) {
    if (!out || cap == 0) return;
    char letterText[4] = "";
    if (letter) std::snprintf(letterText, sizeof letterText, "%c", letter + 64);
    char customerText[16] = "";
    if (customer > 250)
        std::snprintf(customerText, sizeof customerText, "T%02d", customer - 250);
    else if (customer == 250)
        std::snprintf(customerText, sizeof customerText, ".T");
    else if (customer >= 200)
        std::snprintf(customerText, sizeof customerText, ".A%02d", customer - 199);
    else if (customer >= 1)
        std::snprintf(customerText, sizeof customerText, ".D%02d", customer);
    if (build == 0xAA55) {
        std::snprintf(out, cap, "QV%d%s%s.B%d.%d", product, letterText, customerText, major, minor);
        return;
    }
    char tail[16] = "";
    const int low = build & 0xFF, high = build >> 8;
    if (build != 0xFEDC) {
        if (high)
            std::snprintf(tail, sizeof tail, ".%d.%d", low, high);
        else
            std::snprintf(tail, sizeof tail, ".%d", low);
    }
    std::snprintf(out, cap, "QV%d%s%s.%d.%d%s", product, letterText, customerText, major, minor, tail);
}

// ---- block checksum -------------------------------------------------------------------

uint16_t BlockChecksum(const uint8_t* data, size_t length, ChecksumFormat format) {
    uint32_t sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum += format == ChecksumFormat::Word && (i & 1) ? uint32_t(data[i]) << 8 : data[i];
    return uint16_t(~sum & 0xFFFF);
}

// ---- operations ---------------------------------------------------------------------------

int GetIdentity(DevInfo& ctx, char* versionText, Identity* identity) {
    uint8_t ee[5], ed[5];
    if (Run(ctx, 0xEE, 0, 0, 0, 0, ee) != kExchangeOk || Run(ctx, 0xED, 0, 0, 0, 0, ed) != kExchangeOk) {
        debug_log_msg(kDbgError, "* {ERROR} Failed to get firmware version !!\r\n");
        return -1;
    }
    Identity id;
    id.product = uint16_t(Word12(ee) & 0x7FFF);
    id.major = ee[3];
    id.letter = ee[4];
    id.minor = ed[1];
    id.customer = ed[2];
    id.build = uint16_t(ed[4] << 8 | ed[3]);
    if (identity) *identity = id;
    if (versionText)
        device_get_version_str(versionText, kVersionTextSize, id.product, id.major, id.minor, id.build, id.customer,
                               id.letter);
    return id.build == 0xAA55 ? 1 : 0;
}

int ItemProtocol(DevInfo& ctx) {
    uint8_t r[5];
    if (Run(ctx, 0xE0, 0x00, 0xF4, 0, 0, r) != kExchangeOk) return -1;
    return (r[1] & 0x02) ? (r[3] >> 7) & 1 : 0;
}

int UpdateLock(DevInfo& ctx, uint8_t on) {
    const int items = ItemProtocol(ctx);
    if (items < 0) return -1;
    uint8_t r[5];
    const int result = items ? Run(ctx, 0xF3, 0x00, 0x07, 0x00, on, r) : Run(ctx, 0xF7, 0x00, 0x00, 0x00, on, r);
    return result == kExchangeOk ? 0 : -1;
}

int ReadParamCrc(DevInfo& ctx, uint16_t* crc) {
    uint8_t r[5];
    if (Run(ctx, 0xE0, 0x00, 0xFA, 0, 0, r) != kExchangeOk) return -1;
    if (crc) *crc = Word12(r);
    return Word12(r);
}

int ListLengths(DevInfo& ctx, uint32_t* touch, uint32_t* boot) {
    uint32_t t = 128, b = 64;
    int result = -1;
    const int items = ItemProtocol(ctx);
    if (items == 0) {
        t = 64;
        b = 16;
        result = 0;
    } else if (items > 0) {
        uint8_t r[5];
        if (Run(ctx, 0xE0, 0x00, 0xFB, 0, 0, r) == kExchangeOk) {
            t = r[4];
            b = r[3];
            result = 0;
        }
    }
    if (touch) *touch = t;
    if (boot) *boot = b;
    return result;
}

int ReadParameter(DevInfo& ctx, uint8_t bank, uint8_t index, uint8_t* value) {
    uint8_t r[5];
    if (Run(ctx, 0xE0, bank, index, 0, 0, r) != kExchangeOk) return -1;
    if (value) *value = r[4];
    return r[4];
}

int WriteParameter(DevInfo& ctx, uint8_t bank, uint8_t index, uint8_t value) {
    uint8_t r[5];
    return Run(ctx, 0xE1, bank, index, 0x00, value, r) == kExchangeOk ? 0 : -1;
}

int ReadUserSettingBytes(DevInfo& ctx, uint8_t group, uint8_t item, uint8_t* byte3, uint8_t* byte4) {
    uint8_t r[5];
    if (Run(ctx, 0xF6, group, uint8_t(0x10 | (item & 0x0F)), 0, 0, r) != kExchangeOk) return -1;
    if (ItemRefused(r)) return -1;
    if (byte3) *byte3 = r[3];
    if (byte4) *byte4 = r[4];
    return r[4];
}

int ReadUserSetting(DevInfo& ctx, uint8_t group, uint8_t item, uint8_t* value, uint8_t* maximum) {
    return ReadUserSettingBytes(ctx, group, item, maximum, value);
}

int WriteUserSetting(DevInfo& ctx, uint8_t group, uint8_t item, uint8_t v1, uint8_t v2) {
    // The item is four bits of the code: a larger one would name another command.
    if (item > 0x0F) return -1;
    uint8_t r[5];
    if (Run(ctx, 0xF6, group, uint8_t(0x80 | item), v1, v2, r) != kExchangeOk) return -1;
    if (ItemRefused(r) || r[4] == 0xFF) return -1;
    return r[4];
}

int Flush(DevInfo& ctx, bool flag) {
    const uint8_t cmd[5] = {0xEA, 0x00, uint8_t(flag ? 0xAA : 0x00), 0x00, 0x00};
    uint8_t r[5];
    if (Run(ctx, cmd[0], cmd[1], cmd[2], cmd[3], cmd[4], r) != kExchangeOk) return -1;
    if (Send(ctx, cmd) < 0) return -1;
    qvp::sleepMs(200);
    return Receive(ctx, r);
}

int ReloadPreservingInterface(DevInfo& ctx, bool flag) {
    static constexpr uint8_t kRegisters[5] = {0x40, 0x41, 0x42, 0x4A, 0x4B};
    uint8_t saved[5];
    for (int i = 0; i < 5; ++i)
        if (ReadParameter(ctx, 0x00, kRegisters[i], &saved[i]) < 0) return -1;
    if (UpdateLock(ctx, 1) < 0) return -1;
    uint8_t r[5];
    if (Run(ctx, 0xEC, 0, 0, 0, 0, r) != kExchangeOk) return -1;
    if (Flush(ctx, false) < 0) return -1;
    qvp::sleepMs(100);
    if (Run(ctx, 0xEC, 0x00, 0xAA, 0, 0, r) != kExchangeOk) return -1;
    qvp::sleepMs(100);
    if (!flag)
        for (int i = 0; i < 5; ++i)
            if (WriteParameter(ctx, 0x00, kRegisters[i], saved[i]) < 0) return -1;
    return Flush(ctx, true) < 0 ? -1 : 0;
}

int StartSystemReference(DevInfo& ctx) {
    uint8_t r[5];
    if (Run(ctx, 0xE4, 0x01, 0x00, 0x00, 0x01, r) != kExchangeOk) return -1;
    for (int poll = 0; poll < 5; ++poll) {
        if (poll > 0) qvp::sleepMs(500);
        debug_log_msg(kDbgInfo, "* Wait for SR construction finishes ...\r\n");
        if (Run(ctx, 0xE4, 0, 0, 0, 0, r) != kExchangeOk) return -1;
        if ((r[3] & 3) == 0) return 1;
    }
    return 0;
}

int ChangeI2CAddress(DevInfo& ctx, uint8_t address) {
    // A 7-bit address: the register holds it shifted left by one.
    if (address > 0x7F) return -1;
    if (UpdateLock(ctx, 1) < 0) return -1;
    if (WriteParameter(ctx, 0x90, 0x01, uint8_t(address << 1)) < 0) return -1;
    if (Flush(ctx, true) < 0) return -1;
    return Reset(ctx);
}

int BlockNumber(DevInfo& ctx, uint16_t n) {
    if (SendOnly(ctx, 0xD0, uint8_t(n & 0xFF), uint8_t(n >> 8), 0, 0) < 0) return -1;
    qvp::sleepMs(10);
    uint8_t r[5];
    return Receive(ctx, r);
}

int SendBlockChecksum(DevInfo& ctx, uint16_t checksum) {
    const uint8_t cmd[5] = {0xD1, 0x00, 0x00, uint8_t(checksum & 0xFF), uint8_t(checksum >> 8)};
    if (Send(ctx, cmd) < 0) {
        // This failure ends a firmware update: it is written even when the log
        // is off (this line only).
        std::atomic_ref<int> level(g_DbgLevel);
        const int was = level.load();
        if (was < 1) level.store(1);
        debug_log_msg(kDbgError, "* {ERROR} Failed to send [0x%02X] command !!\n", cmd[0]);
        if (was < 1) level.store(was);
        return -1;
    }
    uint32_t blockSize;
    {
        std::lock_guard lock(StateMutex());
        blockSize = TheState().blockSize;
    }
    const uint32_t wait = blockSize <= 256 ? 5 : (IsUart(ctx) ? 200 : 100);
    uint8_t r[5];
    for (int attempt = 0; attempt < 3; ++attempt) {
        qvp::sleepMs(wait);
        if (Receive(ctx, r) != 0) continue;
        // Only D1's own answer tells: a HID reply buffer that still holds no
        // answer reads as zeros, whose byte 4 would pass for a written block.
        if (r[0] == 0xD1) return r[4] == 0 ? 0 : -1;
    }
    return -1;
}

int ReadBlockSize(DevInfo& ctx) {
    uint8_t r[5];
    if (Run(ctx, 0xD2, 0, 0, 0, 0, r) != kExchangeOk) return -1;
    std::lock_guard lock(StateMutex());
    TheState().flashBlockSize = Word12(r);
    return Word12(r);
}

int ReadPacketSize(DevInfo& ctx) {
    uint8_t r[5];
    if (Run(ctx, 0xD3, 0, 0, 0, 0x01, r) != kExchangeOk) return -1;
    const uint32_t size = Word12(r) > 8 ? Word12(r) : 8;
    std::lock_guard lock(StateMutex());
    TheState().blockSize = size;
    return int(size);
}

int BootSwitch(DevInfo& ctx, uint8_t t) {
    if (SendOnly(ctx, 0xD4, 0x00, 0xAA, 0x00, t) < 0) return -1;
    qvp::sleepMs(uint32_t(t) + 100);
    uint8_t r[5];
    return Receive(ctx, r);
}

int EndProgramming(DevInfo& ctx) {
    if (SendOnly(ctx, 0xD8, 0x00, 0x55, 0x00, 0x00) < 0) return -1;
    qvp::sleepMs(200);
    return 0;
}

int ReadDataFormat(DevInfo& ctx) {
    uint8_t r[5];
    const bool read = Exchange(ctx, 0xD9, 0, 0, 0, 0, r) == kExchangeOk;
    const bool word = read && (r[3] & 0x02);
    {
        std::lock_guard lock(StateMutex());
        TheState().checksumFormat = word ? ChecksumFormat::Word : ChecksumFormat::Byte;
    }
    if (!read) {
        debug_log_msg(kDbgInfo, "* {INFO} WORD format is not supported !!\n");
        return -1;
    }
    return word ? 1 : 0;
}

int BootDataCheck(DevInfo& ctx, uint8_t v) {
    uint8_t r[5];
    if (Run(ctx, 0xD9, 0xAA, 0, 0, v, r) != kExchangeOk) return -1;
    return r[1] == 'U' ? 1 : 0;
}

int ScanState(DevInfo& ctx) {
    uint8_t r[5];
    if (Run(ctx, 0xE0, 0x00, 0xF0, 0, 0, r) != kExchangeOk) return -1;
    return r[4] & 1;
}

int BootLoaderCheck(DevInfo& ctx, bool flag) {
    uint8_t r[5];
    if (Run(ctx, 0xED, 0x00, uint8_t(flag ? 0xF0 : 0x00), 0, 0, r) != kExchangeOk) return -1;
    return r[3] == 0x55 && r[4] == 0xAA ? 1 : 0;
}

int BootMode(DevInfo& ctx) {
    uint8_t r[5];
    if (Run(ctx, 0xEE, 0, 0, 0, 0, r) != kExchangeOk) return -1;
    return (Word12(r) >> 15) & 1;
}

int SlaveCount(DevInfo& ctx) {
    uint8_t r[5];
    if (Run(ctx, 0xEF, 0, 0, 0, 0, r) != kExchangeOk) return -1;
    const int count = r[1] ? r[1] - 1 : 0;
    std::lock_guard lock(StateMutex());
    TheState().slaveCount = count;
    return count;
}

int DualBoot(DevInfo& ctx) {
    uint8_t r[5];
    if (Run(ctx, 0xEF, 0, 0, 0, 0, r) != kExchangeOk) return -1;
    const bool dual = r[4] == 0xAA || r[4] == 0xBB;
    std::lock_guard lock(StateMutex());
    TheState().dualBoot = dual;
    TheState().secondBootActive = r[4] == 0xBB;
    return dual ? 1 : 0;
}

int StopScanning(DevInfo& ctx) {
    for (int attempt = 1; attempt <= 3; ++attempt) {
        debug_log_msg(kDbgInfo, "* {INFO} Stop scanning #%d !!\n", attempt);
        uint8_t r[5];
        Run(ctx, 0xF0, 0, 0, 0, 0, r);
        qvp::sleepMs(200);
        if (ScanState(ctx) == 0) return 0;
    }
    // The controller still scans.
    return -1;
}

int StartScanning(DevInfo& ctx) {
    uint8_t r[5];
    const int result = Run(ctx, 0xF1, 0, 0, 0, 0, r);
    qvp::sleepMs(300);
    return result == kExchangeOk ? 0 : -1;
}

int SelectSlave(DevInfo& ctx, uint8_t n) {
    uint8_t r[5];
    if (Run(ctx, 0xF4, 0x00, n, 0x00, 0x01, r) != kExchangeOk) return -1;
    const uint32_t size = r[1] ? r[1] : 8;
    std::lock_guard lock(StateMutex());
    TheState().blockSize = size;
    return int(size);
}

int SelectMaster(DevInfo& ctx) {
    uint8_t r[5];
    return Run(ctx, 0xF4, 0, 0, 0, 0, r) == kExchangeOk ? 0 : -1;
}

int Reset(DevInfo& ctx) {
    uint8_t r[5];
    const int first = Run(ctx, 0xFE, 0, 0, 0, 0, r);
    Run(ctx, 0xFE, 0, 0, 0, 0, r);
    return first == kExchangeOk ? 0 : -1;
}

int ChipVersion(DevInfo& ctx, uint8_t a) {
    uint8_t r[5];
    if (Run(ctx, 0xEE, 0x00, uint8_t(a ? 0xF0 : 0x00), 0, 0, r) != kExchangeOk) return -1;
    const bool slave = a != 0;
    if (slave && !(r[1] == 0x55 && r[2] == 0xAA)) {
        if (SelectSlave(ctx, a) < 0) {
            debug_log_msg(kDbgError, "* {ERROR} Failed to switch to slave IC !\r\n");
            return -1;
        }
    }
    uint8_t ed[5];
    if (Run(ctx, 0xED, 0x00, uint8_t(slave ? 0xF0 : 0x00), 0, 0, ed) != kExchangeOk) return -1;
    if (ed[3] == 0x55 && ed[4] == 0xAA) {
        {
            std::lock_guard lock(StateMutex());
            TheState().inSlave = true;
        }
        if (slave && SelectMaster(ctx) < 0) return -1;
        return ed[3];
    }
    if (Run(ctx, 0xEB, 0, 0, 0, 0, r) != kExchangeOk) return -1;
    return r[1];
}

}  // namespace qvlib::n4
