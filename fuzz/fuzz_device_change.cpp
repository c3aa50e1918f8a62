// Fuzz target: the library's device-change classifier. The first bytes choose
// the event and the header's device type; the rest fills both name fields,
// without a terminating zero when the input is long enough. The answer is
// always 1, the kind one of -1, 0, 1, never a controller event for other
// events or device types, and the same for the names in upper case.
#include "QV_Standard.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

int classify(uint32_t event, const QVDeviceBroadcast& header) {
    int kind = 7;
    if (QVDeviceChange(event, &header, &kind) != 1) __builtin_trap();
    if (kind < -1 || kind > 1) __builtin_trap();
    return kind;
}

template <typename Char>
void upper(Char* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (s[i] >= 'a' && s[i] <= 'z') s[i] = Char(s[i] - 'a' + 'A');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const uint32_t kEvents[] = {QV_DBT_DEVICEARRIVAL, QV_DBT_DEVICEREMOVECOMPLETE, 0x8001, 0x0007};
    const uint32_t event = kEvents[data[0] & 3];
    QVDeviceBroadcast header;
    std::memset(&header, 0, sizeof header);
    header.dbcc_size = sizeof header;
    header.dbcc_devicetype = (data[0] & 4) ? data[1] : QV_DBT_DEVTYP_DEVICEINTERFACE;
    // The narrow name from the bytes as they are; the wide one from byte pairs
    // where the input is long enough, else from the same bytes widened.
    const uint8_t* name = data + 2;
    const size_t n = size - 2;
    std::memcpy(header.dbcc_name, name, n < sizeof header.dbcc_name ? n : sizeof header.dbcc_name);
    const bool pairs = data[0] & 8;
    for (size_t i = 0; i < 260; ++i) {
        if (pairs ? 2 * i + 1 >= n : i >= n) break;
        header.dbcc_nameW[i] = pairs ? QVWCHAR(name[2 * i] | name[2 * i + 1] << 8) : QVWCHAR(name[i]);
    }

    const int kind = classify(event, header);
    const bool change = event == QV_DBT_DEVICEARRIVAL || event == QV_DBT_DEVICEREMOVECOMPLETE;
    if (kind != -1 && (!change || header.dbcc_devicetype != QV_DBT_DEVTYP_DEVICEINTERFACE)) __builtin_trap();
    if (kind != -1 && kind != (event == QV_DBT_DEVICEARRIVAL ? 1 : 0)) __builtin_trap();

    QVDeviceBroadcast shouted = header;
    upper(shouted.dbcc_name, sizeof shouted.dbcc_name);
    upper(shouted.dbcc_nameW, 260);
    if (classify(event, shouted) != kind) __builtin_trap();

    int none = 7;
    if (QVDeviceChange(event, nullptr, &none) != 1 || none != -1) __builtin_trap();
    return 0;
}
