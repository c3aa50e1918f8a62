// The decisions of a firmware step that need no controller: which loader will
// take the image, which image of the loaded file a chip gets, how the loader is
// entered, what the loader or the image rules out, whether the firmware runs
// already, and the host-interface nibble put right before programming.
#pragma once

#include "params/firmware_file.h"

#include "QV_Standard.h"

#include <cstdint>
#include <optional>

namespace vcx::update {

// The newer boot loader (major 9 or later) takes the image: a chip in its loader
// reports the loader's major as its firmware major (a slave in the low byte),
// a chip running firmware reports it as its boot major.
bool IsNewBootLoader(bool slave, bool inBoot, uint16_t firmwareMajor, uint8_t bootMajor);

// The entry of the loaded file a chip is programmed with: in a four-section
// file (kind 0x80) the slave's 0 (new loader) or 2 (old), the master's 1 or 3;
// else 1 for a new loader of a two-image file (0x40) and for the master of a
// file with a configuration image (0x01); else 0.
int ImageEntryFor(uint8_t kindFlags, bool slave, bool newBoot);

// SendCmdEnterBootFF's kind: 1 when a new loader's controller answered E0 00 FF
// with 8x in reply byte 1 and the file is not in the new data format (0x10),
// else 0. `e0ffByte1` is that byte, 0 when the command failed or was not sent.
int BootEntryKind(bool newBoot, uint8_t e0ffByte1, uint8_t kindFlags);

// An old loader cannot take the new data format (0x10), unless the file has two images (0x40).
bool OldLoaderRefusesImage(bool newBoot, uint8_t kindFlags);

// The entry's data format (header byte 22) is set with D9 AA first when its
// high nibble is above 1 and not 5.
bool NeedsBootDataFormat(uint8_t format);

// A loader that answered D4 with 0xBB (the newer protocol) takes only the new data format.
bool LoaderIncompatible(uint8_t bootAnswer, uint8_t kindFlags);

// The controller runs the entry's firmware: number, major, minor, build bytes
// (its boot state bytes outside the loader), letter, customer and information byte.
bool FirmwareAlreadyRuns(const FirmwareInformationW& now, const LoadedFirmwareSection& e);

// Whether the host-interface identity is checked before programming: the
// master running firmware with a parameter version, interface index 1, and the
// identity's byte 2 bit 5 clear and byte 3 bit 5 set.
bool ChecksHostInterfaceNibble(bool slave, bool inBoot, int paraVersion, uint8_t interfaceBits,
                               const uint8_t identity[4]);
// E0 00 40 and E0 00 42 (reply byte 4 each): when 40 has bit 4 and their low
// nibbles differ, the value 42 is written with: its high nibble, 40's low one.
std::optional<uint8_t> HostInterfaceNibbleFix(int e0_40, int e0_42);

} // namespace vcx::update
