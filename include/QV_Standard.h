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
/* Driver devices only: *rate := the driver's sample rate (reports per second)
 * of touch contact id. 0 for other devices or when the driver does not answer. */
QV_API int GetDriverSampleRate(HANDLE handle, uint32_t id, uint32_t* rate);
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

/* ---- Touch and force notifications --------------------------------------------
 *
 * Touch reports of the controllers reach a registered callback as calls
 * (state, x, y): state = kind + contact id, kind 0x10 contact down or moving,
 * 0x20 contact up, 0x30 touch enabled again, 0x40 touch disabled (palm or
 * water), 0x50 and 0x60 controller events, 0xF0 any other report; x and y are
 * 16-bit values. The extended callback also gets the controller's handle
 * (INVALID_HANDLE_VALUE for a controller the library does not hold). Reports
 * come from the USB touch-screen interfaces of the maker's controllers, from
 * driver devices and, once CreateComPortTouchNotify started their readers, from
 * serial controllers.
 *
 * Callbacks run on the library's notification threads, never on the caller's,
 * with no library lock held; their results are not used. A callback must not
 * wait for a thread that is unregistering or closing devices (that thread waits
 * for the callback to return); UnRegisterTouchNotify called from inside a
 * callback is refused. */

typedef int (*QVTouchNotifyCallback)(int state, int x, int y);
typedef int (*QVTouchNotifyCallbackEx)(int state, int x, int y, HANDLE device);
typedef int (*QVForceNotifyCallback)(int zero, int force);

/* Starts the notifications with a callback. 0 when they run already, when
 * callback is NULL, or when they cannot start; else 1. */
QV_API int RegisterTouchNotify(QVTouchNotifyCallback callback);
QV_API int RegisterTouchNotifyEx(QVTouchNotifyCallbackEx callback);
/* Stops the notifications: every notification thread is stopped and joined
 * before it returns. 1; 0 when called from inside a callback. */
QV_API int UnRegisterTouchNotify(void);
/* Force values (callback (0, force)) of the reports that carry one. 1; 0 for NULL. */
QV_API int RegisterForceNotify(QVForceNotifyCallback callback);
QV_API int UnRegisterForceNotify(void);
/* Starts (stops and joins) the touch readers of the open serial controllers.
 * 0 while the notifications do not run; else 1. */
QV_API int CreateComPortTouchNotify(void);
QV_API int CloseComPortTouchNotify(void);
/* Head capture: the status bytes of the touch packets, up to 4096.
 * set != 0: empties it and turns it on (*value != 0) or off; set = 0: *value :=
 * the number held. 1; 0 for a NULL value. */
QV_API int GetHeadCnt(int set, int* value);
/* The captured byte at position; 0 when position is outside what is held. */
QV_API int GetTouchHead(int position, uint8_t* out);

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

/* The lists are read into buffers the library keeps per device (allocated at the
 * first read, freed when the library unloads); a Set writes only the bytes of those
 * buffers that changed since they were last read or written, inside the update lock.
 * The record's lengths bound a Set; the buffers are the library's own.
 * GetAPBTParaList reads only the touch and boot lists (debugLength 0). Ostra and
 * Melk controllers have no lists. */
QV_API int GetParameterList(HANDLE handle, ParameterList* list);
QV_API int GetAPBTParaList(HANDLE handle, ParameterList* list);
QV_API int SetParameterList(HANDLE handle, ParameterList* list);
QV_API int SetAPBTParaList(HANDLE handle, ParameterList* list);
/* The controller's constant block: at most 80 bytes into buffer. */
QV_API int GetParameterConst(HANDLE handle, uint8_t* buffer);

/* ---- Diagnostics -----------------------------------------------------------------
 *
 * A sensor frame is rows (A) lines of B mutual values, C extra-column values and one
 * last-column value, all 16-bit, row after row. The arrays inside the records below
 * are allocated by the library (zero-filled) and belong to the caller until the
 * matching Free export releases them.
 *
 * Every export takes the device handle first and returns 1 on success, 0 on failure
 * (unknown handle, Ostra or Melk controller, refused command, record of the wrong size
 * or of another geometry than the controller's). */

typedef struct DiagnosticInfo {
    uint32_t cbSize;          /*  0: must be 16 */
    uint16_t bulkSize;        /*  4: bytes per bulk frame transfer; 0 = word-wise reads */
    uint8_t scanMode;         /*  6: configuration register 0x4E */
    uint8_t capability[4];    /*  7: capability bytes; [3] the scan-control generation */
    uint8_t rows;             /* 11: A */
    uint8_t columns;          /* 12: B (mutual) */
    uint8_t extraColumns;     /* 13: C */
    uint8_t busy;             /* 14: 1 while a reference build or a list read runs */
    uint8_t reserved;         /* 15 */
} DiagnosticInfo;             /* 16 bytes */

/* The older frame record. Its accepted size is its size on the build: the four
 * pointers take 8 bytes each on a 64-bit build, so cbSize must be QV_RAWARRAY_SIZE
 * (64 here; 44 on a 32-bit build). The extra and last-column pointers stay NULL and
 * their counts 0 when the controller has no such columns (flags bits 3 and 2). */
typedef struct RawArray {
    uint32_t cbSize;          /*  0 */
    uint16_t bulkSize;        /*  4 */
    uint8_t flags;            /*  6: capability byte 3 */
    uint8_t scanMode;         /*  7: bits 1, 2, 0 suppress the mutual, extra, last copies */
    uint8_t rows;             /*  8 */
    uint8_t columns;          /*  9 */
    uint8_t extraColumns;     /* 10 */
    uint8_t reserved;         /* 11 */
    uint16_t* mutual;         /* 16 (64-bit) / 12 (32-bit): rows x columns */
    uint16_t* extra;          /* 24 / 16: rows x extraColumns */
    uint16_t* last;           /* 32 / 20: rows */
    uint16_t* whole;          /* 40 / 24: rows x (columns + extraColumns + 1) */
    int32_t mutualCount;      /* 48 / 28 */
    int32_t extraCount;       /* 52 / 32 */
    int32_t lastCount;        /* 56 / 36 */
    int32_t wholeCount;       /* 60 / 40 */
} RawArray;
#define QV_RAWARRAY_SIZE ((uint32_t)sizeof(RawArray))

/* The newer frame record (no size field): 48 bytes on a 64-bit build, 32 on 32-bit. */
typedef struct NewRawArray {
    uint16_t* mutual;
    uint16_t* extra;
    uint16_t* last;
    uint16_t* whole;
    int32_t mutualCount;
    int32_t extraCount;
    int32_t lastCount;
    int32_t wholeCount;
} NewRawArray;

typedef struct NewDiagRequest {
    uint32_t cbSize;          /* 0: must be 8 */
    uint8_t scanArgument;     /* 4: byte 3 of the scan start */
    uint8_t loadArgument;     /* 5: byte 3 of the data load */
    uint8_t dataKind;         /* 6: byte 4 of both; register 0x4E on older firmware */
    uint8_t reserved;         /* 7: must be 0 */
} NewDiagRequest;             /* 8 bytes */

