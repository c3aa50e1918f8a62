// What the program tests share: requests to the simulated bench of the loaded
// library, over its control socket.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QString>

// Sends one request ("unplug /sim/hidraw0") and returns the answer line. The
// bench hands its device events to the library before it answers; those reach
// the window through this thread, so the events are processed while waiting.
inline QString simControl(const QString& request) {
    QLocalSocket socket;
    socket.connectToServer(qEnvironmentVariable("QV_SIM_CONTROL"));
    if (!socket.waitForConnected(10000)) return QStringLiteral("error: no control socket");
    socket.write((request + u'\n').toUtf8());
    socket.flush();
    // A ceiling against a hung bench only; the answer comes as soon as the events are out.
    QDeadlineTimer deadline(30000);
    while (!socket.canReadLine() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        socket.waitForReadyRead(10);
    }
    return QString::fromUtf8(socket.readLine()).trimmed();
}
