// The N4 firmware update: the file read and summarised, the slave chips of an
// S-variant controller programmed before the master, each chip put into its
// boot loader and written block by block from the last block down to block 0
// (each block sent whole, padded with 0xFF, and verified by its checksum), the
// controller waited for and its running version compared with the image's;
// then the package's parameters and virtual-key table (n4_update_params.cpp).
// Status, progress and error bits go to UpdateState() as the update goes.
#include "n4_update.h"

#include "n4_file.h"

#include "QV_Standard.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <vector>

namespace qvlib::n4 {
namespace {

std::atomic<std::FILE*> g_questionInput{nullptr};

// What a step came to: done, failed (its error bits set), or given up by the
// operator (no error bit).
enum class Outcome { Done, Failed, Aborted };

int DebugLevel() { return std::atomic_ref<int>(g_DbgLevel).load(); }
void Fail(uint32_t bits) { UpdateState().errors.fetch_or(bits); }
void SetStatus(uint16_t status) { UpdateState().status.store(status); }
void SetProgress(int percent) { UpdateState().progress.store(percent); }

constexpr const char* kRule = "================================================\r\n";
constexpr const char* kDoNotDisconnect = "| DO NOT disconnect device until update finish |";
constexpr const char* kMightDamage = "| Unexpected disconnection might damage device |";

// One update: the controller, the file and what the master's boot loader is.
struct Job {
    DevInfo& ctx;
    FirmwareFileReader& file;
    bool inBoot = false;   // the master's boot loader already ran at the start
    bool newBoot = true;   // boot loader version 9 or later (or already running)
};

uint8_t KindFlags(const Job& job) { return job.file.KindFlags(); }

// The image each chip takes: four sections by chip and boot-loader generation,
// the two-image package's newer image for a new boot loader, the configuration
// image for the master, else the first entry.
int ImageEntry(uint8_t kindFlags, bool newBoot, bool master) {
    if (kindFlags & qvfmt::kKindFourSections) return master ? (newBoot ? 1 : 3) : (newBoot ? 0 : 2);
    if (newBoot && (kindFlags & qvfmt::kKindTwoImages)) return 1;
    if (master && (kindFlags & qvfmt::kKindConfigImage)) return 1;
    return 0;
}

// ---- file summary -------------------------------------------------------------------

std::string BuildTail(const qvfmt::ImageInfo& info) {
    char tail[16];
    if (info.build2)
        std::snprintf(tail, sizeof tail, ".%d.%d", info.build1, info.build2);
    else
        std::snprintf(tail, sizeof tail, ".%d", info.build1);
    return tail;
}

void LogSummary(const FirmwareFileReader& file) {
    debug_log_msg(kDbgInfo, "%s", kRule);
    debug_log_msg(kDbgInfo, "File     : %s\r\n", file.Path().c_str());
    const qvfmt::ImageInfo first = qvfmt::DecodeHeader(file.FirstHeader());
    const int product = first.productNumber & 0x7FFF;
    if (product == 0)
        debug_log_msg(kDbgInfo, "Target   : ---\r\n");
    else if (first.letter)
        debug_log_msg(kDbgInfo, "Target   : QV%d%c\r\n", product, first.letter + 64);
    else
        debug_log_msg(kDbgInfo, "Target   : QV%d\r\n", product);
    for (const qvfmt::Section& s : file.Sections()) {
        const qvfmt::ImageInfo info = qvfmt::DecodeHeader(s.header.data());
        const std::string tail = info.headerVersion >= 16 ? BuildTail(info) : std::string();
        debug_log_msg(kDbgInfo, "Version  : %s%d.%d%s\r\n", qvfmt::CustomerPrefix(info.customer, '.').c_str(),
                      info.major, info.minor, tail.c_str());
    }
    if (file.IsPackage() && file.ParaValid()) debug_log_msg(kDbgInfo, "Para CRC : 0x%04X\r\n", file.Para().crc);
    if (file.HasVkey()) debug_log_msg(kDbgInfo, "VBtn CRC : 0x%04X\r\n", file.VkeyCrc());
    debug_log_msg(kDbgInfo, "%s", kRule);
}

// ---- the old-boot question ------------------------------------------------------------

// Yes at debug level 0 (nobody to ask); otherwise the operator answers on the
// console. The end of the input or a read error is a no: a process without a
// console must not wait for ever.
bool ConfirmOldBoot() {
    if (DebugLevel() == 0) return true;
    std::FILE* in = g_questionInput.load();
    if (!in) in = stdin;
    std::fputs("Target file requires switch back to old bootloader !\r\n", stdout);
    bool prompt = true;
    for (;;) {
        if (prompt) {
            std::fputs("Confirm update to old QVF ? [y/n] ", stdout);
            std::fflush(stdout);
        }
        const int c = std::fgetc(in);
        if (c == EOF) return false;
        if (c == 'y' || c == 'Y') return true;
        if (c == 'n' || c == 'N') return false;
        prompt = c != ' ' && c != '\t' && c != '\r' && c != '\n';
    }
}

// ---- boot loader --------------------------------------------------------------------

// ED on the chip: 1 when its boot loader runs, 0 when not, -1 unanswered. A
// slave is asked through the master with its selector.
int ChipInBoot(DevInfo& ctx, bool master, int slave) {
    if (master) return BootLoaderCheck(ctx, false);
    uint8_t r[5];
    if (Exchange(ctx, 0xED, 0x00, uint8_t(0xF0 + slave), 0x00, 0x00, r) != kExchangeOk) return -1;
    return r[3] == 0x55 && r[4] == 0xAA ? 1 : 0;
}

// The entry pair FF AA 55 AA 55, FF 55 AA 55 AA (old boot loader: FF BB 44 BB
// 44, FF 44 BB 44 BB). A controller that refuses the first because it scans
// is stopped and asked again.
bool EnterBootLoader(Job& job, bool old, bool master, int slave) {
    DevInfo& ctx = job.ctx;
    if (ChipInBoot(ctx, master, slave) == 1) {
        debug_log_msg(kDbgInfo, "* Device already in bootloader !!\n");
        return true;
    }
    const uint8_t a = old ? 0xBB : 0xAA, b = old ? 0x44 : 0x55;
    for (int attempt = 0; attempt < 2; ++attempt) {
        uint8_t r[5];
        const int first = Exchange(ctx, 0xFF, a, b, a, b, r);
        if (first == kExchangeOk) {
            // The chip may leave the bus for its boot loader before it answers
            // the second: a missing answer counts as accepted.
            Exchange(ctx, 0xFF, b, a, b, a, r);
            debug_log_msg(kDbgInfo, "* Enter boot loader mode !!\n");
            const bool found = master ? WaitForReady(ctx, 1) == 1 : ChipInBoot(ctx, false, slave) == 1;
            if (found) return true;
            debug_log_msg(kDbgError, "{ERROR} Quorvane BootLoader not found !\r\n");
            break;
        }
        if (first != kExchangeRejected) break;
        debug_log_msg(kDbgInfo, "* {INFO} Disable scanning before firmware update !!\n");
        StopScanning(ctx);
    }
    debug_log_msg(kDbgError, "* {ERROR} Failed to enter boot loader mode !\r\n");
    Fail(kErrEnterBoot);
    return false;
}

// ---- programming one chip -------------------------------------------------------------

void ShowProgress(int percent, const char* end) {
    SetProgress(percent);
    debug_log_msg(kDbgInfo, "\r* {INFO} Updating firmware ...   %d%%%s", percent, end);
}

// Writes the section's data into the chip whose boot loader runs: blocks from
// the last down to block 0, each opened with D0, sent as packets [t][4 bytes]
// (transfer size 8 or less; t counts 0..127 in each block) or as output
// reports of the transfer size, and closed with D1 and its checksum. The first
// failing block ends the programming.
Outcome ProgramChip(Job& job, const qvfmt::Section& section, bool master, bool newLoader) {
    DevInfo& ctx = job.ctx;
    ProtocolState& state = State();
    const uint8_t format = section.headerLength >= qvfmt::kLongHeader ? section.header[22] : 0;
    const uint64_t n = section.dataSize;

    if (newLoader) {
        ReadDataFormat(ctx);
        const int nibble = format >> 4;
        if (nibble > 1 && nibble != 5 && BootDataCheck(ctx, format) != 1) {
            debug_log_msg(kDbgError, "* {ERROR} Boot don't support New Data Format.\r\n");
            EndProgramming(ctx);
            Fail(kErrBootIncompatible);
            return Outcome::Failed;
        }
    } else {
        state.checksumFormat = ChecksumFormat::Byte;
    }
    if (master) state.blockSize = 8;
    if (master || state.blockSize > 8) ReadPacketSize(ctx);
    if (ReadBlockSize(ctx) < 0) {
        debug_log_msg(kDbgError, "* {WARNING} Failed to get block size !\r\n");
        Fail(kErrBlockSize);
        return Outcome::Failed;
    }
    const uint64_t size = state.flashBlockSize;
    state.dualBoot = false;
    state.secondBootActive = false;
    DualBoot(ctx);
    if (size == 0) {
        debug_log_msg(kDbgError, "* {WARNING} Invalid block size !\r\n");
        Fail(kErrBlockSize);
        return Outcome::Failed;
    }
    const uint64_t blocks = (n + size - 1) / size;
    // Block numbers travel in 16 bits.
    if (blocks > 0x10000) {
        Fail(kErrFileInvalid);
        return Outcome::Failed;
    }
    const uint64_t lastLength = n % size ? n % size : size;
    const uint64_t transfer = std::max<uint64_t>(state.blockSize, 1);
    const bool packets = transfer <= 8;
    const uint64_t unit = packets ? 4 : transfer;

    // One buffer for every block, whole units long; the partial last block is
    // read first, so the 0xFF behind its data stays right for it and every
    // full block after it overwrites all its bytes.
    std::vector<uint8_t> block;
    try {
        block.assign(size_t((size + unit - 1) / unit * unit), 0xFF);
    } catch (const std::bad_alloc&) {
        debug_log_msg(kDbgError, "* {ERROR} Unable to allocate memory ! (%d)\r\n", int(size));
        Fail(kErrNoMemory);
        return Outcome::Failed;
    }
    debug_log_msg(kDbgInfo, "* Update block size : %d, total %d blocks !\r\n", int(size), int(blocks));

    if (state.dualBoot && BootSwitch(ctx, 0) < 0) {
        debug_log_msg(kDbgError, "* {ERROR} Failed to erase flash !\r\n");
        Fail(kErrErase);
        return Outcome::Failed;
    }

    ShowProgress(0, "\r");
    const ChecksumFormat checksum = state.checksumFormat;
    const uint64_t lowest = state.dualBoot && state.secondBootActive && (format & 0x40) ? 1 : 0;
    const uint64_t total = blocks * size;
    int shown = 0;
    for (uint64_t b = blocks; b-- > lowest;) {
        const uint64_t done = blocks - 1 - b;
        const size_t length = size_t(b == blocks - 1 ? lastLength : size);
        if (!job.file.ReadAt(section.dataOffset + size * b, block.data(), length)) {
            Fail(kErrOpenFile);
            return Outcome::Failed;
        }
        if (BlockNumber(ctx, uint16_t(b)) < 0) {
            debug_log_msg(kDbgError, "* {INFO} Updating firmware ...  [ABORTED] !\n");
            debug_log_msg(kDbgError, "* Update block #%02d [FAILED] (Init)\r", int(b));
            return Outcome::Failed;
        }
        uint8_t t = 0;
        for (uint64_t at = 0; at < size; at += unit) {
            bool sent;
            if (packets) {
                const uint8_t* d = block.data() + at;
                const uint8_t cmd[5] = {t, d[0], d[1], d[2], d[3]};
                sent = Send(ctx, cmd) == 0;
                // A serial line carries each packet's echo back: it is read as
                // it comes, or the checksum's answer would be taken from the
                // echoes still on their way.
                if (sent && IsUart(ctx)) {
                    uint8_t echo[5];
                    Receive(ctx, echo);
                }
                t = uint8_t((t + 1) & 0x7F);
            } else {
                sent = BlockWrite(ctx, block.data() + at, size_t(unit)) == 1;
            }
            if (!sent) {
                debug_log_msg(kDbgError, "* {INFO} Updating firmware ...  [ABORTED] !\n");
                Fail(kErrBlockData);
                return Outcome::Failed;
            }
            const uint64_t inBlock = std::min(at + unit, size);
            const int percent = int((inBlock + size * done) * 100 / total);
            if (percent != shown) {
                shown = percent;
                ShowProgress(percent, "\r");
            }
        }
        // Nothing the line still holds is the checksum's answer.
        if (packets && IsUart(ctx)) qvp::backend().serialPurgeInput(ctx.hDevice);
        // A new single-boot loader starts the firmware as soon as block 0 is
        // written and may not answer; whether that worked shows in the
        // version the controller runs afterwards.
        if (SendBlockChecksum(ctx, BlockChecksum(block.data(), size_t(size), checksum)) < 0 &&
            (b != 0 || state.dualBoot)) {
            debug_log_msg(kDbgError, "* {ERROR} Update block #%02d [FAILED] (Flash)\n", int(b));
            Fail(kErrBlockChecksum);
            return Outcome::Failed;
        }
    }
    ShowProgress(100, "\r\n");
    if (state.dualBoot && EndProgramming(ctx) < 0) {
        debug_log_msg(kDbgError, "* {ERROR} Failed to leave boot loader mode !\r\n");
        Fail(kErrLeaveBoot);
        return Outcome::Failed;
    }
    qvp::sleepMs(100);
    return Outcome::Done;
}

// The old-boot question and the boot-loader entry, then the chip's blocks.
Outcome ProgramImage(Job& job, int entry, bool master, int slave) {
    DevInfo& ctx = job.ctx;
    const qvfmt::Section* section = job.file.Entry(entry);
    if (!section) {
        Fail(master ? kErrNoMasterImage : kErrNoSlaveImage);
        return Outcome::Failed;
    }
    const uint8_t flags = KindFlags(job);
    bool old = false;
    if (job.newBoot) {
        uint8_t r[5];
        if (Exchange(ctx, 0xE0, 0x00, 0xFF, 0x00, 0x00, r) == kExchangeOk && (r[1] & 0xF0) == 0x80 &&
            !(flags & qvfmt::kKindNewFormat)) {
            if (!ConfirmOldBoot()) return Outcome::Aborted;
            old = true;
        }
    } else if ((flags & qvfmt::kKindNewFormat) && !(flags & qvfmt::kKindTwoImages)) {
        debug_log_msg(kDbgError, "* {ERROR} Bootloader does not support target file format !\r\n");
        Fail(kErrBootIncompatible);
        return Outcome::Failed;
    }
    if (!EnterBootLoader(job, old, master, slave)) return Outcome::Failed;
    return ProgramChip(job, *section, master, job.newBoot && !old);
}

// ---- master and slaves --------------------------------------------------------------

// EE and ED (and outside the boot loader EB): whether the boot loader runs and
// which generation it is.
bool QueryMaster(Job& job) {
    const int boot = GetIdentity(job.ctx);
    if (boot < 0) {
        Fail(kErrMasterVersion);
        return false;
    }
    job.inBoot = boot == 1;
    if (job.inBoot) {
        job.newBoot = true;
        return true;
    }
    uint8_t r[5];
    if (Exchange(job.ctx, 0xEB, 0, 0, 0, 0, r) != kExchangeOk) {
        Fail(kErrMasterVersion);
        return false;
    }
    job.newBoot = r[1] >= 9;
    return true;
}

// The version text of an image as the controller reports it once it runs it.
std::string ExpectedVersion(const qvfmt::Section& section) {
    const qvfmt::ImageInfo info = qvfmt::DecodeHeader(section.header.data());
    char text[kVersionTextSize];
    device_get_version_str(text, sizeof text, uint16_t(info.productNumber & 0x7FFF), info.major, info.minor,
                           uint16_t(info.build2 << 8 | info.build1), info.customer, section.header[7]);
    return text;
}

Outcome ProgramMaster(Job& job) {
    DevInfo& ctx = job.ctx;
    if (!QueryMaster(job)) return Outcome::Failed;
    LogBanner({"|       Updating Firmware for Master IC        |", kDoNotDisconnect, kMightDamage});
    SetStatus(kStatusMaster);
    const int entry = ImageEntry(KindFlags(job), job.newBoot, true);
    const Outcome o = ProgramImage(job, entry, true, 0);
    if (o == Outcome::Aborted) return o;
    if (o == Outcome::Done) {
        SetStatus(kStatusMasterDone);
        WaitForReady(ctx, 2);
        // Whatever the boot loader answered: the update worked only when the
        // controller now runs the image.
        char running[kVersionTextSize] = "";
        const std::string expected = ExpectedVersion(*job.file.Entry(entry));
        if (IsOpen(ctx) && GetIdentity(ctx, running) == 0 && expected == running) return Outcome::Done;
        debug_log_msg(kDbgError, "* {ERROR} Controller runs \"%s\" instead of \"%s\" !\r\n", running,
                      expected.c_str());
    }
    debug_log_msg(kDbgError, "* {ERROR} Update master IC failed !\r\n");
    SetStatus(kStatusMasterFailed);
    Fail(kErrMaster);
    return Outcome::Failed;
}

Outcome ProgramSlaves(Job& job, int slaves) {
    DevInfo& ctx = job.ctx;
    SetStatus(kStatusSlaves);
    Outcome result = Outcome::Done;
    for (int i = 0; i < slaves && result == Outcome::Done; ++i) {
        State().blockSize = 8;
        SetProgress(0);
        char line[64];
        std::snprintf(line, sizeof line, "|      Updating Firmware for Slave IC %d        |", i + 1);
        LogBanner({line, kDoNotDisconnect, kMightDamage});
        if (SelectSlave(ctx, uint8_t(i)) < 0) {
            debug_log_msg(kDbgError, "* {ERROR} Failed to switch to slave IC (#%d)!\r\n", i + 1);
            Fail(kErrSwitchSlave);
            result = Outcome::Failed;
            break;
        }
        result = ProgramImage(job, ImageEntry(KindFlags(job), job.newBoot, false), false, i);
        if (result == Outcome::Failed) {
            debug_log_msg(kDbgError, "* {ERROR} Update slave IC failed !\r\n");
            Fail(kErrSlave);
        }
    }
    SelectMaster(ctx);
    if (result == Outcome::Aborted) return result;
    if (result == Outcome::Done) {
        // The slaves run their new firmware after the master's reset.
        Reset(ctx);
        if (WaitForReady(ctx, 0) != 1) {
            Fail(kErrSlave);
            result = Outcome::Failed;
        }
    }
    SetStatus(result == Outcome::Done ? kStatusSlavesDone : kStatusSlavesFailed);
    return result;
}

Outcome FirmwareUpdate(Job& job) {
    DevInfo& ctx = job.ctx;
    if (State().inSlave) {
        SelectMaster(ctx);
        State().inSlave = false;
    }
    const int inBoot = BootLoaderCheck(ctx, false);
    uint8_t ee[5];
    if (inBoot < 0 || Exchange(ctx, 0xEE, 0, 0, 0, 0, ee) != kExchangeOk) {
        Fail(kErrMasterVersion);
        return Outcome::Failed;
    }
    const uint8_t* first = job.file.FirstHeader();
    const qvfmt::ImageInfo image = qvfmt::DecodeHeader(first);
    const bool sVariant = image.productNumber & 0x8000;
    const bool configImage = KindFlags(job) & qvfmt::kKindConfigImage;
    const int product = (ee[1] | ee[2] << 8) & 0x7FFF;
    if (product != (image.productNumber & 0x7FFF) || ee[4] != first[7] || (inBoot == 1 && sVariant && !configImage)) {
        debug_log_msg(kDbgError, "* {ERROR} Product number or Sub Type not match!\r\n");
        Fail(kErrFileInvalid);
        return Outcome::Failed;
    }
    if (inBoot == 0) {
        if (StopScanning(ctx) < 0) Fail(kErrScanState);  // the update goes on
        if (sVariant) {
            const int slaves = SlaveCount(ctx);
            if (slaves > 0) {
                if (!QueryMaster(job)) return Outcome::Failed;
                const Outcome o = ProgramSlaves(job, slaves);
                if (o != Outcome::Done) return o;
            }
            if (!configImage) return Outcome::Done;
        }
    }
    return ProgramMaster(job);
}

// One update at a time through the exports: a second caller is refused.
int RunExport(const std::string& path, unsigned options) {
    UpdateShared& shared = UpdateState();
    bool idle = false;
    if (!shared.running.compare_exchange_strong(idle, true)) return 0;
    shared.status.store(kStatusIdle);
    shared.progress.store(0);
    shared.errors.store(0);
    DevInfo ctx = NewContext();
    int result = 0;
    if (Open(ctx) == 1) {
        const int r = Update(ctx, path, options);
        result = r == 0 ? 1 : -int(shared.errors.load());
    }
    Close(ctx);
    shared.running.store(false);
    return result;
}

}  // namespace

void SetQuestionInput(std::FILE* in) { g_questionInput.store(in); }

int Update(DevInfo& ctx, const std::string& path, unsigned options) {
    if (path.empty()) {
        SetStatus(kStatusFileMissing);
        return -1;
    }
    FirmwareFileReader file;
    if (!file.Open(path)) {
        // A file that cannot be read at all, or one that reads but is no valid firmware.
        std::FILE* f = std::fopen(path.c_str(), "rb");
        Fail(f ? kErrFileInvalid : kErrOpenFile);
        if (f) std::fclose(f);
        SetStatus(kStatusFileMissing);
        return -1;
    }
    LogSummary(file);
    Job job{ctx, file};
    if ((options & kUpdateFirmware) && FirmwareUpdate(job) != Outcome::Done) return -1;
    if ((options & kUpdateParameters) && file.IsPackage() && file.ParaValid()) {
        const uint8_t customer = qvfmt::DecodeHeader(file.FirstHeader()).customer;
        if (const uint32_t bits = UpdateParameters(ctx, file.Para(), customer)) {
            Fail(bits);
            return -1;
        }
    }
    if ((options & kUpdateVirtualKeys) && file.HasVkey()) {
        qvfmt::VKeyTable table = file.Vkey().table;
        table.crc = file.VkeyCrc();
        if (const uint32_t bits = UpdateVirtualKeys(ctx, table)) {
            Fail(bits);
            return -1;
        }
    }
    return 0;
}

}  // namespace qvlib::n4

using namespace qvlib::n4;

extern "C" {

QV_API int QuorvaneN4_FirmwareUpdateExA(const char* path, uint32_t options) {
    return RunExport(path ? path : "", options);
}

QV_API int QuorvaneN4_FirmwareUpdateA(const char* path) { return QuorvaneN4_FirmwareUpdateExA(path, 255); }

QV_API int QuorvaneN4_FirmwareUpdateExW(const QVWCHAR* path, uint32_t options) {
    const std::string narrow = path ? qvlib::WideToUtf8(path) : std::string();
    return RunExport(narrow.empty() ? narrow : FullPathName(narrow), options);
}

QV_API int QuorvaneN4_FirmwareUpdateW(const QVWCHAR* path) { return QuorvaneN4_FirmwareUpdateExW(path, 255); }

QV_API int QuorvaneN4_GetUpdateProgress(void) { return UpdateState().progress.load(); }

QV_API int QuorvaneN4_GetUpdateStatus(void) { return UpdateState().status.load(); }

}  // extern "C"
