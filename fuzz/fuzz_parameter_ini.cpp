// Fuzz target: the parameter INI reader must take any bytes. The first two
// bytes choose the touch and boot list lengths (0..255), the rest is the file.
// What it accepts holds exactly those lengths, and a file written from it reads
// back to the same lists.
#include "params/parameter_ini_format.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int touchLength = data[0], bootLength = data[1];
    const QByteArray text(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    const std::array<uint8_t, 11> identity{0, 1, 0x21, 0x08, 2, 1, 3, 5, 3, 1, uint8_t((touchLength + bootLength) % 256)};
    const auto lists = vcx::ParseParameterIni(text, identity, touchLength, bootLength);
    if (!lists) return 0;
    if (int(lists->touch.size()) != touchLength || int(lists->boot.size()) != bootLength) __builtin_trap();
    vcx::ParameterIniContent content;
    content.identity = identity;
    content.touch = lists->touch;
    content.boot = lists->boot;
    const auto again = vcx::ParseParameterIni(vcx::FormatParameterIni(content), identity, touchLength, bootLength);
    if (!again || again->touch != lists->touch || again->boot != lists->boot) __builtin_trap();
    return 0;
}