QV_API int GetDiagnosticInfo(HANDLE handle, DiagnosticInfo* info);
/* Fills geometry and counts and allocates the arrays; 0 (nothing allocated) when the
 * controller reports no rows or no columns. */
QV_API int BuildRawArray(HANDLE handle, RawArray* array);
/* Frees the arrays, then leaves diagnostic mode (its answer is not needed). 1. */
QV_API int FreeRawArray(HANDLE handle, RawArray* array);
QV_API int BuildNewRawArray(HANDLE handle, NewRawArray* array);
QV_API int FreeNewRawArray(HANDLE handle, NewRawArray* array);

QV_API int EnterDiagnosticMode(HANDLE handle, int on);
QV_API int StartNewDiagnosticScan(HANDLE handle, uint8_t argument, uint8_t kind);
QV_API int LoadNewDiagnosticData(HANDLE handle, uint8_t argument, uint8_t kind);
QV_API int SetNewDiagnosticNotify(HANDLE handle, int on);
QV_API int GetNewDiagnosticProgress(HANDLE handle, uint8_t* total, uint8_t* done);
/* Read the frame the controller holds into the record. */
QV_API int GetNewDiagnosticScanResult(HANDLE handle, NewRawArray* array);
QV_API int GetNewDiffMutu(HANDLE handle, NewRawArray* array);
/* Scan, wait for the scan to finish, read. */
QV_API int GetNewRawCount(HANDLE handle, NewRawArray* array, NewDiagRequest* request);
/* Load a diagnostic data frame of the requested kind and read it. */
QV_API int GetNewDiagData(HANDLE handle, NewRawArray* array, NewDiagRequest* request);

/* Older firmware: selects the array's scan mode as the diagnostic data kind. */
QV_API int ChangeDiagnosticScan(HANDLE handle, RawArray* array);
QV_API int GetDiffMutu(HANDLE handle, RawArray* array);
QV_API int GetRawCount(HANDLE handle, RawArray* array);
QV_API int GetBaseLine(HANDLE handle, RawArray* array);
/* The differences of frequency mode mode (controllers with per-mode differences). */
QV_API int GetModeDiff(HANDLE handle, RawArray* array, uint8_t mode);
/* The open/short poll. The controller never reports a decoded result: *result stays
 * 255 and the call returns 0. The three middle arguments are not used. */
QV_API int OpenShortTestA(HANDLE handle, const void* unused1, const void* unused2, const void* unused3,
                          uint8_t* result);
QV_API int OpenShortTestW(HANDLE handle, const void* unused1, const void* unused2, const void* unused3,
                          uint8_t* result);

/* The system reference build: the controller measures and stores a new untouched-panel
 * baseline. One blocking call checks that the environment is quiet (noise levels of
 * every frequency mode below the anti-noise threshold), starts the controller's own
 * build and waits for it (up to 20 status polls 500 ms apart), checks the new baseline
 * (neighbour differences, then the flatness of every frequency mode), saves it, and
 * appends a report to logPath (NULL: none; created when missing).
 * *result: 0 not supported (feature byte 4 bit 0 clear, or the status read failed;
 * no report), 1 built and saved, 2 the build command failed, 3 the frequency-mode
 * commands failed, no modes or more than 4, or feature byte 0 bit 1 / byte 1 bit 6
 * missing (no report), 4 an item read failed or the flatness threshold is 0, 5 five
 * status reads failed while waiting, 6 still building after 20 polls, 7 a noise level
 * reached the threshold, 8 the baseline read failed, 9 the neighbour check failed, 10
 * a per-mode difference read failed, 11 the flatness check failed, 12 the save failed,
 * 128 another build is running (only one runs at a time in the library).
 * progress (may be NULL) runs on the calling thread: (percent, 255) at 0, 10, 30, 50,
 * 60, 70, 80, 90 and 100, and (255, code) to ask whether a failure 7, 9 or 11 should
 * be kept; the callback answers with ContinueBuildSystemReference (or within 10 ms
 * after it returns). Continuing saves the result (1, or 12) and the report names the
 * failure that was overridden. While the question is open the device's busy byte
 * (DiagnosticInfo.busy) is 0, otherwise 1 during the build.
 * Returns 0 only for an unknown handle, a NULL result or a failed RawArray build;
 * otherwise 1. The W form takes a wide path; both write the same ASCII report. */
typedef void (*QVSystemReferenceProgress)(int percent, int code);
QV_API int BuildSystemReferenceW(HANDLE handle, QVSystemReferenceProgress progress, const QVWCHAR* logPath,
                                 uint8_t* result);
QV_API int BuildSystemReferenceA(HANDLE handle, QVSystemReferenceProgress progress, const char* logPath,
                                 uint8_t* result);
/* The answer to a build's question: flag non-zero keeps building (saves), 0 keeps the
 * failure. 1 while a build runs, else 0 (no effect). */
QV_API int ContinueBuildSystemReference(int flag);
/* The controller's reference status (controllers with feature byte 4 bit 0): out[0]
 * the major and out[1] the minor reference version, out[2..3] the status word
 * (little-endian u16 of status bytes 3 * 256 + 4). out is cleared first. 1 when read;
 * 0 when unsupported, unknown, the command failed or out is NULL. */
QV_API int GetSystemReferenceInformation(HANDLE handle, uint8_t out[4]);

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

/* ---- Parameter groups ------------------------------------------------------------
 *
 * Controllers with a parameter version keep their tunable parameters as numbered
 * items (0..15) inside numbered groups. A group record shows one group at once.
 * The records' byte offsets are fixed (they are noted beside the fields).
 *
 * Every group record starts with the same header: cbSize (the size of the
 * caller's record; it decides which later fields exist), the group's item
 * presence mask, the changed bits of the last write (OR of the controller's
 * answers) and the valid flag (1 when the last read of the whole group worked;
 * a record whose valid is 0 is not written back). Fields marked "cbSize > N"
 * (or ">= N") exist only when cbSize passes that mark. A record whose cbSize is
 * below its base size (the offset of its first optional field) is refused, and
 * no byte at or past cbSize is ever read or written. */

/* One byte-wide item. */
typedef struct ParameterItem {
    uint8_t value;     /* current value; the caller edits this */
    uint8_t maximum;   /* largest value the controller takes (there is no minimum) */
    uint8_t stored;    /* the value last read from or written to the controller */
    uint8_t reserved;
    uint32_t present;  /* 1: the item exists and was read */
} ParameterItem;       /* 8 bytes */

/* A byte-wide item with a second, read-only byte. */
typedef struct ParameterPairItem {
    uint8_t value;
    uint8_t maximum;
    uint8_t second;    /* the item's second byte (read only) */
    uint8_t stored;
    uint32_t present;
} ParameterPairItem;   /* 8 bytes */

/* A 16-bit item. */
typedef struct ParameterWordItem {
    uint16_t value;
    uint16_t maximum;
    uint16_t stored;
    uint16_t reserved;
    uint32_t present;
} ParameterWordItem;   /* 12 bytes */

