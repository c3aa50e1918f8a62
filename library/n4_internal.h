// The N4 command family's internals: the transport that opens a controller
// (USB HID search or a serial port), moves five-byte commands and their replies
// and closes it again, and the command protocol built on it. The QuorvaneN4_
// exports open a context, run operations of this header on it and close it.
//
// A context is a DevInfo record of which the family uses:
//   hDevice       the open handle (invalidHandle() when closed)
//   dwDeviceType  the interface kind (kKindHid, kKindUart; kKindUartAlt and
//                 kKindHidAlt are transport kinds of the same branches that
//                 nothing here opens)
//   bWin8Ptl      the HID report id (0 or 1)
//   dwBaudRate    the serial rate the port was set to
//   szPath        the device path (serial: the whole path; HID: the node)
//
// HID candidates on Linux: the maker's nodes (vendor 0x2E7B) whose report
// descriptor declares a feature report (the command channel). The report id is
// 1 when the descriptor uses report ids or the product is 0x3508, else 0.
#pragma once

#include "internal.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qvlib::n4 {

// Interface kinds of a context (DevInfo::dwDeviceType).
constexpr uint32_t kKindNone = 0;
constexpr uint32_t kKindHid = 1;
constexpr uint32_t kKindUartAlt = 4;
constexpr uint32_t kKindUart = 8;
constexpr uint32_t kKindHidAlt = 16;

constexpr uint16_t kVendorId = 0x2E7B;
constexpr uint16_t kReportIdProduct = 0x3508;
constexpr uint32_t kDefaultBaudRate = 38400;
// The longest serial path kept (the context holds 260 characters with the terminator).
constexpr size_t kMaxUartPath = kPathChars - 1;
// Bytes of a version text, terminator included, that every caller provides.
constexpr size_t kVersionTextSize = 64;

// Return values of Exchange.
constexpr int kExchangeOk = 0;
constexpr int kExchangeFailed = -1;
constexpr int kExchangeRejected = -2;  // the controller answered AA BB CC DD EE

// ---- library-wide settings ------------------------------------------------------
// The serial path ("" = use the USB HID search). SetUartPath refuses (false,
// the path kept as it was) a path longer than kMaxUartPath.
std::string UartPath();
bool SetUartPath(const std::string& path);
uint32_t BaudRate();  // 38400 at load
void SetBaudRate(uint32_t rate);
uint32_t IoPort();
void SetIoPort(uint32_t port);
uint32_t Irq();
void SetIrq(uint32_t irq);
// The settings as at load (for tests and the unload step).
void ResetSettings();

// The send callbacks a caller installed (QuorvaneN4_SetupSendCmdCallBack,
// QuorvaneN4_SetupSendCmdOnlyCallBack); nullptr when none is.
QVN4SendCmdCallBack SendCmdCallback();
QVN4SendCmdOnlyCallBack SendCmdOnlyCallback();

// The full path name the wide exports take: relative names from the working
// directory, "." and ".." resolved by name (the file need not exist); "" when
// the working directory cannot be had.
std::string FullPathName(const std::string& path);

// ---- contexts --------------------------------------------------------------------
// A closed context (hDevice invalid, kind none).
DevInfo NewContext();
inline bool IsOpen(const DevInfo& ctx) { return ctx.hDevice != invalidHandle(); }
inline bool IsUart(const DevInfo& ctx) {
    return ctx.dwDeviceType == kKindUart || ctx.dwDeviceType == kKindUartAlt;
}

