// Run-time control of a simulated bench from outside the process: a server on a
// Unix-domain stream socket that plugs and unplugs the bench's devices, injects
// faults and fixed replies into their controllers, reads what they received,
// and sets their profile keys.
//
// Protocol: one request per line ("\n", a "\r" before it is ignored), one answer
// per request, written after the bench call returned (so the device events have
// reached every watcher by then, and a fault is in place before the next
// command):
//
//   unplug PATH   Bench::remove(PATH)          -> "ok" | "error no device at PATH"
//   plug PATH     Bench::replug(PATH)          -> "ok" | "error ..." (already plugged,
//                                                 nothing was unplugged there)
//   list          the devices seen since the server started, in the order seen:
//                 "ok N", then N lines "plugged PATH" or "unplugged PATH"
//   clock         "ok MS": the bench's virtual time in ms
//
// Requests to the controller of a device on the bench, each answered "ok" or
// "error <reason>" ("error no device at PATH" when none is plugged there):
//
//   refuse PATH PREFIX [N]   the next N commands PREFIX takes are refused
//                            (AA c0 c1 c2 c3); no N: until cleared
//   silence PATH PREFIX [N]  the same, answered with silence
//   reply PATH PREFIX BYTES  commands PREFIX takes get the reply BYTES
//   clear PATH               every fault and fixed reply of the controller goes
//   trace PATH               "ok N", then the N commands the controller received
//                            since the last trace clear, one a line in hex
//                            ("F6 03 80 00 05"), oldest first
//   trace clear PATH         empties the trace
//   set PATH KEY VALUE       a key of a profile file's [controller] section with
//                            its value syntax (qvsim::setControllerKey), e.g.
//                            "set /sim/hidraw0 featureF4 0x82 0 0 0"; besides those keys the
//                            device's state setters (qvsim::setDeviceKey): touch
//                            STATUS X Y [FORCE], input BYTES, notify CODE, pnp TEXT
//
// PREFIX is one word of hex digits, two a byte, at most five bytes; an odd last
// digit is the high nibble of the byte after it: "F6" takes every F6 command,
// "F6038" takes F6 03 80 .. F6 03 8F, "F6009F" F6 00 9F, "F600900000" exactly
// F6 00 90 00 00. Faults come before fixed replies; of several matching faults
// (or replies) the most specific applies; a prefix set again replaces its
// fault (or reply). N is a decimal count of 1 or more. BYTES are five bytes in
// hex, blanks between them optional ("F6 03 80 00 01").
//
// PATH of unplug and plug is the rest of the line after the verb and its
// spaces, so it may hold spaces. PATH of the controller requests is the longest
// path of a device on the bench that the words after the verb start with, so it
// may hold spaces as well. Anything else is answered with "error <reason>" and
// the connection stays open: an empty line, an unknown verb, a line with control
// bytes, a line longer than kMaxLineBytes (its remainder up to the next line
// break is skipped), a bad prefix, count, reply, key or value.
// A client that disconnects in the middle of a line is dropped without an answer;
// one that shuts its sending side down gets the answers to its complete lines
// first. Up to kMaxClients clients are served at a time; more wait to be accepted.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "qvsim.h"

namespace qvp {

class SimControlServer {
public:
    static constexpr size_t kMaxLineBytes = 1024;
    static constexpr int kMaxClients = 8;

    explicit SimControlServer(std::shared_ptr<qvsim::Bench> bench);
    ~SimControlServer();  // stop()
    SimControlServer(const SimControlServer&) = delete;
    SimControlServer& operator=(const SimControlServer&) = delete;

    // Listens on socketPath (an existing socket file there is replaced; any other
    // file is left alone and the start fails) and serves on a thread of its own.
    // false with *error when the socket cannot be made, or the server runs already.
    bool start(const std::string& socketPath, std::string* error);
    // Closes every connection, joins the thread and removes the socket file.
    // Safe to call twice; never call it from a bench watcher the server's own
    // requests run.
    void stop();
    bool running() const;
    const std::string& socketPath() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The process's control server for the bench QV_SIM selected: serves bench on
// socketPath, replacing a server started before. An empty socketPath or a null
// bench only stops the running one. The server is stopped and joined when the
// process ends. false with *error when the server cannot start.
bool controlSimBench(std::shared_ptr<qvsim::Bench> bench, const std::string& socketPath, std::string* error);

}  // namespace qvp
