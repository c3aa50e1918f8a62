#include "params/param_units.h"

namespace vcx {

namespace {
QString fromTable(const char* const* names, int count, int index) {
    return index >= 0 && index < count ? QString::fromLatin1(names[index]) : QString::number(index);
}
} // namespace

double ScanDelayUnitNs(unsigned w, unsigned d, uint32_t e7Value) {
    if (w == 0 || d == 0) return 0.0;
    if (e7Value == 0x18) return double(w) * 1000.0 * 0.015625;
    return double(w) * 1000.0 / double(d);
}

QString ScanDelayTitle(double unitNs) {
    if (unitNs <= 0.0) return QStringLiteral("Scan Delay Time");
    return QString::asprintf("Scan Delay Time ( Unit : %.02f ns )", unitNs);
}

QString ScanDelayLabel(int value, double unitNs) {
    if (unitNs <= 0.0) return QString();
    return QString::asprintf("( = %.03f us )", double(value) * unitNs / 1000.0);
}

QString VoltageText(int index) {
    static const char* const k[] = {"OFF", "6 V", "8 V", "10 V", "12 V", "14 V", "16 V", "18 V"};
    return fromTable(k, 8, index);
}
QString CurrentText(int index) {
    static const char* const k[] = {"200 mA", "600 mA", "1000 mA", "1500 mA"};
    return fromTable(k, 4, index);
}
QString IdleIntervalText(int index) {
    static const char* const k[] = {"50 ms", "30 ms", "20 ms", "10 ms"};
    return fromTable(k, 4, index);
}

} // namespace vcx
