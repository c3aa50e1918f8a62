// VCXMSet's binding to the controller library: the 56 entry points looked up
// by name in a fixed slot order, the version test, the program-wide records
// stamped with their sizes, the device-notification registration, and the small
// command helpers that send one 5-byte command on the current device.
//
// The library is loaded by its file name "libQV_Standard.so", looked for beside
// the program first, then in "../lib" relative to it (an installed tree), then
// wherever the dynamic loader finds it (LD_LIBRARY_PATH, the system folders).
#pragma once

#include "QV_Standard.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QObject;
class QWidget;

namespace qvui {
class GuiCallGate;
}

namespace vcx {

// An entry point whose typed form comes with the code that calls it; it is
// bound by name like every other and cast to its type where it is used.
using UntypedEntry = void (*)();
// The parameter-list entry points: the lists live in the library, the record points at them.
using ParameterListFn = int (*)(HANDLE handle, ParameterList* lists);
using ParameterConstFn = int (*)(HANDLE handle, uint8_t block[80]);

// Slot order, export name, and the type the slot holds.
#define VCX_CONTROLLER_SLOTS(X)                                                \
    X(EnumerateHidDevicesExW, decltype(&::EnumerateHidDevicesExW))             \
    X(EnumerateQVDevicesExW, decltype(&::EnumerateQVDevicesExW))               \
    X(OpenDeviceW, decltype(&::OpenDeviceW))                                   \
    X(CloseDevice, decltype(&::CloseDevice))                                   \
    X(GetDeviceType, decltype(&::GetDeviceType))                               \
    X(GetQVOstraMelk, decltype(&::GetQVOstraMelk))                             \
    X(QVDeviceChange, decltype(&::QVDeviceChange))                             \
    X(RegisterNotify, decltype(&::RegisterNotify))                             \
    X(UnRegisterNotify, decltype(&::UnRegisterNotify))                         \
    X(GetFWVersionW, decltype(&::GetFWVersionW))                               \
    X(GetFWInformationW, decltype(&::GetFWInformationW))                       \
    X(GetLibraryVersion, decltype(&::GetLibraryVersion))                       \
    X(GetProductID, decltype(&::GetProductID))                                 \
    X(GetPanelSizeInfoW, decltype(&::GetPanelSizeInfoW))                       \
    X(GetCoverLensInfoW, decltype(&::GetCoverLensInfoW))                       \
    X(GetFeatureFlag, decltype(&::GetFeatureFlag))                             \
    X(GetBridgeFeatureFlag, decltype(&::GetBridgeFeatureFlag))                 \
    X(GetStateFlagEx, decltype(&::GetStateFlagEx))                             \
    X(GetQVDriverVersionEx, decltype(&::GetQVDriverVersionEx))                 \
    X(GetParameterCRC, decltype(&::GetParameterCRC))                           \
    X(CalculateParameterCRCEx, decltype(&::CalculateParameterCRCEx))           \
    X(CalculateVirtualButtonCRC, decltype(&::CalculateVirtualButtonCRC))       \
    X(EnableDataReport, decltype(&::EnableDataReport))                         \
    X(EnablePCAPScan, decltype(&::EnablePCAPScan))                             \
    X(ResetMPU, decltype(&::ResetMPU))                                         \
    X(EnableLogCommandLine, decltype(&::EnableLogCommandLine))                 \
    X(SetCommandLogPathW, decltype(&::SetCommandLogPathW))                     \
    X(WriteCommandLogW, decltype(&::WriteCommandLogW))                         \
    X(EnterDiagnosticMode, decltype(&::EnterDiagnosticMode))                   \
    X(GetDiagnosticInfo, decltype(&::GetDiagnosticInfo))                       \
    X(BuildNewRawArray, decltype(&::BuildNewRawArray))                         \
    X(FreeNewRawArray, decltype(&::FreeNewRawArray))                           \
    X(GetNewDiffMutu, decltype(&::GetNewDiffMutu))                             \
    X(GetNewRawCount, decltype(&::GetNewRawCount))                             \
    X(GetNewDiagData, decltype(&::GetNewDiagData))                             \
    X(GetParameterList, ParameterListFn)                                       \
    X(GetAPBTParaList, ParameterListFn)                                        \
    X(SetParameterList, ParameterListFn)                                       \
    X(SetAPBTParaList, ParameterListFn)                                        \
    X(GetParameterConst, ParameterConstFn)                                     \
    X(SetupParameterFunctionPointer, decltype(&::SetupParameterFunctionPointer)) \
    X(SendCmd, decltype(&::SendCmd))                                           \
    X(SendCmdOnly, decltype(&::SendCmdOnly))                                   \
    X(SendDelayCmd, decltype(&::SendDelayCmd))                                 \
    X(GetBufferSize, decltype(&::GetBufferSize))                               \
    X(SetOutputReport, decltype(&::SetOutputReport))                           \
    X(CheckNewBootEx, decltype(&::CheckNewBootEx))                             \
    X(SendD2, decltype(&::SendD2))                                             \
    X(RegisterTouchNotify, decltype(&::RegisterTouchNotify))                   \
    X(UnRegisterTouchNotify, decltype(&::UnRegisterTouchNotify))               \
    X(CreateComPortTouchNotify, decltype(&::CreateComPortTouchNotify))         \
    X(CloseComPortTouchNotify, decltype(&::CloseComPortTouchNotify))           \
    X(GetDriverSampleRate, decltype(&::GetDriverSampleRate))                   \
    X(Zelmar_call_process, UntypedEntry)                                       \
    X(Zelmar_call_firmware_update, UntypedEntry)                               \
    X(Zelmar_hid_enum_touchscreen, UntypedEntry)

// Each slot holds the export of its name, or nothing when the library lacks it;
// callers test a slot before calling it.
struct ControllerApi {
#define VCX_SLOT_MEMBER(name, type) type name = nullptr;
    VCX_CONTROLLER_SLOTS(VCX_SLOT_MEMBER)
#undef VCX_SLOT_MEMBER

