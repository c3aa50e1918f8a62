// Fuzz target: the simulator's control socket. The input is sent as it is to
// a running control server over its socket (the requests, their words, hex
// prefixes and replies, counts and the `set` keys and values of the
// controllers and devices) on a bench of several controllers; the client then
// ends its side and reads every answer. Every answer line begins with "ok" or
// "error" (or is one of the lines a trace or list answer announces), and the
// server still answers afterwards.
#include "sim_control.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Server {
    std::shared_ptr<qvsim::Bench> bench;
    std::unique_ptr<qvp::SimControlServer> server;
    std::string path;
};

Server& server() {
    static Server s = [] {
        Server out;
        std::string error;
        out.bench = qvsim::loadProfile("multi", &error);
        if (!out.bench) std::abort();
        out.server = std::make_unique<qvp::SimControlServer>(out.bench);
        out.path = "/tmp/qv_fuzz_sim_control_" + std::to_string(::getpid());
        if (!out.server->start(out.path, &error)) std::abort();
        return out;
    }();
    return s;
}

// Sends the bytes, ends the sending side and returns everything answered.
std::string exchange(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) std::abort();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) __builtin_trap();
    for (size_t sent = 0; sent < size;) {
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) break;  // the server dropped a client that sent too much unread: allowed
        sent += size_t(n);
    }
    ::shutdown(fd, SHUT_WR);
    std::string answers;
    char buf[4096];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) answers.append(buf, size_t(n));
    ::close(fd);
    return answers;
}

bool startsWith(const std::string& s, const char* p) { return s.compare(0, std::strlen(p), p) == 0; }

} // namespace

// The server's thread allocates while an input runs, so libFuzzer's count of
// allocations and frees never balances and it would scan for leaks after every
// input: that check is off here (the sanitizer's leak check at exit stays).
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<char*> args;
    static char noLeakScan[] = "-detect_leaks=0";
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + (*argc > 0 ? 1 : 0), noLeakScan);
    args.push_back(nullptr);
    *argc += 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Server& s = server();
    if (size > 4096) return 0;
    const std::string answers = exchange(s.path, data, size);
    // Each answer line: "ok...", "error ...", or one of the N lines an
    // "ok N" of a trace or list announced.
    size_t pos = 0, announced = 0;
    while (pos < answers.size()) {
        const size_t end = answers.find('\n', pos);
        if (end == std::string::npos) __builtin_trap();  // an answer without its line break
        const std::string line = answers.substr(pos, end - pos);
        pos = end + 1;
        if (announced > 0) {
            --announced;
            continue;
        }
        if (startsWith(line, "ok ")) {
            // "trace" and "list" announce the lines that follow ("clock"'s
            // time is read alike: the lines after it are then only not checked).
            const unsigned long n = std::strtoul(line.c_str() + 3, nullptr, 10);
            announced = n < 100000 ? n : 0;
            continue;
        }
        if (line != "ok" && !startsWith(line, "error ")) __builtin_trap();
    }
    // Still serving (asked now and then: every exchange costs a connection).
    static unsigned inputs = 0;
    if (++inputs % 16 != 0) return 0;
    const char again[] = "clock\n";
    if (!startsWith(exchange(s.path, reinterpret_cast<const uint8_t*>(again), sizeof again - 1), "ok ")) __builtin_trap();
    return 0;
}
