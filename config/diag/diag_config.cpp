#include "diag/diag_config.h"

#include "text/ini_file.h"

#include <algorithm>

namespace vcx {

namespace {

// One below `limit`, never below 0.
uint32_t below(uint32_t limit) { return limit == 0 ? 0 : limit - 1; }

ThresholdSet readSet(const qvui::IniFile& ini, const QString& section) {
    const ThresholdSet d;
    const auto get = [&](const char* key, uint32_t def) {
        return uint32_t(ini.intValue(section, QLatin1String(key), int(def)));
    };
    ThresholdSet t;
    t.Minus = get("Minus", d.Minus);
    t.Node = get("Node", d.Node);
    t.Debounce = get("Debounce", d.Debounce);
    t.Driver = get("Driver", d.Driver);
    t.Sensor = get("Sensor", d.Sensor);
    t.Absolute = get("Absolute", d.Absolute);
    return t;
}

} // namespace

DiagConfig LoadDiagnosticConfig(const QString& path) {
    qvui::IniFile ini;
    ini.load(path);  // a missing file reads as empty: every value its default
    const auto get = [&](const char* section, const char* key, int def) {
        return uint32_t(ini.intValue(QLatin1String(section), QLatin1String(key), def));
    };
    DiagConfig c;
    const char* const diag = "Quorvane VCX Diagnostic Config";
    c.AutoRetestCount = get(diag, "Auto Retest Count", 0);
    c.AutoSaveResult = get(diag, "Enable Auto Save Result", 0);
    c.AutoSaveBarcode = get(diag, "Enable Auto Save Barcode", 0);
    c.ScanTh = readSet(ini, QStringLiteral("VCXScan Threshold"));
    c.DiagTh = readSet(ini, QStringLiteral("VCXDiag Threshold"));
    c.CBTh = readSet(ini, QStringLiteral("CBTest Threshold"));
    const char* const noise = "Noise Level Threshold";
    uint32_t great = get(noise, "Great", 100), good = get(noise, "Good", 95), ok = get(noise, "OK", 85);
    uint32_t okRed = get(noise, "OKRed", 1), poor = get(noise, "Poor", 50), poorRed = get(noise, "PoorRed", 10);
    c.ParametersCRC = get("VCXMSet Setting", "Parameters CRC", 1);
    c.UseTabletPC = get("Tablet PC Setting", "Use Tablet PC", 0);

    c.AutoSaveResult = 0;
    great = std::clamp<uint32_t>(great, 3, 100);
    if (good > great) good = below(great);
    if (ok > good) ok = below(good);
    if (poor > ok) poor = below(ok);
    if (poorRed > 100) poorRed = 10;
    if (okRed > poorRed) okRed = below(poorRed);
    // A grade of 100 would run into the red limit's hundreds.
    ok = std::min<uint32_t>(ok, 99);
    poor = std::min<uint32_t>(poor, 99);
    c.NoiseGreat = great;
    c.NoiseGood = good;
    c.NoiseOK = ok + okRed * 100;
    c.NoisePoor = poor + poorRed * 100;
    return c;
}

} // namespace vcx
