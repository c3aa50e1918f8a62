// Fuzz target: the INI reader must take any bytes, keep them exactly, and a
// write must read back as written while an existing section keeps its lines.
#include "text/ini_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    qvui::IniFile ini(bytes);
    if (ini.bytes() != bytes) __builtin_trap();
    (void)ini.intValue(QStringLiteral("Option"), QStringLiteral("DrawMode"), 0);
    if (!ini.setValue(QStringLiteral("Option"), QStringLiteral("DrawMode"), QStringLiteral("17"))) __builtin_trap();
    if (ini.intValue(QStringLiteral("option"), QStringLiteral("drawmode"), -1) != 17) __builtin_trap();
    ini.removeKey(QStringLiteral("Option"), QStringLiteral("DrawMode"));
    if (ini.hasKey(QStringLiteral("Option"), QStringLiteral("DrawMode"))) __builtin_trap();
    ini.removeSection(QStringLiteral("Option"));
    if (ini.hasSection(QStringLiteral("Option"))) __builtin_trap();
    return 0;
}
