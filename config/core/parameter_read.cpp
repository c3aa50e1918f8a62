#include "core/parameter_read.h"

#include "core/controller_api.h"
#include "ui/message_box.h"

namespace vcx {

namespace {

// One group read: 1 when the slot is bound and the read worked.
template <class Record>
int readGroup(int (*get)(HANDLE, uint16_t, Record*), HANDLE device, uint16_t mask, Record& record) {
    const uint32_t size = record.cbSize;
    record = Record{};
    record.cbSize = size;
    return get && get(device, mask, &record) ? 1 : 0;
}

} // namespace

bool ReadAllParameters(Controller& c, QWidget* owner) {
    ProgramRecords& r = c.records;
    const ParameterFunctionTable& t = r.paraFuncTable;
    const HANDLE dev = c.dev.device;
    c.dev.paraVersion = 0;
    if (c.dev.ostraModel || !t.GetParameterGeneralInfo) return false;
    ParameterGeneralInfo& general = r.generalInfo;
    general = ParameterGeneralInfo{};
    general.cbSize = sizeof general;
    if (!t.GetParameterGeneralInfo(dev, &general)) return false;

    if (general.versionMajor > general.valid)
        qvui::showMessageBox(owner,
                             QStringLiteral("This application and library can't support device parameters version. "
                                            "Pleaese update your application and library."),
                             QStringLiteral("Application and library can't support."), qvui::MessageIcon::Error);

    const uint16_t mask = general.groupMask;
    int failed = 0;
    auto read = [&](auto get, auto& record) { failed += 1 - readGroup(get, dev, mask, record); };
    read(t.GetParameterCustom, r.custom);
    read(t.GetParameterVButton, r.vButton);
    read(t.GetParameterDriveIC, r.driveIC);
    read(t.GetParameterMisc, r.misc);
    read(t.GetParameterAbnormalScan, r.abnormalScan);
    read(t.GetParameterNormalScan, r.normalScan);
    read(t.GetParameterPowerSaving, r.powerSaving);
    read(t.GetParameterCoordinate, r.coordinate);
    read(t.GetParameterAntiNoise, r.antiNoise);
    read(t.GetParameterWater, r.water);
    read(t.GetParameterBase, r.base);
    read(t.GetParameterPalm, r.palm);
    read(t.GetParameterFinger, r.finger);
    read(t.GetParameterPanel, r.panel);
    read(t.GetParameterHostInterface, r.hostInterface);

    r.calibrationCoordinate = r.coordinate;
    if (!r.vButton.valid) r.vButton.item[0].maximum = 0;
    c.dev.paraVersion = general.versionMajor * 100 + general.versionMinor;

    uint16_t crc = 0xFFFF;
    if (c.dev.paraVersion >= 133 && !(t.VButtonGetCRC && t.VButtonGetCRC(dev, &crc))) crc = 0xFFFF;
    c.dev.virtualKeyCrc = crc;

    c.dev.parameterConstants.fill(0);
    if (c.api.GetParameterConst) c.api.GetParameterConst(dev, c.dev.parameterConstants.data());
    return failed == 0;
}

} // namespace vcx
