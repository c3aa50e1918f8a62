// Windows of the program family found by title across processes. Each top-level
// window registers its title on a per-user local socket; another process (or a
// thread of this one) finds it by title and sends it a window message, waiting
// for the handler's result, or posts one. This carries the single-instance
// activation, the messages to the resident application and the production-line
// window, and the messages (such as timer ticks) nothing inside the program sends.
//
// A message from another process reaches the window only when the window's
// table of remote messages lists it, with each parameter carried as the table
// says. A parameter that points into the sender's memory (a record, a callback)
// means nothing in this process, so messages with one are never listed: from
// another process they are refused as an unknown number is. A thread of the same
// process goes through the same check; only the window's own thread calls it directly.
//
// Titles match case-insensitively, as window titles are searched. One title
// names one window per user: a second registration of a title that a live window
// holds fails (a lock file beside the socket tells), a socket and lock left
// behind by a crashed process are taken over.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "ui/window_frame.h"

#include <memory>
#include <optional>
#include <span>
#include <vector>

class QLocalServer;
class QLockFile;
class QLocalSocket;
class QWidget;

namespace qvui {

constexpr int kDefaultSendTimeoutMs = 5000;

// The local socket for a title: "<folder>/qvwin-<uid>-<readable part>-<hash of
// the case-folded title>", the folder being $XDG_RUNTIME_DIR when set, else the
// temporary folder; its lock file is the same path with ".lock".
QString windowSocketPath(const QString& title);

// How a parameter of a message from another process is carried: as the number
// sent, or not at all (the window sees 0).
enum class Carried : uint8_t { Unused, Value };

// One message a window takes from other processes.
struct RemoteMessage {
    quint32 message;
    Carried wParam;
    Carried lParam;
};

// What a request from another process becomes at a window that takes `accepted`:
// the request to deliver, its unused parameters made 0, or nothing when the
// window does not take that message from other processes.
std::optional<WindowRequest> admitRequest(const WindowRequest& request, std::span<const RemoteMessage> accepted);

class NamedWindow : public QObject {
    Q_OBJECT
public:
    // Registers the window's current title and follows its title changes; lives
    // as the window's child. An empty title registers nothing. `accepted` lists
    // the messages the window takes from other processes.
    NamedWindow(QWidget* window, std::span<const RemoteMessage> accepted);
    ~NamedWindow() override;

    bool isRegistered() const;
    QString title() const { return title_; }
    // Why the last registration failed; empty when it succeeded.
    QString errorString() const { return error_; }

private:
    bool registerTitle(const QString& title);
    void unregister();
    void acceptConnections();
    void serve(QLocalSocket* socket);

    QPointer<QWidget> window_;
    std::vector<RemoteMessage> accepted_;
    QLocalServer* server_ = nullptr;
    std::unique_ptr<QLockFile> lock_;
    QString title_;
    QString error_;
};

struct WindowSendResult {
    bool ok = false;
    qint64 result = 0; // the handler's result of a synchronous send
    QString error;     // why it failed, with the title
};

// Whether a window with that title is registered and answering.
bool findWindow(const QString& title);
// Delivers the message and waits (at most timeoutMs) for the handler's result.
WindowSendResult sendWindowMessage(const QString& title, quint32 message, quint64 wParam, qint64 lParam,
                                   int timeoutMs = kDefaultSendTimeoutMs);
// Queues the message at the window; waits (at most timeoutMs) only until it is queued.
WindowSendResult postWindowMessage(const QString& title, quint32 message, quint64 wParam, qint64 lParam,
                                   int timeoutMs = kDefaultSendTimeoutMs);

} // namespace qvui
