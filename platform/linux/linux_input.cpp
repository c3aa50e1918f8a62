// The touch input of the linux backend: the input reports of the maker's
// touch-screen hidraw nodes, read with poll() beside an eventfd (the wake-up)
// and a udev monitor of hidraw nodes.
#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>

#include "linux_backend.h"

namespace qvp::linuxdev {

namespace {

constexpr uint16_t kMakerVendor = 0x2E7B;
// hidraw hands out one report per read; no report is longer than this.
constexpr size_t kMaxReport = 16384 + 1;

class LinuxInputSource final : public InputReportSource {
public:
    LinuxInputSource(std::string sysfsRoot, std::string devRoot, int wakeFd)
        : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)), wakeFd_(wakeFd) {
        // Without a monitor the nodes found now are all the source reads.
        udev_ = udev_new();
        if (udev_) monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        if (monitor_ && (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
                         udev_monitor_enable_receiving(monitor_) < 0 || udev_monitor_get_fd(monitor_) < 0)) {
            udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
        rescan();
    }

    ~LinuxInputSource() override {
        closeNodes();
        if (monitor_) udev_monitor_unref(monitor_);
        if (udev_) udev_unref(udev_);
        ::close(wakeFd_);
    }

    WaitEnd next(std::vector<InputReport>* reports, bool* nodesChanged) override {
        reports->clear();
        *nodesChanged = changed_;
        changed_ = false;
        std::vector<uint8_t> buffer(kMaxReport);
        for (;;) {
            std::vector<pollfd> fds;
            std::vector<std::string> paths;
            fds.push_back({wakeFd_, POLLIN, 0});
            if (monitor_) fds.push_back({udev_monitor_get_fd(monitor_), POLLIN, 0});
            const size_t firstNode = fds.size();
            {
                std::lock_guard lock(mutex_);
                for (const auto& [path, n] : nodes_) {
                    fds.push_back({n.fd, POLLIN, 0});
                    paths.push_back(path);
                }
            }
            if (*nodesChanged) return WaitEnd::Done;
            // A node that udev announced may not be readable yet (its attributes or
            // permissions come a moment later): looked at again for a while. The
            // time is kept apart from poll(), which may keep reporting nodes ready.
            int timeout = -1;
            if (retries_ > 0)
                timeout = int(std::max<int64_t>(
                    0, std::chrono::duration_cast<std::chrono::milliseconds>(nextRetry_ - Steady::now()).count()));
            const int r = ::poll(fds.data(), fds.size(), timeout);
            if (r < 0) {
                if (errno == EINTR) continue;
                setLastError(ErrorKind::Other, std::string("touch input: poll: ") + std::strerror(errno));
                return WaitEnd::Failed;
            }
            if (fds[0].revents) return WaitEnd::Woken;
            // The nodes first: their descriptors are the ones just polled, which a
            // rescan below closes.
            for (size_t i = firstNode; i < fds.size(); ++i) {
                if (!fds[i].revents) continue;
                const std::string& path = paths[i - firstNode];
                const ssize_t n = (fds[i].revents & POLLIN) ? ::read(fds[i].fd, buffer.data(), buffer.size()) : -1;
                if (n > 0) {
                    InputReport report;
                    report.path = path;
                    bool ids = true;
                    {
                        std::lock_guard lock(mutex_);
                        auto it = nodes_.find(path);
                        if (it != nodes_.end()) ids = it->second.facts.usesReportIds;
                    }
                    // Without report ids the node's reports start with their data:
                    // a 0 in front keeps every packet at its offset.
                    if (!ids) report.bytes.push_back(0);
                    report.bytes.insert(report.bytes.end(), buffer.begin(), buffer.begin() + n);
                    reports->push_back(std::move(report));
                } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                    continue;
                } else {
                    // The node went away (ENODEV, hang-up): it is read no more, and
                    // the nodes are looked at again soon (it may be back already).
                    dropNode(path, fds[i].fd);
                    *nodesChanged = true;
                    armRetries();
                }
            }
            if (monitor_ && fds[1].revents & POLLIN) {
                // Drain the events; any hidraw add or remove makes the node set read again.
                while (udev_device* dev = udev_monitor_receive_device(monitor_)) udev_device_unref(dev);
                rescan(true);
                *nodesChanged = true;
            } else if (retries_ > 0 && Steady::now() >= nextRetry_) {
                --retries_;
                nextRetry_ = Steady::now() + std::chrono::milliseconds(kRetryMs);
                if (rescan()) *nodesChanged = true;
            }
            if (!reports->empty() || *nodesChanged) return WaitEnd::Done;
        }
    }

