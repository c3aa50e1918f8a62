// The bench control server: plug and unplug over a Unix-domain socket, list,
// clock, untrusted requests, several clients, stop, QV_SIM_CONTROL, and the
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
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim_backend.h"
#include "platform/sim_control.h"
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
