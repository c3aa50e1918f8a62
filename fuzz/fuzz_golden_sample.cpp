// Fuzz target: the golden-sample reader must take any bytes; what it accepts is
// a whole grid of the panel's size with an average count of 1..65535, and the
// file written from it reads back the same. The first two bytes choose the
// panel (1..255 rows and columns, the whole range of the controller's
// geometry bytes), the rest is the file's text.
#include "diag/golden_sample_file.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {
constexpr std::string_view kDevice = "QV2081A.D05.2.5.3.1   Boot : 1.2 A";
constexpr uint16_t kCrc = 0x1234;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int rows = 1 + data[0] % 255, columns = 1 + data[1] % 255;
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

    std::string field;
    for (std::string_view key : {"Firmware Version:", "Parameters CRC:", "Average Count:"})
        (void)vcx::ParseGoldenSampleField(text, &field, key);
    (void)vcx::StripBootVersionText(text);

    vcx::GoldenSampleFile file;
    if (!vcx::ParseGoldenSampleText(text, rows, columns, kDevice, kCrc, &file)) return 0;
    if (file.grid.size() != size_t(rows) * size_t(columns)) __builtin_trap();
    if (file.averageCount == 0 || file.parametersCrc != kCrc) __builtin_trap();
    if (!vcx::IsGoldenSampleForDevice(file.firmwareVersion, file.parametersCrc, kDevice, kCrc)) __builtin_trap();

    const std::string written = vcx::FormatGoldenSampleText(file, rows, columns);
    vcx::GoldenSampleFile again;
    if (!vcx::ParseGoldenSampleText(written, rows, columns, kDevice, kCrc, &again)) __builtin_trap();
    if (again.grid != file.grid || again.averageCount != file.averageCount ||
        vcx::StripBootVersionText(again.firmwareVersion) != vcx::StripBootVersionText(file.firmwareVersion))
        __builtin_trap();
    return 0;
}
