#include "core/program_hooks.h"

namespace vcx {

ProgramHooks& programHooks() {
    // Never destroyed: the library's threads may still look at it while the process ends.
    static auto* hooks = new ProgramHooks;
    return *hooks;
}

} // namespace vcx
