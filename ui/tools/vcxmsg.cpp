// vcxmsg: sends a window message to a window of the program family by title.
//   vcxmsg [--post] [--timeout MS] TITLE MSG WPARAM LPARAM
// Numbers are decimal or 0x-prefixed hexadecimal; LPARAM may be negative. A
// synchronous send prints the handler's result. Exit status: 0 delivered,
// 1 not delivered (the reason on stderr), 2 wrong usage.
#include "ui/named_window.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

int usage() {
    std::fprintf(stderr, "usage: vcxmsg [--post] [--timeout MS] TITLE MSG WPARAM LPARAM\n");
    return 2;
}

bool parseUnsigned(const QString& s, quint64& out) {
    bool ok = false;
    out = s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? s.mid(2).toULongLong(&ok, 16) : s.toULongLong(&ok, 10);
    return ok && !s.isEmpty();
}

bool parseSigned(const QString& s, qint64& out) {
    if (s.startsWith(u'-')) {
        quint64 m = 0;
        if (!parseUnsigned(s.mid(1), m) || m > quint64(1) << 63) return false;
        out = qint64(0 - m);
        return true;
    }
    quint64 v = 0;
    if (!parseUnsigned(s, v)) return false;
    out = qint64(v); // 0x8000000000000000 and above are taken as the bit pattern
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    bool post = false;
    int timeoutMs = qvui::kDefaultSendTimeoutMs;
    while (!args.isEmpty() && args.front().startsWith(QLatin1String("--"))) {
        const QString opt = args.takeFirst();
        if (opt == QLatin1String("--post")) {
            post = true;
        } else if (opt == QLatin1String("--timeout") && !args.isEmpty()) {
            bool ok = false;
            timeoutMs = args.takeFirst().toInt(&ok);
            if (!ok || timeoutMs < 0) return usage();
        } else {
            return usage();
        }
    }
    if (args.size() != 4) return usage();
    quint64 message = 0, wParam = 0;
    qint64 lParam = 0;
    if (!parseUnsigned(args[1], message) || message > 0xFFFFFFFFu || !parseUnsigned(args[2], wParam) ||
        !parseSigned(args[3], lParam))
        return usage();

    const auto r = post ? qvui::postWindowMessage(args[0], quint32(message), wParam, lParam, timeoutMs)
                        : qvui::sendWindowMessage(args[0], quint32(message), wParam, lParam, timeoutMs);
    if (!r.ok) {
        std::fprintf(stderr, "vcxmsg: %s\n", qPrintable(r.error));
        return 1;
    }
    if (!post) std::printf("%lld\n", static_cast<long long>(r.result));
    return 0;
}
