// The sim backend: the platform calls served by simulated controllers on a
// libqvsim bench. Private to the platform layer and its tests; everyone else
// starts it through platform/sim.h (useSim).
#pragma once

#include <memory>

#include "platform/platform.h"
#include "platform/sim.h"
#include "qvsim.h"

namespace qvp {

// Opens the bench's devices by path (see useSim for their timing).
std::shared_ptr<Backend> makeSimBackend(std::shared_ptr<qvsim::Bench> bench);

}  // namespace qvp