/* A 16-bit item without a maximum. */
typedef struct ParameterShortWordItem {
    uint16_t value;
    uint16_t stored;
    uint32_t present;
} ParameterShortWordItem; /* 8 bytes */

/* A read-only item of four 16-bit words. */
typedef struct ParameterWideItem {
    uint16_t word[4];  /* the item's words 1, 3, 4 and 2, in this order */
    uint16_t first;    /* a copy of word[0] */
    uint16_t reserved;
    uint32_t present;
} ParameterWideItem;   /* 16 bytes */

#define QV_PARAMETER_HEADER \
    uint32_t cbSize;        \
    uint16_t itemMask;      \
    uint8_t changed;        \
    uint8_t reserved0;      \
    uint32_t valid

/* The general group: which groups exist and the parameter version. */
typedef struct ParameterGeneralInfo {
    uint32_t cbSize;
    uint16_t groupMask;      /* 4: bit g set = group g (1..15) exists */
    uint8_t versionMajor;    /* 6 */
    uint8_t versionMinor;    /* 7 */
    uint8_t valid;           /* 8 */
    uint8_t info1[2];        /* 9: general information 1, second then first byte */
    uint8_t info2[2];        /* 11: general information 2, first then second byte */
    uint8_t item3Value;      /* 13: parameter version 1.19 and later */
    uint8_t item3Maximum;    /* 14 */
    uint8_t item4Maximum;    /* 15: parameter version 1.41 and later */
    uint8_t item4Value;      /* 16 */
    uint8_t reserved[3];
} ParameterGeneralInfo;      /* 20 bytes; base size 13 */

typedef struct ParameterHostInterface {
    QV_PARAMETER_HEADER;
    ParameterItem item[3];   /* 12 */
    uint8_t interfaceByte;   /* 36 */
    uint8_t reserved1[3];
    uint32_t hidFlag;        /* 40 */
    uint8_t identity[4];     /* 44: cbSize > 44 */
    ParameterItem item3;     /* 48: cbSize > 48, parameter version above 1.46 */
} ParameterHostInterface;    /* 56 bytes; base size 44 */

typedef struct ParameterPanel {
    QV_PARAMETER_HEADER;
    ParameterItem item[6];   /* 12 */
    uint8_t geometry[8];     /* 60: cbSize > 60 */
    uint16_t resolution[2];  /* 68: cbSize > 60 */
    uint8_t extra[4];        /* 72: cbSize > 72 */
    uint16_t dimension[2];   /* 76: cbSize > 76 */
    uint8_t textLength;      /* 80: cbSize > 80 */
    uint8_t text[39];        /* 81 */
    ParameterItem item6[5];  /* 120: items 6..10, cbSize > 120 */
} ParameterPanel;            /* 160 bytes; base size 60 */

typedef struct ParameterFinger {
    QV_PARAMETER_HEADER;
    ParameterItem item0[4];  /* 12: items 0..3 */
    ParameterItem item5;     /* 44 */
    ParameterItem item4;     /* 52 */
    ParameterItem item6[3];  /* 60: items 6..8 */
    uint8_t info[2];         /* 84 */
    uint8_t reserved1[2];
    ParameterItem item9[5];  /* 88: items 9..13, cbSize > 88 */
    ParameterItem item14;    /* 128: cbSize > 128 */
} ParameterFinger;           /* 136 bytes; base size 88 */

typedef struct ParameterPalm {
    QV_PARAMETER_HEADER;
    ParameterItem item[5];   /* 12 */
    ParameterItem item5;     /* 52: cbSize > 52 */
} ParameterPalm;             /* 60 bytes; base size 52 */

typedef struct ParameterBase {
    QV_PARAMETER_HEADER;
    ParameterItem item[5];   /* 12 */
    ParameterItem item5;     /* 52: cbSize > 52 */
    ParameterItem item6[3];  /* 60: items 6..8, cbSize > 60 */
} ParameterBase;             /* 84 bytes; base size 52 */

typedef struct ParameterWater {
    QV_PARAMETER_HEADER;
    ParameterPairItem item0; /* 12 */
    ParameterItem item1[3];  /* 20: items 1..3 */
    ParameterPairItem item8; /* 44 */
    ParameterItem item9[3];  /* 52: items 9..11 */
    ParameterItem item15;    /* 76 */
    uint8_t info[4];         /* 84 */
    ParameterItem item12[2]; /* 88: items 12, 13, cbSize > 88 */
} ParameterWater;            /* 104 bytes; base size 88 */

typedef struct ParameterAntiNoise {
    QV_PARAMETER_HEADER;
    ParameterPairItem item0;  /* 12 */
    ParameterItem item1[2];   /* 20: items 1, 2 */
    ParameterItem item3[4];   /* 36: items 3..6, cbSize > 36 */
    ParameterItem item7;      /* 68: cbSize > 68 */
    ParameterItem item8[3];   /* 76: items 8..10, cbSize > 76 */
    ParameterWideItem item11; /* 100: cbSize > 100 */
    ParameterItem item12[4];  /* 116: items 12..15, cbSize > 100 */
    uint16_t extensionMask;   /* 148: the extension group's item mask */
    uint16_t reserved1;
    ParameterItem extension[3]; /* 152: extension items 0..2, cbSize > 100 */
} ParameterAntiNoise;         /* 176 bytes; base size 36 */

typedef struct ParameterCoordinate {
    QV_PARAMETER_HEADER;
    ParameterWordItem word[8]; /* 12: items 0..7 */
    ParameterItem item8[4];    /* 108: items 8..11 (X flip, Y flip, swap, orientation) */
    uint8_t info;              /* 140 */
    uint8_t reserved1[3];
    ParameterItem item12[4];   /* 144: items 12..15, cbSize > 144 */
} ParameterCoordinate;         /* 176 bytes; base size 144 */

typedef struct ParameterPowerSaving {
    QV_PARAMETER_HEADER;
    ParameterItem item[4];   /* 12 */
} ParameterPowerSaving;      /* 44 bytes */

/* The normal and the abnormal scan groups share this layout. */
typedef struct ParameterScan {
    QV_PARAMETER_HEADER;
    ParameterItem item[5];   /* 12 */
    uint16_t info1;          /* 52 */
    uint16_t reserved1;
    ParameterItem item5;     /* 56: cbSize >= 57 */
    ParameterItem item6;     /* 64: cbSize >= 65 */
    uint16_t info2;          /* 72: cbSize >= 73, parameter version 1.52 and later */
    uint16_t info3;          /* 74: likewise */
    ParameterItem item7;     /* 76: cbSize >= 73 */
} ParameterScan;             /* 84 bytes; base size 56 */
typedef ParameterScan ParameterNormalScan;
typedef ParameterScan ParameterAbnormalScan;

