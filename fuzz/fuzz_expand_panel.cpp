// Fuzz target: the expand-panel catalogue's file check must take any bytes.
// What it accepts rebuilds to the same bytes from its header and PARA section.
#include "params/expand_panel_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const auto file = vcx::ParseExpandPanelFile(bytes);
    if (!file) return 0;
    if (size < 28) __builtin_trap();
    std::array<uint8_t, 16> header;
    std::copy_n(data, 16, header.begin());
    if (header[12] != file->index) __builtin_trap();
    const auto again = vcx::ExpandPanelFileBytes(header, bytes.subspan(16, size - 18));
    if (again.size() != size || !std::equal(again.begin(), again.end(), data)) __builtin_trap();
    (void)vcx::PanelDisplayName(file->description);
    (void)vcx::PanelLensText(file->description);
    (void)vcx::PanelFileName(file->description);
    return 0;
}
