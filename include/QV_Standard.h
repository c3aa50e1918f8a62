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

#ifdef __cplusplus
}
#endif

#endif /* QV_STANDARD_H */
