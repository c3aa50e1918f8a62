#include "shell/program_hooks.h"

namespace vcx {

ProgramHooks& programHooks() {
    static ProgramHooks hooks;
    return hooks;
}

} // namespace vcx
