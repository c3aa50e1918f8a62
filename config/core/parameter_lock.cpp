#include "core/parameter_lock.h"

#include "core/controller_api.h"

namespace vcx {

ParameterUpdateGuard::ParameterUpdateGuard(Controller& c) : c_(c) {
    const auto lock = c_.records.paraFuncTable.ParameterUpdateLock;
    locked_ = lock && lock(c_.dev.device, 1) != 0;
}

ParameterUpdateGuard::~ParameterUpdateGuard() { release(); }

bool ParameterUpdateGuard::release() {
    if (released_) return releaseOk_;
    released_ = true;
    // A lock the controller refused has nothing to give back.
    if (!locked_) return releaseOk_ = true;
    const auto lock = c_.records.paraFuncTable.ParameterUpdateLock;
    releaseOk_ = lock && lock(c_.dev.device, 0) != 0;
    return releaseOk_;
}

} // namespace vcx
