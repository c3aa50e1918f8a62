#include "core/slave_info.h"

#include <cstring>

namespace vcx {

namespace {

bool query(Controller& c, uint8_t command, uint8_t selector, uint8_t reply[5]) {
    reply[0] = command;
    reply[1] = 0x00;
    reply[2] = selector;
    reply[3] = 0x00;
    reply[4] = 0x00;
    return SendCmdPacket(c, reply);
}

}  // namespace

bool ReadSelectedSlaveInformation(Controller& c, uint8_t index, FirmwareInformationW* out) {
    if (!SelectSlaveF4(c, index)) return false;
    std::memset(out, 0, sizeof *out);
    out->size = sizeof *out;
    if (!c.api.GetFWInformationW || !c.api.GetFWInformationW(c.dev.device, out)) return false;

    const uint8_t selector = uint8_t(0xF0 + index);
    const bool ostra = c.dev.ostraModel;
    uint8_t id[5], boot[5], customer[5];
    if (!query(c, 0xEE, selector, id) || !query(c, 0xED, selector, boot) ||
        !query(c, ostra ? 0xE7 : 0xEB, selector, customer))
        return false;
    // The reply positions of the identity and boot-state queries by series.
    if (ostra) {
        out->productNumber = uint16_t(id[1] << 8 | id[2]);
        out->productLetter = 0;
        out->firmwareMajor = id[4];
        out->minorVersion = boot[2];
        out->customerCode = 0;
        out->bootStateA = boot[4];
        out->bootStateB = boot[3];
    } else {
        out->productNumber = uint16_t(id[2] << 8 | id[1]);
        out->productLetter = id[4];
        out->firmwareMajor = id[3];
        out->minorVersion = boot[1];
        out->customerCode = boot[2];
        out->bootStateA = boot[3];
        out->bootStateB = boot[4];
    }
    // A slave's number may carry bit 15.
    out->productNumber &= 0x7FFF;
    if (out->bootStateA == 0x55 && out->bootStateB == 0xAA) {
        out->bootMajor = uint8_t(out->firmwareMajor);
        out->bootMinor = uint8_t(out->customerCode);
        out->bootLetter = out->productLetter;
    } else {
        out->bootMajor = customer[1];
        out->bootLetter = customer[2];
        out->bootMinor = customer[3];
    }
    return true;
}

bool ReadSlaveInformation(Controller& c, FirmwareInformationW* slave) {
    StopTouchScanning(c);
    programSleep(c, 50);
    const bool read = ReadSelectedSlaveInformation(c, 0, slave);
    SendCmdF4(c, 0xAA, 0x00);
    ResumeTouchScanning(c);
    return read;
}

}  // namespace vcx