    void wake() override {
        const uint64_t one = 1;
        while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

    bool node(const std::string& path, InputNode* out) override {
        std::lock_guard lock(mutex_);
        auto it = nodes_.find(path);
        if (it == nodes_.end() || !out) {
            setLastError(ErrorKind::NotFound, "input node " + path + ": not read by the touch input");
            return false;
        }
        *out = it->second.facts;
        return true;
    }

private:
    struct Node {
        int fd = -1;
        InputNode facts;
    };

    // Opens every maker's touch-screen node not open yet and closes those gone;
    // true when the set of open nodes changed. A node whose facts cannot be read
    // or that cannot be opened yet makes the source look again later.
    // reopen: a node whose facts changed is opened afresh (after a udev event a
    // node name may stand for another device); one whose facts are the same
    // keeps its descriptor and the reports waiting in it (hidraw buffers them
    // per open file). A device unplugged and plugged in again under the same
    // name fails its old descriptor's reads, which drops it and looks again.
    static bool sameNode(const InputNode& a, const InputNode& b) {
        return a.path == b.path && a.vendorId == b.vendorId && a.productId == b.productId &&
               a.touchScreen == b.touchScreen && a.usesReportIds == b.usesReportIds &&
               a.hasFeatureReport == b.hasFeatureReport && a.hasParent == b.hasParent &&
               a.parentInstanceId == b.parentInstanceId;
    }

    bool rescan(bool reopen = false) {
        std::vector<std::string> names;
        listHidrawNodes(sysfsRoot_, &names);
        std::map<std::string, Node> now;
        bool unsettled = false, changed = false;
        for (const auto& name : names) {
            InputNode facts;
            if (!readInputNode(sysfsRoot_, devRoot_, name, &facts)) {
                unsettled = true;
                continue;
            }
            if (facts.vendorId != kMakerVendor || !facts.touchScreen) continue;
            std::lock_guard lock(mutex_);
            auto it = nodes_.find(facts.path);
            if (it != nodes_.end() && (!reopen || sameNode(it->second.facts, facts))) {
                now[facts.path] = it->second;
                nodes_.erase(it);
                now[facts.path].facts = facts;
                continue;
            }
            const int fd = ::open(facts.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) {
                unsettled = true;  // no permission yet, or gone again
                continue;
            }
            now[facts.path] = Node{fd, facts};
            changed = true;
        }
        std::lock_guard lock(mutex_);
        // What is left of the old set is gone now.
        if (!nodes_.empty()) changed = true;
        for (auto& [path, n] : nodes_) ::close(n.fd);
        nodes_ = std::move(now);
        changed_ = changed_ || changed;
        if (unsettled) armRetries();
        else retries_ = 0;
        return changed;
    }

    // Drops the node at path when fd is still its descriptor.
    void dropNode(const std::string& path, int fd) {
        std::lock_guard lock(mutex_);
        auto it = nodes_.find(path);
        if (it == nodes_.end() || it->second.fd != fd) return;
        ::close(it->second.fd);
        nodes_.erase(it);
    }

    void closeNodes() {
        std::lock_guard lock(mutex_);
        for (auto& [path, n] : nodes_) ::close(n.fd);
        nodes_.clear();
    }

    const std::string sysfsRoot_, devRoot_;
    const int wakeFd_;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    std::mutex mutex_;  // nodes_ (node() is called from the reading thread and others)
    std::map<std::string, Node> nodes_;
    bool changed_ = false;  // the node set changed since the last next(); only the reading thread
    using Steady = std::chrono::steady_clock;
    static constexpr int kRetryMs = 50, kRetries = 40;
    int retries_ = 0;  // looks still due at nodes not readable yet; only the reading thread
    Steady::time_point nextRetry_;

    void armRetries() {
        if (retries_ > 0) return;
        retries_ = kRetries;
        nextRetry_ = Steady::now() + std::chrono::milliseconds(kRetryMs);
    }
};

}  // namespace

std::unique_ptr<InputReportSource> openLinuxInputReports(const std::string& sysfsRoot, const std::string& devRoot) {
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        setLastError(ErrorKind::Other, std::string("touch input: eventfd: ") + std::strerror(errno));
        return nullptr;
    }
    return std::make_unique<LinuxInputSource>(sysfsRoot, devRoot, wakeFd);
}

}  // namespace qvp::linuxdev
