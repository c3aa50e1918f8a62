// What the diagnostic pages ask the connected controller besides its frames:
// the panel layout's questions when the device is refreshed (scan capability
// word, frequency modes, system-reference version) and the check run's (the
// interface test, the absolute limit's register, the panel-size text), each
// through the core's command helpers or the library's exports, on c.dev.device.
// The layout and the checks themselves are pure (panel_layout.h,
// scan_checks.h); LoadPanelLayout and RunScanChecks here put them together
// with these answers.
#pragma once

#include "diag/panel_layout.h"
#include "diag/scan_checks.h"

#include <array>
#include <cstdint>

namespace vcx {

struct Controller;

class DiagnosticProbes : public ScanCheckAnswers {
public:
    explicit DiagnosticProbes(Controller& c) : c_(c) {}

    // F3 00 0F, then F5 00 04 and E4 00 00 where the features ask them (in this order).
    PanelProbes Panel(const std::array<uint8_t, 8>& features);

    // FB 00 00 00 00 answered with status 0.
    bool InterfaceAnswers() override;
    // E0 00 17: register 0x17, 0 when not answered.
    uint8_t AbsoluteRegister() override;
    // GetPanelSizeInfoW of the index, empty when the library has none or fails.
    QString PanelSizeText(int index) override;

private:
    Controller& c_;
};

// Reads the layout of the current device into s (c.dev.scanControlWord gets
// the scan capabilities). Failing commands leave their values at 0.
void LoadPanelLayout(Controller& c, DiagState& s);

// The check run of a run state on the current device (RunScanChecks of
// scan_checks.h with the device's answers).
bool RunScanChecks(int runState, Controller& c, DiagState& s);

}  // namespace vcx
