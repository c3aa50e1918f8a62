// Fuzz target: the process-list INI reader must take any text; what it
// accepts has every required value, a plain package name, a process list of
// non-zero steps that recombines to a positive number, at most 64 ODM codes.
#include "params/process_config.h"
#include "text/ini_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    vcx::ProcessListConfig r;
    const int result = vcx::ParseProcessConfig(qvui::IniFile(bytes), &r);
    if (result != 0 && result != 2) __builtin_trap();
    if (result != 0) return 0;
    if (r.workOrderNumber.isEmpty() || r.company.isEmpty() || r.pfpFileName.isEmpty()) __builtin_trap();
    if (r.pfpFileName.contains(u'/') || r.pfpFileName.contains(u'\\') || r.pfpFileName.contains(QLatin1String("..")))
        __builtin_trap();
    bool ended = false;
    for (uint8_t d : r.processList) {
        if (d > 9 || (ended && d != 0)) __builtin_trap();
        ended = ended || d == 0;
    }
    if (r.processList[0] == 0 || vcx::ProcessListValue(r) == 0) __builtin_trap();
    if (r.odmCount > 64 || r.odmCodes.size() != r.odmCount) __builtin_trap();
    return 0;
}
