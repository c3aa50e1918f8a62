#include "update/boot_commands.h"

#include <cstring>

namespace vcx {

namespace {

using Packet = uint8_t[5];

} // namespace

int SendCmdEnterBootFF(Controller& c, int kind) {
    Packet first{0xFF, 0xAA, 0x55, 0xAA, 0x55};
    Packet second{0xFF, 0x55, 0xAA, 0x55, 0xAA};
    if (c.dev.ostraModel) {
        first[0] = second[0] = 0xE8;
    } else if (kind == 1) {
        const Packet a{0xFF, 0xBB, 0x44, 0xBB, 0x44}, b{0xFF, 0x44, 0xBB, 0x44, 0xBB};
        std::memcpy(first, a, 5);
        std::memcpy(second, b, 5);
    }
    if (!SendCmdPacket(c, first)) return 0;
    if (SendCmdPacket(c, second)) return 1;
    // A driver-attached device no longer answers once it has switched.
    return (c.dev.ostraModel && (c.dev.deviceType & QV_DEVICE_DRIVER_EX)) ? 1 : 0;
}

void SendCmdLeaveBootD8(Controller& c) {
    Packet p{0xD8, 0x00, 0x55, 0x00, 0x00};
    SendCmdPacket(c, p);
}

bool SendCmdQueryBootD9(Controller& c) {
    Packet p{0xD9, 0x00, 0x00, 0x00, 0x00};
    return SendCmdPacket(c, p) && (p[3] & 0x02);
}

bool SendCmdSetBootFormatD9(Controller& c, uint8_t format) {
    Packet p{0xD9, 0xAA, 0x00, 0x00, format};
    return SendCmdPacket(c, p) && p[1] == 0x55;
}

BootPresence SendCmdQueryED(Controller& c) {
    Packet p{0xED, 0x00, 0x00, 0x00, 0x00};
    if (!SendCmdPacket(c, p)) return BootPresence::NoAnswer;
    return p[3] == 0x55 && p[4] == 0xAA ? BootPresence::BootLoader : BootPresence::Firmware;
}

bool SendCmdStartBlockD0(Controller& c, uint16_t block, bool erased, uint8_t* status) {
    const uint8_t f = erased ? 0xFF : 0x00;
    Packet p{0xD0, uint8_t(block & 0xFF), uint8_t(block >> 8), f, f};
    const bool answered = SendCmdPacket(c, p);
    *status = p[4];
    return answered;
}

bool SendCmdCheckBlockD1(Controller& c, uint16_t checksum, uint8_t* status) {
    Packet p{0xD1, 0x00, 0x00, uint8_t(checksum & 0xFF), uint8_t(checksum >> 8)};
    const bool answered = SendCmdPacket(c, p);
    *status = p[4];
    return answered;
}

} // namespace vcx
