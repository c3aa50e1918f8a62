// The boot-loader commands of the Field Update, each one 5-byte command on the
// current device through the library's SendCmd: the entry pair (FF, or E8 on
// an Ostra-series controller), the loader's presence (ED), its checksum kind
// and data format (D9), a block's announcement (D0) and check (D1), and the
// way out (D8).
#pragma once

#include "core/controller_api.h"

#include <cstdint>

namespace vcx {

// The entry pair: FF AA 55 AA 55 then FF 55 AA 55 AA (kind 1: FF BB 44 BB 44,
// FF 44 BB 44 BB); E8 in place of FF on an Ostra-series controller, whatever
// the kind. 1 when both were answered, or when an Ostra-series controller
// behind the driver went quiet after the first (it has switched).
int SendCmdEnterBootFF(Controller& c, int kind);
// D8 00 55 00 00: the loader starts the code it holds.
void SendCmdLeaveBootD8(Controller& c);
// D9 00 00 00 00: true when the loader sums 16-bit words (reply byte 3 bit 1).
bool SendCmdQueryBootD9(Controller& c);
// D9 AA 00 00 <format>: true when the loader takes the data format (reply byte 1 0x55).
bool SendCmdSetBootFormatD9(Controller& c, uint8_t format);

// Who answers ED 00 00 00 00: nobody, the running firmware, or the boot loader
// (reply bytes 3 and 4 are 55 AA).
enum class BootPresence { NoAnswer, Firmware, BootLoader };
BootPresence SendCmdQueryED(Controller& c);

// D0 <block low> <block high> <f> <f>, f FF for an erased block, else 00:
// false when unanswered; *status is reply byte 4 (4: the loader skips the block).
bool SendCmdStartBlockD0(Controller& c, uint16_t block, bool erased, uint8_t* status);
// D1 00 00 <checksum low> <checksum high>: false when unanswered; *status is
// reply byte 4 as the library left it, also when unanswered (0 or 4 accept the
// block; an Ostra-series loader's 1 is taken either way, as block programming
// does behind the driver).
bool SendCmdCheckBlockD1(Controller& c, uint16_t checksum, uint8_t* status);

} // namespace vcx
