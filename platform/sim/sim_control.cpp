// The bench control server: one thread, poll() over a wake-up pipe, the
// listening socket and the connected clients (non-blocking, with an input line
// buffer and an output buffer each).
#include "sim_control.h"

#include "qvsim_parse.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace qvp {

namespace {

// Output a client does not read piles up to this much; then its requests wait.
constexpr size_t kMaxPendingOutput = 64 * 1024;

std::string errnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// A text from the bench or from a client, fit for one answer line: control
// bytes (and with asciiOnly every byte above 0x7E) become '?'.
std::string printable(const std::string& s, size_t max = std::string::npos, bool asciiOnly = false) {
    std::string out;
    for (char c : s.substr(0, max)) {
        auto u = static_cast<unsigned char>(c);
        out += (u < 0x20 || u == 0x7F || (asciiOnly && u > 0x7E)) ? '?' : c;
    }
    if (s.size() > max) out += "...";
    return out;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A packet prefix as one word of hex digits, two a byte, at most five bytes; an
// odd last digit is the high nibble of the byte after ("F6038": F6 03 80..8F).
std::optional<qvsim::PacketPrefix> parsePrefix(const std::string& word) {
    if (word.empty() || word.size() > 10) return std::nullopt;
    qvsim::Packet bytes{}, mask{};
    for (size_t i = 0; i < word.size(); ++i) {
        const int d = hexDigit(word[i]);
        if (d < 0) return std::nullopt;
        const bool high = i % 2 == 0;
        bytes[i / 2] = uint8_t(bytes[i / 2] | (high ? d << 4 : d));
        mask[i / 2] = uint8_t(mask[i / 2] | (high ? 0xF0 : 0x0F));
    }
    return qvsim::PacketPrefix(bytes, mask);
}

// Five bytes in hex, with or without blanks between them ("F6 03 80 00 01",
// "F6038000 01"), each byte written whole ("F6 3 80 00 001" is no packet).
std::optional<qvsim::Packet> parsePacket(const std::string& text) {
    std::string digits;
    for (const auto& w : qvsim::splitWords(text)) {
        if (w.size() % 2) return std::nullopt;
        digits += w;
    }
    if (digits.size() != 10) return std::nullopt;
    qvsim::Packet p{};
    for (size_t i = 0; i < 10; i += 2) {
        const int hi = hexDigit(digits[i]), lo = hexDigit(digits[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        p[i / 2] = uint8_t(hi << 4 | lo);
    }
    return p;
}

std::string hexPacket(const qvsim::Packet& p) {
    char out[16];
    std::snprintf(out, sizeof out, "%02X %02X %02X %02X %02X", p[0], p[1], p[2], p[3], p[4]);
    return out;
}

// A count of 1 and more in decimal (no hex form), at most nine digits.
std::optional<int> parseCount(const std::string& word) {
    if (word.size() > 9 || word.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    const auto n = qvsim::parseNumber(word);
    if (!n || *n < 1) return std::nullopt;
    return int(*n);
}

const char kPrefixSyntax[] =
    "hex digits, two a byte, at most 5 bytes, an odd last digit the high nibble: F6, F6038, F6009F";

struct Client {
    int fd = -1;
    std::string in;       // the line received so far
    std::string out;      // answers not yet sent
    bool skipping = false;  // inside an over-long line: drop bytes up to the next line break
    bool closing = false;   // the client shut its side: close once out is sent
};

}  // namespace

struct SimControlServer::Impl {
    std::shared_ptr<qvsim::Bench> bench;
    std::string path;
    int listenFd = -1;
    int wake[2] = {-1, -1};
    dev_t socketDev = 0;
    ino_t socketIno = 0;
    std::thread thread;
    pid_t owner = 0;  // the process that started the thread
    uint64_t watchToken = 0;
    bool watching = false;

    // The device paths seen since start, in the order seen. Written by the
    // bench watcher on whatever thread plugs.
    mutable std::mutex seenMutex;
    std::vector<std::string> seen;

    void noteSeen(const std::string& p) {
        std::lock_guard g(seenMutex);
        for (auto& s : seen)
            if (s == p) return;
        seen.push_back(p);
    }

    std::set<std::string> presentPaths() {
        std::set<std::string> present;
        std::lock_guard g(bench->mutex());
        for (auto* d : bench->hidDevices()) present.insert(d->info().path);
        for (auto* d : bench->driverDevices()) present.insert(d->info().path);
        for (auto* d : bench->serialDevices()) present.insert(d->info().path);
        return present;
    }

    std::string listAnswer() {
        const auto present = presentPaths();
        for (auto& p : present) noteSeen(p);  // plugged by a thread whose event is still on its way
        std::vector<std::string> paths;
        {
            std::lock_guard g(seenMutex);
            paths = seen;
        }
        std::string out = "ok " + std::to_string(paths.size()) + "\n";
        for (auto& p : paths) out += (present.count(p) ? "plugged " : "unplugged ") + printable(p) + "\n";
        return out;
    }

    // The device that the arguments of a request start with: the longest path
    // of a device on the bench followed by a blank or the end of the line (so
    // paths may hold blanks), its controller and the text after it. Call with
    // the bench lock held; the controller stays valid while it is held.
    struct Target {
        qvsim::Controller* controller = nullptr;
        std::string path, rest;
    };
    Target target(const std::string& arg) {
        Target t;
        auto consider = [&](const std::string& path, qvsim::Controller& c) {
            if (path.empty() || path.size() <= t.path.size() || arg.compare(0, path.size(), path) != 0) return;
            if (arg.size() > path.size() && !isBlank(arg[path.size()])) return;
            t.controller = &c;
            t.path = path;
        };
        for (auto* d : bench->hidDevices()) consider(d->info().path, d->controller());
        for (auto* d : bench->driverDevices()) consider(d->info().path, d->controller());
        for (auto* d : bench->serialDevices()) consider(d->info().path, d->controller());
        if (t.controller) {
            const size_t begin = arg.find_first_not_of(" \t", t.path.size());
            if (begin != std::string::npos) t.rest = arg.substr(begin);
        }
        return t;
    }

    static std::string noDevice(const std::string& arg) {
        const auto w = qvsim::splitWords(arg);
        return "error no device at " + printable(w.empty() ? arg : w[0]) + "\n";
    }

    // refuse / silence PATH PREFIX [N]; reply PATH PREFIX BYTES.
    std::string faultAnswer(const std::string& verb, const std::string& arg) {
        const std::string usage = verb == "reply" ? "PATH PREFIX BYTES" : "PATH PREFIX [N]";
        if (arg.empty()) return "error " + verb + " needs " + usage + "\n";
        std::lock_guard g(bench->mutex());
        Target t = target(arg);
        if (!t.controller) return noDevice(arg);
        auto w = qvsim::splitWords(t.rest);
        if (w.empty() || (verb != "reply" && w.size() > 2) || (verb == "reply" && w.size() < 2))
            return "error " + verb + " needs " + usage + "\n";
        const auto prefix = parsePrefix(w[0]);
        if (!prefix) return "error bad packet prefix '" + printable(w[0], 32) + "' (" + kPrefixSyntax + ")\n";
        if (verb == "reply") {
            const std::string bytes = qvsim::afterFirstWord(t.rest);
            const auto reply = parsePacket(bytes);
            if (!reply) return "error bad reply '" + printable(bytes, 40) + "' (5 bytes in hex: F6 03 80 00 01)\n";
            t.controller->setReply(*prefix, *reply);
            return "ok\n";
        }
        int count = -1;
        if (w.size() == 2) {
            const auto n = parseCount(w[1]);
            if (!n) return "error bad count '" + printable(w[1], 32) + "' (1 or more; none: until cleared)\n";
            count = *n;
        }
        if (verb == "refuse") t.controller->refuse(*prefix, count);
        else t.controller->silence(*prefix, count);
        return "ok\n";
    }

    // clear PATH; trace PATH; trace clear PATH.
    std::string traceAnswer(const std::string& verb, const std::string& arg) {
        if (arg.empty()) return "error " + verb + " needs a device path\n";
        std::lock_guard g(bench->mutex());
        Target t = target(arg);
        std::string path = arg;
        const bool clearTrace = verb == "trace" && !t.controller && qvsim::splitWords(arg)[0] == "clear";
        if (clearTrace) {
            path = qvsim::afterFirstWord(arg);
            if (path.empty()) return "error trace clear needs a device path\n";
            t = target(path);
        }
        if (!t.controller) return noDevice(path);
        if (!t.rest.empty()) return "error " + verb + " takes nothing after the device path\n";
        if (verb == "clear") {
            t.controller->clearFaults();
            t.controller->clearReplies();
            return "ok\n";
        }
        if (clearTrace) {
            t.controller->clearTrace();
            return "ok\n";
        }
        const auto trace = t.controller->trace();
        std::string out = "ok " + std::to_string(trace.size()) + "\n";
        for (const auto& e : trace) out += hexPacket(e.packet) + "\n";
        return out;
    }

    // set PATH KEY VALUE.
    std::string setAnswer(const std::string& arg) {
        if (arg.empty()) return "error set needs PATH KEY VALUE\n";
        std::lock_guard g(bench->mutex());
        Target t = target(arg);
        if (!t.controller) return noDevice(arg);
        const auto w = qvsim::splitWords(t.rest);
        if (w.size() < 2) return "error set needs PATH KEY VALUE\n";
        const std::string value = qvsim::afterFirstWord(t.rest);
        std::string error;
        bool deviceKey = false;
        if (qvsim::setDeviceKey(*bench, t.path, w[0], value, &deviceKey, &error)) return "ok\n";
        if (deviceKey) return "error " + printable(error) + "\n";
        if (!qvsim::setControllerKey(*t.controller, w[0], value, &error)) return "error " + printable(error) + "\n";
        return "ok\n";
    }

    // The answer to one request line (without its line break).
    std::string answer(const std::string& line) {
        if (line.empty()) return "error empty request\n";
        for (char c : line) {
            auto u = static_cast<unsigned char>(c);
            if ((u < 0x20 && c != '\t') || u == 0x7F) return "error request contains control bytes\n";
        }
        const size_t sp = line.find_first_of(" \t");
        const std::string verb = line.substr(0, sp);
        std::string arg;
        if (sp != std::string::npos) {
            const size_t begin = line.find_first_not_of(" \t", sp);
            if (begin != std::string::npos) arg = line.substr(begin);
        }
        if (verb == "unplug" || verb == "plug") {
            if (arg.empty()) return "error " + verb + " needs a device path\n";
            if (verb == "unplug") {
                if (!bench->remove(arg)) return "error no device at " + printable(arg) + "\n";
                return "ok\n";
            }
            if (bench->replug(arg)) return "ok\n";
            if (presentPaths().count(arg)) return "error " + printable(arg) + " is plugged in already\n";
            return "error nothing was unplugged at " + printable(arg) + "\n";
        }
        if (verb == "refuse" || verb == "silence" || verb == "reply") return faultAnswer(verb, arg);
        if (verb == "clear" || verb == "trace") return traceAnswer(verb, arg);
        if (verb == "set") return setAnswer(arg);
        if (verb == "list" || verb == "clock") {
            if (!arg.empty()) return "error " + verb + " takes no argument\n";
            if (verb == "list") return listAnswer();
            return "ok " + std::to_string(bench->clock().nowMs()) + "\n";
        }
        return "error unknown request '" + printable(verb, 32, true) + "'\n";
    }

    // Takes received bytes into the client's line; answers every complete line.
    void receive(Client& c, const char* data, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const char ch = data[i];
            if (ch == '\n') {
                if (c.skipping) {
                    c.skipping = false;
                } else {
                    if (!c.in.empty() && c.in.back() == '\r') c.in.pop_back();
                    c.out += answer(c.in);
                }
                c.in.clear();
            } else if (!c.skipping) {
                c.in += ch;
                if (c.in.size() > kMaxLineBytes) {
                    c.out += "error request longer than " + std::to_string(kMaxLineBytes) + " bytes\n";
                    c.in.clear();
                    c.skipping = true;
                }
            }
        }
    }

    // false: the client is gone.
    bool readFrom(Client& c) {
        char buf[512];
        for (;;) {
            ssize_t n = ::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                receive(c, buf, size_t(n));
                if (c.out.size() >= kMaxPendingOutput) return true;
                continue;
            }
            if (n == 0) {
                // End of its requests: a partial line is dropped unanswered.
                c.in.clear();
                c.closing = true;
                return !c.out.empty();
            }
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
    }

    bool writeTo(Client& c) {
        while (!c.out.empty()) {
            ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                c.out.erase(0, size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
            return false;
        }
        return !c.closing;
    }

    void run() {
        std::vector<Client> clients;
        for (;;) {
            std::vector<pollfd> fds;
            fds.push_back({wake[0], POLLIN, 0});
            const bool accepting = int(clients.size()) < kMaxClients;
            fds.push_back({accepting ? listenFd : -1, POLLIN, 0});
            for (auto& c : clients) {
                short ev = 0;
                if (!c.closing && c.out.size() < kMaxPendingOutput) ev |= POLLIN;
                if (!c.out.empty()) ev |= POLLOUT;
                fds.push_back({c.fd, ev, 0});
            }
            if (::poll(fds.data(), fds.size(), -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (fds[0].revents) break;  // stop()

            std::vector<bool> keep(clients.size(), true);
            for (size_t i = 0; i < clients.size(); ++i) {
                const short re = fds[i + 2].revents;
                if (!re) continue;
                Client& c = clients[i];
                if (re & POLLNVAL) {
                    keep[i] = false;
                    continue;
                }
                if (re & (POLLIN | POLLHUP | POLLERR)) keep[i] = readFrom(c);
                if (keep[i] && !c.out.empty()) keep[i] = writeTo(c);
                // POLLHUP with nothing readable and nothing to send: gone.
                if (keep[i] && c.closing && c.out.empty()) keep[i] = false;
            }
            for (size_t i = clients.size(); i-- > 0;) {
                if (keep[i]) continue;
                ::close(clients[i].fd);
                clients.erase(clients.begin() + long(i));
            }
            if (accepting && (fds[1].revents & POLLIN)) {
                int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd >= 0) {
                    clients.emplace_back();
                    clients.back().fd = fd;
                }
            }
        }
        for (auto& c : clients) ::close(c.fd);
    }

    void closeFds() {
        for (int* fd : {&listenFd, &wake[0], &wake[1]}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
    }

    bool listen(std::string* error) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (path.empty() || path.size() >= sizeof addr.sun_path) {
            *error = "control socket path must have 1 to " + std::to_string(sizeof addr.sun_path - 1) +
                     " bytes: \"" + printable(path, 200) + "\"";
            return false;
        }
        std::memcpy(addr.sun_path, path.data(), path.size());
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) {
            if (!S_ISSOCK(st.st_mode)) {
                *error = "control socket path " + path + " exists and is not a socket";
                return false;
            }
            // A socket someone still serves (another process that inherited the
            // same QV_SIM_CONTROL) is theirs; only a stale one is replaced.
            const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const bool served = probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
            if (probe >= 0) ::close(probe);
            if (served) {
                *error = "control socket " + path + " is served by another process";
                return false;
            }
            if (::unlink(path.c_str()) != 0) {
                *error = errnoText(("cannot replace " + path).c_str());
                return false;
            }
        }
        if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
            *error = errnoText("pipe2");
            return false;
        }
        listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listenFd < 0) {
            *error = errnoText("socket");
            return false;
        }
        if (::bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            *error = errnoText(("cannot bind " + path).c_str());
            return false;
        }
        if (::lstat(path.c_str(), &st) == 0) {
            socketDev = st.st_dev;
            socketIno = st.st_ino;
        }
        if (::listen(listenFd, kMaxClients) != 0) {
            *error = errnoText(("cannot listen on " + path).c_str());
            unlinkOwnSocket();
            return false;
        }
        return true;
    }

    // Removes the socket file unless someone replaced it in the meantime.
    void unlinkOwnSocket() {
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && st.st_dev == socketDev && st.st_ino == socketIno)
            ::unlink(path.c_str());
        socketIno = 0;
    }
};

SimControlServer::SimControlServer(std::shared_ptr<qvsim::Bench> bench) : impl_(std::make_unique<Impl>()) {
    impl_->bench = bench ? std::move(bench) : std::make_shared<qvsim::Bench>();
}

SimControlServer::~SimControlServer() { stop(); }

bool SimControlServer::start(const std::string& socketPath, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    Impl& s = *impl_;
    if (s.thread.joinable()) {
        *error = "the control server runs already on " + s.path;
        return false;
    }
    s.path = socketPath;
    if (!s.listen(error)) {
        s.closeFds();
        return false;
    }
    // Watch first, then take the present devices: an event in between is seen twice, harmlessly.
    s.watchToken = s.bench->watch([impl = impl_.get()](const qvsim::DeviceEvent& e) { impl->noteSeen(e.path); });
    s.watching = true;
    for (auto* d : s.bench->hidDevices()) s.noteSeen(d->info().path);
    for (auto* d : s.bench->driverDevices()) s.noteSeen(d->info().path);
    for (auto* d : s.bench->serialDevices()) s.noteSeen(d->info().path);
    s.owner = ::getpid();
    try {
        s.thread = std::thread([&s] { s.run(); });
    } catch (const std::exception& e) {
        *error = std::string("cannot start the control thread: ") + e.what();
        stop();
        return false;
    }
    return true;
}

void SimControlServer::stop() {
    Impl& s = *impl_;
    if (s.thread.joinable() && s.owner != ::getpid()) {
        // A forked child that exits: the thread and the socket belong to the parent,
        // which the shared wake-up pipe and the socket file must not disturb.
        new std::thread(std::move(s.thread));  // not joinable here, never destroyed
        return;
    }
    if (s.thread.joinable()) {
        char b = 1;
        while (::write(s.wake[1], &b, 1) < 0 && errno == EINTR) {
        }
        s.thread.join();
    }
    if (s.watching) {
        s.bench->unwatch(s.watchToken);
        s.watching = false;
    }
    if (s.listenFd >= 0 && s.socketIno) s.unlinkOwnSocket();
    s.closeFds();
    std::lock_guard g(s.seenMutex);
    s.seen.clear();
}

bool SimControlServer::running() const { return impl_->thread.joinable(); }

const std::string& SimControlServer::socketPath() const { return impl_->path; }

namespace {

// The server QV_SIM_CONTROL starts. A function-local static: the library's load
// step creates it, so it is destroyed (the server stopped and joined) after the
// library's unload step, when the process ends.
struct EnvironmentControl {
    std::mutex mutex;
    std::unique_ptr<SimControlServer> server;
};

EnvironmentControl& environmentControl() {
    static EnvironmentControl control;
    return control;
}

}  // namespace

bool controlSimBench(std::shared_ptr<qvsim::Bench> bench, const std::string& socketPath, std::string* error) {
    EnvironmentControl& control = environmentControl();
    std::lock_guard g(control.mutex);
    control.server.reset();
    if (!bench || socketPath.empty()) return true;
    auto server = std::make_unique<SimControlServer>(std::move(bench));
    if (!server->start(socketPath, error)) return false;
    control.server = std::move(server);
    return true;
}

}  // namespace qvp
