// The main window's rules for its page buttons and its choice of page after a
// device read-out, and which buttons a busy page leaves usable: pure functions
// of what the read-out learned, apart from the widgets.
#pragma once

#include "core/controller_api.h"
#include "core/main_ids.h"

#include <array>
#include <cstddef>

namespace vcx {

// The enable flags of the eight page buttons 401..408.
struct PageButtonStates {
    std::array<bool, kButtonCount> enabled{};
    bool operator[](int buttonId) const { return enabled[std::size_t(buttonId - kIdDraw)]; }
    bool& operator[](int buttonId) { return enabled[std::size_t(buttonId - kIdDraw)]; }
    bool page(int index) const { return (*this)[pageButtonId(index)]; }
    friend bool operator==(const PageButtonStates&, const PageButtonStates&) = default;
};

// What the page buttons depend on once a controller's identity was read.
struct PageRuleInput {
    bool ostraModel = false;      // isOstraModel of the controller's model number
    bool masterInBoot = false;    // the master IC runs its boot loader
    bool anySlaveInBoot = false;  // a slave IC runs its boot loader
    bool engineerMode = false;
    bool serialDevice = false;    // the read-out's serial flag (RS-232 without a bus interface)
    bool rs232 = false;           // the device kind says RS-232
    bool diagnosticUsable = false; // the Diagnostic page reports itself usable
    bool parametersUsable = false; // the Parameters page reports itself usable
};

// The base rule: not an Ostra-series model, the master out of its boot loader.
bool basePageRule(const PageRuleInput& in);
// The IC rule: in engineer mode the master out of boot, else the base rule; in
// both cases no slave in its boot loader.
bool icPageRule(const PageRuleInput& in);

// Draw: not a serial device and the master out of boot. Refresh, Process
// Config, Information: always. Diagnostic: its page usable and the IC rule.
// Parameters: its page usable and the base rule. Field Update: unless an
// Ostra-series controller on RS-232. Debug: the IC rule.
PageButtonStates pageButtonsForDevice(const PageRuleInput& in);
// Without a device: Draw, Process Config and Information; Refresh unless a
// reconnect is pending; the four device pages disabled.
PageButtonStates pageButtonsWithoutDevice(bool reconnectPending);

struct PageChoiceInput {
    bool ostraModel = false;
    bool fileArgument = false;     // the command line names a file
    bool diagnosticUsable = false;
    bool parametersUsable = false;
};
// The page shown after a read-out, from the preferred one: Field Update
// disabled -> Information; else an Ostra-series model, Debug disabled or a file
// argument -> Field Update; then Diagnostic while that page is unusable ->
// Parameters, and Parameters while that page is unusable -> Field Update.
int choosePage(int preferred, const PageButtonStates& buttons, const PageChoiceInput& in);

// While the page `busyPage` (-1: a window that is not a page) reports busy,
// every page button is locked except Draw, Information and the busy page's own.
bool pageButtonLockedWhileBusy(int buttonId, int busyPage);

} // namespace vcx
