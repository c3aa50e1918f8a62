// Fuzz target: the library's serial exchange against a line that answers with
// arbitrary bytes (a noisy or foreign device). The reply must be filled from at
// most one frame, and the exchange must end.
#include "QV_Standard.h"
#include "internal.h"
#include "fuzz_backend.h"
#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// A serial port whose every read returns the next slice of the fuzz input.
class ScriptedPort : public qvfuzz::AcceptingBackend {
public:
    const uint8_t* data = nullptr;
    size_t size = 0, pos = 0;

    const char* name() const override { return "scripted"; }
    qvp::Handle open(const std::string&, qvp::DeviceKind) override { return reinterpret_cast<qvp::Handle>(0x10); }
    bool serialRead(qvp::Handle, uint8_t* out, size_t len, size_t* got) override {
        // The first input byte of each read says how many bytes arrive (0..7).
        if (pos >= size) {
            *got = 0;
            return true;
        }
        size_t n = data[pos++] % 8;
        if (n > len) n = len;
        if (n > size - pos) n = size - pos;
        std::memcpy(out, data + pos, n);
        pos += n;
        *got = n;
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto port = std::make_shared<ScriptedPort>();
    static bool installed = [] {
        qvp::setBackend(port);
        qvp::setClock(std::make_shared<qvfuzz::VirtualClock>());
        return true;
    }();
    (void)installed;
    port->data = data;
    port->size = size;
    port->pos = 0;

    qvlib::DevInfo rec = qvlib::EmptyDevInfo();
    rec.dwDeviceType = QV_DEVICE_RS232;
    rec.hDevice = reinterpret_cast<HANDLE>(0x10);
    rec.byTiming = 50;
    rec.byQVOstraMelk = size && (data[0] & 1) ? QV_SERIES_MELK : QV_SERIES_CURRENT;
    const uint8_t cmd[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
    uint8_t guard[16];
    std::memset(guard, 0x5A, sizeof guard);
    uint8_t* reply = guard + 4;
    int ok = qvlib::Rs232Exchange(rec, cmd, reply, 0, true, size && (data[0] & 2));
    for (int i = 0; i < 4; ++i)
        if (guard[i] != 0x5A || guard[9 + i] != 0x5A) __builtin_trap();  // wrote outside the reply
    if (ok && reply[0] == 0xAA) __builtin_trap();  // a refusal is never success
    return 0;
}
