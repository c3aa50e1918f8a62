// Run-time control of a simulated bench from outside the process: a server on a
// Unix-domain stream socket that plugs and unplugs the bench's devices.
//
// Protocol: one request per line ("\n", a "\r" before it is ignored), one answer
// per request, written after the bench call returned (so the device events have
// reached every watcher by then):
//
//   unplug PATH   Bench::remove(PATH)          -> "ok" | "error no device at PATH"
//   plug PATH     Bench::replug(PATH)          -> "ok" | "error ..." (already plugged,
//                                                 nothing was unplugged there)
//   list          the devices seen since the server started, in the order seen:
//                 "ok N", then N lines "plugged PATH" or "unplugged PATH"
//   clock         "ok MS": the bench's virtual time in ms
//
// PATH is the rest of the line after the verb and its spaces, so it may hold
// spaces. Anything else is answered with "error <reason>" and the connection
// stays open: an empty line, an unknown verb, a line with control bytes, a line
// longer than kMaxLineBytes (its remainder up to the next line break is skipped).
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
