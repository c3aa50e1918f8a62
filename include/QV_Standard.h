/*
 * QV_Standard: access library for Quorvane projected-capacitive touch controllers.
 *
 * A flat C interface. Every device export takes the device HANDLE that the
 * library opened; results are 1 (done) and 0 (refused or failed) unless an
 * export says otherwise. No error text is kept: the command log (see
 * EnableLogCommandLine) records every packet exchanged with a controller.
 *
 * Texts: every export that passes text comes as a wide (W, UTF-16) and a
 * narrow (A) twin; where a plain name exists it is the narrow one.
 *
 * Records that cross this boundary are owned by the caller.
 */
#ifndef QV_STANDARD_H
#define QV_STANDARD_H

#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define QV_API __attribute__((visibility("default")))

/* An opened controller, as the library returns it. */
typedef void* HANDLE;
#ifndef INVALID_HANDLE_VALUE
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#endif

/* Wide characters are UTF-16 code units. */
typedef char16_t QVWCHAR;

/* Interface flags returned by GetDeviceType. */
#define QV_DEVICE_HID         0x01u /* USB-HID feature reports */
#define QV_DEVICE_DRIVER      0x02u /* kernel driver, device kinds 0..2 */
#define QV_DEVICE_DRIVER_EX   0x04u /* kernel driver, device kinds 3..4 */
#define QV_DEVICE_RS232       0x08u /* serial port */
#define QV_DEVICE_HID_3508    0x20u /* a HID device of product id 3508 */

/* Controller series returned by GetQVOstraMelk. */
#define QV_SERIES_CURRENT 0
#define QV_SERIES_OSTRA   1
#define QV_SERIES_MELK    2

/* ---- Device table, open and close ---------------------------------------- */

/* Opens the known controller whose primary or alternate path equals path
 * (exact, case-sensitive). 1 and *handle; 0 when no controller has that path
 * or it cannot be opened. An already open controller returns its handle. */
QV_API int OpenDeviceW(const QVWCHAR* path, HANDLE* handle);
QV_API int OpenDeviceA(const char* path, HANDLE* handle);
QV_API int OpenDevice(const char* path, HANDLE* handle);

/* Closes a controller. Always 1. A handle the library does not hold is not closed. */
QV_API int CloseDevice(HANDLE handle);

/* Interface flags (QV_DEVICE_*). */
QV_API int GetDeviceType(HANDLE handle, uint32_t* type);
/* Product number (3508, 6020, ...), for HID and driver devices. */
QV_API int GetProductID(HANDLE handle, uint32_t* productId);
/* Line speed of a serial controller, or the driver's rate for driver kinds 3..4. */
QV_API int GetBaudRate(HANDLE handle, uint32_t* baud);
/* Controller series (QV_SERIES_*). */
QV_API int GetQVOstraMelk(HANDLE handle, uint8_t* series);
/* Driver devices only: hands rate to the driver, *current gets its answer. */
QV_API int GetDriverSampleRate(HANDLE handle, uint32_t rate, uint32_t* current);
/* *isLast := 1 when the most recent touch report came from this controller. */
QV_API int CheckLastTouchDeviceHandle(HANDLE handle, int* isLast);
/* Stores a debug switch and value; nothing in the library reads them. 1. */
QV_API int DebugCallBackEn(int enable, int value);

/* ---- Command transport ------------------------------------------------------ */

/* One 5-byte command and its 5-byte reply. 1 when the controller answered;
 * 0 otherwise. A refusal (reply byte 0 = 0xAA) returns 0 with the reply filled,
 * so a caller can tell refusal from silence. */
QV_API int SendCmd(HANDLE handle, const uint8_t command[5], uint8_t reply[5]);
/* Sends a command without reading a reply. 1 when it was sent. */
QV_API int SendCmdOnly(HANDLE handle, const uint8_t command[5]);
/* As SendCmd, waiting delayMs between the send and the first read. */
QV_API int SendDelayCmd(HANDLE handle, const uint8_t command[5], uint8_t reply[5], int delayMs);
/* Block-size query of the boot loader; *size gets reply bytes 1..3. */
QV_API int SendD2(HANDLE handle, uint32_t* size);

/* ---- Command log -------------------------------------------------------------- */

/* Opens (non-zero) or closes (0) the command log at the selected path, appending.
 * 0 only when enabling and the file cannot be opened. */
QV_API int EnableLogCommandLine(int enable);
/* Store the log path (at most 260 characters) and select the wide or narrow log.
 * An open log is not reopened. */