typedef struct ParameterMisc {
    QV_PARAMETER_HEADER;
    ParameterItem item[3];        /* 12 */
    ParameterItem item3;          /* 36: cbSize > 36 */
    ParameterShortWordItem item4; /* 44: cbSize > 44 */
    ParameterItem item5[2];       /* 52: items 5, 6, cbSize > 52 */
} ParameterMisc;                  /* 68 bytes; base size 36 */

typedef struct ParameterDriveIC {
    QV_PARAMETER_HEADER;
    ParameterItem item[2];   /* 12 */
    uint8_t lineCount;       /* 28: cbSize > 28; 255 when it cannot be read */
    uint8_t lines[15];       /* 29: line pairs */
} ParameterDriveIC;          /* 44 bytes; base size 28 */

typedef struct ParameterDebug {
    QV_PARAMETER_HEADER;
    uint8_t eventHalt[2];    /* 12 */
    uint8_t reserved1[2];
    ParameterItem item[9];   /* 16 */
    ParameterItem item9[2];  /* 88: items 9, 10, cbSize > 88 */
} ParameterDebug;            /* 104 bytes; base size 88 */

typedef struct ParameterVButton {
    QV_PARAMETER_HEADER;
    uint8_t info[2];         /* 12 */
    uint8_t entrySize;       /* 14 */
    uint8_t entryCount;      /* 15 */
    uint16_t info4;          /* 16 */
    uint16_t info5;          /* 18 */
    ParameterItem item[4];   /* 20 */
} ParameterVButton;          /* 52 bytes */

typedef struct ParameterCustom {
    QV_PARAMETER_HEADER;
    uint8_t info[2];         /* 12 */
    uint8_t reserved1[2];
    ParameterItem item0;     /* 16 */
} ParameterCustom;           /* 24 bytes */

/* The force-touch table: rows of three values. cbSize must be 104. */
typedef struct ForceTouchTable {
    uint32_t cbSize;
    uint16_t value[16][3];   /* 4 */
    uint8_t info;            /* 100 */
    uint8_t rows;            /* 101 */
    uint8_t columns;         /* 102: at most 3 */
    uint8_t info2;           /* 103 */
} ForceTouchTable;           /* 104 bytes */

/* ---- Parameter access ------------------------------------------------------------
 *
 * Every call takes the device handle first and returns 1 on success, 0 on failure:
 * an unknown handle, a controller of the Ostra or Melk series, a refused record
 * (cbSize below its base size) or a failed command. Controllers with a parameter
 * version use the item protocol; firmware without one (version 0) uses single
 * configuration registers where a group has a register form.
 *
 * Get (handle, groupMask, record): first clears the record (cbSize is kept; at most
 * sizeof(record) bytes are cleared), then reads the group when bit g of groupMask
 * (the general record's groupMask) is set; with the bit clear it returns 1 and the
 * record stays invalid. Set (handle, record): 0 when the record is not valid;
 * otherwise writes the present items whose value changed and is within maximum.
 *
 * Version 0: the general, panel and anti-noise groups have register forms. Every
 * other group (the host interface, finger, water and coordinate groups included)
 * reads as a cleared, invalid record (Get returns 1) and refuses Set (0). The host
 * interface group uses the item protocol only from parameter version 1.15 on; below
 * that it behaves as on version 0. */
QV_API int GetParameterGeneralInfo(HANDLE handle, ParameterGeneralInfo* info);
QV_API int GetParameterHostInterface(HANDLE handle, uint16_t groupMask, ParameterHostInterface* r);
QV_API int SetParameterHostInterface(HANDLE handle, ParameterHostInterface* r);
QV_API int GetParameterPanel(HANDLE handle, uint16_t groupMask, ParameterPanel* r);
QV_API int SetParameterPanel(HANDLE handle, ParameterPanel* r);
QV_API int GetParameterFinger(HANDLE handle, uint16_t groupMask, ParameterFinger* r);
QV_API int SetParameterFinger(HANDLE handle, ParameterFinger* r);
QV_API int GetParameterPalm(HANDLE handle, uint16_t groupMask, ParameterPalm* r);
QV_API int SetParameterPalm(HANDLE handle, ParameterPalm* r);
QV_API int GetParameterBase(HANDLE handle, uint16_t groupMask, ParameterBase* r);
QV_API int SetParameterBase(HANDLE handle, ParameterBase* r);
QV_API int GetParameterWater(HANDLE handle, uint16_t groupMask, ParameterWater* r);
QV_API int SetParameterWater(HANDLE handle, ParameterWater* r);
QV_API int GetParameterAntiNoise(HANDLE handle, uint16_t groupMask, ParameterAntiNoise* r);
QV_API int SetParameterAntiNoise(HANDLE handle, ParameterAntiNoise* r);
QV_API int GetParameterCoordinate(HANDLE handle, uint16_t groupMask, ParameterCoordinate* r);
QV_API int SetParameterCoordinate(HANDLE handle, ParameterCoordinate* r);
/* The power-saving group is bit 9 of the group mask. */
QV_API int GetParameterPowerSaving(HANDLE handle, uint16_t groupMask, ParameterPowerSaving* r);
QV_API int SetParameterPowerSaving(HANDLE handle, ParameterPowerSaving* r);
QV_API int GetParameterNormalScan(HANDLE handle, uint16_t groupMask, ParameterNormalScan* r);
QV_API int SetParameterNormalScan(HANDLE handle, ParameterNormalScan* r);
QV_API int GetParameterAbnormalScan(HANDLE handle, uint16_t groupMask, ParameterAbnormalScan* r);
QV_API int SetParameterAbnormalScan(HANDLE handle, ParameterAbnormalScan* r);
QV_API int GetParameterMisc(HANDLE handle, uint16_t groupMask, ParameterMisc* r);
QV_API int SetParameterMisc(HANDLE handle, ParameterMisc* r);
QV_API int GetParameterDriveIC(HANDLE handle, uint16_t groupMask, ParameterDriveIC* r);
QV_API int SetParameterDriveIC(HANDLE handle, ParameterDriveIC* r);
QV_API int GetParameterDebug(HANDLE handle, uint16_t groupMask, ParameterDebug* r);
QV_API int SetParameterDebug(HANDLE handle, ParameterDebug* r);
QV_API int GetParameterVButton(HANDLE handle, uint16_t groupMask, ParameterVButton* r);
QV_API int SetParameterVButton(HANDLE handle, ParameterVButton* r);
/* The custom group has no bit in the group mask: groupMask is not looked at. */
QV_API int GetParameterCustom(HANDLE handle, uint16_t groupMask, ParameterCustom* r);
QV_API int SetParameterCustom(HANDLE handle, ParameterCustom* r);

/* ---- Parameter control -------------------------------------------------------------
 *
 * Same gates as the group calls (unknown handle, Ostra or Melk series: 0). "Lock"
 * is ParameterUpdateLock of the controller's protocol: on before and off after the
 * reloads and table writes; a failure after the lock went on returns 0 at once and
 * leaves it on. Calls marked "items only" return 0 on version-0 firmware. */
