// The simulator's entry into the platform layer: what a test, a benchmark or
// the library's start-up (QV_SIM, see selectFromEnvironment) calls to run the
// platform calls on simulated controllers. The sim backend itself stays
// behind platform.h; the bench and its clock are libqvsim's (qvsim.h).
#pragma once

#include <memory>

#include "platform/platform.h"

namespace qvsim {
class Bench;
class VirtualClock;
}  // namespace qvsim

namespace qvp {

// Makes the bench's simulated controllers the active backend and the bench's
// virtual clock the active clock (an empty bench when none is given: every
// open fails NotFound). The devices add their own per-transfer latency to the
// virtual clock; a serial read that times out advances it by the read time-out
// instead of waiting.
void useSim(std::shared_ptr<qvsim::Bench> bench);

// The bench behind the active backend, so tools can plug and unplug devices;
// nullptr when the active backend is not the sim.
std::shared_ptr<qvsim::Bench> simBench();

// A clock on virtual time, for running another backend (the linux backend on
// emulated devices) without waiting for the protocol's sleeps: sleepMs
// advances the clock and returns at once; tickCount is the virtual time in ms,
// wrapping at 2^32.
std::shared_ptr<Clock> makeVirtualClock(std::shared_ptr<qvsim::VirtualClock> clock);

}  // namespace qvp
