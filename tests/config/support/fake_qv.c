/* A stand-in controller library for the binding tests, built in several
 * variants: FAKE_MAJOR/FAKE_MINOR/FAKE_BUILD/FAKE_REVISION export a
 * GetLibraryVersion reporting that version (none when FAKE_MAJOR is not set);
 * FAKE_NOTIFY exports RegisterNotify and UnRegisterNotify, which count their
 * calls, and fake_fire_device_change, which delivers a device-change message to
 * the registered window from a thread of its own, as the library's udev monitor
 * does, and SetupParameterFunctionPointer, which keeps the size it was handed
 * and fills the first entry. FAKE_REASON exports an EnumerateHidDevicesExW that
 * finds nothing and a QVGetLastErrorTextA that gives the reason of the
 * candidate that failed. Every variant exports SendCmd and CloseDevice and
 * nothing else the program binds. */
#include "QV_Standard.h"

#include <pthread.h>
#include <string.h>

#define FAKE_EXPORT __attribute__((visibility("default")))

#ifdef FAKE_MAJOR
int GetLibraryVersion(int* major, int* minor, int* build, int* revision) {
    *major = FAKE_MAJOR;
    *minor = FAKE_MINOR;
    *build = FAKE_BUILD;
    *revision = FAKE_REVISION;
    return 1;
}
#endif

FAKE_EXPORT int fake_register_calls = 0;
FAKE_EXPORT int fake_unregister_calls = 0;
FAKE_EXPORT uint32_t fake_table_size = 0;

#ifdef FAKE_NOTIFY
static HWND registered;

int RegisterNotify(HWND window, HDEVNOTIFY* first, HDEVNOTIFY* second, HDEVNOTIFY* usb) {
    ++fake_register_calls;
    registered = window;
    *first = (HDEVNOTIFY)(intptr_t)1;
    *second = (HDEVNOTIFY)(intptr_t)2;
    *usb = (HDEVNOTIFY)(intptr_t)3;
    return 1;
}

int UnRegisterNotify(HDEVNOTIFY first, HDEVNOTIFY second, HDEVNOTIFY usb) {
    if (first == (HDEVNOTIFY)(intptr_t)1 && second == (HDEVNOTIFY)(intptr_t)2 && usb == (HDEVNOTIFY)(intptr_t)3)
        ++fake_unregister_calls;
    return 1;
}

static int fakeGeneralInfo(HANDLE handle, ParameterGeneralInfo* info) {
    (void)handle;
    (void)info;
    return 1;
}

int SetupParameterFunctionPointer(ParameterFunctionTable* table) {
    fake_table_size = table->cbSize;
    table->GetParameterGeneralInfo = fakeGeneralInfo;
    return 1;
}

struct Fire {
    uint32_t event;
    const char* name;
};

static void* fire(void* arg) {
    const struct Fire* f = (const struct Fire*)arg;
    QVDeviceBroadcast b;
    memset(&b, 0, sizeof b);
    b.dbcc_size = sizeof b;
    b.dbcc_devicetype = QV_DBT_DEVTYP_DEVICEINTERFACE;
    strncpy(b.dbcc_name, f->name, sizeof b.dbcc_name - 1);
    registered->send(registered->context, QV_WM_DEVICECHANGE, f->event, (intptr_t)&b);
    /* The record is gone once the call returns. */
    memset(&b, 0xEE, sizeof b);
    return NULL;
}

/* 1 when the message was delivered (the window's send returned). */
FAKE_EXPORT int fake_fire_device_change(uint32_t event, const char* name) {
    if (!registered) return 0;
    struct Fire f = {event, name};
    pthread_t t;
    if (pthread_create(&t, NULL, fire, &f) != 0) return 0;
    pthread_join(t, NULL);
    return 1;
}
#endif

#ifdef FAKE_REASON
static const char kReason[] = "open /dev/hidraw3: Permission denied";

int EnumerateHidDevicesExW(QVEnumCallbackExW callback) {
    (void)callback;
    return 1;
}

uint32_t QVGetLastErrorTextA(char* text, uint32_t count) {
    if (text && count > 0) {
        uint32_t n = (uint32_t)strlen(kReason);
        if (n > count - 1) n = count - 1;
        memcpy(text, kReason, n);
        text[n] = 0;
    }
    return (uint32_t)strlen(kReason);
}
#endif

int SendCmd(HANDLE handle, const uint8_t command[5], uint8_t reply[5]) {
    (void)handle;
    memmove(reply, command, 5);
    return 1;
}

int CloseDevice(HANDLE handle) {
    (void)handle;
    return 1;
}
