#include "core/controller_api.h"

#include "ui/gui_call.h"
#include "ui/message_box.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

#include <dlfcn.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <tuple>

namespace vcx {

namespace {

constexpr int kSlotsListed = 0
#define VCX_COUNT_SLOT(name, type) +1
    VCX_CONTROLLER_SLOTS(VCX_COUNT_SLOT)
#undef VCX_COUNT_SLOT
    ;
static_assert(kSlotsListed == ControllerApi::kSlotCount);

using Packet = uint8_t[5];

// One command on the current device; the reply comes back into `p`.
bool send(Controller& c, Packet& p) { return SendCmdPacket(c, p); }

uint32_t littleEndian(const Packet& p) {
    return uint32_t(p[1]) | uint32_t(p[2]) << 8 | uint32_t(p[3]) << 16 | uint32_t(p[4]) << 24;
}


// The library calls this on its own thread; the broadcast record lives only
// for the call, so the message is sent, not posted, and waited for.
void deliverNotification(void* context, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto* c = static_cast<Controller*>(context);
    if (!c->notifyGate || !c->notifyWindow) return;
    c->notifyGate->sendMessage(c->notifyWindow, message, wParam, lParam);
}

void resumeScanning(Controller& c) {
    if (c.records.diagInfo.capability[3] >= 32) {
        if (c.api.EnterDiagnosticMode) c.api.EnterDiagnosticMode(c.dev.device, 0);
    } else {
        if (c.api.EnablePCAPScan) c.api.EnablePCAPScan(c.dev.device, 1);
    }
}

} // namespace

void programSleep(Controller& c, int ms) {
    if (c.sleepMs)
        c.sleepMs(ms);
    else if (c.platformSleep)
        c.platformSleep(uint32_t(ms));
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

QString libraryFailureReason(Controller& c) {
    if (!c.lastErrorText) return {};
    // A reason is a line of context, never a whole file: a longer one is cut.
    constexpr uint32_t kMaxReason = 1024;
    char text[kMaxReason + 1] = {};
    c.lastErrorText(text, sizeof text);
    text[kMaxReason] = 0;
    QString reason = QString::fromUtf8(text);
    for (QChar& ch : reason)
        if (ch.category() == QChar::Other_Control) ch = u' ';
    return reason.trimmed();
}

void writeCommandLog(Controller& c, const char16_t* text) {
    if (c.api.WriteCommandLogW) c.api.WriteCommandLogW(text);
}

QString wideField(const QVWCHAR* text, int maxChars) {
    if (!text) return {};
    int n = 0;
    while (n < maxChars && text[n]) ++n;
    return QString::fromUtf16(text, n);
}

const std::array<const char*, ControllerApi::kSlotCount>& ControllerApi::slotNames() {
    static const std::array<const char*, kSlotCount> names{{
#define VCX_SLOT_NAME(name, type) #name,
        VCX_CONTROLLER_SLOTS(VCX_SLOT_NAME)
#undef VCX_SLOT_NAME
    }};
    return names;
}

const void* ControllerApi::slot(int i) const {
    int at = 0;
    const void* found = nullptr;
#define VCX_SLOT_AT(name, type) \
    if (at++ == i) found = reinterpret_cast<const void*>(name);
    VCX_CONTROLLER_SLOTS(VCX_SLOT_AT)
#undef VCX_SLOT_AT
    return found;
}

int ControllerApi::boundCount() const {
    int n = 0;
    for (int i = 0; i < kSlotCount; ++i) n += slot(i) != nullptr;
    return n;
}

void bindControllerApi(ControllerApi& api, const std::function<void*(const char*)>& lookup) {
#define VCX_SLOT_BIND(name, type) api.name = reinterpret_cast<type>(lookup(#name));
    VCX_CONTROLLER_SLOTS(VCX_SLOT_BIND)
#undef VCX_SLOT_BIND
}

void stampProgramRecords(ProgramRecords& r) {
    std::memset(&r, 0, sizeof r);
    r.fwInformation.size = sizeof(FirmwareInformationW);
    r.diagInfo.cbSize = sizeof(DiagnosticInfo);
    r.newDiagRequest.cbSize = sizeof(NewDiagRequest);
    r.paraFuncTable.cbSize = QV_PARAMETER_TABLE_SIZE(53);
    r.stateFlagEx.size = sizeof(StateFlagEx);
    const auto stamp = [](auto& group) { group.cbSize = sizeof group; };
    stamp(r.generalInfo);
    stamp(r.hostInterface);
    stamp(r.panel);
    stamp(r.finger);
    stamp(r.palm);
    stamp(r.base);
    stamp(r.water);
    stamp(r.antiNoise);
    stamp(r.coordinate);
    stamp(r.calibrationCoordinate);
    stamp(r.powerSaving);
    stamp(r.normalScan);
    stamp(r.abnormalScan);
    stamp(r.misc);
    stamp(r.driveIC);
    stamp(r.debug);
    stamp(r.vButton);
    stamp(r.custom);
}
static_assert(sizeof(FirmwareInformationW) == 208);
static_assert(sizeof(StateFlagEx) == 12);

Controller::Controller() {
    stampProgramRecords(records);
    notifySink.send = &deliverNotification;
    notifySink.context = this;
}

Controller::~Controller() = default;

Controller& controller() {
    static Controller instance;
    return instance;
}

QStringList libraryCandidates(const QString& programFolder) {
    const QDir dir(programFolder);
    // Last the versioned name, which a run-time-only installation has without
    // the unversioned link.
    return {dir.filePath(QLatin1String(kLibraryFileName)),
            QDir::cleanPath(dir.filePath(QStringLiteral("../lib/") + QLatin1String(kLibraryFileName))),
            QLatin1String(kLibraryFileName), QLatin1String(kLibrarySoname)};
}

QString versionMissingText() {
    return QString::asprintf("Your Quorvane library (%s) version is too old; update your libarary version to : "
                             "%d.%d.%d.0.",
                             kLibraryFileName, kRequiredMajor, kRequiredMinor, kRequiredBuild);
}

QString versionTooOldText(int major, int minor, int build, int revision) {
    return QString::asprintf("Your Quorvane library (%s) version : %d.%d.%d.%d is too old; update your libarary "
                             "version to : %d.%d.%d.0.",
                             kLibraryFileName, major, minor, build, revision, kRequiredMajor, kRequiredMinor,
                             kRequiredBuild);
}

bool versionAccepted(int major, int minor, int build) {
    return std::tie(major, minor, build) >= std::tie(kRequiredMajor, kRequiredMinor, kRequiredBuild);
}

bool loadControllerLibrary(QWidget* owner, Controller& c, const QStringList& candidates) {
    QStringList reasons;
    for (const QString& candidate : candidates) {
        // A path with a folder is opened as it is; a plain name goes to the loader's search.
        const bool plain = !candidate.contains(u'/');
        if (!plain && !QFileInfo::exists(candidate)) {
            reasons << candidate + QStringLiteral(": not found");
            continue;
        }
        void* module = dlopen(QFile::encodeName(candidate).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* why = dlerror();
            reasons << candidate + QStringLiteral(": ") + QString::fromLocal8Bit(why ? why : "cannot be loaded");
            continue;
        }
        c.libraryPath = candidate;
        c.loadError.clear();
        return bindLoadedLibrary(owner, c, module);
    }
    c.loadError = QStringLiteral("%1 could not be loaded (%2)")
                      .arg(QLatin1String(kLibraryFileName), reasons.join(QStringLiteral("; ")));
    return false;
}

bool bindLoadedLibrary(QWidget* owner, Controller& c, void* module) {
    c.library = module;
    bindControllerApi(c.api, [module](const char* name) { return dlsym(module, name); });
    c.platformSleep = reinterpret_cast<void (*)(uint32_t)>(dlsym(module, "QVPlatformSleep"));
    c.platformTickCount = reinterpret_cast<uint32_t (*)()>(dlsym(module, "QVPlatformTickCount"));
    c.lastErrorText = reinterpret_cast<uint32_t (*)(char*, uint32_t)>(dlsym(module, "QVGetLastErrorTextA"));
    stampProgramRecords(c.records);

    QString refusal;
    if (!c.api.GetLibraryVersion) {
        refusal = versionMissingText();
    } else {
        int major = 0, minor = 0, build = 0, revision = 0;
        c.api.GetLibraryVersion(&major, &minor, &build, &revision);
        if (!versionAccepted(major, minor, build)) refusal = versionTooOldText(major, minor, build, revision);
    }
    if (!refusal.isEmpty()) {
        qvui::showMessageBox(owner, refusal, QLatin1String(kVersionCaption), qvui::MessageIcon::Warning);
        return false;
    }

    // The whole table: 53 entry points (216 bytes on a 32-bit build, 428 here).
    // Its result is not looked at: a library that takes fewer entries leaves the rest empty.
    if (c.api.SetupParameterFunctionPointer) c.api.SetupParameterFunctionPointer(&c.records.paraFuncTable);
    if (c.api.RegisterNotify) {
        c.notifyWindow = owner;
        if (!c.notifyGate || c.notifyGate->isClosed()) c.notifyGate = std::make_unique<qvui::GuiCallGate>();
        c.api.RegisterNotify(&c.notifySink, &c.devNotify[0], &c.devNotify[1], &c.devNotify[2]);
    }
    return true;
}

void unregisterNotifications(Controller& c) {
    // Closed first: a notification thread blocked in its call to the window is
    // let go, so the unsubscribe below cannot wait on it forever.
    if (c.notifyGate) c.notifyGate->close();
    // The touch threads are joined here: one blocked in its send was let go above.
    if (c.touchRegistered && c.api.UnRegisterTouchNotify) c.api.UnRegisterTouchNotify();
    c.touchRegistered = false;
    if (c.api.UnRegisterNotify && (c.devNotify[0] || c.devNotify[1] || c.devNotify[2]))
        c.api.UnRegisterNotify(c.devNotify[0], c.devNotify[1], c.devNotify[2]);
    c.devNotify[0] = c.devNotify[1] = c.devNotify[2] = nullptr;
}

void unloadControllerLibrary(Controller& c) {
    unregisterNotifications(c);
    c.platformSleep = nullptr;
    c.platformTickCount = nullptr;
    c.lastErrorText = nullptr;
    if (c.library) dlclose(c.library);
    c.library = nullptr;
}

// ---- Command helpers ---------------------------------------------------------

int SendCmdReadE0(Controller& c, uint8_t index, int n) {
    Packet p{0xE0, 0x00, index, 0x00, 0x00};
    if (!send(c, p) || n < 0 || n > 4) return 0;
    return p[n];
}

int SendCmdWriteE1(Controller& c, uint8_t index, uint8_t value, uint8_t bank) {
    Packet p{0xE1, bank, index, 0x00, value};
    return send(c, p);
}

int SendCmdGetStatusE4(Controller& c, uint16_t* out) {
    Packet p{0xE4, 0x00, 0x00, 0x00, 0x00};
    if (!send(c, p)) {
        *out = 0;
        return 0;
    }
    *out = uint16_t(p[3] << 8 | p[4]);
    return 1;
}

int SendCmdSetModeE4(Controller& c, uint8_t mode) {
    Packet p{0xE4, 0x01, 0x00, 0x00, mode};
    if (mode != 2) return send(c, p);

    // The system-reference save: wait until the busy bit 0x200 reads clear twice.
    if (!c.api.SendDelayCmd || !c.api.SendDelayCmd(c.dev.device, p, p, 50)) return 0;
    int polls = 4;
    int k = 1;
    bool clearOnce = false;
    for (int poll = 0; poll < polls; ++poll) {
        programSleep(c, (k + 1) * 50);
        uint16_t status = 0;
        const bool busy = !SendCmdGetStatusE4(c, &status) || (status & 0x200);
        if (!busy) {
            if (clearOnce) return 1;
            clearOnce = true;
            ++polls; // one extra poll, after the same wait again
            continue;
        }
        ++k;
    }
    return 0;
}

int SendCmdE7(Controller& c, uint8_t selector, uint32_t value, uint32_t* out) {
    Packet p{0xE7, selector, uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    if (!send(c, p)) return 0;
    *out = littleEndian(p);
    return 1;
}

void SendCmdReadE7(Controller& c) {
    Packet p{0xE7, 0x00, 0x00, 0x00, 0x00};
    c.dev.e7Value = send(c, p) ? littleEndian(p) : 0;
}

void SendCmdE9(Controller& c) {
    Packet p{0xE9, 0x00, 0xAD, 0x00, 0x00};
    send(c, p);
}

int SendCmdWriteF2(Controller& c, uint8_t value) {
    Packet p{0xF2, 0x00, 0x00, 0x00, value};
    return send(c, p);
}

int SendCmdF4(Controller& c, uint8_t a, uint8_t b) {
    Packet p{0xF4, 0x00, a, 0x00, b};
    return send(c, p);
}

int SendCmdF5(Controller& c, uint8_t value) {
    Packet p{0xF5, 0x00, 0xFF, 0x00, value};
    if (!c.dev.newFirmware) {
        p[2] = uint8_t(value - 0x10);
        p[4] = 0x00;
    }
    return send(c, p);
}

int SendCmdReadF5(Controller& c, uint8_t index) {
    Packet p{0xF5, 0x00, index, 0x00, 0x00};
    return send(c, p) ? p[4] : 0xFF00;
}

int SendCmdQueryF5(Controller& c, uint8_t index, uint32_t* out) {
    Packet p{0xF5, 0x00, index, 0x00, 0x00};
    if (!send(c, p)) return 0;
    *out = littleEndian(p);
    return 1;
}

int SendCmdQueryF6(Controller& c, uint8_t* maximum, uint8_t* value) {
    Packet p{0xF6, 0x06, 0x01, 0x00, 0x00};
    if (!send(c, p) || p[1] == 0xFF || p[2] == 0xFF) return 0;
    *maximum = p[3];
    *value = p[4];
    return 1;
}

int SendCmdF3OrFD(Controller& c, uint8_t value) {
    Packet p{0xFD, 0x00, 0x00, 0x00, value};
    if (c.dev.scanControlWord & 0x2000) {
        p[0] = 0xF3;
        p[2] = 0x0D;
    }
    return send(c, p);
}

int ResetAndCloseDevice(Controller& c) {
    if (!c.api.ResetMPU || !c.api.ResetMPU(c.dev.device)) return 0;
    c.dev.rememberedKey = c.dev.currentKey;
    if (c.api.CloseDevice) c.api.CloseDevice(c.dev.device);
    c.dev.device = INVALID_HANDLE_VALUE;
    return 1;
}

void SetDiagnosticScanState(Controller& c) {
    if (c.dev.eventHaltSupported) {
        uint8_t state = 0;
        if (!c.records.paraFuncTable.GetEventHalt) return;
        c.records.paraFuncTable.GetEventHalt(c.dev.device, &state);
        if (state > 0) {
            resumeScanning(c);
            if (c.records.paraFuncTable.ClearEventHalt) c.records.paraFuncTable.ClearEventHalt(c.dev.device);
        }
        return;
    }
    if (c.api.GetStateFlagEx && c.api.GetStateFlagEx(c.dev.device, &c.records.stateFlagEx) &&
        !(c.records.stateFlagEx.flag & 0x1))
        resumeScanning(c);
}

void RestartScan(Controller& c) {
    if (c.api.EnterDiagnosticMode) c.api.EnterDiagnosticMode(c.dev.device, 1);
    if (c.api.EnablePCAPScan) c.api.EnablePCAPScan(c.dev.device, 1);
    if (c.api.EnterDiagnosticMode) c.api.EnterDiagnosticMode(c.dev.device, 0);
}

int SendCmdQueryScanControlF3(Controller& c, uint16_t* word) {
    Packet p{0xF3, 0x00, 0x0F, 0x00, 0x00};
    if (!send(c, p) || p[1] != 0xAA) return 0;
    *word = uint16_t(p[4] << 8 | p[3]);
    return 1;
}

int SendCmdQueryReferenceVersionE4(Controller& c, uint16_t* version) {
    Packet p{0xE4, 0x00, 0x00, 0x00, 0x00};
    if (!send(c, p)) return 0;
    *version = uint16_t(p[2] * 100 + p[1]);
    return 1;
}

int SendCmdQueryInterfaceFB(Controller& c, uint8_t* status) {
    Packet p{0xFB, 0x00, 0x00, 0x00, 0x00};
    if (!send(c, p)) return 0;
    *status = p[4];
    return 1;
}

bool SendCmdPacket(Controller& c, uint8_t packet[5]) {
    if (!c.api.SendCmd) return false;
    return c.api.SendCmd(c.dev.device, packet, packet) != 0;
}

int SendCmdQueryE0(Controller& c, uint8_t index, int n) {
    Packet p{0xE0, 0x00, index, 0x00, 0x00};
    if (!send(c, p) || n < 0 || n > 4) return -1;
    return p[n];
}

int SendCmdReadParameterVersionF6(Controller& c) {
    Packet p{0xF6, 0x00, 0x10, 0x00, 0x00};
    if (!send(c, p) || p[1] != 0x00 || p[2] != 0x10) return 0;
    return p[3] * 100 + p[4];
}

void StopTouchScanning(Controller& c) {
    if (c.records.diagInfo.capability[3] < 29) {
        if (c.api.EnablePCAPScan) c.api.EnablePCAPScan(c.dev.device, 0);
    } else if (c.api.EnterDiagnosticMode) {
        c.api.EnterDiagnosticMode(c.dev.device, 1);
    }
}

void ResumeTouchScanning(Controller& c) {
    if (c.records.diagInfo.capability[3] < 29) {
        RestartScan(c);
    } else if (c.api.EnterDiagnosticMode) {
        c.api.EnterDiagnosticMode(c.dev.device, 0);
    }
}

bool SelectSlaveF4(Controller& c, uint8_t index) {
    for (int attempt = 0; attempt < kSlaveSelectTries; ++attempt) {
        if (attempt) programSleep(c, kSlaveSelectGapMs);
        if (SendCmdF4(c, index, 0x01)) return true;
    }
    return false;
}

} // namespace vcx