// Opens over the serial path set (OpenUart) or, with none set, by the USB HID
// search (OpenHid). 1 when open, else the open's failure (-1, 0).
int Open(DevInfo& ctx);
// The USB HID search: 1 opened, -1 no device opened, 0 the device list could
// not be had.
int OpenHid(DevInfo& ctx);
// The USB HID search in steps: the candidates (the maker's nodes with a
// feature report, in listing order; false when no list could be had), and the
// open of one of them, which keeps the candidate's identity in szParentId.
struct HidCandidate {
    qvp::HidInterface itf;
    qvp::InputNode facts;
};
bool HidCandidates(std::vector<HidCandidate>* out);
// A candidate's identity: its USB parent's instance id, or its node when it has
// no USB parent. It stays when the controller re-enumerates on the same port
// under the same product.
std::string HidIdentity(const qvp::HidInterface& itf);
// What is known beside a HID handle: the identities its controller had (a boot
// loader may enumerate under another product; the latest last) and those of
// the other controllers listed while it was open or reopened.
struct HidLineage {
    std::vector<std::string> own;
    std::vector<std::string> others;
};
// Opens a candidate and keeps lineage with the handle; the form with the list
// takes the candidate's identity as its own and the rest of the list as others.
bool OpenHidCandidate(DevInfo& ctx, const HidCandidate& c, HidLineage lineage);
bool OpenHidCandidate(DevInfo& ctx, const HidCandidate& c, const std::vector<HidCandidate>& listed);
// The lineage kept with an open handle (empty for one the search did not open).
HidLineage LineageOf(HANDLE h);
// The serial path set: 1 opened (and F0 00 00 00 01 sent), -1 not opened.
int OpenUart(DevInfo& ctx);
// Closes by kind (a serial link gets F1 00 00 00 01 first). The handle becomes
// invalid. Nothing happens to a closed context.
void Close(DevInfo& ctx);
// The interface kind of an open handle: a serial port -> kKindUart, a HID device
// of product 0x3508 -> kKindHid, else kKindNone.
uint32_t KindOfHandle(HANDLE h);
// Raw block write: a HID output report [report id][block] of the block's length,
// or a plain serial write. 1 when all went out.
int BlockWrite(DevInfo& ctx, const uint8_t* block, size_t length);

// The hidraw node of a USB device (its sysfs path, as tch_get_usb_path_by_id
// gives it) that answers the identity command: up to 5 walks over the device's
// HID children, each child tried up to 10 times. Empty when none answers.
std::string device_get_hid_path(const std::string& usbPath);

// ---- protocol ---------------------------------------------------------------------
// Writes the command: retries < 0 = the default (5 for kKindHidAlt, else 3),
// 0 = send nothing. 0 when sent, -1 after the last failure.
int Send(DevInfo& ctx, const uint8_t cmd[5], int retries = -1);
// Reads one reply. 0 when read, -1 when not.
int Receive(DevInfo& ctx, uint8_t reply[5]);
// Send and answer: kExchangeOk, kExchangeFailed or kExchangeRejected. reply may
// be nullptr (then only the send counts).
int Exchange(DevInfo& ctx, const uint8_t cmd[5], uint8_t* reply);
int Exchange(DevInfo& ctx, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4, uint8_t* reply);

// The version text: at most cap - 1 characters and a terminator.
void device_get_version_str(char* out, size_t cap, uint16_t product, uint8_t major, uint8_t minor,
                            uint16_t build, uint8_t customer, uint8_t letter);

// What the identity commands told.
struct Identity {
    uint16_t product = 0;  // low 15 bits of EE bytes 1..2
    uint8_t major = 0;
    uint8_t letter = 0;
    uint8_t minor = 0;
    uint8_t customer = 0;
    uint16_t build = 0;    // ED byte 4 * 256 + byte 3
};

// Block checksum formats.
enum class ChecksumFormat { Byte, Word };

// The state the protocol keeps for the whole library.
struct ProtocolState {
    uint8_t lastCommand = 0;     // byte 0 of the last command sent
    uint32_t blockSize = 8;      // bytes per firmware data transfer
    uint32_t flashBlockSize = 0; // D2's answer
    ChecksumFormat checksumFormat = ChecksumFormat::Byte;
    int slaveCount = 0;
    bool dualBoot = false;
    bool secondBootActive = false;
    bool inSlave = false;
};
ProtocolState& State();
void ResetState();

