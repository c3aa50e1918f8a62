// The parts of the platform layer that no backend owns: the calling thread's
// last error, and the registry of the active backend and clock.
#include "platform/platform.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <vector>

#if QV_WITH_SIM
#include "platform/sim.h"
#include "qvsim.h"
#include "sim/sim_control.h"
#endif

namespace qvp {

namespace {

thread_local Error t_lastError;
thread_local uint64_t t_failures = 0;

// The active backend and clock are read on every transfer and every sleep, so
// they are published through atomic raw pointers. A replaced backend or clock
// is kept alive until the process ends: another thread may still be inside a
// call on it through the reference backend() handed out.
struct Active {
    std::mutex mutex;
    std::shared_ptr<Backend> backend;
    std::shared_ptr<Clock> clock;
    std::vector<std::shared_ptr<Backend>> retiredBackends;
    std::vector<std::shared_ptr<Clock>> retiredClocks;
    std::atomic<Backend*> backendPtr{nullptr};
    std::atomic<Clock*> clockPtr{nullptr};
};

Active& active() {
    static Active* a = new Active;  // never destroyed: calls may arrive during exit
    return *a;
}

void installBackendLocked(Active& a, std::shared_ptr<Backend> b) {
    if (a.backend) a.retiredBackends.push_back(a.backend);
    a.backend = std::move(b);
    a.backendPtr.store(a.backend.get(), std::memory_order_release);
}

void installClockLocked(Active& a, std::shared_ptr<Clock> c) {
    if (a.clock) a.retiredClocks.push_back(a.clock);
    a.clock = std::move(c);
    a.clockPtr.store(a.clock.get(), std::memory_order_release);
}

}  // namespace

void Wakeup::set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
        cv_.notify_all();
    }
    // The hook runs under its own lock, so clearHook() waits for a hook under way.
    std::lock_guard hookLock(hookMutex_);
    if (hook_) hook_();
}

void Wakeup::reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
}

bool Wakeup::isSet() const {
    std::lock_guard lock(mutex_);
    return set_;
}

void Wakeup::setHook(std::function<void()> hook) {
    std::lock_guard hookLock(hookMutex_);
    hook_ = std::move(hook);
    if (isSet() && hook_) hook_();
}

void Wakeup::clearHook() {
    std::lock_guard hookLock(hookMutex_);
    hook_ = nullptr;
}

bool Wakeup::waitFor(uint32_t ms) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return set_; });
}

const Error& lastError() { return t_lastError; }

void setLastError(ErrorKind kind, std::string text) {
    t_lastError.kind = kind;
    t_lastError.text = std::move(text);
    ++t_failures;
}

uint64_t failureCount() { return t_failures; }

void clearLastError() {
    t_lastError.kind = ErrorKind::None;
    t_lastError.text.clear();
}

const char* errorKindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::None: return "none";
        case ErrorKind::Timeout: return "time-out";
        case ErrorKind::InvalidParameter: return "invalid parameter";
        case ErrorKind::NotFound: return "not found";
        case ErrorKind::Other: return "other";
    }
    return "unknown";
}

Backend& backend() {
    Active& a = active();
    if (Backend* b = a.backendPtr.load(std::memory_order_acquire)) return *b;
    // Nothing chosen yet: the operating system's own backend.
    std::lock_guard lock(a.mutex);
    if (!a.backend) installBackendLocked(a, makeLinuxBackend());
    return *a.backend;
}

Clock::TimeOfDay Clock::timeOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_hour, local.tm_min, local.tm_sec};
}

Clock& clock() {
    Active& a = active();
    if (Clock* c = a.clockPtr.load(std::memory_order_acquire)) return *c;
    std::lock_guard lock(a.mutex);
    if (!a.clock) installClockLocked(a, makeRealClock());
    return *a.clock;
}

void setBackend(std::shared_ptr<Backend> b) {
    if (!b) b = makeLinuxBackend();
    Active& a = active();
    std::lock_guard lock(a.mutex);
    installBackendLocked(a, std::move(b));
}

void setClock(std::shared_ptr<Clock> c) {
    if (!c) c = makeRealClock();
    Active& a = active();
    std::lock_guard lock(a.mutex);
    installClockLocked(a, std::move(c));
}

std::shared_ptr<Backend> currentBackend() {
    backend();  // make sure there is one
    Active& a = active();
    std::lock_guard lock(a.mutex);
    return a.backend;
}

std::shared_ptr<Clock> currentClock() {
    clock();
    Active& a = active();
    std::lock_guard lock(a.mutex);
    return a.clock;
}

bool checkSubscription(InterfaceClass cls, const DeviceChangeHandler& handler) {
    if (!handler) {
        setLastError(ErrorKind::InvalidParameter, "subscribeDeviceChanges: no handler");
        return false;
    }
    if (cls != InterfaceClass::DriverA && cls != InterfaceClass::DriverB && cls != InterfaceClass::UsbDevice) {
        setLastError(ErrorKind::InvalidParameter,
                     "subscribeDeviceChanges: unknown interface class " + std::to_string(static_cast<int>(cls)));
        return false;
    }
    return true;
}

bool selectFromEnvironment() {
    const char* value = std::getenv("QV_SIM");
#if QV_WITH_SIM
    if (value && *value) {
        std::string error;
        if (auto bench = qvsim::loadProfile(value, &error)) {
            useSim(bench);
            // QV_SIM_CONTROL names a socket on which other processes plug and unplug
            // these controllers; without it the bench only changes from inside.
            const char* control = std::getenv("QV_SIM_CONTROL");
            error.clear();
            if (!controlSimBench(control ? bench : nullptr, control ? control : "", &error))
                setLastError(ErrorKind::Other, "QV_SIM_CONTROL: " + error);
            return true;
        }
        // Whoever set QV_SIM meant simulated controllers: a mistyped profile must
        // not put real devices in their place. The bench stays empty.
        controlSimBench(nullptr, "", nullptr);
        useSim(std::make_shared<qvsim::Bench>());
        setLastError(ErrorKind::Other,
                     "QV_SIM: " + (error.empty() ? "cannot load profile '" + std::string(value) + "'" : error) +
                         "; no controllers are simulated");
        return false;
    }
    controlSimBench(nullptr, "", nullptr);
#else
    if (value && *value) {
        setBackend(makeLinuxBackend());
        setClock(makeRealClock());
        setLastError(ErrorKind::Other,
                     "QV_SIM: this build has no simulated controllers; real devices are used");
        return false;
    }
#endif
    setBackend(makeLinuxBackend());
    setClock(makeRealClock());
    return true;
}

}  // namespace qvp
