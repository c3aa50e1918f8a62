// Device change: which arrival and removal messages concern a controller, and
// the subscription of a window to them.
#include "internal.h"

#include <cstddef>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

namespace qvlib {
namespace {

const char* const kProducts[] = {"pid_350", "pid_351", "pid_359", "pid_625", "pid_600", "pid_602"};
const char16_t* const kProductsW[] = {u"pid_350", u"pid_351", u"pid_359", u"pid_625", u"pid_600", u"pid_602"};

template <typename Char>
void LowerIfLong(Char* s) {
    size_t n = 0;
    while (s[n]) ++n;
    if (n <= 2) return;
    for (size_t i = 0; i < n; ++i)
        if (s[i] >= 'A' && s[i] <= 'Z') s[i] = static_cast<Char>(s[i] - 'A' + 'a');
}

// Bytes of the record from offset on that its size covers.
size_t BytesFrom(size_t size, size_t offset) { return size > offset ? size - offset : 0; }

// Copies at most 259 characters of src, and none of the characters past available.
template <typename Char>
void CopyBounded(Char (&dst)[260], const Char* src, size_t available) {
    size_t n = 0;
    for (; n + 1 < 260 && n < available && src[n]; ++n) dst[n] = src[n];
    dst[n] = 0;
}

bool MatchesNarrow(const char* s) {
    if (!std::strstr(s, "vid_2e7b")) return false;
    for (const char* p : kProducts)
        if (std::strstr(s, p)) return true;
    return false;
}

bool MatchesWide(const char16_t* s) {
    std::u16string_view v(s);
    if (v.find(u"vid_2e7b") == std::u16string_view::npos) return false;
    for (const char16_t* p : kProductsW)
        if (v.find(p) != std::u16string_view::npos) return true;
    return false;
}

// The class GUIDs of the three subscriptions, in their registry byte order.
const uint8_t kClassGuids[3][16] = {
    {0xA3, 0x70, 0xEC, 0x2D, 0x00, 0x3F, 0x2E, 0x43, 0x84, 0xDE, 0xF2, 0xC9, 0x5A, 0x62, 0xCE, 0x79},
    {0xBD, 0xEA, 0x91, 0xF2, 0x05, 0x06, 0x22, 0x47, 0x9C, 0xE3, 0xF2, 0xFA, 0xD7, 0xBE, 0x59, 0x65},
    {0x10, 0xBF, 0xDC, 0xA5, 0x30, 0x65, 0xD2, 0x11, 0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED},
};

// The registrations RegisterNotify made and UnRegisterNotify has not ended: the
// handle a caller holds is a number of this table, never a pointer the library
// follows, so a made-up handle or one ended before is recognised and ignored.
struct Registrations {
    std::mutex mutex;
    uintptr_t next = 0x5100;  // never 0, never reused
    std::unordered_map<uintptr_t, void*> tokens;  // handle -> backend subscription
};

Registrations& Registry() {
    static auto* r = new Registrations;  // never destroyed: a backend thread may still deliver
    return *r;
}

HDEVNOTIFY Subscribe(HWND window, int cls) {
    if (!window || !window->send) return nullptr;
    const QVWindow target = *window;
    void* token = qvp::backend().subscribeDeviceChanges(
        static_cast<qvp::InterfaceClass>(cls), [target, cls](const qvp::DeviceChange& change) {
            QVDeviceBroadcast b;
            std::memset(&b, 0, sizeof b);
            b.dbcc_size = sizeof b;
            b.dbcc_devicetype = QV_DBT_DEVTYP_DEVICEINTERFACE;
            std::memcpy(b.dbcc_classguid, kClassGuids[cls], sizeof b.dbcc_classguid);
            CopyNarrow(b.dbcc_name, sizeof b.dbcc_name, change.name.c_str());
            NarrowToWide(b.dbcc_nameW, 260, change.name.c_str());
            target.send(target.context, QV_WM_DEVICECHANGE,
                        change.arrival ? QV_DBT_DEVICEARRIVAL : QV_DBT_DEVICEREMOVECOMPLETE,
                        reinterpret_cast<intptr_t>(&b));
        });
    if (!token) {
        LogPlatformFailure("RegisterNotify");
        return nullptr;
    }
    Registrations& r = Registry();
    std::lock_guard lock(r.mutex);
    const uintptr_t handle = r.next++;
    r.tokens.emplace(handle, token);
    return reinterpret_cast<HDEVNOTIFY>(handle);
}

void Unsubscribe(HDEVNOTIFY h) {
    if (!h) return;
    void* token = nullptr;
    {
        Registrations& r = Registry();
        std::lock_guard lock(r.mutex);
        auto it = r.tokens.find(reinterpret_cast<uintptr_t>(h));
        if (it == r.tokens.end()) {
            debug_log_msg(kDbgError, "UnRegisterNotify: %p is no registration of this library\r\n", h);
            return;
        }
        token = it->second;
        r.tokens.erase(it);
    }
    // Without the table's lock: the backend waits for a delivery in progress,
    // which may itself be registering or unregistering.
    qvp::backend().unsubscribeDeviceChanges(token);
}

}  // namespace
}  // namespace qvlib

using namespace qvlib;

extern "C" {

QV_API int QVDeviceChange(uint32_t event, const QVDeviceBroadcast* header, int* kind) {
    if (kind) *kind = -1;
    // The size field says how much of the record the sender filled: nothing past it
    // is read, so a name ends where the record does.
    if (!header || header->dbcc_size < offsetof(QVDeviceBroadcast, dbcc_reserved)) return 1;
    const size_t size = header->dbcc_size;
    if (header->dbcc_devicetype != QV_DBT_DEVTYP_DEVICEINTERFACE) return 1;
    char narrow[260] = {};
    char16_t wide[260] = {};
    CopyBounded(narrow, header->dbcc_name, BytesFrom(size, offsetof(QVDeviceBroadcast, dbcc_name)));
    CopyBounded(wide, header->dbcc_nameW, BytesFrom(size, offsetof(QVDeviceBroadcast, dbcc_nameW)) / sizeof(char16_t));
    LowerIfLong(narrow);
    LowerIfLong(wide);
    if ((MatchesNarrow(narrow) || MatchesWide(wide)) && kind) {
        if (event == QV_DBT_DEVICEREMOVECOMPLETE)
            *kind = 0;
        else if (event == QV_DBT_DEVICEARRIVAL)
            *kind = 1;
    }
    return 1;
}

QV_API int RegisterNotify(HWND window, HDEVNOTIFY* first, HDEVNOTIFY* second, HDEVNOTIFY* usb) {
    HDEVNOTIFY* outs[3] = {first, second, usb};
    for (int cls = 0; cls < 3; ++cls)
        if (outs[cls]) *outs[cls] = Subscribe(window, cls);
    return 1;
}

QV_API int UnRegisterNotify(HDEVNOTIFY first, HDEVNOTIFY second, HDEVNOTIFY usb) {
    Unsubscribe(first);
    Unsubscribe(second);
    Unsubscribe(usb);
    return 1;
}

}  // extern "C"
