// Fuzz target: the N4 family's firmware file reader on any bytes (a memory file
// opened by its path). An open either accepts a file whose every section lies
// inside it, or keeps nothing and holds no file.
#include "n4_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memfd_create("n4_file", 0);
    if (fd < 0) return 0;
    if (size && write(fd, data, size) != ssize_t(size)) {
        close(fd);
        return 0;
    }
    qvlib::n4::FirmwareFileReader reader;
    const bool ok = reader.Open("/proc/self/fd/" + std::to_string(fd));
    if (ok) {
        if (reader.Size() != size || reader.Kind() < 0 || reader.Kind() > 3 || reader.Sections().empty())
            __builtin_trap();
        for (const qvfmt::Section& s : reader.Sections())
            if (s.dataSize == 0 || s.end > size || s.dataOffset + s.dataSize + 4 != s.end || !reader.Entry(s.entry))
                __builtin_trap();
        if (reader.ParaValid() && !reader.IsPackage()) __builtin_trap();
        if (reader.HasVkey() && (reader.Vkey().table.usedCount > 15 || reader.Vkey().table.entrySize > 12))
            __builtin_trap();
    } else if (reader.IsOpen() || !reader.Sections().empty() || reader.Kind() != -1 || reader.ParaValid()) {
        __builtin_trap();
    }
    reader.Reset();
    if (reader.IsOpen()) __builtin_trap();
    close(fd);
    return 0;
}
