// How the main window follows its controller: the debounced arrival and
// removal (timers 12 and 13: three 100 ms ticks after the last event) and the
// reconnect after a reset (timer 3 every 1500 ms, up to five attempts, then
// timer 8). The counters and marks live here, apart from the window; every
// input returns the steps the window takes, in order. A Search step is
// answered with searched(), which returns the steps that follow the search.
#pragma once

#include <vector>

namespace vcx {

class DeviceConnection {
public:
    enum class Step {
        StartTimer,          // timer, ms
        StopTimer,           // timer
        DeviceChanged,       // an arrival or removal was taken: the program-wide changed flag
        ForgetParameterLock, // the device went away: the Debug page's parameter lock is gone with it
        Clear,               // ClearDlgItem
        Search,              // FindQVDevice, answered with searched()
        ReadOut,             // UpdateDlgItem
        ReloadDefaults,      // reload and flush the default parameters, then disconnect (reset) the device
        EnableRefresh,       // the Refresh button is usable again
        ShowInformation,     // SelectPage (Information, 0)
    };
    struct Action {
        Step step;
        int timer = 0;
        int ms = 0;
        friend bool operator==(const Action&, const Action&) = default;
    };
    using Actions = std::vector<Action>;

    // ReconnectRetries once a reconnect attempt found the controller, and once
    // an arrival completed a pending reconnect.
    static constexpr int kReconnected = 0xABCD;
    static constexpr int kArrivalReconnected = 0xFFFF;
    static constexpr int kMaxReconnectAttempts = 5;
    static constexpr int kTicks = 3;

    // A device-change event: the countdown starts again from three ticks.
    Actions arrivalEvent();
    Actions removalEvent();
    // Ticks of timers 12, 13, 3 and 8.
    Actions arrivalTick();
    Actions removalTick();
    Actions reconnectTick();
    Actions reconnectSettled();
    // The window reset and closed the device (DisconnectDevice): wait for it to come back.
    Actions disconnected();
    // The answer to the last Search step.
    Actions searched(bool found);

    // What the window's pages and switches tell.
    void setUpdateBusy(bool busy) { updateBusy_ = busy; }
    void setExclusive(bool exclusive) { exclusive_ = exclusive; }
    void setReloadDefaultsOnArrival(bool reload) { reloadDefaults_ = reload; }

    bool reconnectPending() const { return reconnectPending_; }
    int reconnectRetries() const { return retries_; }
    int arrivalCountdown() const { return arrivalCountdown_; }
    int removalCountdown() const { return removalCountdown_; }
    int devicePresence() const { return presence_; } // -1 unknown, 1 arrived, 0 removed
    bool reloadDefaultsOnArrival() const { return reloadDefaults_; }

private:
    enum class Searching { Nothing, ForArrival, ForRemoval, ForReconnect };

    Actions searchFor(Searching why, Actions before);

    int arrivalCountdown_ = 0;
    int removalCountdown_ = 0;
    int presence_ = -1;
    int retries_ = 0;
    bool reconnectPending_ = false;
    bool updateBusy_ = false;
    bool exclusive_ = false;
    bool reloadDefaults_ = false;
    Searching searching_ = Searching::Nothing;
};

} // namespace vcx
