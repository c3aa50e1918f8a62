#include "update/update_rules.h"

#include "format/firmware_format.h"

namespace vcx::update {

bool IsNewBootLoader(bool slave, bool inBoot, uint16_t firmwareMajor, uint8_t bootMajor) {
    const int major = inBoot ? (slave ? firmwareMajor & 0xFF : firmwareMajor) : bootMajor;
    return major >= 9;
}

int ImageEntryFor(uint8_t kindFlags, bool slave, bool newBoot) {
    if (kindFlags & qvfmt::kKindFourSections) return slave ? (newBoot ? 0 : 2) : (newBoot ? 1 : 3);
    if (newBoot && (kindFlags & qvfmt::kKindTwoImages)) return 1;
    if ((kindFlags & qvfmt::kKindConfigImage) && !slave) return 1;
    return 0;
}

int BootEntryKind(bool newBoot, uint8_t e0ffByte1, uint8_t kindFlags) {
    return newBoot && (e0ffByte1 & 0xF0) == 0x80 && !(kindFlags & qvfmt::kKindNewFormat) ? 1 : 0;
}

bool OldLoaderRefusesImage(bool newBoot, uint8_t kindFlags) {
    return !newBoot && (kindFlags & qvfmt::kKindNewFormat) && !(kindFlags & qvfmt::kKindTwoImages);
}

bool NeedsBootDataFormat(uint8_t format) { return (format & 0xF0) > 0x10 && (format & 0xF0) != 0x50; }

bool LoaderIncompatible(uint8_t bootAnswer, uint8_t kindFlags) {
    return bootAnswer == 0xBB && !(kindFlags & qvfmt::kKindNewFormat);
}

bool FirmwareAlreadyRuns(const FirmwareInformationW& now, const LoadedFirmwareSection& e) {
    return now.productNumber == e.productNumber && now.firmwareMajor == e.major && now.minorVersion == e.minor &&
           now.bootStateA == e.build[1] && now.bootStateB == e.build[0] && now.productLetter == e.letter &&
           now.customerCode == e.customer && now.icByte == e.info;
}

bool ChecksHostInterfaceNibble(bool slave, bool inBoot, int paraVersion, uint8_t interfaceBits,
                               const uint8_t identity[4]) {
    return !slave && !inBoot && paraVersion != 0 && interfaceBits == 1 && !(identity[2] & 0x20) &&
           (identity[3] & 0x20);
}

std::optional<uint8_t> HostInterfaceNibbleFix(int e0_40, int e0_42) {
    if (e0_40 < 0 || e0_42 < 0 || !(e0_40 & 0x10) || !((e0_40 ^ e0_42) & 0x0F)) return std::nullopt;
    return uint8_t((e0_42 & 0xF0) | (e0_40 & 0x0F));
}

} // namespace vcx::update
