// The device read-out: what the main window learns of the open controller
// after a connect, read from the library. The identity, feature bytes, bridge
// flags, parameter lists, CRC and debug group go into the program-wide state
// (Controller::dev and records, ProgramState); the texts the window shows come
// back in DeviceReadout. No widgets here.
#pragma once

#include "core/controller_api.h"
#include "core/main_ids.h"

#include <QString>

#include <array>

namespace vcx {

struct ProgramState;

struct DeviceReadout {
    // False when a read that ends the read-out failed (versions, information,
    // feature bytes): the window shows nothing of it.
    bool complete = false;
    bool masterInBoot = false;
    bool anySlaveInBoot = false;
    int slaveCount = 0; // slave rows shown, 0..4 (none while the master runs its boot loader)
    QString masterVersion;                         // kIdMasterVersion
    QString versionLabel;                          // kIdFirmwareVersionLabel
    std::array<QString, kMaxSlaves> slaveVersions; // kIdFirstSlaveVersion + i
    std::array<QString, kMaxSlaves> slaveLabels;   // kIdFirstSlaveVersionLabel + i
    QString parameterCrc; // kIdParamCrc, "x%04X"; empty while the master is in its boot loader
    QString hostInterface;     // kIdHostInterface
    QString panelInformation;  // kIdPanelInformation: panel size and cover lens
    bool extraModeSwitched = false; // ExtraModeSwitch (1) was sent
};

// Reads the open controller (c.dev.device); each library call is skipped when
// its slot is empty. `mayEnterExtraMode`: the extra mode may be switched on now
// (newer firmware, no page busy, not yet switched on this connection).
DeviceReadout ReadDevice(Controller& c, ProgramState& ps, bool mayEnterExtraMode);

// What the read-out keeps of a controller that went away: nothing.
void ForgetDevice(Controller& c);

} // namespace vcx