/* Writes the parameters to flash; *result = the controller's answer (15 on version 0). */
QV_API int FlushParameter(HANDLE handle, uint8_t* result);
/* Reloads the defaults, or the values last flushed, inside the lock. On version 0
 * the host-interface and panel registers survive the reload. */
QV_API int ReloadDefaultParameter(HANDLE handle);
QV_API int ReloadFlushParameter(HANDLE handle);
/* Reloads every default (version 1.15 and later: one command; older: the register
 * reload sequence), inside the lock. */
QV_API int ReloadAllDefaultParameter(HANDLE handle);
QV_API int ParameterUpdateLock(HANDLE handle, int on);
QV_API int ExtraModeSwitch(HANDLE handle, uint8_t value);              /* items only */
QV_API int CalibrationPreSetup(HANDLE handle);                         /* items only */
QV_API int ActivateCalibrationParameter(HANDLE handle);                /* items only */
/* Items only, parameter version 1.12 and later. */
QV_API int UseAllSensorDriver(HANDLE handle, uint8_t value);
/* Items only, parameter version above 1.71. */
QV_API int SetExternalPanelIndex(HANDLE handle);
QV_API int SwitchEventHalt(HANDLE handle, uint8_t value);              /* items only */
QV_API int GetEventHalt(HANDLE handle, uint8_t* state);                /* items only */
QV_API int ClearEventHalt(HANDLE handle);                              /* items only */
QV_API int VButtonGetCRC(HANDLE handle, uint16_t* crc);                /* items only */
QV_API int VButtonClear(HANDLE handle, int flag);                      /* items only */
QV_API int VButtonInit(HANDLE handle, uint8_t* result);                /* items only */
QV_API int VButtonLoadSetting(HANDLE handle, int flag);                /* items only */
QV_API int VButtonWriteFlash(HANDLE handle);                           /* items only */
QV_API int VButtonRead(HANDLE handle, VButtonTable* table);            /* items only */
QV_API int VButtonWrite(HANDLE handle, const VButtonTable* table);     /* items only, in the lock */
/* Erases the virtual buttons on every firmware. */
QV_API int VButtonErase(HANDLE handle);
QV_API int ForceTouchSwitch(HANDLE handle, int flag);                  /* items only */
QV_API int ForceTouchRead(HANDLE handle, ForceTouchTable* table);      /* items only */
QV_API int ForceTouchWrite(HANDLE handle, const ForceTouchTable* table); /* items only, in the lock */
/* Items only; 1 when the command was sent (its answer is not looked at). */
QV_API int ForceTouchDemo(HANDLE handle, uint8_t value);

/* The parameter calls as one table of entry points. cbSize says how many entries
 * the caller's table has; SetupParameterFunctionPointer fills exactly those and
 * nothing at or past cbSize. The table is packed: entry n (1-based) sits at byte
 * 4 + (n - 1) * sizeof(void*). The entry counts taken are 33, 37, 38, 40, 41, 50,
 * 51 and 53, so the accepted cbSize values are 4 + count * sizeof(void*): on a
 * 64-bit build 268, 300, 308, 324, 332, 404, 412 and 428 (on a 32-bit build 136,
 * 152, 156, 164, 168, 204, 208 and 216). Any other cbSize returns 0 and leaves the
 * table untouched. */
#if defined(__GNUC__)
#define QV_PACK4 __attribute__((packed, aligned(4)))
#else
#define QV_PACK4
#endif
typedef struct QV_PACK4 ParameterFunctionTable {
    uint32_t cbSize;
    int (*GetParameterGeneralInfo)(HANDLE, ParameterGeneralInfo*);                 /* 1 */
    int (*FlushParameter)(HANDLE, uint8_t*);
    int (*ReloadDefaultParameter)(HANDLE);
    int (*ReloadFlushParameter)(HANDLE);
    int (*ParameterUpdateLock)(HANDLE, int);                                       /* 5 */
    int (*GetParameterHostInterface)(HANDLE, uint16_t, ParameterHostInterface*);
    int (*SetParameterHostInterface)(HANDLE, ParameterHostInterface*);
    int (*GetParameterPanel)(HANDLE, uint16_t, ParameterPanel*);
    int (*SetParameterPanel)(HANDLE, ParameterPanel*);
    int (*GetParameterFinger)(HANDLE, uint16_t, ParameterFinger*);                 /* 10 */
    int (*SetParameterFinger)(HANDLE, ParameterFinger*);
    int (*GetParameterPalm)(HANDLE, uint16_t, ParameterPalm*);
    int (*SetParameterPalm)(HANDLE, ParameterPalm*);
    int (*GetParameterBase)(HANDLE, uint16_t, ParameterBase*);
    int (*SetParameterBase)(HANDLE, ParameterBase*);                               /* 15 */
    int (*GetParameterWater)(HANDLE, uint16_t, ParameterWater*);
    int (*SetParameterWater)(HANDLE, ParameterWater*);
    int (*GetParameterAntiNoise)(HANDLE, uint16_t, ParameterAntiNoise*);
    int (*SetParameterAntiNoise)(HANDLE, ParameterAntiNoise*);
    int (*GetParameterCoordinate)(HANDLE, uint16_t, ParameterCoordinate*);         /* 20 */
    int (*SetParameterCoordinate)(HANDLE, ParameterCoordinate*);
    int (*CalibrationPreSetup)(HANDLE);
    int (*ActivateCalibrationParameter)(HANDLE);
    int (*GetParameterPowerSaving)(HANDLE, uint16_t, ParameterPowerSaving*);
    int (*SetParameterPowerSaving)(HANDLE, ParameterPowerSaving*);                 /* 25 */
    int (*GetParameterNormalScan)(HANDLE, uint16_t, ParameterNormalScan*);
    int (*SetParameterNormalScan)(HANDLE, ParameterNormalScan*);
    int (*GetParameterAbnormalScan)(HANDLE, uint16_t, ParameterAbnormalScan*);
    int (*SetParameterAbnormalScan)(HANDLE, ParameterAbnormalScan*);
    int (*GetParameterMisc)(HANDLE, uint16_t, ParameterMisc*);                     /* 30 */
    int (*SetParameterMisc)(HANDLE, ParameterMisc*);
    int (*GetParameterDriveIC)(HANDLE, uint16_t, ParameterDriveIC*);
    int (*SetParameterDriveIC)(HANDLE, ParameterDriveIC*);                         /* 33 */
    int (*GetParameterDebug)(HANDLE, uint16_t, ParameterDebug*);
    int (*SetParameterDebug)(HANDLE, ParameterDebug*);                             /* 35 */
    int (*SwitchEventHalt)(HANDLE, uint8_t);
    int (*GetEventHalt)(HANDLE, uint8_t*);                                         /* 37 */
    int (*ClearEventHalt)(HANDLE);                                                 /* 38 */
    int (*ReloadAllDefaultParameter)(HANDLE);
    int (*UseAllSensorDriver)(HANDLE, uint8_t);                                    /* 40 */
    int (*ExtraModeSwitch)(HANDLE, uint8_t);                                       /* 41 */
    int (*GetParameterVButton)(HANDLE, uint16_t, ParameterVButton*);
    int (*SetParameterVButton)(HANDLE, ParameterVButton*);
    int (*VButtonGetCRC)(HANDLE, uint16_t*);
    int (*VButtonClear)(HANDLE, int);                                              /* 45 */
    int (*VButtonInit)(HANDLE, uint8_t*);
    int (*VButtonLoadSetting)(HANDLE, int);
    int (*VButtonWriteFlash)(HANDLE);
    int (*VButtonRead)(HANDLE, VButtonTable*);
    int (*VButtonWrite)(HANDLE, const VButtonTable*);                              /* 50 */
    int (*VButtonErase)(HANDLE);                                                   /* 51 */
    int (*GetParameterCustom)(HANDLE, uint16_t, ParameterCustom*);
    int (*SetParameterCustom)(HANDLE, ParameterCustom*);                           /* 53 */
} ParameterFunctionTable;
#define QV_PARAMETER_TABLE_SIZE(count) (4u + (unsigned)(count) * (unsigned)sizeof(void*))

