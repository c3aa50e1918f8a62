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

#ifdef __cplusplus
}
#endif

#endif /* QV_STANDARD_H */
