#include "ui/named_window.h"

#include "ui/window_frame.h"
#include "ui/window_message.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QMutex>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

namespace qvui {

namespace {

// A connection that has not sent a whole frame in this time is dropped, so a
// stalled or hostile peer cannot hold the window's connections open.
constexpr int kIdleConnectionMs = 10000;

// The windows of this process by case-folded title, so a thread can reach its
// own windows without a socket (a window's own thread could not answer one).
struct LocalWindow {
    QPointer<QWidget> window;
    QThread* thread = nullptr; // kept apart: another thread must not ask a window that may be going away
};

struct LocalWindows {
    QMutex mutex;
    QHash<QString, LocalWindow> byTitle;
};

LocalWindows& localWindows() {
    static LocalWindows w;
    return w;
}

QString key(const QString& title) { return title.toCaseFolded(); }

LocalWindow localWindow(const QString& title) {
    LocalWindows& l = localWindows();
    QMutexLocker lock(&l.mutex);
    return l.byTitle.value(key(title));
}

WindowSendResult fail(const QString& title, const QString& what) {
    return {false, 0, QStringLiteral("window \"%1\": %2").arg(title, what)};
}

WindowSendResult transact(const QString& title, const WindowRequest& request, int timeoutMs) {
    if (!WindowMessage::isValidNumber(request.message))
        return fail(title, QStringLiteral("message 0x%1 cannot be carried").arg(request.message, 0, 16));
    if (LocalWindow local = localWindow(title); local.thread == QThread::currentThread() && local.window) {
        QWidget* w = local.window;
        if (!request.sync) {
            postMessage(w, request.message, request.wParam, request.lParam);
            return {true, 0, {}};
        }
        return {true, sendMessage(w, request.message, request.wParam, request.lParam), {}};
    }

    QDeadlineTimer deadline(qMax(0, timeoutMs));
    QLocalSocket socket;
    socket.connectToServer(windowSocketPath(title));
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return fail(title, QStringLiteral("not found (%1)").arg(socket.errorString()));

    uint8_t frame[kRequestSize];
    encodeRequest(request, frame);
    socket.write(reinterpret_cast<const char*>(frame), kRequestSize);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return fail(title, QStringLiteral("cannot send (%1)").arg(socket.errorString()));

    QByteArray reply;
    WindowReply decoded;
    for (;;) {
        reply += socket.read(qint64(kReplySize) - reply.size());
        const auto r = decodeReply({reinterpret_cast<const uint8_t*>(reply.constData()), size_t(reply.size())}, decoded);
        if (r == DecodeResult::Malformed) return fail(title, QStringLiteral("malformed reply"));
        if (r == DecodeResult::Ok) break;
        if (deadline.hasExpired()) return fail(title, QStringLiteral("no reply within %1 ms").arg(timeoutMs));
        if (!socket.waitForReadyRead(int(deadline.remainingTime()))) {
            if (socket.error() == QLocalSocket::SocketTimeoutError || deadline.hasExpired())
                return fail(title, QStringLiteral("no reply within %1 ms").arg(timeoutMs));
            return fail(title, QStringLiteral("connection closed before the reply (%1)").arg(socket.errorString()));
        }
    }
    socket.disconnectFromServer();
    switch (decoded.status) {
    case ReplyStatus::Delivered: return {true, decoded.result, {}};
    case ReplyStatus::NoWindow: return fail(title, QStringLiteral("closed before the message arrived"));
    case ReplyStatus::BadMessage: return fail(title, QStringLiteral("refused message 0x%1").arg(request.message, 0, 16));
    }
    return fail(title, QStringLiteral("unknown reply status"));
}

} // namespace

QString windowSocketPath(const QString& title) {
    const QString folded = key(title);
    QString readable;
    for (QChar c : folded) {
        if (readable.size() == 32) break;
        readable += (c.isLetterOrNumber() && c.unicode() < 128) ? c : QChar(u'_');
    }
    const QByteArray hash = QCryptographicHash::hash(folded.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    // The user's runtime folder is private to the user; the shared temporary
    // folder is the fallback, where the uid in the name keeps users apart.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder = !runtime.isEmpty() && QFileInfo(runtime).isDir() ? runtime : QDir::tempPath();
    return QStringLiteral("%1/qvwin-%2-%3-%4").arg(folder).arg(uint(::getuid())).arg(readable, QString::fromLatin1(hash));
}

std::optional<WindowRequest> admitRequest(const WindowRequest& request, std::span<const RemoteMessage> accepted) {
    if (!WindowMessage::isValidNumber(request.message)) return std::nullopt;
    for (const RemoteMessage& m : accepted) {
        if (m.message != request.message) continue;
        WindowRequest out = request;
        if (m.wParam == Carried::Unused) out.wParam = 0;
        if (m.lParam == Carried::Unused) out.lParam = 0;
        return out;
    }
    return std::nullopt;
}

NamedWindow::NamedWindow(QWidget* window, std::span<const RemoteMessage> accepted)
    : QObject(window), window_(window), accepted_(accepted.begin(), accepted.end()) {
    registerTitle(window->windowTitle());
    connect(window, &QWidget::windowTitleChanged, this, [this](const QString& t) {
        if (key(t) != key(title_) || !isRegistered()) registerTitle(t);
    });
}

NamedWindow::~NamedWindow() { unregister(); }

bool NamedWindow::isRegistered() const { return server_ != nullptr; }

void NamedWindow::unregister() {
    if (!server_) return;
    {
        LocalWindows& l = localWindows();
        QMutexLocker lock(&l.mutex);
        if (l.byTitle.value(key(title_)).window == window_) l.byTitle.remove(key(title_));
    }
    server_->close();
    delete server_;
    server_ = nullptr;
    lock_.reset();
}

bool NamedWindow::registerTitle(const QString& title) {
    unregister();
    title_ = title;
    error_.clear();
    if (title.isEmpty()) return false;
    {
        LocalWindows& l = localWindows();
        QMutexLocker lock(&l.mutex);
        if (QPointer<QWidget> other = l.byTitle.value(key(title)).window; other && other != window_) {
            error_ = QStringLiteral("window \"%1\": another window of this program has that title").arg(title);
            return false;
        }
    }
    // The lock says which live process holds the title; Qt's listen would take
    // over a live server's socket name without complaint. A lock whose process
    // has ended counts as free, and so does the socket that process left.
    const QString name = windowSocketPath(title);
    auto lock = std::make_unique<QLockFile>(name + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        error_ = lock->error() == QLockFile::LockFailedError
                     ? QStringLiteral("window \"%1\": another process has a window with that title").arg(title)
                     : QStringLiteral("window \"%1\": cannot lock %2").arg(title, lock->fileName());
        return false;
    }
    QLocalServer::removeServer(name);
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    server->listen(name);
    if (!server->isListening()) {
        error_ = QStringLiteral("window \"%1\": cannot listen on %2 (%3)").arg(title, name, server->errorString());
        delete server;
        return false;
    }
    server_ = server;
    lock_ = std::move(lock);
    connect(server_, &QLocalServer::newConnection, this, &NamedWindow::acceptConnections);
    LocalWindows& l = localWindows();
    QMutexLocker guard(&l.mutex);
    l.byTitle.insert(key(title), {window_, thread()});
    return true;
}

void NamedWindow::acceptConnections() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, &QLocalSocket::abort);
        idle->start(kIdleConnectionMs);
        socket->setProperty("qvPartialFrame", QByteArray());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { serve(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0) serve(socket);
    }
}

