// The controller's parameter update lock held over a write: taken when the
// guard is made, given back by release() (which says whether the controller
// took the release) or, on any other way out, when the guard goes.
#pragma once

namespace vcx {

struct Controller;

class ParameterUpdateGuard {
public:
    explicit ParameterUpdateGuard(Controller& c);
    ~ParameterUpdateGuard();
    ParameterUpdateGuard(const ParameterUpdateGuard&) = delete;
    ParameterUpdateGuard& operator=(const ParameterUpdateGuard&) = delete;

    // The controller took the lock.
    bool locked() const { return locked_; }
    // Gives a lock that was taken back (once; later calls repeat the first
    // answer). False when the controller refused the release; true when there
    // was no lock to give back.
    bool release();

private:
    Controller& c_;
    bool locked_ = false;
    bool released_ = false;
    bool releaseOk_ = false;
};

} // namespace vcx
