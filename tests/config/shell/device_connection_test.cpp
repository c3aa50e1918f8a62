// The main window's device-change debounce and reconnect, apart from the
// window: scripts of events, timer ticks and search results, and the steps the
// window is asked to take.
#include "shell/device_connection.h"

#include "core/main_ids.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

namespace {

using vcx::DeviceConnection;

std::string stepText(const DeviceConnection::Action& a) {
    using S = DeviceConnection::Step;
    switch (a.step) {
    case S::StartTimer: return "start" + std::to_string(a.timer) + "/" + std::to_string(a.ms);
    case S::StopTimer: return "stop" + std::to_string(a.timer);
    case S::DeviceChanged: return "changed";
    case S::ForgetParameterLock: return "unlock";
    case S::Clear: return "clear";
    case S::Search: return "search";
    case S::ReadOut: return "readout";
    case S::ReloadDefaults: return "defaults";
    case S::EnableRefresh: return "refresh";
    case S::ShowInformation: return "information";
    }
    return "?";
}

// Runs a script of words: "arrive", "remove", "t12", "t13", "t3", "t8",
// "reset" (the device was reset and closed), "busy"/"idle" (the Field Update
// page), "exclusive", "defaults" (reload the defaults at the next arrival).
// Every search is answered from `found` in turn ('1' found, '0' not); the
// steps come back joined by blanks, a search's answer after it in brackets.
std::string run(DeviceConnection& d, const std::string& script, const std::string& found = {}) {
    size_t answer = 0;
    std::string out;
    std::function<void(const DeviceConnection::Actions&)> take = [&](const DeviceConnection::Actions& actions) {
        for (const auto& a : actions) {
            out += (out.empty() ? "" : " ") + stepText(a);
            if (a.step != DeviceConnection::Step::Search) continue;
            const bool yes = answer < found.size() && found[answer++] == '1';
            out += yes ? "[found]" : "[none]";
            take(d.searched(yes));
        }
    };
    std::istringstream words(script);
    for (std::string w; words >> w;) {
        if (w == "arrive") take(d.arrivalEvent());
        else if (w == "remove") take(d.removalEvent());
        else if (w == "t12") take(d.arrivalTick());
        else if (w == "t13") take(d.removalTick());
        else if (w == "t3") take(d.reconnectTick());
        else if (w == "t8") take(d.reconnectSettled());
        else if (w == "reset") take(d.disconnected());
        else if (w == "busy") d.setUpdateBusy(true);
        else if (w == "idle") d.setUpdateBusy(false);
        else if (w == "exclusive") d.setExclusive(true);
        else if (w == "defaults") d.setReloadDefaultsOnArrival(true);
        else ADD_FAILURE() << "unknown word " << w;
    }
    return out;
}

TEST(VcxDeviceConnection, ScriptsOfEventsTicksAndSearches) {
    struct Case {
        const char* what;
        const char* script;
        const char* found;
        const char* steps;
    } cases[] = {
        {"an arrival acts three ticks after its last event", "arrive t12 arrive t12 t12 t12", "1",
         "start12/100 stop12 changed search[found] readout"},
        {"an arrival whose search finds nothing", "arrive t12 t12 t12", "0", "start12/100 stop12 changed search[none]"},
        {"a removal empties the read-out and searches", "remove t13 t13 t13", "0",
         "start13/100 stop13 unlock changed clear search[none]"},
        {"a removal with another controller left", "remove t13 t13 t13", "1",
         "start13/100 stop13 unlock changed clear search[found] readout"},
        {"the Field Update page takes an arrival itself", "busy arrive t12 t12 t12", "1",
         "start12/100 stop12 changed"},
        {"and a removal", "busy remove t13 t13 t13", "1", "start13/100 stop13 unlock changed"},
        {"exclusive mode follows nothing", "exclusive arrive t12 t12 t12 remove t13 t13 t13", "11",
         "start12/100 stop12 changed start13/100 stop13 unlock changed"},
        {"a reset: the reconnect finds the controller", "reset t3 t8", "1",
         "clear start3/1500 search[found] stop3 readout start8/500 stop8 refresh"},
        {"a reset: five failed attempts", "reset t3 t3 t3 t3 t3", "00000",
         "clear start3/1500 search[none] search[none] search[none] search[none] search[none] stop3 refresh "
         "information"},
        {"the removal of the reset itself is not searched after", "reset remove t13 t13 t13 t3", "1",
         "clear start3/1500 start13/100 stop13 unlock changed search[found] stop3 readout start8/500"},
        {"an arrival completes a pending reconnect", "reset arrive t12 t12 t12 t8", "1",
         "clear start3/1500 start12/100 stop12 changed search[found] stop3 start8/500 readout stop8 refresh"},
        {"the arrival after the reconnect found the controller is not searched again",
         "reset t3 arrive t12 t12 t12", "1",
         "clear start3/1500 search[found] stop3 readout start8/500 start12/100 stop12 changed"},
        // The reconnect's done mark ends with the next removal: unplug and replug are followed again.
        {"unplug and replug after a reset", "reset t3 t8 remove t13 t13 t13 arrive t12 t12 t12", "101",
         "clear start3/1500 search[found] stop3 readout start8/500 stop8 refresh start13/100 stop13 unlock changed "
         "clear search[none] start12/100 stop12 changed search[found] readout"},
        {"the Parameters page's defaults at the next arrival, once", "defaults arrive t12 t12 t12 arrive t12 t12 t12",
         "11", "start12/100 stop12 changed search[found] defaults start12/100 stop12 changed search[found] readout"},
    };
    for (const Case& c : cases) {
        DeviceConnection d;
        EXPECT_EQ(run(d, c.script, c.found), c.steps) << c.what;
    }
}

TEST(VcxDeviceConnection, CountersAndMarks) {
    DeviceConnection d;
    EXPECT_EQ(d.devicePresence(), -1);
    run(d, "arrive t12");
    EXPECT_EQ(d.arrivalCountdown(), 2);
    run(d, "arrive");
    EXPECT_EQ(d.arrivalCountdown(), 3);
    run(d, "t12 t12 t12", "1");
    EXPECT_EQ(d.arrivalCountdown(), 0);
    EXPECT_EQ(d.devicePresence(), 1);

    run(d, "reset");
    EXPECT_TRUE(d.reconnectPending());
    EXPECT_EQ(d.reconnectRetries(), 0);
    run(d, "t3 t3", "00");
    EXPECT_EQ(d.reconnectRetries(), 2);
    run(d, "t3", "1");
    EXPECT_EQ(d.reconnectRetries(), DeviceConnection::kReconnected);
    EXPECT_TRUE(d.reconnectPending()); // until timer 8
    run(d, "t8");
    EXPECT_FALSE(d.reconnectPending());
    run(d, "remove t13 t13 t13", "0");
    EXPECT_EQ(d.devicePresence(), 0);
    EXPECT_EQ(d.reconnectRetries(), 0);

    run(d, "reset arrive t12 t12 t12", "1");
    EXPECT_EQ(d.reconnectRetries(), DeviceConnection::kArrivalReconnected);
    // A second Reset Device starts counting again.
    run(d, "t8 reset");
    EXPECT_EQ(d.reconnectRetries(), 0);
    EXPECT_TRUE(d.reconnectPending());
}

} // namespace
