#include "hidraw_input.h"

#include "hid/report_descriptor.h"
#include "hidraw/hidraw_ioctl.h"

#include <QDir>
#include <QSocketNotifier>

#include <libudev.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qvdraw {

bool isTouchScreenDescriptor(std::span<const uint8_t> d) {
    // A descriptor that cannot be read through is no touch screen to trust.
    const auto info = qvhid::parseDescriptor(d, nullptr);
    return info && info->hasTouchScreen();
}

std::optional<DeviceIdentity> queryHidrawDevice(int fd, const std::string& node, std::string* error) {
    DeviceIdentity id;
    qvhidraw::RawInfo info;
    qvhidraw::Failure why;
    if (!qvhidraw::readRawInfo(fd, node, &info, &why) || !qvhidraw::readReportDescriptor(fd, node, &id.descriptor, &why)) {
        if (error) *error = why.text;
        return std::nullopt;
    }
    id.vendor = info.vendor;
    id.product = info.product;
    return id;
}

std::optional<DeviceIdentity> TouchReportProcessor::identity(const std::string& node) {
    std::string why;
    auto id = query_ ? query_(node, &why) : std::nullopt;
    if (!id) error_ = why.empty() ? node + ": no device query" : why;
    return id;
}

int32_t TouchReportProcessor::logicalRange(const std::string& node) {
    if (auto cached = caches_.logicalRange(node)) return *cached;
    auto id = identity(node);
    if (!id) return kDefaultLogicalMax;
    LogicalRange range = logicalRangeFromDescriptor(id->descriptor);
    if (!range.maximum) {
        error_ = node + ": " + range.error;
        return kDefaultLogicalMax;
    }
    caches_.storeLogicalRange(node, *range.maximum);
    return *range.maximum;
}

ReportKind TouchReportProcessor::reportKind(const std::string& node) {
    if (auto cached = caches_.reportKind(node)) return *cached;
    auto id = identity(node);
    if (!id) return ReportKind::Plain;
    ReportKind kind = reportKindFor(id->vendor, id->product);
    caches_.storeReportKind(node, kind);
    return kind;
}

TouchReportProcessor::Decoded TouchReportProcessor::process(const std::string& node, std::span<const uint8_t> bytes) {
    Decoded out;
    const int32_t logical = logicalRange(node);
    out.report = decodeReport(bytes);
    out.maximum = reportMaximum(reportKind(node), out.report.reportId, out.report.slotCount, logical);
    return out;
}

HidrawReader::HidrawReader(QObject* parent)
    : QObject(parent), processor_([this](const std::string& node, std::string* error) -> std::optional<DeviceIdentity> {
          auto it = fds_.find(node);
          if (it == fds_.end()) {
              if (error) *error = node + ": the node is not open";
              return std::nullopt;
          }
          return queryHidrawDevice(it->second, node, error);
      }) {}

HidrawReader::~HidrawReader() {
    closeNodes();
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
}

int HidrawReader::start(const QString& folder) {
    folder_ = folder;
    errors_.clear();
    openNodes();
    udev_ = udev_new();
    if (udev_) monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ && udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) == 0 &&
        udev_monitor_enable_receiving(monitor_) == 0) {
        monitorNotifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read, this);
        connect(monitorNotifier_, &QSocketNotifier::activated, this, &HidrawReader::udevEvent);
    } else {
        errors_ << QStringLiteral("udev monitor for hidraw unavailable: device arrival and removal are not followed");
    }
    return openCount();
}

void HidrawReader::openNodes() {
    const QStringList names = QDir(folder_).entryList({QStringLiteral("hidraw*")}, QDir::System | QDir::Files);
    for (const QString& name : names) {
        const std::string node = QDir(folder_).filePath(name).toStdString();
        int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            errors_ << QStringLiteral("%1: %2").arg(QString::fromStdString(node), QString::fromLocal8Bit(std::strerror(errno)));
            continue;
        }
        std::string why;
        auto id = queryHidrawDevice(fd, node, &why);
        if (!id || !isTouchScreenDescriptor(id->descriptor)) {
            if (!id) errors_ << QString::fromStdString(why);
            ::close(fd);
            continue;
        }
        Node n;
        n.fd = fd;
        n.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(n.notifier, &QSocketNotifier::activated, this, [this, node] { readNode(node); });
        nodes_[node] = n;
        fds_[node] = fd;
    }
}

void HidrawReader::closeNodes() {
    for (auto& [node, n] : nodes_) {
        delete n.notifier;
        ::close(n.fd);
    }
    nodes_.clear();
    fds_.clear();
}

void HidrawReader::readNode(const std::string& node) {
    auto it = nodes_.find(node);
    if (it == nodes_.end()) return;
    uint8_t buffer[4096];
    for (;;) {
        ssize_t n = ::read(it->second.fd, buffer, sizeof buffer);
        if (n > 0) {
            auto decoded = processor_.process(node, std::span<const uint8_t>(buffer, size_t(n)));
            emit reportDecoded(decoded.report, decoded.maximum);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            // The device went away; udev's remove event reopens the rest.
            it->second.notifier->setEnabled(false);
        }
        return;
    }
}

void HidrawReader::udevEvent() {
    if (udev_device* dev = udev_monitor_receive_device(monitor_)) udev_device_unref(dev);
    processor_.devicesChanged();
    closeNodes();
    openNodes();
    emit devicesChanged();
}

} // namespace qvdraw