    static constexpr int kSlotCount = 56;
    // The export names in slot order.
    static const std::array<const char*, kSlotCount>& slotNames();
    // Slot i (0-based) as an untyped address, nullptr when empty.
    const void* slot(int i) const;
    int boundCount() const;
};

// Fills every slot from `lookup` (name -> address or nullptr), in slot order.
void bindControllerApi(ControllerApi& api, const std::function<void*(const char*)>& lookup);

// The program-wide records that cross the library boundary; the binding zeroes
// them and stamps each size field.
struct ProgramRecords {
    FirmwareVersionInfoW fwVersion;     // no size field
    FirmwareInformationW fwInformation; // stamped 208
    ParameterList paraList;             // library-owned lists, no size field
    DiagnosticInfo diagInfo;            // 16
    NewDiagRequest newDiagRequest;      // 8
    NewRawArray newRawArray;            // no size field: all zero
    // The parameter entry points; the library fills as many as the size names.
    ParameterFunctionTable paraFuncTable; // QV_PARAMETER_TABLE_SIZE(53)
    StateFlagEx stateFlagEx;            // 12
    // The parameter groups, each stamped with its whole size.
    ParameterGeneralInfo generalInfo;
    ParameterHostInterface hostInterface;
    ParameterPanel panel;
    ParameterFinger finger;
    ParameterPalm palm;
    ParameterBase base;
    ParameterWater water;
    ParameterAntiNoise antiNoise;
    ParameterCoordinate coordinate;
    ParameterCoordinate calibrationCoordinate; // the working copy of the calibration
    ParameterPowerSaving powerSaving;
    ParameterScan normalScan;
    ParameterScan abnormalScan;
    ParameterMisc misc;
    ParameterDriveIC driveIC;
    ParameterDebug debug;
    ParameterVButton vButton;
    ParameterCustom custom;
};
void stampProgramRecords(ProgramRecords& r);

// Model numbers 6000..6999 are the Ostra series, except 6600..6699, which
// belong to the current series.
constexpr bool isOstraModel(int model) { return model >= 6000 && model <= 6999 && !(model >= 6600 && model <= 6699); }

// The current device, as the main window's device read-out leaves it.
struct DeviceState {
    HANDLE device = INVALID_HANDLE_VALUE;
    uint32_t deviceType = 0;         // GetDeviceType flags
    bool ostraModel = false;         // model 6000..6999 outside 6600..6699
    bool newFirmware = false;        // bit 1 of the first feature byte
    std::array<uint8_t, 8> featureFlags{}; // GetFeatureFlag, as the last read-out found them
    std::array<uint8_t, 8> bridgeFlags{};  // GetBridgeFeatureFlag, likewise (zeros when not read)
    bool eventHaltSupported = false; // debug group valid and ClearEventHalt worked
    QString rememberedKey;           // the key the next device search reopens
    QString currentKey;
    uint16_t scanControlWord = 0;    // bit 0x2000: F3 00 0D instead of FD
    uint32_t e7Value = 0;            // the last E7 00 value read
    QString modelName;               // model name of the open device
    bool listsRead = false;          // the touch and boot lists were read
    uint16_t parameterCrc = 0;       // the controller's parameter CRC (CheckParameterCRC [0])
    uint16_t computedCrc = 0;        // the CRC over the lists the program holds ([1])
    // What ReadAllParameters learned (config/params/parameter_read.h).
    bool parametersRead = false;     // every group read: the Parameters page is usable
    int paraVersion = 0;             // major x 100 + minor of the parameter version, 0 until read
    uint16_t virtualKeyCrc = 0xFFFF; // the virtual-key CRC word: VButtonGetCRC from 1.33, else 0xFFFF
    std::array<uint8_t, 80> parameterConstants{}; // GetParameterConst
};

// Everything the binding and the helpers share: one process-wide instance
// (controller()), separate ones in tests.
struct Controller {
    ControllerApi api;
    void* library = nullptr; // dlopen handle
    QString libraryPath;     // the file that was loaded
    QString loadError;       // why nothing could be loaded, per candidate
    HDEVNOTIFY devNotify[3] = {nullptr, nullptr, nullptr};
    bool touchRegistered = false; // RegisterTouchNotify took the program's callback
    ProgramRecords records{};
    DeviceState dev;
    // The library's clock (real time, or the simulated controllers' virtual
    // clock), bound by name beside the slots; the program's own waits and tick
    // counts go through it so that in sim mode they take no real time.
    void (*platformSleep)(uint32_t ms) = nullptr;
    uint32_t (*platformTickCount)() = nullptr;
    // Why the last platform call on this thread failed (QVGetLastErrorTextA),
    // bound by name beside the slots; an older library has none.
    uint32_t (*lastErrorText)(char* text, uint32_t count) = nullptr;
    // Replaces the waits (tests); unset, the library's clock, else real time.
    std::function<void(int ms)> sleepMs;