QV_API int SetCommandLogPathW(const QVWCHAR* path);
QV_API int SetCommandLogPathA(const char* path);
/* Write text unchanged into the open log of the same width; 0 when the other
 * width is selected or no log is open. */
QV_API int WriteCommandLogW(const QVWCHAR* text);
QV_API int WriteCommandLogA(const char* text);

/* ---- Enumeration --------------------------------------------------------------
 *
 * Enumerators find controllers, register them in the library's device table
 * (the table keeps each found controller open: OpenDevice* hands back that
 * handle) and report each one through a callback, called on the caller's thread.
 * A callback's result is not used.
 *
 * Paths on Linux: HID controllers are "/dev/hidrawN"; serial controllers are
 * the port's device path ("/dev/ttyUSB0", or any port named in the environment
 * variable QV_SERIAL_PORTS, colon-separated); controllers behind the maker's
 * kernel driver keep the driver's device names ("\\.\QVUVCXM_API0") and exist
 * only in the simulator. Keys of HID controllers come from the USB parent's
 * instance identity "USB\VID_2E7B&PID_6020\<instance>" (<instance>: the serial
 * number, else "<bus>&<port>&<port>..."): the key is <instance>, the location the
 * number after its last '&'. */

typedef int (*QVEnumCallbackW)(const QVWCHAR* path, const QVWCHAR* name, uint32_t location);
typedef int (*QVEnumCallbackA)(const char* path, const char* name, uint32_t location);
typedef int (*QVEnumCallbackExW)(const QVWCHAR* path, const QVWCHAR* name, const QVWCHAR* key);
typedef int (*QVEnumCallbackExA)(const char* path, const char* name, const char* key);

/* USB-HID controllers. 1 when at least one was reported. Open HID handles of
 * the table are closed first. */
QV_API int EnumerateHidDevicesW(QVEnumCallbackW callback);
QV_API int EnumerateHidDevicesA(QVEnumCallbackA callback);
QV_API int EnumerateHidDevices(QVEnumCallbackA callback);
QV_API int EnumerateHidDevicesExW(QVEnumCallbackExW callback);
QV_API int EnumerateHidDevicesExA(QVEnumCallbackExA callback);
QV_API int EnumerateHidDevicesEx(QVEnumCallbackExA callback);
/* The first HID controller: 1 with its open handle and model name (20 characters). */
QV_API int FindHidDeviceW(HANDLE* handle, QVWCHAR name[20]);
QV_API int FindHidDeviceA(HANDLE* handle, char name[20]);
QV_API int FindHidDevice(HANDLE* handle, char name[20]);

/* Controllers behind the maker's kernel driver, of the kinds whose bit is set
 * in kindMask (bits 0..4). Returns the mask of kinds that reported a device. */
QV_API int EnumerateQVDevicesW(QVEnumCallbackW callback, uint32_t kindMask);
QV_API int EnumerateQVDevicesA(QVEnumCallbackA callback, uint32_t kindMask);
QV_API int EnumerateQVDevices(QVEnumCallbackA callback, uint32_t kindMask);
QV_API int EnumerateQVDevicesExW(QVEnumCallbackExW callback, uint32_t kindMask);
QV_API int EnumerateQVDevicesExA(QVEnumCallbackExA callback, uint32_t kindMask);
QV_API int EnumerateQVDevicesEx(QVEnumCallbackExA callback, uint32_t kindMask);
/* A driver controller: W tries every kind (the last kind with a device wins),
 * A stops at the first kind with one. */
QV_API int FindQVDeviceW(HANDLE* handle, QVWCHAR name[20], uint32_t* location);
QV_API int FindQVDeviceA(HANDLE* handle, char name[20], uint32_t* location);
QV_API int FindQVDevice(HANDLE* handle, char name[20], uint32_t* location);

/* Serial controllers on every listed port, probing the line speeds in turn.
 * 0 when the machine lists no serial port, else 1. */
