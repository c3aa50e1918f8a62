#include "core/device_readout.h"

#include "core/chd_parent_dlg.h"
#include "core/parameter_read.h"
#include "core/device_finder.h"
#include "core/device_text.h"
#include "core/program_state.h"
#include "ui/string_table.h"

#include <algorithm>
#include <type_traits>

namespace vcx {

namespace {

// The debug group, read by the groups the general group names; a valid one
// tells whether the event halt can be cleared (and so is supported).
void readDebugGroup(Controller& c) {
    ProgramRecords& r = c.records;
    const ParameterFunctionTable& t = r.paraFuncTable;
    c.dev.eventHaltSupported = false;
    if (!t.GetParameterGeneralInfo || !t.GetParameterDebug) return;
    r.generalInfo.cbSize = sizeof r.generalInfo;
    if (!t.GetParameterGeneralInfo(c.dev.device, &r.generalInfo) || !r.generalInfo.valid) return;
    r.debug.cbSize = sizeof r.debug;
    if (t.GetParameterDebug(c.dev.device, r.generalInfo.groupMask, &r.debug) && r.debug.valid && t.ClearEventHalt)
        c.dev.eventHaltSupported = t.ClearEventHalt(c.dev.device) != 0;
}

void versionTexts(const FirmwareVersionInfoW& v, DeviceReadout& out) {
    out.slaveCount = out.masterInBoot ? 0 : std::clamp(int(v.slaveCount), 0, kMaxSlaves);
    out.masterVersion = masterVersionText(v);
    out.versionLabel = formatOne(qvui::loadString(out.slaveCount ? 1003 : 1002), QString());
    for (int i = 0; i < out.slaveCount; ++i) {
        out.slaveVersions[size_t(i)] = wideField(v.slave[i], 50).trimmed();
        out.slaveLabels[size_t(i)] =
            out.slaveCount == 1 ? qvui::loadString(1004) : formatOne(qvui::loadString(1005), i + 1);
    }
}

} // namespace

void ForgetDevice(Controller& c) {
    DeviceState& d = c.dev;
    d.newFirmware = false;
    d.parametersRead = false;
    d.paraVersion = 0;
    d.featureFlags.fill(0);
    d.bridgeFlags.fill(0);
    d.eventHaltSupported = false;
    d.e7Value = 0;
    d.listsRead = false;
    d.parameterCrc = 0;
    d.computedCrc = 0;
    d.virtualKeyCrc = 0xFFFF;
    d.parameterConstants.fill(0);
    // The lists belong to the library; the record only pointed at the last ones read.
    ProgramRecords& r = c.records;
    r.paraList = ParameterList{};
    const auto empty = [](auto& record) {
        const auto size = record.cbSize;
        record = std::remove_reference_t<decltype(record)>{};
        record.cbSize = size;
    };
    empty(r.diagInfo);
    empty(r.generalInfo);
    empty(r.hostInterface);
    empty(r.panel);
    empty(r.finger);
    empty(r.palm);
    empty(r.base);
    empty(r.water);
    empty(r.antiNoise);
    empty(r.coordinate);
    empty(r.calibrationCoordinate);
    empty(r.powerSaving);
    empty(r.normalScan);
    empty(r.abnormalScan);
    empty(r.misc);
    empty(r.driveIC);
    empty(r.debug);
    empty(r.vButton);
    empty(r.custom);
}

DeviceReadout ReadDevice(Controller& c, ProgramState& ps, bool mayEnterExtraMode) {
    DeviceReadout out;
    ProgramRecords& r = c.records;
    // Nothing of an earlier controller stays: what this read-out does not read
    // again (a read that fails, a group an older controller lacks, a checksum it
    // does not give) is empty, not the last controller's.
    ForgetDevice(c);
    if (c.api.GetFWVersionW && !c.api.GetFWVersionW(c.dev.device, &r.fwVersion)) return out;
    if (c.api.GetFWInformationW && !c.api.GetFWInformationW(c.dev.device, &r.fwInformation)) return out;
    c.dev.ostraModel = isOstraModel(r.fwInformation.productNumber);

    const FirmwareVersionInfoW& v = r.fwVersion;
    out.masterInBoot = v.masterInBoot != 0;
    for (int i = 0; i < std::clamp(int(v.slaveCount), 0, kMaxSlaves); ++i) out.anySlaveInBoot |= v.slaveInBoot[i] != 0;

    if (!out.masterInBoot) {
        std::array<uint8_t, 8> features{};
        if (c.api.GetFeatureFlag && !c.api.GetFeatureFlag(c.dev.device, features.data())) return out;
        c.dev.featureFlags = features;
        if (c.api.GetDiagnosticInfo) c.api.GetDiagnosticInfo(c.dev.device, &r.diagInfo);
        c.dev.newFirmware = features[0] & 0x02;
        if (c.dev.newFirmware && mayEnterExtraMode && r.paraFuncTable.ExtraModeSwitch) {
            r.paraFuncTable.ExtraModeSwitch(c.dev.device, 1);
            out.extraModeSwitched = true;
        }
        c.dev.parametersRead = ReadAllParameters(c);
        if (!c.dev.ostraModel) SendCmdReadE7(c);
        std::array<uint8_t, 8> bridge{};
        if (c.api.GetBridgeFeatureFlag && c.api.GetBridgeFeatureFlag(c.dev.device, bridge.data()))
            c.dev.bridgeFlags = bridge;
        c.dev.listsRead = c.api.GetAPBTParaList && c.api.GetAPBTParaList(c.dev.device, &r.paraList);
        if (c.api.GetParameterList) c.api.GetParameterList(c.dev.device, &r.paraList);
        uint16_t crc[2] = {0, 0};
        // Shown when the controller gave its checksum or the lists to compute it over.
        if (CheckParameterCRC(c, crc) != 0 || c.dev.listsRead)
            out.parameterCrc = QString::asprintf("x%04X", unsigned(crc[0]));
        readDebugGroup(c);
    } else {
        c.dev.eventHaltSupported = false;
    }

    ps.serialDevice = (c.dev.deviceType & QV_DEVICE_RS232) && (r.fwInformation.interfaceBits & 3) < 2;
    versionTexts(v, out);
    out.hostInterface = interfaceName(c.dev.deviceType, r.fwInformation.interfaceBits);
    out.panelInformation =
        QStringLiteral("%1 %2").arg(wideField(r.fwInformation.panelSize, 40), wideField(r.fwInformation.coverLens, 40));
    out.complete = true;
    return out;
}

} // namespace vcx
