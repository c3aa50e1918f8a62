// The sim backend: the platform calls served by simulated controllers on a
// libqvsim bench, with the bench's virtual clock as the clock.
#pragma once

#include <memory>

#include "platform/platform.h"
#include "qvsim.h"

namespace qvp {

// Opens the bench's devices by path. The devices add their own per-transfer
// latency to the virtual clock; a serial read that times out advances it by the
// read time-out instead of waiting.
std::shared_ptr<Backend> makeSimBackend(std::shared_ptr<qvsim::Bench> bench);

// sleepMs advances the virtual clock and returns at once; tickCount is the
// virtual time in ms, wrapping at 2^32.
std::shared_ptr<Clock> makeVirtualClock(std::shared_ptr<qvsim::VirtualClock> clock);

// Makes the bench's backend and its virtual clock the active ones.
void useSim(std::shared_ptr<qvsim::Bench> bench);

// The bench behind the active backend, so tools can plug and unplug devices;
// nullptr when the active backend is not the sim.
std::shared_ptr<qvsim::Bench> simBench();

}  // namespace qvp
