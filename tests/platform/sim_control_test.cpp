// The bench control server: plug and unplug over a Unix-domain socket, list,
// clock, faults and fixed replies by packet prefix, the trace, profile keys at
// run time, untrusted requests, several clients, stop, QV_SIM_CONTROL, and the
// `qvsim control` tool against it.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim_backend.h"
#include "sim_control.h"
#include "qvsim.h"

namespace qvp {
namespace {

namespace fs = std::filesystem;

// Bounds a read that should return at once, so a fault fails the test instead of hanging it.
constexpr int kGuardMs = 5000;

class Client {
public:
    explicit Client(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        connected_ = fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~Client() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool connected() const { return connected_; }

    void send(const std::string& bytes) {
        ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    }
    // The next answer line without its "\n"; "<eof>" or "<no answer>" otherwise.
    std::string line() {
        for (;;) {
            if (auto nl = buf_.find('\n'); nl != std::string::npos) {
                std::string l = buf_.substr(0, nl);
                buf_.erase(0, nl + 1);
                return l;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, kGuardMs) != 1) return "<no answer>";
            char b[512];
            ssize_t n = ::recv(fd_, b, sizeof b, 0);
            if (n <= 0) return "<eof>";
            buf_.append(b, size_t(n));
        }
    }
    std::string request(const std::string& line) {
        send(line + "\n");
        return this->line();
    }
    // A "list" answer: its count line, then its device lines.
    std::vector<std::string> list() {
        std::vector<std::string> out;
        std::string head = request("list");
        out.push_back(head);
        if (head.rfind("ok ", 0) != 0) return out;
        const int n = std::atoi(head.c_str() + 3);
        for (int i = 0; i < n; ++i) out.push_back(line());
        return out;
    }
    void shutdownSending() { ::shutdown(fd_, SHUT_WR); }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::string buf_;
};

struct Recorded {
    bool arrival;
    std::string path;
};

class SimControl : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        bench_ = qvsim::loadProfile("current", &error);
        ASSERT_TRUE(bench_) << error;
        char pattern[] = "/tmp/qvctl-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        socket_ = dir_ + "/control.sock";
        token_ = bench_->watch([this](const qvsim::DeviceEvent& e) {
            std::lock_guard g(eventsMutex_);
            events_.push_back({e.arrival, e.path});
        });
        server_ = std::make_unique<SimControlServer>(bench_);
        ASSERT_TRUE(server_->start(socket_, &error)) << error;
    }
    void TearDown() override {
        server_.reset();
        if (bench_) bench_->unwatch(token_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::vector<Recorded> events() {
        std::lock_guard g(eventsMutex_);
        return events_;
    }
    qvsim::Controller& controller(const std::string& path = "/sim/hidraw0") {
        return bench_->hid(path)->controller();
    }
    // What the firmware answers a command now (nullopt: silence).
    std::optional<qvsim::Packet> firmware(const qvsim::Packet& p, const std::string& path = "/sim/hidraw0") {
        return controller(path).handle(p, qvsim::Link::Hid, bench_->clock().nowMs());
    }

    std::shared_ptr<qvsim::Bench> bench_;
    std::unique_ptr<SimControlServer> server_;
    std::string dir_, socket_;
    uint64_t token_ = 0;
    std::mutex eventsMutex_;
    std::vector<Recorded> events_;
};

TEST_F(SimControl, UnplugAndPlugChangeTheBenchBeforeTheAnswer) {
    Client c(socket_);
    ASSERT_TRUE(c.connected());
    ASSERT_NE(bench_->hid("/sim/hidraw0"), nullptr);

    EXPECT_EQ(c.request("unplug /sim/hidraw0"), "ok");
    // The answer comes after the bench call: the device is gone and the watcher heard it.
    EXPECT_EQ(bench_->hid("/sim/hidraw0"), nullptr);
    ASSERT_EQ(events().size(), 1u);
    EXPECT_FALSE(events()[0].arrival);
    EXPECT_EQ(events()[0].path, "/sim/hidraw0");
    EXPECT_EQ(c.list(), (std::vector<std::string>{"ok 1", "unplugged /sim/hidraw0"}));
    EXPECT_EQ(c.request("unplug /sim/hidraw0"), "error no device at /sim/hidraw0");

    EXPECT_EQ(c.request("plug /sim/hidraw0"), "ok");
    ASSERT_NE(bench_->hid("/sim/hidraw0"), nullptr);
    EXPECT_EQ(bench_->hid("/sim/hidraw0")->info().productId, 0x3501);  // the same device back
    ASSERT_EQ(events().size(), 2u);
    EXPECT_TRUE(events()[1].arrival);
    EXPECT_EQ(c.list(), (std::vector<std::string>{"ok 1", "plugged /sim/hidraw0"}));
    EXPECT_EQ(c.request("plug /sim/hidraw0"), "error /sim/hidraw0 is plugged in already");
    EXPECT_EQ(events().size(), 2u);
}

TEST_F(SimControl, ListFollowsDevicesPluggedInProcessAndClockIsVirtualTime) {
    Client c(socket_);
    qvsim::HidInfo info;
    info.path = "/sim/hidraw7";
    bench_->addHid(std::make_shared<qvsim::Controller>(), info);
    bench_->remove("/sim/hidraw0");
    EXPECT_EQ(c.list(), (std::vector<std::string>{"ok 2", "unplugged /sim/hidraw0", "plugged /sim/hidraw7"}));
    // A device unplugged from inside can be plugged back from outside.
    EXPECT_EQ(c.request("plug /sim/hidraw0"), "ok");
    EXPECT_NE(bench_->hid("/sim/hidraw0"), nullptr);

    bench_->clock().advance(5000000000ull);  // past 2^32: the full virtual time, no wrap
    EXPECT_EQ(c.request("clock"), "ok " + std::to_string(bench_->clock().nowMs()));
}

TEST_F(SimControl, MalformedRequestsAreAnsweredWithErrorAndChangeNothing) {
    Client c(socket_);
    const std::string longLine = "unplug /sim/hidraw0" + std::string(SimControlServer::kMaxLineBytes, ' ');
    struct Case {
        std::string line;
        std::string answer;  // "" : any "error ..." line
    } cases[] = {
        {"", "error empty request"},
        {"frobnicate /sim/hidraw0", "error unknown request 'frobnicate'"},
        {"UNPLUG /sim/hidraw0", ""},  // verbs are exact
        {"unplug", "error unplug needs a device path"},
        {"plug   ", "error plug needs a device path"},
        {"unplug /sim/nothing", "error no device at /sim/nothing"},
        {"plug /sim/nothing", "error nothing was unplugged at /sim/nothing"},
        {"list all", "error list takes no argument"},
        {"clock 5", "error clock takes no argument"},
        {std::string("unplug /sim/hidraw0\0", 20), "error request contains control bytes"},
        {"unplug /sim/hid\x1braw0", "error request contains control bytes"},
        {std::string(3, '\xff'), "error unknown request '\?\?\?'"},
        {longLine, "error request longer than 1024 bytes"},
    };
    for (const auto& k : cases) {
        std::string a = c.request(k.line);
        if (k.answer.empty())
            EXPECT_EQ(a.rfind("error ", 0), 0u) << a;
        else
            EXPECT_EQ(a, k.answer);
    }
    // Nothing was unplugged, nothing was heard, and the same connection still works
    // (the over-long line's rest was skipped, not taken as a request of its own).
    EXPECT_NE(bench_->hid("/sim/hidraw0"), nullptr);
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(c.request("clock\r"), "ok " + std::to_string(bench_->clock().nowMs()));
    // Requests sent in one piece are answered in order.
    c.send("unplug /sim/hidraw0\nbogus\nplug /sim/hidraw0\n");
    EXPECT_EQ(c.line(), "ok");
    EXPECT_EQ(c.line().rfind("error ", 0), 0u);
    EXPECT_EQ(c.line(), "ok");
}

TEST_F(SimControl, ClientsComeAndGoAndAPartialLineIsDropped) {
    {
        Client gone(socket_);
        ASSERT_TRUE(gone.connected());
        gone.send("unplug /sim/hidraw0");  // no line break: never a request
    }
    {
        // The answers to complete lines still reach a client that stopped sending.
        Client halfClosed(socket_);
        halfClosed.send("clock\nunplug /sim/hidr");
        halfClosed.shutdownSending();
        EXPECT_EQ(halfClosed.line().rfind("ok ", 0), 0u);
        EXPECT_EQ(halfClosed.line(), "<eof>");
    }
    Client idle(socket_);  // connected, sends nothing: others are served meanwhile
    ASSERT_TRUE(idle.connected());
    for (int i = 0; i < 3; ++i) {
        Client c(socket_);
        ASSERT_TRUE(c.connected());
        EXPECT_EQ(c.list(), (std::vector<std::string>{"ok 1", "plugged /sim/hidraw0"}));
    }
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(idle.request("unplug /sim/hidraw0"), "ok");
}

TEST_F(SimControl, StopWithAClientConnectedClosesItAndRemovesTheSocket) {
    Client c(socket_);
    ASSERT_EQ(c.request("clock").rfind("ok ", 0), 0u);
    c.send("unplug /sim/hid");  // in the middle of a line
    server_->stop();
    EXPECT_FALSE(server_->running());
    EXPECT_EQ(c.line(), "<eof>");
    EXPECT_FALSE(fs::exists(socket_));
    EXPECT_FALSE(Client(socket_).connected());
    EXPECT_NE(bench_->hid("/sim/hidraw0"), nullptr);
    server_->stop();  // twice is harmless

    // Started again on the same path, it serves again.
    std::string error;
    ASSERT_TRUE(server_->start(socket_, &error)) << error;
    EXPECT_EQ(Client(socket_).request("unplug /sim/hidraw0"), "ok");
}

TEST_F(SimControl, StartReplacesAStaleSocketButNoLiveOneOrOtherFile) {
    std::string error;
    SimControlServer second(bench_);
    EXPECT_FALSE(server_->start(socket_, &error));  // runs already
    // A socket another server still serves is not taken over.
    EXPECT_FALSE(second.start(socket_, &error));
    EXPECT_NE(error.find("served by another process"), std::string::npos) << error;
    EXPECT_EQ(Client(socket_).request("clock").rfind("ok ", 0), 0u);

    // A stale socket file (its server is gone) is replaced.
    const std::string stale = dir_ + "/stale.sock";
    {
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, stale.c_str(), sizeof addr.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
    }
    ASSERT_TRUE(second.start(stale, &error)) << error;
    EXPECT_EQ(Client(stale).request("clock").rfind("ok ", 0), 0u);
    second.stop();

    const std::string plain = dir_ + "/notes.txt";
    std::ofstream(plain) << "keep me";
    EXPECT_FALSE(second.start(plain, &error));
    EXPECT_NE(error.find("not a socket"), std::string::npos) << error;
    std::ifstream in(plain);
    std::string kept((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(kept, "keep me");

    EXPECT_FALSE(second.start(dir_ + "/" + std::string(200, 'x'), &error));
    EXPECT_FALSE(second.start(dir_ + "/no/such/folder/c.sock", &error));
    EXPECT_FALSE(second.running());
}

// Runs the built tool; its stdout and exit status.
std::pair<std::string, int> RunTool(const std::string& args) {
    const std::string cmd = std::string(QV_BINARY_DIR) + "/bin/qvsim control " + args + " 2>/dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return {"<popen failed>", -1};
    std::string out;
    char buf[256];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    int status = ::pclose(p);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

using Packet = qvsim::Packet;
using Reply = std::optional<Packet>;
Packet refused(const Packet& c) { return {0xAA, c[0], c[1], c[2], c[3]}; }

TEST_F(SimControl, FaultsAndFixedRepliesTakeTheCommandsTheirPrefixNames) {
    Client c(socket_);
    const Packet finger0 = {0xF6, 0x03, 0x80, 0x00, 0x05}, finger15 = {0xF6, 0x03, 0x8F, 0x00, 0x01},
                 fingerRead = {0xF6, 0x03, 0x10, 0x00, 0x00}, palm = {0xF6, 0x04, 0x80, 0x00, 0x05},
                 lock = {0xF6, 0x00, 0x9F, 0x00, 0x01}, flush = {0xF6, 0x00, 0x90, 0x00, 0x00},
                 version = {0xF6, 0x00, 0x10, 0x00, 0x00}, identity = {0xEE, 0x00, 0x00, 0x00, 0x00},
                 feature = {0xE0, 0x00, 0xF4, 0x00, 0x00}, state = {0xE0, 0x00, 0xF0, 0x00, 0x00};
    const std::vector<Packet> all = {finger0, finger15, fingerRead, palm, lock, flush, version, identity, feature, state};
    std::map<Packet, Reply> model;
    for (const Packet& p : all) model[p] = firmware(p);
    ASSERT_EQ(model[version], (Packet{0xF6, 0x00, 0x10, 0x01, 0x34})); // the firmware answers at all

    struct Step {
        const char* request;  // nullptr: only the commands
        std::map<Packet, Reply> differs;  // from the model's answer; every other command answers as the model
    } steps[] = {
        {"refuse /sim/hidraw0 F6038", {{finger0, refused(finger0)}, {finger15, refused(finger15)}}},
        {"silence /sim/hidraw0 F6009F", {{finger0, refused(finger0)}, {finger15, refused(finger15)}, {lock, std::nullopt}}},
        {"clear /sim/hidraw0", {}},
        // The most specific fault wins over a wider one, whatever the order set.
        {"refuse /sim/hidraw0 F600900000", {{flush, refused(flush)}}},
        {"silence /sim/hidraw0 F6",
         {{finger0, std::nullopt}, {finger15, std::nullopt}, {fingerRead, std::nullopt}, {palm, std::nullopt},
          {lock, std::nullopt}, {flush, refused(flush)}, {version, std::nullopt}}},
        {"clear /sim/hidraw0", {}},
        {"reply /sim/hidraw0 E000F4 E0 12 34 56 78", {{feature, Packet{0xE0, 0x12, 0x34, 0x56, 0x78}}}},
        {"reply /sim/hidraw0 E0 e0aabbccdd",
         {{feature, Packet{0xE0, 0x12, 0x34, 0x56, 0x78}}, {state, Packet{0xE0, 0xAA, 0xBB, 0xCC, 0xDD}}}},
        // Faults come before fixed replies.
        {"refuse /sim/hidraw0 E000F4",
         {{feature, refused(feature)}, {state, Packet{0xE0, 0xAA, 0xBB, 0xCC, 0xDD}}}},
        {"clear /sim/hidraw0", {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.request);
        EXPECT_EQ(c.request(step.request), "ok");
        for (const Packet& p : all) {
            const auto d = step.differs.find(p);
            EXPECT_EQ(firmware(p), d == step.differs.end() ? model[p] : d->second)
                << std::hex << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
        }
    }
}

TEST_F(SimControl, CountedFaultsEndAfterTheirCommands) {
    Client c(socket_);
    const Packet identity = {0xEE, 0x00, 0x00, 0x00, 0x00};
    const Reply model = firmware(identity);
    // The word after the prefix is the count, not a byte of the prefix.
    EXPECT_EQ(c.request("refuse /sim/hidraw0 EE 2"), "ok");
    EXPECT_EQ(firmware(identity), refused(identity));
    EXPECT_EQ(firmware({0xEE, 0x10, 0, 0, 0}), refused({0xEE, 0x10, 0, 0, 0}));
    EXPECT_EQ(firmware(identity), model);
    EXPECT_EQ(c.request("silence /sim/hidraw0 EE 10"), "ok");
    for (int i = 0; i < 10; ++i) EXPECT_EQ(firmware(identity), std::nullopt) << i;
    EXPECT_EQ(firmware(identity), model);
    // Set again, a prefix's fault replaces the one before.
    EXPECT_EQ(c.request("silence /sim/hidraw0 EE"), "ok");
    EXPECT_EQ(c.request("refuse /sim/hidraw0 EE 1"), "ok");
    EXPECT_EQ(firmware(identity), refused(identity));
    EXPECT_EQ(firmware(identity), model);
}

TEST_F(SimControl, TraceListsWhatTheControllerReceivedUntilCleared) {
    Client c(socket_);
    EXPECT_EQ(c.request("trace clear /sim/hidraw0"), "ok");
    EXPECT_EQ(c.request("trace /sim/hidraw0"), "ok 0");
    EXPECT_EQ(c.request("silence /sim/hidraw0 E0"), "ok");
    // Through the HID device, as a host sends: report id 1 and the packet.
    qvsim::HidDevice& hid = *bench_->hid("/sim/hidraw0");
    const uint8_t identity[6] = {1, 0xEE, 0x00, 0x00, 0x00, 0x00};
    const uint8_t feature[6] = {1, 0xE0, 0x00, 0xF4, 0x00, 0x00};
    ASSERT_EQ(hid.setFeature(identity, 6), qvsim::XferError::None);
    ASSERT_EQ(hid.setFeature(feature, 6), qvsim::XferError::None);  // silenced: still received
    firmware({0xF6, 0x03, 0x8A, 0xBC, 0x0D});
    EXPECT_EQ(c.request("clear /sim/hidraw0"), "ok");  // faults only: the trace stays
    c.send("trace /sim/hidraw0\n");
    EXPECT_EQ(c.line(), "ok 3");
    EXPECT_EQ(c.line(), "EE 00 00 00 00");
    EXPECT_EQ(c.line(), "E0 00 F4 00 00");
    EXPECT_EQ(c.line(), "F6 03 8A BC 0D");
    EXPECT_EQ(c.request("clock"), "ok " + std::to_string(bench_->clock().nowMs()));  // nothing more was sent

    EXPECT_EQ(RunTool(socket_ + " trace /sim/hidraw0"),
              std::make_pair(std::string("ok 3\nEE 00 00 00 00\nE0 00 F4 00 00\nF6 03 8A BC 0D\n"), 0));
    EXPECT_EQ(c.request("trace clear /sim/hidraw0"), "ok");
    EXPECT_EQ(c.request("trace /sim/hidraw0"), "ok 0");
    EXPECT_TRUE(controller().trace().empty());
}

TEST_F(SimControl, SetTakesProfileKeysOfARunningController) {
    Client c(socket_);
    struct Case {
        const char* request;
        Packet command;
        Packet reply;
    } cases[] = {
        {"set /sim/hidraw0 featureF4 0x12 0x34 0 1", {0xE0, 0x00, 0xF4, 0x00, 0x00}, {0xE0, 0x12, 0x34, 0x00, 0x01}},
        {"set /sim/hidraw0 FEATUREFC 1, 2, 3, 4", {0xE0, 0x00, 0xFC, 0x00, 0x00}, {0xE0, 0x01, 0x02, 0x03, 0x04}},
        {"set /sim/hidraw0 paraVersion 153", {0xF6, 0x00, 0x10, 0x00, 0x00}, {0xF6, 0x00, 0x10, 0x01, 0x35}},
        {"set /sim/hidraw0 item 1 0 8 3", {0xF6, 0x01, 0x10, 0x00, 0x00}, {0xF6, 0x01, 0x10, 0x08, 0x03}},
        {"set /sim/hidraw0 reg 0x00 0xF7 0 1 0 0", {0xE0, 0x00, 0xF7, 0x00, 0x00}, {0xE0, 0x00, 0x01, 0x00, 0x00}},
        {"set /sim/hidraw0 identity 0x1771", {0xEE, 0x00, 0x00, 0x00, 0x00}, {0xEE, 0x71, 0x17, 0x02, 0x01}},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(c.request(k.request), "ok") << k.request;
        EXPECT_EQ(firmware(k.command), Reply(k.reply)) << k.request;
    }
    EXPECT_EQ(c.request("set /sim/hidraw0 bulkData 1 2 3"), "ok");
    EXPECT_EQ(firmware({0xFA, 0x00, 0x55, 0x00, 0x00}).value()[0], 0xFA);  // arms the bulk transfer
    EXPECT_EQ(controller().takeBulk(8), (std::vector<uint8_t>{1, 2, 3}));

    // Refused keys and values change nothing.
    const qvsim::ControllerProfile before = controller().profile();
    const std::pair<const char*, const char*> refusals[] = {
        {"set /sim/hidraw0 featureF4 1 2 3", "error featureF4: expected 4 bytes, got 3"},
        {"set /sim/hidraw0 paraVersion 99999", "error paraVersion: '99999' is out of range (at most 25599)"},
        {"set /sim/hidraw0 series purple", "error series: unknown series 'purple' (current, ostra, melk)"},
        {"set /sim/hidraw0 flavour 1", "error unknown key 'flavour'"},
        {"set /sim/hidraw0 productId 0x1234",
         "error 'productId' describes the device, not the controller, and cannot be set while it runs"},
        {"set /sim/hidraw0 path /sim/elsewhere",
         "error 'path' describes the device, not the controller, and cannot be set while it runs"},
        {"set /sim/hidraw0 link serial",
         "error 'link' describes the device, not the controller, and cannot be set while it runs"},
        {"set /sim/hidraw0 featureF4", "error set needs PATH KEY VALUE"},
        {"set /sim/hidraw0", "error set needs PATH KEY VALUE"},
        {"set", "error set needs PATH KEY VALUE"},
        {"set /sim/nothing featureF4 0 0 0 0", "error no device at /sim/nothing"},
    };
    for (const auto& [request, answer] : refusals) EXPECT_EQ(c.request(request), answer);
    const qvsim::ControllerProfile& after = controller().profile();
    EXPECT_EQ(after.featureF4, before.featureF4);
    EXPECT_EQ(after.paraVersion, before.paraVersion);
    EXPECT_EQ(after.series, before.series);
    EXPECT_EQ(bench_->hid("/sim/hidraw0")->info().productId, 0x3501);
}

TEST_F(SimControl, ControllerRequestsWithBadArgumentsChangeNothing) {
    Client c(socket_);
    const Packet identity = {0xEE, 0x00, 0x00, 0x00, 0x00};
    const Reply model = firmware(identity);
    controller().clearTrace();
    const std::pair<const char*, const char*> cases[] = {
        {"refuse", "error refuse needs PATH PREFIX [N]"},
        {"silence /sim/hidraw0", "error silence needs PATH PREFIX [N]"},
        {"refuse /sim/nothing EE", "error no device at /sim/nothing"},
        {"refuse /sim/hidraw0 GE",
         "error bad packet prefix 'GE' (hex digits, two a byte, at most 5 bytes, an odd last digit the high nibble: "
         "F6, F6038, F6009F)"},
        {"refuse /sim/hidraw0 EE0000000000", ""},  // six bytes
        {"refuse /sim/hidraw0 0xEE", ""},
        {"refuse /sim/hidraw0 EE 0", "error bad count '0' (1 or more; none: until cleared)"},
        {"refuse /sim/hidraw0 EE -1", ""},
        {"silence /sim/hidraw0 EE 2x", ""},
        {"refuse /sim/hidraw0 EE 2 3", "error refuse needs PATH PREFIX [N]"},
        {"reply /sim/hidraw0 EE", "error reply needs PATH PREFIX BYTES"},
        {"reply /sim/hidraw0 EE EE 12 34", "error bad reply 'EE 12 34' (5 bytes in hex: F6 03 80 00 01)"},
        {"reply /sim/hidraw0 EE EE 1 23 45 67 8", ""},  // bytes split in the middle
        {"reply /sim/hidraw0 EE EE 12 34 56 78 9A", ""},
        {"clear", "error clear needs a device path"},
        {"clear /sim/hidraw0 now", "error clear takes nothing after the device path"},
        {"trace", "error trace needs a device path"},
        {"trace clear", "error trace clear needs a device path"},
        {"trace /sim/nothing", "error no device at /sim/nothing"},
        {"trace clear /sim/nothing", "error no device at /sim/nothing"},
    };
    for (const auto& [request, answer] : cases) {
        const std::string a = c.request(request);
        if (*answer)
            EXPECT_EQ(a, answer) << request;
        else
            EXPECT_EQ(a.rfind("error ", 0), 0u) << request << ": " << a;
    }
    EXPECT_EQ(firmware(identity), model);
    EXPECT_EQ(controller().trace().size(), 1u);  // no request cleared it

    // An unplugged device takes no requests; plugged back, its controller does.
    EXPECT_EQ(c.request("unplug /sim/hidraw0"), "ok");
    EXPECT_EQ(c.request("refuse /sim/hidraw0 EE"), "error no device at /sim/hidraw0");
    EXPECT_EQ(c.request("trace /sim/hidraw0"), "error no device at /sim/hidraw0");
    EXPECT_EQ(c.request("plug /sim/hidraw0"), "ok");
    EXPECT_EQ(c.request("refuse /sim/hidraw0 EE"), "ok");
    EXPECT_EQ(firmware(identity), refused(identity));
}

TEST_F(SimControl, ControllerPathsMayHoldBlanksAndTheLongestPathWins) {
    qvsim::HidInfo shortInfo, longInfo;
    shortInfo.path = "/sim/my";
    longInfo.path = "/sim/my panel";
    bench_->addHid(std::make_shared<qvsim::Controller>(), shortInfo);
    bench_->addHid(std::make_shared<qvsim::Controller>(), longInfo);
    Client c(socket_);
    const Packet identity = {0xEE, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(c.request("refuse /sim/my panel EE"), "ok");
    EXPECT_EQ(firmware(identity, "/sim/my panel"), refused(identity));
    EXPECT_NE(firmware(identity, "/sim/my"), refused(identity));
    EXPECT_EQ(c.request("silence /sim/my EE"), "ok");
    EXPECT_EQ(firmware(identity, "/sim/my"), std::nullopt);
    c.send("trace /sim/my panel\n");
    EXPECT_EQ(c.line(), "ok 1");
    EXPECT_EQ(c.line(), "EE 00 00 00 00");
    // "/sim/my pane" is "/sim/my" and a word after it, not a part of "/sim/my panel".
    EXPECT_EQ(c.request("trace /sim/my pane"), "error trace takes nothing after the device path");
}

TEST(SimControlEnvironment, QvSimControlServesTheSelectedBench) {
    char pattern[] = "/tmp/qvctl-env-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern, path = dir + "/env.sock";
    ::setenv("QV_SIM", "current", 1);
    ::setenv("QV_SIM_CONTROL", path.c_str(), 1);
    clearLastError();
    ASSERT_TRUE(selectFromEnvironment()) << lastError().text;
    EXPECT_EQ(lastError().kind, ErrorKind::None) << lastError().text;
    auto bench = simBench();
    ASSERT_TRUE(bench);
    EXPECT_EQ(Client(path).request("unplug /sim/hidraw0"), "ok");
    EXPECT_EQ(bench->hid("/sim/hidraw0"), nullptr);

    // A socket that cannot be made: the sim runs without it and the reason is kept.
    ::setenv("QV_SIM_CONTROL", (dir + "/missing/env.sock").c_str(), 1);
    EXPECT_TRUE(selectFromEnvironment());
    EXPECT_EQ(lastError().kind, ErrorKind::Other);
    EXPECT_EQ(lastError().text.rfind("QV_SIM_CONTROL: ", 0), 0u) << lastError().text;
    ASSERT_TRUE(simBench());
    EXPECT_NE(simBench(), bench);
    EXPECT_FALSE(Client(path).connected());  // the first bench's server was stopped

    ::unsetenv("QV_SIM");
    ::unsetenv("QV_SIM_CONTROL");
    EXPECT_TRUE(selectFromEnvironment());
    EXPECT_FALSE(simBench());
    std::error_code ec;
    fs::remove_all(dir, ec);
}

TEST_F(SimControl, QvsimControlToolSendsOneRequestAndReportsTheAnswer) {
    EXPECT_EQ(RunTool(socket_ + " unplug /sim/hidraw0"), std::make_pair(std::string("ok\n"), 0));
    EXPECT_EQ(bench_->hid("/sim/hidraw0"), nullptr);
    EXPECT_EQ(RunTool(socket_ + " list"), std::make_pair(std::string("ok 1\nunplugged /sim/hidraw0\n"), 0));
    EXPECT_EQ(RunTool(socket_ + " plug /sim/nothing"),
              std::make_pair(std::string("error nothing was unplugged at /sim/nothing\n"), 1));
    EXPECT_EQ(RunTool(socket_ + " plug /sim/hidraw0").second, 0);
    EXPECT_NE(bench_->hid("/sim/hidraw0"), nullptr);
    EXPECT_EQ(RunTool(dir_ + "/absent.sock clock"), std::make_pair(std::string(), 2));
    EXPECT_EQ(RunTool(socket_).second, 2);  // no request
}

}  // namespace
}  // namespace qvp