QV_API int SetupParameterFunctionPointer(ParameterFunctionTable* table);

/* ---- The library's clock --------------------------------------------------- */

/* The clock the library waits on: real time, or the simulated controllers'
 * virtual clock when QV_SIM selects them (a sleep then advances it and returns
 * at once). A program that sleeps and counts ticks through these runs its own
 * waits on the same time line as the library's. */
QV_API void QVPlatformSleep(uint32_t ms);
/* Milliseconds since an arbitrary start, wrapping at 2^32. */
QV_API uint32_t QVPlatformTickCount(void);

/* ---- The debug log ----------------------------------------------------------
 *
 * The library writes why an operation failed (a device that could not be
 * opened, an exchange that failed after its retries, a serial port that could
 * not be set up: "open /dev/hidraw3: Permission denied") into its debug log at
 * level 1. Levels: 0 silent (at load), 1 errors, 2 information, 3 debug bytes,
 * 4 report traces; a message is written when g_DbgLevel is at least its level.
 * With a log file set, each message is appended to it in text mode (every "\n"
 * written as "\r\n") with the local time as "[hh:mm:ss] " in front (none when
 * the format starts with '.'; simulated controllers give their virtual time);
 * without one it goes to standard output as formatted. */
QV_API extern int g_DbgLevel;
/* Sets g_DbgLevel. 1. */
QV_API int QuorvaneN4_SetDebug(int level);
/* The debug log file (at most 259 characters kept; NULL or "" for standard
 * output). The wide form is stored as UTF-8. 1. */
QV_API int QuorvaneN4_SetLogFileA(const char* path);
QV_API int QuorvaneN4_SetLogFileW(const QVWCHAR* path);

/* ---- The N4 transport ---------------------------------------------------------
 *
 * Interface kinds: 1 USB HID (bits 5..7 of kind carry the report id), 8 serial
 * (five command bytes framed with a sixth, (sum of the five) XOR 0xFF). */
/* Writes length bytes: a HID feature report [report id][buffer] (up to 10
 * attempts while the device is not found, 200 ms apart), or length + 1 bytes on a
 * serial port with the check byte. 1 when all went out, 0 when not or for another
 * kind, -1 when no memory could be had. */
QV_API int tch_data_write(int kind, HANDLE device, const uint8_t* buffer, int length);
/* Reads length bytes: a HID feature report of the kind's report id, or length + 1
 * bytes from a serial port whose last is the check byte of the others. 1 when all
 * arrived (and the check byte matched), else 0. */
QV_API int tch_data_read(int kind, HANDLE device, uint8_t* buffer, int length);
/* 1 when the open HID device is a product 0x3508, else 0. */
QV_API int hid_get_report_id(HANDLE device);
/* The sysfs path of the last USB device of vendor 0x2E7B for the enumerator
 * "USB" (malloc'ed: the caller frees it); NULL for other enumerators or when none
 * is present. */
QV_API char* tch_get_usb_path_by_id(const char* enumerator);
/* Writes a message to the debug log when g_DbgLevel is at least level: 1 when
 * written, else 0. A format that starts with '.' gets no time in front. */
QV_API int debug_log_msg(int level, const char* format, ...);

/* ---- Why the last call failed ---------------------------------------------- */

/* The reason of the most recent failure of the operating-system layer met by an
 * export on the calling thread, with its context (for example
 * "open /dev/hidraw3: Permission denied"). Every enumeration export starts
 * from an empty text, so after an enumeration that opened no controller this is
 * the reason of the last candidate that failed, and empty when there was none.
 * Copies at most count - 1 characters and a terminator (nothing when text is
 * NULL or count is 0); returns the length of the whole text in characters. */
QV_API uint32_t QVGetLastErrorTextA(char* text, uint32_t count);
QV_API uint32_t QVGetLastErrorTextW(QVWCHAR* text, uint32_t count);
QV_API uint32_t QVGetLastErrorText(char* text, uint32_t count);

/* ---- The N4 command family ---------------------------------------------------
 *
 * Exports without the device table: each call that talks to a controller opens
 * it, runs its commands and closes it again. It opens the serial port set by
 * QuorvaneN4_SetDevPathA/W when one is set, otherwise the first controller the
 * USB HID search finds: on Linux the maker's hidraw nodes (vendor 0x2E7B) whose
 * report descriptor has a feature report. (The collection and settings-key rules
 * of other systems have no meaning here.) When nothing opens, these exports
 * return 0 (the system-reference ones -1). Failures are written to the debug log.
 *
 * Outputs are caller-owned; a NULL output refuses the call (0). Version texts
 * need room for QV_N4_VERSION_TEXT characters, the terminator included. */
#define QV_N4_VERSION_TEXT 64

/* 2 and 4 (Ex: 2, 4, 5, 11). 1; 0 when an output is NULL. */
QV_API int QuorvaneN4_GetLibVersion(uint32_t* major, uint32_t* minor);
QV_API int QuorvaneN4_GetLibVersionEx(uint32_t* major, uint32_t* minor, uint32_t* release, uint32_t* build);
/* Opens the controller and sets every non-NULL output to 0 (there is no driver).
 * 1; 0 when it cannot be opened. */
QV_API int QuorvaneN4_GetDrvVersion(uint32_t* major, uint32_t* minor, uint32_t* release, uint32_t* build);
/* The serial port to use (at most 259 characters): 1 when it opens for reading
 * (it is kept), 0 when not or too long (the previous one stays). "" goes back to
 * the USB HID search (1). The wide form takes the full path name (relative names
 * are taken from the working directory) and keeps it as UTF-8. */
QV_API int QuorvaneN4_SetDevPathA(const char* path);
QV_API int QuorvaneN4_SetDevPathW(const QVWCHAR* path);
/* Stored only. 1. */
QV_API int QuorvaneN4_SetDevIOPort(uint32_t port);
QV_API int QuorvaneN4_SetDevIRQ(uint32_t irq);
QV_API int QuorvaneN4_UseI2CAddress(uint8_t address);
/* The serial line speed: 9600, 19200, 38400 (at load), 57600 or 115200 (1);
 * any other rate is refused (0) and the speed kept. */