QV_API int EnumerateRSDevicesW(QVEnumCallbackW callback);
QV_API int EnumerateRSDevicesA(QVEnumCallbackA callback);
QV_API int EnumerateRSDevices(QVEnumCallbackA callback);
QV_API int EnumerateMelkDevicesW(QVEnumCallbackW callback);
QV_API int EnumerateMelkDevicesA(QVEnumCallbackA callback);
QV_API int EnumerateMelkDevices(QVEnumCallbackA callback);
/* A serial controller on port number port (the trailing digits of its path) at baud. */
QV_API int FindRSDeviceW(uint32_t port, uint32_t baud, HANDLE* handle, QVWCHAR name[20]);
QV_API int FindRSDeviceA(uint32_t port, uint32_t baud, HANDLE* handle, char name[20]);
QV_API int FindRSDevice(uint32_t port, uint32_t baud, HANDLE* handle, char name[20]);
QV_API int FindMelkDeviceW(uint32_t port, uint32_t baud, HANDLE* handle, QVWCHAR name[20]);
QV_API int FindMelkDeviceA(uint32_t port, uint32_t baud, HANDLE* handle, char name[20]);
QV_API int FindMelkDevice(uint32_t port, uint32_t baud, HANDLE* handle, char name[20]);
/* Serial plug-and-play test of an open series controller whose reader runs. */
QV_API int RS232PNPTest(HANDLE handle, int* result);

/* ---- Device change -----------------------------------------------------------------
 *
 * A window is a message sink: the library delivers device-change messages by
 * calling send(context, QV_WM_DEVICECHANGE, event, (intptr_t)&broadcast)
 * synchronously on its own thread; the broadcast record lives for the call. */

typedef struct QVWindow {
    void (*send)(void* context, uint32_t message, uintptr_t wParam, intptr_t lParam);
    void* context;
} QVWindow;
typedef QVWindow* HWND;
typedef void* HDEVNOTIFY;

#define QV_WM_DEVICECHANGE            0x0219u
#define QV_DBT_DEVICEARRIVAL          0x8000u
#define QV_DBT_DEVICEREMOVECOMPLETE   0x8004u
#define QV_DBT_DEVTYP_DEVICEINTERFACE 5u

/* The device-interface broadcast: its name in both widths. */
typedef struct QVDeviceBroadcast {
    uint32_t dbcc_size;
    uint32_t dbcc_devicetype; /* QV_DBT_DEVTYP_DEVICEINTERFACE */
    uint32_t dbcc_reserved;
    uint8_t dbcc_classguid[16];
    char dbcc_name[260];
    QVWCHAR dbcc_nameW[260];
} QVDeviceBroadcast;

/* Classifies a device-change message: *kind 1 arrival, 0 removal, -1 not a
 * controller event. Always 1. */
QV_API int QVDeviceChange(uint32_t event, const QVDeviceBroadcast* header, int* kind);
/* Subscribes window to device changes of the driver's two interface classes and
 * of USB devices; the three handles are for UnRegisterNotify. 1. */
QV_API int RegisterNotify(HWND window, HDEVNOTIFY* first, HDEVNOTIFY* second, HDEVNOTIFY* usb);
QV_API int UnRegisterNotify(HDEVNOTIFY first, HDEVNOTIFY second, HDEVNOTIFY usb);

/* ---- Device information, settings and checksums --------------------------------
 *
 * Series devices are controllers of the Ostra and Melk series (GetQVOstraMelk
 * non-zero); exports marked "current series" refuse them without sending
 * anything. "Driver devices" are controllers behind the maker's kernel driver
 * (QV_DEVICE_DRIVER or QV_DEVICE_DRIVER_EX); other controllers have no driver
 * settings and are refused by those exports. */

/* The library's version: 1, 3, 0, 11. Always 1. */
QV_API int GetLibraryVersion(int* major, int* minor, int* build, int* revision);
/* Always 0. */
QV_API int GetFeatureSwitch(void);

/* Version texts of the master IC and of up to four slave ICs, e.g.
 * "QV6020A.D05.2.7.3.4   Boot : 1.3 B", "QV6021S.2.1.0   " or "QV6020.1.0 (Boot)".
 * Texts of ICs that were not read are empty. */
typedef struct FirmwareVersionInfoW {
    QVWCHAR master[50];
    QVWCHAR slave[4][50];
    int32_t masterInBoot;   /* 1: the master runs its boot loader (no slave texts then) */
    int32_t slaveInBoot[4];
    int32_t slaveCount;     /* slave ICs the controller reports (at most 4) */
} FirmwareVersionInfoW;     /* 524 bytes */

typedef struct FirmwareVersionInfoA {
    char master[50];
    char slave[4][50];
    uint8_t reserved[2];
    int32_t masterInBoot;
    int32_t slaveInBoot[4];
    int32_t slaveCount;
} FirmwareVersionInfoA;     /* 276 bytes */

/* Reads every IC's version. Slave ICs are reached in diagnostic mode (or with
 * scanning stopped), which is left again before the call returns. 0 when a query
 * fails; the texts formed until then are kept. */