    // The window device notifications reach (as QV_WM_DEVICECHANGE messages,
    // sent on the window's thread while the library's broadcast record lives).
    QPointer<QObject> notifyWindow;
    std::unique_ptr<qvui::GuiCallGate> notifyGate;
    QVWindow notifySink{};

    Controller();
    ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;
};

Controller& controller();

constexpr const char* kLibraryFileName = "libQV_Standard.so";
constexpr const char* kLibrarySoname = "libQV_Standard.so.1";
// Beside the program, ../lib relative to it, then the plain name for the loader.
QStringList libraryCandidates(const QString& programFolder);

constexpr int kRequiredMajor = 1, kRequiredMinor = 3, kRequiredBuild = 0;
// The version refusal texts, as shown to the user.
QString versionMissingText();
QString versionTooOldText(int major, int minor, int build, int revision);
constexpr const char* kVersionCaption = "Quorvane library version is too old.";
bool versionAccepted(int major, int minor, int build);

// Loads the first candidate that loads, binds the slots, stamps the records and
// tests the version. Too old (or no GetLibraryVersion): a warning box on
// `owner`, false, the library stays loaded. Accepted: registers `owner` for
// device notifications when RegisterNotify is bound, true. Nothing loadable:
// false without a message, the reasons in loadError.
bool loadControllerLibrary(QWidget* owner, Controller& c, const QStringList& candidates);
// The same on an already loaded module (tests, and a second window of the process).
bool bindLoadedLibrary(QWidget* owner, Controller& c, void* module);
// Unregisters the device notifications (once; later calls do nothing).
void unregisterNotifications(Controller& c);
// Unregisters the notifications and frees the library; the slots stay as they are.
void unloadControllerLibrary(Controller& c);

// The program's own waits: the test's replacement, else the library's clock, else real time.
void programSleep(Controller& c, int ms);
// The library's reason for its last failure on this thread; empty when it
// gives none (or has no such export). Control characters become blanks, so
// the reason is one line.
QString libraryFailureReason(Controller& c);
// A line into the library's command log, when the library has one.
void writeCommandLog(Controller& c, const char16_t* text);
// A text field of the library's records: up to maxChars units or its terminator.
QString wideField(const QVWCHAR* text, int maxChars);

// ---- Command helpers on c.dev.device through c.api.SendCmd ------------------

int SendCmdReadE0(Controller& c, uint8_t index, int n);
int SendCmdWriteE1(Controller& c, uint8_t index, uint8_t value, uint8_t bank);
int SendCmdGetStatusE4(Controller& c, uint16_t* out);
int SendCmdSetModeE4(Controller& c, uint8_t mode);
int SendCmdE7(Controller& c, uint8_t selector, uint32_t value, uint32_t* out);
void SendCmdReadE7(Controller& c);
void SendCmdE9(Controller& c);
int SendCmdWriteF2(Controller& c, uint8_t value);
int SendCmdF4(Controller& c, uint8_t a, uint8_t b);
int SendCmdF5(Controller& c, uint8_t value);
int SendCmdReadF5(Controller& c, uint8_t index); // 0xFF00 on failure
int SendCmdQueryF5(Controller& c, uint8_t index, uint32_t* out);
int SendCmdQueryF6(Controller& c, uint8_t* maximum, uint8_t* value);
int SendCmdF3OrFD(Controller& c, uint8_t value);
int ResetAndCloseDevice(Controller& c);
void SetDiagnosticScanState(Controller& c);
void RestartScan(Controller& c);
// F3 00 0F: the scan capability word (reply bytes 4, 3) when answered with 0xAA in byte 1.
int SendCmdQueryScanControlF3(Controller& c, uint16_t* word);
// E4 00 00: the system-reference version, reply byte 2 x 100 + byte 1.
int SendCmdQueryReferenceVersionE4(Controller& c, uint16_t* version);
// FB 00 00 00 00: the interface test; its status in reply byte 4 (0: passed).
int SendCmdQueryInterfaceFB(Controller& c, uint8_t* status);
// One command on c.dev.device, the reply back into `packet`: the sender under
// every helper here and under the boot-loader commands (update/boot_commands.h).
// False when the library has no SendCmd or the command was not answered.
bool SendCmdPacket(Controller& c, uint8_t packet[5]);
// Byte n (0..4) of E0 00 <index>'s reply; -1 when it goes unanswered (where
// SendCmdReadE0 gives 0) or n names no reply byte.
int SendCmdQueryE0(Controller& c, uint8_t index, int n);
// The item protocol's parameter version, F6 00 10 00 00 answered with 00 10 in
// bytes 1 and 2: byte 3 x 100 + byte 4; 0 when the controller has none.
int SendCmdReadParameterVersionF6(Controller& c);

// ---- Reaching the slave controllers ------------------------------------------
// A slave answers only while the master does not scan. Stopping: a generation
// byte (DiagnosticInfo capability[3]) below 29 EnablePCAPScan (0), else
// EnterDiagnosticMode (1). Resuming: below 29 EnterDiagnosticMode (1),
// EnablePCAPScan (1), EnterDiagnosticMode (0), else EnterDiagnosticMode (0).
void StopTouchScanning(Controller& c);
void ResumeTouchScanning(Controller& c);
// Selects slave `index` (0 the first) with F4 00 index 00 01, up to ten tries
// 50 ms apart; true at the first answer. F4 00 AA 00 00 (SendCmdF4 (0xAA, 0))
// goes back to the master.
bool SelectSlaveF4(Controller& c, uint8_t index);
constexpr int kSlaveSelectTries = 10;
constexpr int kSlaveSelectGapMs = 50;

} // namespace vcx
