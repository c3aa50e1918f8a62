// The digitizer's raw reports on Linux: every hidraw node whose report
// descriptor has a Digitizer / Touch Screen application collection is read;
// udev's add and remove events for hidraw reopen the nodes and empty the
// per-device caches.
#pragma once

#include "touch_decoder.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace qvdraw {

// Whether the descriptor opens an application collection of usage page 0x0D, usage 0x04.
bool isTouchScreenDescriptor(std::span<const uint8_t> descriptor);

struct DeviceIdentity {
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::vector<uint8_t> descriptor;
};
// Reads a node's identity and descriptor; nullopt with `error` set on failure
// (a text that names the node).
using DeviceQuery = std::function<std::optional<DeviceIdentity>(const std::string& node, std::string* error)>;
// The hidraw ioctls (HIDIOCGRAWINFO, HIDIOCGRDESC) on the node open as fd;
// errors as "ioctl (HIDIOCGRDESC) <node>: <strerror>".
std::optional<DeviceIdentity> queryHidrawDevice(int fd, const std::string& node, std::string* error);

// Report decoding with the device caches: the logical range (kept at 2047 when
// the descriptor gives none) and the report kind, each asked once per device.
class TouchReportProcessor {
public:
    explicit TouchReportProcessor(DeviceQuery query) : query_(std::move(query)) {}

    struct Decoded {
        Report report;
        int32_t maximum = kDefaultLogicalMax;
    };
    Decoded process(const std::string& node, std::span<const uint8_t> report);
    // Any device arrived or left.
    void devicesChanged() { caches_.clear(); }
    const DeviceCaches& caches() const { return caches_; }
    // Why the last range or kind look-up failed, with the node; empty otherwise.
    const std::string& lastError() const { return error_; }

private:
    int32_t logicalRange(const std::string& node);
    ReportKind reportKind(const std::string& node);
    std::optional<DeviceIdentity> identity(const std::string& node);

    DeviceQuery query_;
    DeviceCaches caches_;
    std::string error_;
};

// Reads the touch screens' hidraw nodes and follows udev's hidraw events.
class HidrawReader : public QObject {
    Q_OBJECT
public:
    explicit HidrawReader(QObject* parent = nullptr);
    ~HidrawReader() override;

    // Opens every touch-screen node under `folder` (normally /dev) and starts
    // the udev monitor; returns how many nodes are open.
    int start(const QString& folder = QStringLiteral("/dev"));
    int openCount() const { return int(nodes_.size()); }
    TouchReportProcessor& processor() { return processor_; }
    // Why nodes or the udev monitor could not be opened, one line each.
    const QStringList& errors() const { return errors_; }

signals:
    void reportDecoded(const qvdraw::Report& report, int maximum);
    void devicesChanged();

private:
    struct Node {
        int fd = -1;
        QSocketNotifier* notifier = nullptr;
    };
    void openNodes();
    void closeNodes();
    void readNode(const std::string& node);
    void udevEvent();

    QString folder_;
    std::map<std::string, Node> nodes_;
    std::map<std::string, int> fds_; // node -> fd, for the device query
    TouchReportProcessor processor_;
    QStringList errors_;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    QSocketNotifier* monitorNotifier_ = nullptr;
};

} // namespace qvdraw
