// Fuzz target: the library's device-change classifier over a broadcast record
// of any size. The first byte chooses the event and whether the header's
// device type is the interface type or the second byte; the record is the
// rest of the input (at most a whole record), in a buffer of exactly its size,
// its size field saying that size, so a read past what the sender filled is
// caught. The answer is always 1, the kind one of -1, 0, 1, never a controller
// event for other events or device types or a record shorter than its header,
// and the same for the names in upper case.
#include "QV_Standard.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

int classify(uint32_t event, const QVDeviceBroadcast* header) {
    int kind = 7;
    if (QVDeviceChange(event, header, &kind) != 1) __builtin_trap();
    if (kind < -1 || kind > 1) __builtin_trap();
    return kind;
}

// Upper-cases the name bytes of the record that lie inside its size.
void upper(uint8_t* record, size_t size) {
    const size_t narrow = offsetof(QVDeviceBroadcast, dbcc_name);
    const size_t wide = offsetof(QVDeviceBroadcast, dbcc_nameW);
    for (size_t i = narrow; i < size && i < wide; ++i)
        if (record[i] >= 'a' && record[i] <= 'z') record[i] = uint8_t(record[i] - 'a' + 'A');
    for (size_t i = wide; i + 1 < size; i += 2)
        if (record[i + 1] == 0 && record[i] >= 'a' && record[i] <= 'z') record[i] = uint8_t(record[i] - 'a' + 'A');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const uint32_t kEvents[] = {QV_DBT_DEVICEARRIVAL, QV_DBT_DEVICEREMOVECOMPLETE, 0x8001, 0x0007};
    const uint32_t event = kEvents[data[0] & 3];
    const size_t n = size - 2 < sizeof(QVDeviceBroadcast) ? size - 2 : sizeof(QVDeviceBroadcast);
    // The size field must fit for the record to say anything.
    if (n < sizeof(uint32_t)) {
        int none = 7;
        if (QVDeviceChange(event, nullptr, &none) != 1 || none != -1) __builtin_trap();
        return 0;
    }
    std::unique_ptr<uint8_t[]> record(new uint8_t[n]);
    std::memcpy(record.get(), data + 2, n);
    const uint32_t size32 = uint32_t(n);
    std::memcpy(record.get(), &size32, sizeof size32);
    uint32_t type = QV_DBT_DEVTYP_DEVICEINTERFACE;
    if (data[0] & 4) type = data[1];
    if (n >= offsetof(QVDeviceBroadcast, dbcc_reserved))
        std::memcpy(record.get() + offsetof(QVDeviceBroadcast, dbcc_devicetype), &type, sizeof type);
    const auto* header = reinterpret_cast<const QVDeviceBroadcast*>(record.get());

    const int kind = classify(event, header);
    const bool change = event == QV_DBT_DEVICEARRIVAL || event == QV_DBT_DEVICEREMOVECOMPLETE;
    if (kind != -1 && (!change || type != QV_DBT_DEVTYP_DEVICEINTERFACE)) __builtin_trap();
    if (kind != -1 && n < offsetof(QVDeviceBroadcast, dbcc_name)) __builtin_trap();
    if (kind != -1 && kind != (event == QV_DBT_DEVICEARRIVAL ? 1 : 0)) __builtin_trap();

    upper(record.get(), n);
    if (classify(event, header) != kind) __builtin_trap();
    return 0;
}
