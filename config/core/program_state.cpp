#include "core/program_state.h"

namespace vcx {

ProgramState& programState() {
    static ProgramState state;
    return state;
}

StartupState& startupState() {
    static StartupState state;
    return state;
}

} // namespace vcx