QV_API int GetFWVersionW(HANDLE handle, FirmwareVersionInfoW* info);
QV_API int GetFWVersionA(HANDLE handle, FirmwareVersionInfoA* info);
QV_API int GetFWVersion(HANDLE handle, FirmwareVersionInfoA* info);

/* Firmware information, keyed by its size field: the caller sets size to 184,
 * 204 or 208 (wide) or 100, 120 or 124 (narrow); fields beyond the size are
 * neither read nor written. Any other size is refused without a command. */
typedef struct FirmwareInformationW {
    uint32_t size;
    uint16_t productNumber;
    uint16_t firmwareMajor;
    uint16_t customerCode;
    uint8_t bootStateA;         /* A 0x55 and B 0xAA: running in the boot loader */
    uint8_t bootStateB;
    uint8_t productLetter;      /* letter = value + 0x40; 0: none */
    uint8_t minorVersion;
    uint8_t interfaceBits;
    uint8_t bootMajor;
    uint8_t bootMinor;
    uint8_t reserved;
    QVWCHAR panelSize[40];
    QVWCHAR coverLens[40];
    uint8_t bootLetter;         /* letter = value + 0x40; 0: none */
    uint8_t icByte;
    uint8_t icByte2;            /* size 208 */
    uint8_t reserved2[3];
    uint32_t controllerWord[5]; /* size 204 and 208: the master's, then the further ICs' */
    uint8_t info4Byte1;         /* size 208: information word 4 */
    uint8_t info4Byte2;
    uint16_t info4Word;
} FirmwareInformationW;         /* 208 bytes */

typedef struct FirmwareInformationA {
    uint32_t size;
    uint16_t productNumber;
    uint16_t firmwareMajor;
    uint16_t customerCode;
    uint8_t bootStateA;
    uint8_t bootStateB;
    uint8_t productLetter;
    uint8_t minorVersion;
    uint8_t interfaceBits;
    uint8_t bootMajor;
    uint8_t bootMinor;
    char panelSize[40];
    char coverLens[40];
    uint8_t bootLetter;
    uint8_t icByte;
    uint8_t icByte2;            /* size 124 */
    uint32_t controllerWord[5]; /* sizes 120 and 124 */
    uint8_t info4Byte1;         /* size 124 */
    uint8_t info4Byte2;
    uint16_t info4Word;
} FirmwareInformationA;         /* 124 bytes */

QV_API int GetFWInformationW(HANDLE handle, FirmwareInformationW* info);
QV_API int GetFWInformationA(HANDLE handle, FirmwareInformationA* info);
QV_API int GetFWInformation(HANDLE handle, FirmwareInformationA* info);

/* The 8 feature bytes, and the 8 bridge feature bytes, read when the controller was found. */
QV_API int GetFeatureFlag(HANDLE handle, uint8_t flags[8]);
QV_API int GetBridgeFeatureFlag(HANDLE handle, uint8_t flags[8]);

/* Current series: the two state words as four bytes. */
QV_API int GetStateFlag(HANDLE handle, uint8_t flags[4]);

typedef struct StateFlagEx {
    uint32_t size;
    uint16_t flag;
    uint16_t status;
    uint16_t status2;
    uint16_t diagnostic;
} StateFlagEx;                  /* 12 bytes */

/* Current series: the extended state words (falls back to GetStateFlag's). */
QV_API int GetStateFlagEx(HANDLE handle, StateFlagEx* state);

/* Current series: the panel-size text of table entry index, e.g. "AUO G156 15.6\" (W)",
 * and the cover-lens text, e.g. "1.1 mm Glass". At most 39 characters and a terminator. */
QV_API int GetPanelSizeInfoW(HANDLE handle, uint8_t index, QVWCHAR text[40]);
QV_API int GetPanelSizeInfoA(HANDLE handle, uint8_t index, char text[40]);
QV_API int GetPanelSizeInfo(HANDLE handle, uint8_t index, char text[40]);
QV_API int GetCoverLensInfoW(HANDLE handle, uint8_t index, QVWCHAR text[40]);
QV_API int GetCoverLensInfoA(HANDLE handle, uint8_t index, char text[40]);
QV_API int GetCoverLensInfo(HANDLE handle, uint8_t index, char text[40]);

/* Driver devices: the driver's version words (major, minor, build word; Ex splits
 * the build word into its low and high halves). */
QV_API int GetQVDriverVersion(HANDLE handle, uint32_t version[3]);
QV_API int GetQVDriverVersionEx(HANDLE handle, uint32_t version[4]);