QV_API int QuorvaneN4_SetBaudRate(uint32_t rate);
/* The controller's version text (for example "QV6020A.D05.2.7.3.13"); out holds
 * QV_N4_VERSION_TEXT characters (W: count characters, at most that many used).
 * 1 when the controller answered. */
QV_API int QuorvaneN4_GetDevVersionStrA(char* out);
QV_API int QuorvaneN4_GetDevVersionStrW(QVWCHAR* out, int count);
/* F3 00 01 00 mode. 1 when answered. */
QV_API int QuorvaneN4_GloveMode(uint8_t mode);
/* FE 00 00 00 00 twice; 1 when the first went out. */
QV_API int QuorvaneN4_DeviceReset(void);
/* A register of the touch (index < 80), the touch-parameter (SetParamAP, index
 * < 80) or the boot bank (SetParamBT, index < 64) written inside the update lock;
 * an index past the bank sends nothing. 1 when written. */
QV_API int QuorvaneN4_SetParam(uint8_t index, uint8_t value);
QV_API int QuorvaneN4_SetParamAP(uint8_t index, uint8_t value);
QV_API int QuorvaneN4_SetParamBT(uint8_t index, uint8_t value);
/* A register of the same banks into *value. 1 when read. */
QV_API int QuorvaneN4_GetParam(uint8_t index, uint8_t* value);
QV_API int QuorvaneN4_GetParamAP(uint8_t index, uint8_t* value);
QV_API int QuorvaneN4_GetParamBT(uint8_t index, uint8_t* value);
/* The parameter CRC: the controller's own when it keeps one, else computed from
 * its touch and boot lists (as QuorvaneN4_CalSWParamCRC mode 0). 0..0xFFFF; -1
 * when a command failed or the controller runs its boot loader; 0 when nothing
 * opens. */
QV_API int QuorvaneN4_GetParamCRC(void);
/* The system reference (controllers that report it in E0 00 FC): -1 when not
 * supported, a command failed or nothing opens. Status: 1 built, 0 building.
 * Reset: 1 when the controller accepted it. Init: builds it, 1 when finished. */
QV_API int QuorvaneN4_GetSRStatus(void);
QV_API int QuorvaneN4_ResetSR(void);
QV_API int QuorvaneN4_InitSR(void);

/* The virtual-key exports take a HANDLE: above 0 they reach the controller
 * through these callbacks (SendCmd and SendCmdOnly of the caller's own
 * connection) and open nothing; 0 or below they open one as the others do. A
 * positive HANDLE with the needed callback not installed returns 0. The setters
 * return 0. */
typedef int (*QVN4SendCmdCallBack)(HANDLE handle, const uint8_t command[5], uint8_t reply[5]);
typedef int (*QVN4SendCmdOnlyCallBack)(HANDLE handle, const uint8_t command[5]);
QV_API int QuorvaneN4_SetupSendCmdCallBack(QVN4SendCmdCallBack callback);
QV_API int QuorvaneN4_SetupSendCmdOnlyCallBack(QVN4SendCmdOnlyCallBack callback);
/* F6 0F 03: the key table's CRC (reply byte 4 * 256 + byte 3). 1 when read. */
QV_API int QuorvaneN4_VKeyGetCRC(HANDLE handle, uint16_t* crc);
/* F6 0F 90 00 flag. 1 when done. */
QV_API int QuorvaneN4_VKeyClear(HANDLE handle, uint8_t flag);
/* F6 0F 91: *result = the entries the controller holds. 1 when done. */
QV_API int QuorvaneN4_VKeyInit(HANDLE handle, uint8_t* result);
/* F6 0F 92 00 flag. 1 when done. */
QV_API int QuorvaneN4_VKeyLoadSetting(HANDLE handle, uint8_t flag);
/* F6 0F 93 AA 55, then its answer 200 ms later. 1 when done. */
QV_API int QuorvaneN4_VKeyWriteFlash(HANDLE handle);
/* The key table read and written as VButtonRead/VButtonWrite do (the write
 * inside the update lock). 1 when done. */
QV_API int QuorvaneN4_VKeyRead(HANDLE handle, VButtonTable* table);
QV_API int QuorvaneN4_VKeyWrite(HANDLE handle, const VButtonTable* table);

/* An item of a group (items 0..15; the item protocol is needed, else -1):
 * *value = reply byte 4 and *maximum = reply byte 3 (NULL skipped); the 16-bit
 * form takes byte 4 * 256 + byte 3. 1; 0 when refused or not answered. */
QV_API int QuorvaneN4_GetUserSetting8(uint8_t group, uint8_t item, uint8_t* value, uint8_t* maximum);
QV_API int QuorvaneN4_GetUserSetting16(uint8_t group, uint8_t item, uint16_t* value);
/* Writes an item (0..15; others are refused) inside the update lock (F6 00 9F
 * 00 01, then 00 after the write): the changed bits, or -1 when refused or not
 * answered; 0 when nothing opens. The 16-bit value goes low byte first. */
QV_API int QuorvaneN4_SetUserSetting8(uint8_t group, uint8_t item, uint8_t value);
QV_API int QuorvaneN4_SetUserSetting16(uint8_t group, uint8_t item, uint16_t value);
/* Sleep (E2) or wake (FC); scanning on or off. 1 when done. */
QV_API int QuorvaneN4_EnterSleepMode(int enter);
QV_API int QuorvaneN4_EnableTouchScan(int enable);
/* Moves the controller to the 7-bit I2C address (above 0x7F refused). 1 when done. */
QV_API int QuorvaneN4_ChangeI2CAddress(uint8_t address);

/* Not supported by the controllers: each writes "<name>() is not supported !"
 * to the debug log and returns 0 (GetDevStatus opens and closes the controller
 * first). */