void NamedWindow::serve(QLocalSocket* socket) {
    // A handler that runs a nested event loop (a modal box) must not have this
    // connection served again underneath it; the outer loop reads what came meanwhile.
    if (socket->property("qvServing").toBool()) return;
    QPointer<QLocalSocket> guard(socket);
    QByteArray frame = socket->property("qvPartialFrame").toByteArray();
    for (;;) {
        // Never more than one frame is buffered.
        frame += socket->read(qint64(kRequestSize) - frame.size());
        WindowRequest request;
        const auto r = decodeRequest({reinterpret_cast<const uint8_t*>(frame.constData()), size_t(frame.size())}, request);
        if (r == DecodeResult::Malformed) {
            socket->abort();
            return;
        }
        if (r == DecodeResult::NeedMore) break;
        frame.clear();

        WindowReply reply;
        const std::optional<WindowRequest> admitted = admitRequest(request, accepted_);
        if (admitted) request = *admitted;
        if (!admitted) {
            reply.status = ReplyStatus::BadMessage;
        } else if (!window_) {
            reply.status = ReplyStatus::NoWindow;
        } else if (request.sync) {
            // The idle limit is for peers, not for a handler that waits for the user.
            auto* idle = socket->findChild<QTimer*>();
            if (idle) idle->stop();
            socket->setProperty("qvServing", true);
            reply.result = sendMessage(window_, request.message, request.wParam, request.lParam);
            if (!guard) return; // the handler closed the window and its connections with it
            socket->setProperty("qvServing", false);
        } else {
            postMessage(window_, request.message, request.wParam, request.lParam);
        }
        uint8_t out[kReplySize];
        encodeReply(reply, out);
        socket->write(reinterpret_cast<const char*>(out), kReplySize);
        if (auto* idle = socket->findChild<QTimer*>()) idle->start(kIdleConnectionMs);
    }
    socket->setProperty("qvPartialFrame", frame);
}

bool findWindow(const QString& title) {
    if (title.isEmpty()) return false;
    if (localWindow(title).window) return true;
    QLocalSocket socket;
    socket.connectToServer(windowSocketPath(title));
    const bool found = socket.waitForConnected(1000);
    socket.abort();
    return found;
}

WindowSendResult sendWindowMessage(const QString& title, quint32 message, quint64 wParam, qint64 lParam, int timeoutMs) {
    return transact(title, {message, wParam, lParam, true}, timeoutMs);
}

WindowSendResult postWindowMessage(const QString& title, quint32 message, quint64 wParam, qint64 lParam, int timeoutMs) {
    return transact(title, {message, wParam, lParam, false}, timeoutMs);
}

} // namespace qvui
