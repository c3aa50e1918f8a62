#include "shell/device_connection.h"

#include "core/main_ids.h"

namespace vcx {

namespace {

using Step = DeviceConnection::Step;
using Action = DeviceConnection::Action;

constexpr int kTickMs = 100;
constexpr int kReconnectMs = 1500;
constexpr int kSettleMs = 500;

Action start(int timer, int ms) { return {Step::StartTimer, timer, ms}; }
Action stop(int timer) { return {Step::StopTimer, timer, 0}; }
Action step(Step s) { return {s, 0, 0}; }

} // namespace

DeviceConnection::Actions DeviceConnection::arrivalEvent() {
    const bool idle = arrivalCountdown_ < 1;
    arrivalCountdown_ = kTicks;
    if (idle) return {start(kTimerArrival, kTickMs)};
    return {};
}

DeviceConnection::Actions DeviceConnection::removalEvent() {
    const bool idle = removalCountdown_ < 1;
    removalCountdown_ = kTicks;
    if (idle) return {start(kTimerRemoval, kTickMs)};
    return {};
}

DeviceConnection::Actions DeviceConnection::searchFor(Searching why, Actions before) {
    searching_ = why;
    before.push_back(step(Step::Search));
    return before;
}

DeviceConnection::Actions DeviceConnection::arrivalTick() {
    if (--arrivalCountdown_ > 0) return {};
    arrivalCountdown_ = 0;
    presence_ = 1;
    Actions a{stop(kTimerArrival), step(Step::DeviceChanged)};
    // The Field Update page takes an arrival during its work itself; a reconnect
    // that already found the controller needs no second search.
    if (updateBusy_ || exclusive_ || retries_ == kReconnected) return a;
    return searchFor(Searching::ForArrival, std::move(a));
}

DeviceConnection::Actions DeviceConnection::removalTick() {
    if (--removalCountdown_ > 0) return {};
    removalCountdown_ = 0;
    presence_ = 0;
    // A reconnect that found the controller is over once the controller goes
    // away again: the next arrival is followed.
    if (retries_ == kReconnected) retries_ = 0;
    Actions a{stop(kTimerRemoval), step(Step::ForgetParameterLock), step(Step::DeviceChanged)};
    if (exclusive_ || updateBusy_ || reconnectPending_) return a;
    a.push_back(step(Step::Clear));
    return searchFor(Searching::ForRemoval, std::move(a));
}

DeviceConnection::Actions DeviceConnection::reconnectTick() { return searchFor(Searching::ForReconnect, {}); }

DeviceConnection::Actions DeviceConnection::reconnectSettled() {
    reconnectPending_ = false;
    return {stop(kTimerReconnectSettled), step(Step::EnableRefresh)};
}

DeviceConnection::Actions DeviceConnection::disconnected() {
    reconnectPending_ = true;
    retries_ = 0;
    return {step(Step::Clear), start(kTimerReconnect, kReconnectMs)};
}

DeviceConnection::Actions DeviceConnection::searched(bool found) {
    const Searching why = searching_;
    searching_ = Searching::Nothing;
    switch (why) {
    case Searching::Nothing:
        return {};
    case Searching::ForArrival: {
        if (!found) return {};
        Actions a;
        if (reconnectPending_) {
            retries_ = kArrivalReconnected;
            a = {stop(kTimerReconnect), start(kTimerReconnectSettled, kSettleMs)};
        }
        if (reloadDefaults_) {
            reloadDefaults_ = false;
            a.push_back(step(Step::ReloadDefaults));
        } else {
            a.push_back(step(Step::ReadOut));
        }
        return a;
    }
    case Searching::ForRemoval:
        if (!found) return {};
        return {step(Step::ReadOut)};
    case Searching::ForReconnect:
        if (found) {
            retries_ = kReconnected;
            return {stop(kTimerReconnect), step(Step::ReadOut), start(kTimerReconnectSettled, kSettleMs)};
        }
        if (++retries_ < kMaxReconnectAttempts) return {};
        reconnectPending_ = false;
        return {stop(kTimerReconnect), step(Step::EnableRefresh), step(Step::ShowInformation)};
    }
    return {};
}

} // namespace vcx