/* Data report (raw data to the host) state and switch; scanning; touch reports. */
QV_API int GetDataReportState(HANDLE handle, int* on);
QV_API int EnableDataReport(HANDLE handle, int on);
QV_API int EnablePCAPScan(HANDLE handle, int on);
QV_API int SetTouchEnable(HANDLE handle, int on);
/* Current series: restarts the controller's firmware. */
QV_API int ResetMPU(HANDLE handle);

/* The monitor the controller's touches belong to. */
QV_API int GetMonitorID(HANDLE handle, uint32_t* id);
QV_API int SetMonitorID(HANDLE handle, const uint8_t* id);

/* Driver devices: how the driver reports touches (1 or 2), right click by
 * press and hold, the touch-and-hold gesture (0/1). */
QV_API int GetQVDriverTouchType(HANDLE handle, uint8_t* type);
QV_API int SetQVDriverTouchType(HANDLE handle, uint8_t type);
QV_API int GetRightButton(HANDLE handle, int* on);
QV_API int SetRightButton(HANDLE handle, int on);
QV_API int GetTouchAndHold(HANDLE handle, int* on);
QV_API int SetTouchAndHold(HANDLE handle, int on);

/* HID controllers with parameter version above 1.46: the HID report type item. */
QV_API int GetHidReportType(HANDLE handle, uint8_t* type);
QV_API int SetHidReportType(HANDLE handle, uint8_t type);

/* The boot loader's packet size of the master (ic 0) or of slave ic (1..4):
 * *size 8 and *known 0 unless the controller tells it. */
QV_API int GetBufferSize(HANDLE handle, int ic, int* known, uint16_t* size);
/* HID controllers: one output report of length bytes. */
QV_API int SetOutputReport(HANDLE handle, uint32_t length, const uint8_t* bytes);

/* Before a firmware update: whether the controller has the new boot loader, and
 * if so switch to it. Ex: *state := the dual-boot state when it is one of the
 * count states listed (then the switch is made), else 0. */
QV_API int CheckNewBoot(HANDLE handle, int* isNew);
QV_API int CheckNewBootEx(HANDLE handle, const uint8_t* states, uint8_t count, uint8_t* state);

/* The controller's parameter memory as byte lists (filled by the library, which
 * owns the buffers). */
typedef struct ParameterList {
    uint8_t touchLength;
    uint8_t bootLength;
    uint8_t debugLength;
    uint8_t slaveLength;
    uint8_t* touchList;
    uint8_t* bootList;
    uint8_t* debugList;
    uint8_t* slaveList[4];
} ParameterList;

/* The virtual-key table: 16 entries of 12 bytes (entrySize of them used). */
typedef struct VButtonTable {
    uint8_t entry[16][12];
    uint8_t entrySize;
    uint8_t usedCount;
    uint16_t crc;
} VButtonTable;                 /* 196 bytes */

/* Current series: the parameter checksum the controller keeps (only controllers
 * with bit 4 of feature byte 4). Ex computes it from the touch and boot lists of
 * lists for other controllers. */
QV_API int GetParameterCRC(HANDLE handle, uint16_t* crc);
QV_API int GetParameterCRCEx(HANDLE handle, const ParameterList* lists, uint16_t* crc);

/* The parameter checksum over a touch image (images[0], lengths[0] bytes) and a
 * boot image (images[1], lengths[1] bytes), started from start (0xFFFF for the
 * plain forms). Mode 0 also ignores touch byte 61 and the high bits of boot
 * byte 0; every mode ignores touch bytes 63 and 127 and boot bytes 15, 61, 63.
 * The QuorvaneN4_ forms return 0, the others 1 (0 for missing arguments). */
QV_API int QuorvaneN4_CalSWParamCRCEx(int mode, uint16_t start, const uint32_t lengths[2],
                                      const uint8_t* const images[2], uint16_t* crc);
QV_API int QuorvaneN4_CalSWParamCRC(int mode, const uint32_t lengths[2], const uint8_t* const images[2],
                                    uint16_t* crc);
QV_API int CalculateParameterCRCEx(int mode, uint16_t start, const uint32_t lengths[2],
                                   const uint8_t* const images[2], uint16_t* crc);
QV_API int CalculateParameterCRC(int mode, const uint32_t lengths[2], const uint8_t* const images[2],
                                 uint16_t* crc);

/* The virtual-key checksum over entries 0..usedCount, stored into table->crc. 1. */
QV_API int QuorvaneN4_CalVKeyCRC(VButtonTable* table);
QV_API int CalculateVirtualButtonCRC(VButtonTable* table);

#ifdef __cplusplus
}
#endif

#endif /* QV_STANDARD_H */
