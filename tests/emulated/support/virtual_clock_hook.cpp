// Built into the emulated-device tests' own copy of the controller library:
// the library runs on its real linux backend (no QV_SIM), and this switch puts
// its protocol sleeps on a virtual clock, so a test of the program over the
// emulated hidraw nodes never waits for real time. Nothing else differs from
// libQV_Standard.so.
#include "platform/platform.h"
#include "platform/sim.h"
#include "qvsim.h"

#include <memory>

extern "C" __attribute__((visibility("default"))) void QVMockUseVirtualClock() {
    static const auto clock = std::make_shared<qvsim::VirtualClock>();
    qvp::setClock(qvp::makeVirtualClock(clock));
}
