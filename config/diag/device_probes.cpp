#include "diag/device_probes.h"

#include "core/controller_api.h"

namespace vcx {

PanelProbes DiagnosticProbes::Panel(const std::array<uint8_t, 8>& features) {
    PanelProbes p;
    uint16_t word = 0;
    if (SendCmdQueryScanControlF3(c_, &word)) p.scanControlWord = word;
    if (AsksFrequencyModes(features)) {
        uint32_t reply = 0;
        if (SendCmdQueryF5(c_, 0x04, &reply))
            p.frequencyModes = FrequencyModes{uint8_t(reply >> 8), uint8_t(reply >> 16), uint8_t(reply >> 24)};
    }
    if (AsksReferenceVersion(features)) {
        uint16_t version = 0;
        p.referenceVersion = SendCmdQueryReferenceVersionE4(c_, &version) ? version : 0;
    }
    return p;
}

bool DiagnosticProbes::InterfaceAnswers() {
    uint8_t status = 0xFF;
    return SendCmdQueryInterfaceFB(c_, &status) && status == 0;
}

uint8_t DiagnosticProbes::AbsoluteRegister() { return uint8_t(SendCmdReadE0(c_, 0x17, 4)); }

QString DiagnosticProbes::PanelSizeText(int index) {
    if (!c_.api.GetPanelSizeInfoW) return {};
    QVWCHAR text[40] = {};
    if (!c_.api.GetPanelSizeInfoW(c_.dev.device, uint8_t(index), text)) return {};
    return wideField(text, 40);
}

void LoadPanelLayout(Controller& c, DiagState& s) {
    const PanelProbes probes = DiagnosticProbes(c).Panel(c.dev.featureFlags);
    c.dev.scanControlWord = probes.scanControlWord;
    ApplyPanelLayout(c, probes, s);
}

bool RunScanChecks(int runState, Controller& c, DiagState& s) {
    DiagnosticProbes probes(c);
    return RunScanChecks(runState, c, s, probes);
}

}  // namespace vcx
