// The sensor geometry probe run when a controller is registered: capability
// bytes, bulk transfer size, scan mode and the row/column counts.
#include "internal.h"

#include <cstring>

namespace qvlib {
int ProbeSensorGeometry(int slot) {
    if (slot < 0 || slot >= kSlotCount) return 0;
    DevInfo& d = g_devInfo[slot];
    const HANDLE h = d.hDevice;
    uint8_t reply[5] = {};

    if (!Command(h, 0xF9, 0xFF, 0x00, 0x00, 0x00, reply)) return 0;
    std::memcpy(d.diag.capability, reply + 1, 4);

    d.diag.bulkSize = 0;
    if (d.dwDeviceType & (QV_DEVICE_HID | QV_DEVICE_DRIVER)) {
        uint16_t length = 0;
        if (!ReadReportLength(h, &length)) return 0;
        d.diag.bulkSize = length ? length : 8;
        // Through the driver, a bulk read must actually work before it is used.
        if ((d.dwDeviceType & QV_DEVICE_DRIVER) && !DriverProbeRead(d, d.diag.bulkSize)) d.diag.bulkSize = 0;
    }

    const bool bank90 = (d.byFeature[0] & 0x02) && (d.byFeature[2] & 0x80);
    if (!(bank90 ? Command(h, 0xE0, 0x90, 0x0E, 0x00, 0x00, reply) : Command(h, 0xE0, 0x00, 0x4E, 0x00, 0x00, reply)))
        return 0;
    d.diag.scanMode = reply[4];

    uint8_t rows, columns, extra;
    if (d.dwParaVersion >= 101) {
        if (!Command(h, 0xF6, 0x02, 0x02, 0x00, 0x00, reply)) return 0;
        if (d.byFeature[2] & 0x10)
            rows = reply[3], columns = reply[4];
        else
            rows = reply[4], columns = reply[3];
        if (!Command(h, 0xF6, 0x02, 0x03, 0x00, 0x00, reply)) return 0;
        extra = reply[4];
    } else {
        uint8_t first[5] = {};
        if (!Command(h, 0xE5, 0x00, 0x00, 0x00, 0x01, first)) return 0;
        if (first[4] & 0x01)
            rows = first[2], columns = first[1];
        else
            rows = first[1], columns = first[2];
        extra = first[4] >> 4;
        if (!ReadIdentity(h, 0, nullptr, nullptr, nullptr)) return 0;
        uint8_t second[5] = {};
        if (!Command(h, 0xE5, 0x00, 0x00, 0x00, 0x02, second)) return 0;
        if (std::memcmp(first, second, 5) != 0 && second[1] != 0) extra = second[1];
    }
    d.diag.rows = rows;
    d.diag.columns = columns;
    d.diag.extraColumns = extra;
    return 1;
}

}  // namespace qvlib
