// Device change: which arrival and removal messages concern a controller, and
// the subscription of a window to them.
#include "internal.h"

#include <cstring>
#include <memory>
#include <string>

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

struct Subscription {
    void* token = nullptr;
};

HDEVNOTIFY Subscribe(HWND window, int cls) {
    if (!window || !window->send) return nullptr;
    auto sub = std::make_unique<Subscription>();
    const QVWindow target = *window;
    sub->token = qvp::backend().subscribeDeviceChanges(
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
    if (!sub->token) return nullptr;
    return sub.release();
}

void Unsubscribe(HDEVNOTIFY h) {
    if (!h) return;
    std::unique_ptr<Subscription> sub(static_cast<Subscription*>(h));
    qvp::backend().unsubscribeDeviceChanges(sub->token);
}

}  // namespace
}  // namespace qvlib

using namespace qvlib;

extern "C" {

QV_API int QVDeviceChange(uint32_t event, const QVDeviceBroadcast* header, int* kind) {
    if (kind) *kind = -1;
    if (!header || header->dbcc_devicetype != QV_DBT_DEVTYP_DEVICEINTERFACE) return 1;
    char narrow[260];
    char16_t wide[260];
    CopyNarrow(narrow, sizeof narrow, header->dbcc_name);
    CopyWide(wide, 260, header->dbcc_nameW);
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
