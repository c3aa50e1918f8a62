#include "serial_state.h"

namespace qvp::detail {

namespace {

bool refuse(std::string text) {
    setLastError(ErrorKind::InvalidParameter, std::move(text));
    return false;
}

}  // namespace

bool getSerialTimeouts(SerialPortState& port, SerialTimeouts* out) {
    if (!out) return refuse("serialGetTimeouts: no time-outs to fill");
    std::lock_guard lock(port.mutex);
    *out = port.timeouts;
    return true;
}

void setSerialTimeouts(SerialPortState& port, const SerialTimeouts& timeouts) {
    std::lock_guard lock(port.mutex);
    port.timeouts = timeouts;
}

SerialTimeouts currentSerialTimeouts(SerialPortState& port) {
    std::lock_guard lock(port.mutex);
    return port.timeouts;
}

bool setSerialEventMask(SerialPortState& port, const std::string& path, uint32_t mask) {
    if (mask & ~kSerialEventRxChar) return refuse("serialSetEventMask " + path + ": unknown event bits");
    std::lock_guard lock(port.mutex);
    port.eventMask = mask;
    return true;
}

bool checkSerialConfig(const std::string& path, const SerialConfig& cfg) {
    const std::string where = "serialSetConfig " + path + ": ";
    if (cfg.baud == 0) return refuse(where + "0 baud: no line runs at it");
    if (cfg.dataBits < 5 || cfg.dataBits > 8) return refuse(where + std::to_string(cfg.dataBits) + " data bits");
    if (cfg.parity != Parity::None && cfg.parity != Parity::Odd && cfg.parity != Parity::Even)
        return refuse(where + "unknown parity");
    if (cfg.stopBits != StopBits::One && cfg.stopBits != StopBits::Two) return refuse(where + "unknown stop bits");
    return true;
}

}  // namespace qvp::detail
