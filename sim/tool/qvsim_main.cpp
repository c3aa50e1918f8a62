// qvsim: serves a simulated serial touch controller on a pseudo-terminal, or
// sends one request to the control socket of a process that runs a bench.
//
//   qvsim [--profile NAME|FILE] [--baud N]
//
// Serves the first serial controller of the profile (default: a current-series
// controller at 115200 baud). The first line of stdout is the path of the
// terminal a host opens. Runs until SIGINT or SIGTERM, or until stdin reaches
// end of file (so a parent that closes the pipe ends it).
//
//   qvsim check NAME|FILE
//
// Loads the profile and lists its controllers, one path a line: exit status 0,
// or 1 with the reason on stderr (what a program started with QV_SIM=NAME
// would meet).
//
//   qvsim control SOCKET REQUEST...
//
// Sends the words of REQUEST, joined by spaces, as one request line to the
// control socket (QV_SIM_CONTROL of a program that loaded the library with
// QV_SIM) and prints the answer. Exit status 0 on "ok", 1 on "error", 2 when
// the socket cannot be reached (or gives no answer) or the call is malformed.

#include "qvsim.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int) {
    int saved = errno;
    char b = 1;
    (void)!::write(signalPipe[1], &b, 1);
    errno = saved;
}

int usage(const char* why) {
    std::fprintf(stderr,
                 "qvsim: %s\n"
                 "usage: qvsim [--profile NAME|FILE] [--baud N]\n"
                 "       qvsim check NAME|FILE\n"
                 "       qvsim control SOCKET REQUEST...\n"
                 "requests: unplug PATH | plug PATH | list | clock | refuse PATH PREFIX [N] |\n"
                 "          silence PATH PREFIX [N] | reply PATH PREFIX BYTES | clear PATH |\n"
                 "          trace PATH | trace clear PATH | set PATH KEY VALUE\n"
                 "built-in profiles:",
                 why);
    for (auto& n : qvsim::builtinProfileNames()) std::fprintf(stderr, " %s", n.c_str());
    std::fprintf(stderr, "\n");
    return 2;
}

// Waits for a signal or for end of file on stdin.
void waitForEnd() {
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
        int r = ::poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (fds[0].revents & POLLNVAL) return;  // no stdin at all
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[256];
            ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
        }
    }
}

// How long `control` waits for the answer before it gives up (real time).
constexpr int kAnswerTimeoutSeconds = 10;

// qvsim control SOCKET REQUEST...: one request, its answer on stdout.
int control(int argc, char** argv) {
    if (argc < 4) return usage("control needs a socket path and a request");
    const std::string socketPath = argv[2];
    std::string request;
    for (int i = 3; i < argc; ++i) {
        if (i > 3) request += ' ';
        request += argv[i];
    }
    if (request.find_first_of("\r\n") != std::string::npos) return usage("a request is one line");

    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof addr.sun_path) return usage("control socket path too long");
    std::memcpy(addr.sun_path, socketPath.data(), socketPath.size());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::fprintf(stderr, "qvsim: cannot connect to %s: %s\n", socketPath.c_str(), std::strerror(errno));
        if (fd >= 0) ::close(fd);
        return 2;
    }
    timeval tv{kAnswerTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);

    // The line, then the end of the requests: the server answers and closes, so
    // everything up to end of file is the answer (one line, or "ok N" and N lines).
    request += '\n';
    for (size_t off = 0; off < request.size();) {
        ssize_t n = ::send(fd, request.data() + off, request.size() - off, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::fprintf(stderr, "qvsim: cannot send to %s: %s\n", socketPath.c_str(), std::strerror(errno));
            ::close(fd);
            return 2;
        }
        off += size_t(n);
    }
    ::shutdown(fd, SHUT_WR);
    std::string answer;
    for (;;) {
        char buf[1024];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0) {
            answer.append(buf, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            std::fprintf(stderr, "qvsim: no answer from %s: %s\n", socketPath.c_str(), std::strerror(errno));
            ::close(fd);
            return 2;
        }
        break;
    }
    ::close(fd);
    if (answer.empty()) {
        std::fprintf(stderr, "qvsim: %s closed without an answer\n", socketPath.c_str());
        return 2;
    }
    std::fwrite(answer.data(), 1, answer.size(), stdout);
    if (answer.back() != '\n') std::fputc('\n', stdout);
    std::fflush(stdout);
    const bool ok = answer.compare(0, 3, "ok\n") == 0 || answer.compare(0, 3, "ok ") == 0 ||
                    answer == "ok";
    return ok ? 0 : 1;
}

// qvsim check NAME|FILE: whether the profile loads, and what it holds.
int check(int argc, char** argv) {
    if (argc != 3) return usage("check needs one profile name or file");
    std::string error;
    auto bench = qvsim::loadProfile(argv[2], &error);
    if (!bench) {
        std::fprintf(stderr, "qvsim: %s\n", error.c_str());
        return 1;
    }
    for (auto* d : bench->hidDevices()) std::printf("%s\n", d->info().path.c_str());
    for (auto* d : bench->driverDevices()) std::printf("%s\n", d->info().path.c_str());
    for (auto* d : bench->serialDevices()) std::printf("%s\n", d->info().path.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "control") return control(argc, argv);
    if (argc >= 2 && std::string(argv[1]) == "check") return check(argc, argv);
    std::string profile = "serial";
    long baud = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if ((a == "--profile" || a == "--baud") && i + 1 >= argc) return usage(("missing value after " + a).c_str());
        if (a == "--profile") {
            profile = argv[++i];
        } else if (a == "--baud") {
            char* end = nullptr;
            errno = 0;
            baud = std::strtol(argv[++i], &end, 10);
            if (errno || !end || *end || baud <= 0 || baud > 4000000) return usage("--baud needs a positive number");
        } else if (a == "--help" || a == "-h") {
            usage("serves a simulated controller on a pseudo-terminal");
            return 0;
        } else {
            return usage(("unknown argument '" + a + "'").c_str());
        }
    }

    std::string error;
    auto bench = qvsim::loadProfile(profile, &error);
    if (!bench) {
        std::fprintf(stderr, "qvsim: %s\n", error.c_str());
        return 1;
    }
    auto serials = bench->serialDevices();
    if (serials.empty()) {
        std::fprintf(stderr, "qvsim: profile '%s' has no serial controller\n", profile.c_str());
        return 1;
    }
    qvsim::SerialDevice& device = *serials.front();
    if (baud) device.setBaud(uint32_t(baud));

    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "qvsim: pipe2: %s\n", std::strerror(errno));
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);

    qvsim::PtyServer server(bench, device);
    if (!server.start(&error)) {
        std::fprintf(stderr, "qvsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", server.slavePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "qvsim: serving %s (%s profile, %u baud) on %s\n", device.info().path.c_str(),
                 profile.c_str(), device.info().baud, server.slavePath().c_str());

    waitForEnd();
    server.stop();
    return 0;
}