// The block checksum: NOT of the 32-bit sum of the bytes (word format: bytes at
// odd positions shifted left by 8), its low 16 bits.
uint16_t BlockChecksum(const uint8_t* data, size_t length, ChecksumFormat format);

// Operations: >= 0 on success, -1 on failure (the table's result otherwise).
// identity: 1 in the boot loader (build word 0xAA55), else 0; version text
// (kVersionTextSize bytes) and identity optional.
int GetIdentity(DevInfo& ctx, char* versionText = nullptr, Identity* identity = nullptr);
int ItemProtocol(DevInfo& ctx);                        // 1 / 0, -1
int UpdateLock(DevInfo& ctx, uint8_t on);
int ReadParamCrc(DevInfo& ctx, uint16_t* crc);
int ListLengths(DevInfo& ctx, uint32_t* touch, uint32_t* boot);  // always sets both
int ReadParameter(DevInfo& ctx, uint8_t bank, uint8_t index, uint8_t* value);
int WriteParameter(DevInfo& ctx, uint8_t bank, uint8_t index, uint8_t value);  // E1 bank index 00 value
int ReadUserSetting(DevInfo& ctx, uint8_t group, uint8_t item, uint8_t* value, uint8_t* maximum);
// Reply bytes 3 and 4 of the read (the 16-bit setting: byte 4 * 256 + byte 3).
int ReadUserSettingBytes(DevInfo& ctx, uint8_t group, uint8_t item, uint8_t* byte3, uint8_t* byte4);
// The changed bits (reply byte 4), -1 on refusal or 0xFF. Items above 15 are refused.
int WriteUserSetting(DevInfo& ctx, uint8_t group, uint8_t item, uint8_t v1, uint8_t v2);
int Flush(DevInfo& ctx, bool flag);
int ReloadPreservingInterface(DevInfo& ctx, bool flag);
int StartSystemReference(DevInfo& ctx);  // 1 when done
int ChangeI2CAddress(DevInfo& ctx, uint8_t address);  // address above 0x7F refused
int BlockNumber(DevInfo& ctx, uint16_t n);
int SendBlockChecksum(DevInfo& ctx, uint16_t checksum);
int ReadBlockSize(DevInfo& ctx);
int ReadPacketSize(DevInfo& ctx);
int BootSwitch(DevInfo& ctx, uint8_t t);
int EndProgramming(DevInfo& ctx);
int ReadDataFormat(DevInfo& ctx);
int BootDataCheck(DevInfo& ctx, uint8_t v);  // 1 / 0, -1
int ScanState(DevInfo& ctx);                 // 1 / 0, -1
int BootLoaderCheck(DevInfo& ctx, bool flag);  // 1 / 0, -1
int BootMode(DevInfo& ctx);                  // 1 / 0, -1
int SlaveCount(DevInfo& ctx);
int DualBoot(DevInfo& ctx);                  // 1 / 0, -1; sets the state's flags
int StopScanning(DevInfo& ctx);
int StartScanning(DevInfo& ctx);
int SelectSlave(DevInfo& ctx, uint8_t n);
int SelectMaster(DevInfo& ctx);
int Reset(DevInfo& ctx);
// 0 = the master, else slave a; the version byte.
int ChipVersion(DevInfo& ctx, uint8_t a);

// The virtual-key table operations of the QuorvaneN4_VKey exports on a context
// the caller holds open (the exports open one of their own): 1 done, 0 failed.
int KeysClearOn(DevInfo& ctx, uint8_t flag);
int KeysInitOn(DevInfo& ctx, uint8_t* result);  // the entries the table holds
int KeysWriteFlashOn(DevInfo& ctx);
int KeysReadOn(DevInfo& ctx, VButtonTable* table);
int KeysWriteOn(DevInfo& ctx, const VButtonTable* table);

}  // namespace qvlib::n4
