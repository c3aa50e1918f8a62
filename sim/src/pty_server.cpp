// Serves one simulated serial controller on a pseudo-terminal, so a host reaches
// it through the real termios path (open, tcsetattr, read, write, tcflush).
//
// The server keeps its own descriptor of the slave side open: without it the
// master reports hang-up (and reads fail with EIO) whenever no host has the
// slave open, and the line settings would be lost between hosts. Termios calls
// on the master act on the slave's settings, which is how the server learns the
// host's baud rate for each chunk of bytes it receives. The resync gap runs on
// the real clock here, since the host's bytes arrive in real time.

#include "qvsim.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace qvsim {

namespace {

uint32_t baudOf(speed_t s) {
    static const std::pair<speed_t, uint32_t> table[] = {
        {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
        {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
        {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
        {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B500000, 500000},
        {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000},
    };
    for (auto& [code, baud] : table)
        if (code == s) return baud;
    return 0;  // hang-up or a speed the controller cannot run at
}

uint64_t realNowMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string sysError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

struct PtyServer::Impl {
    std::shared_ptr<Bench> bench;
    SerialDevice* device;
    int master = -1;
    int slave = -1;
    int stopPipe[2] = {-1, -1};
    std::string slavePath;
    std::thread thread;

    void closeAll() {
        for (int* fd : {&master, &slave, &stopPipe[0], &stopPipe[1]}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
    }

    bool open(std::string* error) {
        auto fail = [&](const std::string& what) {
            if (error) *error = what;
            closeAll();
            return false;
        };
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0) return fail(sysError("posix_openpt"));
        if (::grantpt(master) != 0) return fail(sysError("grantpt"));
        if (::unlockpt(master) != 0) return fail(sysError("unlockpt"));
        char name[128];
        if (::ptsname_r(master, name, sizeof name) != 0) return fail(sysError("ptsname_r"));
        slavePath = name;
        slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave < 0) return fail(sysError(("open " + slavePath).c_str()));
        termios t{};
        if (::tcgetattr(slave, &t) != 0) return fail(sysError("tcgetattr"));
        // Raw from the start: with echo on, the replies written to the master would
        // come straight back as input.
        ::cfmakeraw(&t);
        if (::tcsetattr(slave, TCSANOW, &t) != 0) return fail(sysError("tcsetattr"));
        int flags = ::fcntl(master, F_GETFL);
        if (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) return fail(sysError("fcntl"));
        if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return fail(sysError("pipe2"));
        return true;
    }

    uint32_t hostBaud() const {
        termios t{};
        if (::tcgetattr(master, &t) != 0) return 0;
        return baudOf(::cfgetospeed(&t));
    }

    void send(const std::vector<uint8_t>& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += size_t(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN) {
                // The host is not reading; wait a while for room, then give up as a
                // full line buffer would.
                pollfd p{master, POLLOUT, 0};
                if (::poll(&p, 1, 1000) <= 0) return;
            } else {
                return;
            }
        }
    }

    // A pty has no modem lines and tells nobody of a speed change: the speed is
    // looked at every few ms, and the switch to 1200 baud stands for the host
    // dropping RTS (the controller then sends its plug-and-play identifier).
    // Bytes the controller queued on its own (touch packets) go out at the same
    // pace.
    static constexpr int kWatchMs = 10;

    void watchLine(uint32_t* lastBaud) {
        std::vector<uint8_t> out;
        {
            std::lock_guard g(bench->mutex());
            const uint32_t baud = hostBaud();
            if (baud != *lastBaud) {
                device->setHostBaud(baud);
                if (baud == 1200) device->sendPnpIdentifier();
                *lastBaud = baud;
            }
            out = device->takeOutput();
        }
        if (!out.empty()) send(out);
    }

    uint32_t lastBaud = 0;  // the line speed last seen; read before the thread starts

    void run() {
        uint8_t buf[512];
        for (;;) {
            pollfd fds[2] = {{master, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
            int r = ::poll(fds, 2, kWatchMs);
            if (r < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            if (r == 0) {
                watchLine(&lastBaud);
                continue;
            }
            if (fds[0].revents & POLLIN) {
                watchLine(&lastBaud);
                ssize_t n = ::read(master, buf, sizeof buf);
                if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
                if (n <= 0) return;
                std::vector<uint8_t> reply;
                {
                    std::lock_guard g(bench->mutex());
                    device->setHostBaud(hostBaud());
                    device->receiveAt(buf, size_t(n), realNowMs());
                    reply = device->takeOutput();
                }
                send(reply);
            } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                return;  // cannot happen while our slave descriptor is open
            }
        }
    }
};

PtyServer::PtyServer(std::shared_ptr<Bench> bench, SerialDevice& device) : impl_(std::make_unique<Impl>()) {
    impl_->bench = std::move(bench);
    impl_->device = &device;
}

PtyServer::~PtyServer() { stop(); }

bool PtyServer::start(std::string* error) {
    if (impl_->thread.joinable()) {
        if (error) *error = "the pty server is already running on " + impl_->slavePath;
        return false;
    }
    if (!impl_->open(error)) return false;
    // Read here, not on the server's thread: a host may change the speed before
    // that thread first looks.
    impl_->lastBaud = impl_->hostBaud();
    impl_->thread = std::thread([this] { impl_->run(); });
    return true;
}

void PtyServer::stop() {
    if (impl_->thread.joinable()) {
        uint8_t b = 1;
        (void)!::write(impl_->stopPipe[1], &b, 1);
        impl_->thread.join();
    }
    impl_->closeAll();
}

const std::string& PtyServer::slavePath() const { return impl_->slavePath; }

}  // namespace qvsim
