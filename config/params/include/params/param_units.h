// The pure conversions and text tables of the parameter pages: the scan delay
// unit, the sensitivity level, the driving voltage, current and idle-interval
// texts. A table index outside its table reads as the number.
#pragma once

#include <QString>

#include <cstdint>

namespace vcx {

// The scan delay unit in ns: w x 1000 x 0.015625 when the controller's E7
// timing value is 0x18, else w x 1000 / d; 0 when w or d is 0 (no unit).
double ScanDelayUnitNs(unsigned w, unsigned d, uint32_t e7Value);
// "Scan Delay Time ( Unit : %.02f ns )", or "Scan Delay Time" without a unit.
QString ScanDelayTitle(double unitNs);
// "( = %.03f us )" of value x unit / 1000, empty without a unit.
QString ScanDelayLabel(int value, double unitNs);

// The sensitivity level a page shows: value - (maximum + 1) / 2 in integers.
inline int SensitivityLevelOf(int value, int maximum) { return value - (maximum + 1) / 2; }

QString VoltageText(int index);      // "OFF", "6 V" .. "18 V"
QString CurrentText(int index);      // "200 mA" .. "1500 mA"
QString IdleIntervalText(int index); // "50 ms", "30 ms", "20 ms", "10 ms"

} // namespace vcx
