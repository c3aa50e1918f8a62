// What every backend keeps for an open serial port beside the line itself,
// and the checks of what a caller asks of a port that do not depend on the
// line: the time-outs and the event mask as set, and the configurations no
// port can take. The backends' serial calls share them, so a port refuses the
// same requests with the same texts whichever backend runs.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/platform.h"

namespace qvp::detail {

struct SerialPortState {
    std::mutex mutex;  // guards the fields below, and what a backend keeps beside them
    SerialTimeouts timeouts;
    uint32_t eventMask = 0;
};

// serialGetTimeouts: the time-outs as set; false (InvalidParameter) with no place for them.
bool getSerialTimeouts(SerialPortState& port, SerialTimeouts* out);
void setSerialTimeouts(SerialPortState& port, const SerialTimeouts& timeouts);
// The time-outs for a transfer that begins now.
SerialTimeouts currentSerialTimeouts(SerialPortState& port);
// serialSetEventMask: only the events the platform knows (kSerialEventRxChar);
// false (InvalidParameter) for other bits, and the mask stays as it was.
bool setSerialEventMask(SerialPortState& port, const std::string& path, uint32_t mask);

// serialSetConfig's checks that hold for every line: a rate above 0 baud, 5 to
// 8 data bits, a known parity and stop bits. false (InvalidParameter,
// "serialSetConfig <path>: <what>") otherwise; a backend checks what its own
// line cannot take after this.
bool checkSerialConfig(const std::string& path, const SerialConfig& cfg);

}  // namespace qvp::detail
