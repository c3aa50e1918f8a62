// The panel layout the diagnostic pages take from the device when it is
// refreshed: the panel flags and grid orientation, the scan capabilities, the
// drive-IC column map, the frequency modes and the system-reference version;
// and whether a system reference may be built on it. Pure: what the device
// answers comes in as PanelProbes (the device probes of diag/device_probes.h
// ask it, and LoadPanelLayout there puts both together).
#pragma once

#include "QV_Standard.h"
#include "diag/diag_state.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vcx {

struct Controller;

// g_PanelFlags bits.
enum PanelFlag : uint16_t {
    kPanelExchanged = 0x0001,     // draw the grid with rows and columns exchanged
    kPanelAbsoluteRange = 0x0004, // the absolute check takes a range
    kPanelHopping = 0x0100,       // frequency hopping present
    kPanelMirror0 = 0x0200,       // orientation bit 0
    kPanelMirror1 = 0x0400,       // orientation bit 1
    kPanelExchangeDiffers = 0x0800, // the device's exchange setting is not bit 0
};

// What the panel flags are made of.
struct PanelFlagInputs {
    std::array<uint8_t, 8> features{};  // GetFeatureFlag
    uint16_t model = 0;                 // FirmwareInformation product number
    uint8_t productLetter = 0;          // information byte 12
    uint8_t minorVersion = 0;           // information byte 13
    // Coordinate items 8, 9, 10 and 11 as the device holds them: the two flips,
    // the exchange and the orientation (0..3).
    uint8_t flipX = 0, flipY = 0, exchange = 0, orientation = 0;
};
uint16_t PanelFlagsFor(const PanelFlagInputs& in);
PanelFlagInputs PanelFlagInputsOf(const Controller& c);

// B bytes: 1 at each drive-IC boundary of the drive-IC record's steps (offset
// by panel byte 38), 2 at columns 0 and B-2 unless already marked.
std::vector<uint8_t> BuildColumnFlagMap(int columns, const ParameterDriveIC& driveIC, uint8_t panelByte38);

// Whether a system reference may be built: feature byte 0 bit 0, and outside
// engineer mode not with a reference version of 200 or more, nor with version 0
// on any firmware but the one product 1711 release.
bool UpdateBuildEnable(const std::array<uint8_t, 8>& features, bool engineerMode, uint16_t srVersion,
                       bool firmware1711);

// What the layout asks the device, as the probes found it.
struct FrequencyModes {
    uint8_t count = 0, perMode = 0, extra = 0;  // F5 00 04 reply bytes 2, 3, 4
};
struct PanelProbes {
    uint16_t scanControlWord = 0;                 // the scan capability word; 0 when not answered
    std::optional<FrequencyModes> frequencyModes; // asked and answered
    std::optional<uint16_t> referenceVersion;     // asked; 0 when not answered
};
// Which questions the layout asks on these features: the frequency modes with
// frequency hopping (byte 0 bit 1) and mode frames (byte 1 bit 6), the
// system-reference version with a system reference (byte 0 bit 0).
bool AsksFrequencyModes(const std::array<uint8_t, 8>& features);
bool AsksReferenceVersion(const std::array<uint8_t, 8>& features);

// The layout of c's read-out (records and feature flags) and the probes into s:
// panel flags, slave split, column flags, an empty fail map, the frequency
// modes (0 when not answered), the base-flat statistics cleared, and the
// reference version when it was asked.
void ApplyPanelLayout(const Controller& c, const PanelProbes& probes, DiagState& s);

}  // namespace vcx
