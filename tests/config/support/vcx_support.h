// What the program tests share: requests to the simulated bench of the loaded
// library, over its control socket, a bounded wait for what the library's
// threads send (processUntil, from qt_support.h), and the parameter image of
// the test program's controller with a checksum computed apart from the library.
#pragma once

#include "qt_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// Sends one request ("unplug /sim/hidraw0") and returns the answer line. The
// bench hands its device events to the library before it answers; those reach
// the window through this thread, so the events are processed while waiting.
// With PostedOnly only what the library's threads posted is delivered, never a
// window timer's own timeout, for tests that step every timer themselves.
enum class SimControlEvents { All, PostedOnly };
// Every line of the answer: one, or for a trace ("ok N") that line and the N
// commands after it.
inline QStringList simControlLines(const QString& request, SimControlEvents events = SimControlEvents::All) {
    QLocalSocket socket;
    socket.connectToServer(qEnvironmentVariable("QV_SIM_CONTROL"));
    if (!socket.waitForConnected(10000)) return {QStringLiteral("error: no control socket")};
    socket.write((request + u'\n').toUtf8());
    socket.flush();
    QStringList lines;
    qsizetype expected = 1;
    // A ceiling against a hung bench only; the answer comes as soon as the events are out.
    QDeadlineTimer deadline(30000);
    while (lines.size() < expected && !deadline.hasExpired()) {
        if (events == SimControlEvents::All)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        else
            QCoreApplication::sendPostedEvents();
        socket.waitForReadyRead(10);
        while (socket.canReadLine()) {
            lines << QString::fromUtf8(socket.readLine()).trimmed();
            if (lines.size() == 1 && request.startsWith(u"trace ") && !request.startsWith(u"trace clear") &&
                lines[0].startsWith(u"ok "))
                expected = 1 + lines[0].mid(3).toInt();
        }
    }
    return lines;
}

inline QString simControl(const QString& request, SimControlEvents events = SimControlEvents::All) {
    return simControlLines(request, events).value(0);
}

// The commands the controller at `path` received since the last "trace clear",
// oldest first, one a line in hex ("F6 00 9F 00 01").
inline QStringList simTrace(const QString& path) { return simControlLines(QStringLiteral("trace ") + path).mid(1); }

// The test controller's parameter lists, as its profile describes them: the
// list descriptor (E0 00 FB) names a 32-byte touch list and a 16-byte boot
// list, which lie in register bank 0 at 0x00..0x1F and 0x40..0x4F, one byte in
// each register word's byte 4. The bytes at 0x49 and 0x4E stay 0: those words
// are the monitor id and the scan mode, both 0 in the profile.
inline constexpr uint8_t kTestTouchList[32] = {0x12, 0x00, 0x34, 0x5A, 0xFF, 0x01, 0x80, 0x7F, 0x3C, 0xC3, 0x00,
                                               0x00, 0x99, 0x10, 0x20, 0x30, 0xA5, 0x5A, 0x0F, 0xF0, 0x11, 0x22,
                                               0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x01, 0x02, 0x03, 0xE7};
// Byte 0 has bits 0..5 set that the checksum leaves out; byte 15 is left out whole.
inline constexpr uint8_t kTestBootList[16] = {0x47, 0x08, 0x00, 0x6C, 0x2D, 0x00, 0x91, 0x00,
                                              0x03, 0x00, 0xB4, 0x00, 0x00, 0x5E, 0x00, 0xC8};
static_assert(kTestBootList[0x49 - 0x40] == 0 && kTestBootList[0x4E - 0x40] == 0);

// The parameter checksum by its definition: the remainder of (start * x^N +
// message) modulo x^16 + x^12 + x^5 + 1, the N message bits most significant
// first; mode 0 leaves out touch bytes 61, 63 (and 127 beyond 64 bytes), boot
// byte 15 (and 61, 63 beyond 16 bytes), and bits 0..5 of a boot byte 0 of 64
// or more; mode 1 touch byte 61 stays in.
inline uint16_t parameterChecksum(int mode, uint16_t start, std::vector<uint8_t> touch, std::vector<uint8_t> boot) {
    const auto clear = [](std::vector<uint8_t>& image, size_t at, bool applies) {
        if (applies && at < image.size()) image[at] = 0;
    };
    const size_t t = touch.size(), b = boot.size();
    clear(touch, 61, mode == 0);
    clear(touch, 63, true);
    clear(touch, 127, t > 64);
    clear(boot, 15, true);
    clear(boot, 61, b > 16);
    clear(boot, 63, b > 16);
    if (mode == 0 && !boot.empty() && boot[0] >= 64) boot[0] &= 0xC0;
    uint32_t reg = start;
    const auto shiftIn = [&](const std::vector<uint8_t>& bytes) {
        for (uint8_t byte : bytes)
            for (int bit = 7; bit >= 0; --bit) {
                reg = (reg << 1) | ((byte >> bit) & 1u);
                if (reg & 0x10000u) reg ^= 0x11021u;
            }
    };
    shiftIn(touch);
    shiftIn(boot);
    return uint16_t(reg);
}
