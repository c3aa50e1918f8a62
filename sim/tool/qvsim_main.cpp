// qvsim: serves a simulated serial touch controller on a pseudo-terminal.
//
//   qvsim [--profile NAME|FILE] [--baud N]
//
// Serves the first serial controller of the profile (default: a current-series
// controller at 115200 baud). The first line of stdout is the path of the
// terminal a host opens. Runs until SIGINT or SIGTERM, or until stdin reaches
// end of file (so a parent that closes the pipe ends it).

#include "qvsim.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
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
    std::fprintf(stderr, "qvsim: %s\nusage: qvsim [--profile NAME|FILE] [--baud N]\nbuilt-in profiles:", why);
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

}  // namespace

int main(int argc, char** argv) {
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