QV_API int QuorvaneN4_InitSRExW(void);
QV_API int QuorvaneN4_InitSRExA(void);
QV_API int QuorvaneN4_GetDevStatus(void);
QV_API int QuorvaneN4_GetInterface(void);
QV_API int QuorvaneN4_GetIdleMode(void);
QV_API int QuorvaneN4_SetIdleMode(void);
QV_API int QuorvaneN4_GetSleepMode(void);
QV_API int QuorvaneN4_SetSleepMode(void);
QV_API int QuorvaneN4_GetTouchPoint(void);
QV_API int QuorvaneN4_SetTouchPoint(void);
QV_API int QuorvaneN4_GetActiveWaterSolution(void);
QV_API int QuorvaneN4_GetSupportedWaterSolution(void);
QV_API int QuorvaneN4_GetWaterSolution(void);
QV_API int QuorvaneN4_WaterEnable(void);
QV_API int QuorvaneN4_GetWaterNotification(void);
QV_API int QuorvaneN4_SetWaterNotification(void);
QV_API int QuorvaneN4_GetWaterPerfLevel(void);
QV_API int QuorvaneN4_SetWaterPerfLevel(void);
QV_API int QuorvaneN4_GetAntiNoise(void);
QV_API int QuorvaneN4_SetAntiNoise(void);
QV_API int QuorvaneN4_GetEdgeCompsate(void);
QV_API int QuorvaneN4_SetEdgeCompsate(void);
QV_API int QuorvaneN4_GetPanelActiveArea(void);
QV_API int QuorvaneN4_SetPanelActiveArea(void);
QV_API int QuorvaneN4_GetScreenActiveArea(void);
QV_API int QuorvaneN4_SetScreenActiveArea(void);
QV_API int QuorvaneN4_GetPanelOrient(void);
QV_API int QuorvaneN4_SetPanelOrient(void);
QV_API int QuorvaneN4_GetSensitivity(void);
QV_API int QuorvaneN4_SetSensitivity(void);
QV_API int QuorvaneN4_MonitorAbnStatus(void);
QV_API int QuorvaneN4_ReloadParam(void);

/* Firmware files: a firmware image file or a .pfp package read and checked
 * whole (every header, section and data checksum; magics in any case). out
 * takes "QV" and the version text of the first image that has a product number
 * and belongs to the first controller series ("" when none does), in at most
 * QV_N4_VERSION_TEXT characters (W: at most count), the terminator included;
 * *crc the package's parameter checksum when its PARA section checks, else -1.
 * 1; 0 when the file cannot be read or is invalid (out and *crc untouched). The
 * wide forms take the full path name. No controller is opened. */
QV_API int QuorvaneN4_GetQVFInfoA(const char* path, int* crc, char* out);
QV_API int QuorvaneN4_GetQVFInfoW(const QVWCHAR* path, QVWCHAR* out, int count, int* crc);
QV_API int QuorvaneN4_GetQVFVersionStrA(const char* path, char* out);
QV_API int QuorvaneN4_GetQVFVersionStrW(const QVWCHAR* path, QVWCHAR* out, int count);

/* The firmware update of the controller the N4 family opens, from a firmware
 * image or PFP package: option bit 0 the firmware (slave chips of an S-variant
 * controller before the master; each chip through its boot loader, block by
 * block), bit 1 the package's parameter lists, bit 2 its virtual-key table. The
 * plain forms take all options (255); the wide forms take the full path name.
 * One update at a time: a call while another update runs is refused.
 * 1 when every selected step ran; otherwise the negated error bits (below), or
 * 0 for a failure that sets none: nothing opens, an empty path, a refused second
 * update, or the operator answered 'n' to the old-boot-loader question (asked on
 * the console when the debug level is not 0; the end of the input is a no).
 * Error bits: 0x1 reset after the parameters, 0x2 file cannot be read, 0x4 file
 * invalid or another product, 0x10 master update failed (also: the controller
 * does not run the image's version afterwards), 0x20 no image for the master,
 * 0x40 slave update failed, 0x80 switching to a slave failed, 0x100 no image for
 * the slaves, 0x1000 the master's version queries failed, 0x2000 scanning could
 * not be stopped (the update goes on), 0x4000 no memory, 0x8000 entering the
 * boot loader failed, 0x10000 leaving it failed, 0x20000 a block's checksum
 * failed, 0x40000 a block's data did not go out, 0x80000 flash erase failed,
 * 0x80008 boot loader and file incompatible, 0x100000 block size unknown or 0,
 * 0x200000 touch list, 0x400000 boot list, 0x800000 flush, 0x1000000 reload,
 * 0x2000000 virtual keys. */
QV_API int QuorvaneN4_FirmwareUpdateExA(const char* path, uint32_t options);
QV_API int QuorvaneN4_FirmwareUpdateA(const char* path);
QV_API int QuorvaneN4_FirmwareUpdateExW(const QVWCHAR* path, uint32_t options);
QV_API int QuorvaneN4_FirmwareUpdateW(const QVWCHAR* path);
/* The running (or last) update's progress in percent of the chip being
 * programmed, and its status: 0 idle or started, 1 master being programmed, 2
 * master done, 4 master failed, 16 slaves being programmed, 32 slaves done, 64
 * slaves failed, 128 file missing or unreadable, 256 parameters being reloaded,
 * 512 parameters done. Safe to call from another thread during an update. */
QV_API int QuorvaneN4_GetUpdateProgress(void);
QV_API int QuorvaneN4_GetUpdateStatus(void);

/* ---- Package combining -------------------------------------------------------
 *
 * Writes a .pfp package of the firmware file at path and the controller's
 * parameter lists and virtual-key table, beside the file (a bare file name:
 * the working directory), named "QV<firmware name>_x<CRC>.pfp" with the
 * controller's firmware name ("6020A_D05_2_7_3_4": product, letter, customer
 * prefix, major, minor and build numbers, the second build number only when it
 * is not 0) and its parameter CRC as 4 hex digits; when that name is taken,
 * the first free of "(1)" .. "(9999)" before ".pfp". The package is written
 * under a temporary name and takes its own only when complete: a failure
 * leaves no package.
 *
 * The QuorvaneN4_ forms take a device handle of the device table: the
 * combiner's own commands go through the callback installed by
 * QuorvaneN4_SetupSendCmdCallBack, the rest through this library's exports on
 * that handle. They return 1, or a code:
 *   0xFF00 no send callback installed      0xFF01 the firmware file cannot be
 *   read or is invalid (*status = 255)     0xFF02 the controller's firmware
 *   information cannot be read (or the handle is unknown)
 *   0xFF03 its parameter lists cannot be read
 *   0xFF04 its parameter CRC cannot be read
 *   0xFF05 the package cannot be created or written
 *   0xFF06 the firmware file cannot be read again
 *   0xF000 the chip count or the first slave cannot be queried
 *   0xF001 the file has a configuration image, the controller fewer than 2 chips
 *   0xF002 the file has none, the controller more than one chip
 *   0xF003 the controller runs its boot loader
 *   0xF004 product, letter, version or customer code differ from the file's
 *   0xF005 the file's header has no build numbers, the controller reports some
 *   0xF006 the build numbers differ
 * *status (may be NULL) is set to 0 on success, 255 with 0xFF01, else kept.
 * The W forms take the path as UTF-16.
 * CombinePFPA/W: the same for a current-series controller (0 for an unknown
 * handle or another series); they install SendCmd and SendCmdOnly as the N4
 * send callbacks and return 1 when the package was written, else 0. */
QV_API int QuorvaneN4_CombinePFPA(HANDLE handle, const char* path, uint8_t* status);
QV_API int QuorvaneN4_CombinePFPW(HANDLE handle, const QVWCHAR* path, uint8_t* status);
QV_API int CombinePFPA(HANDLE handle, const char* path, uint8_t* status);
QV_API int CombinePFPW(HANDLE handle, const QVWCHAR* path, uint8_t* status);

#ifdef __cplusplus
}
#endif

#endif /* QV_STANDARD_H */
