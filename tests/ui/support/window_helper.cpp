// A window in a process of its own for the named-window tests:
//   ui_window_helper TITLE
// Prints "ready" once TITLE is registered (or "error <reason>" and exits 1).
// A synchronous WM_USER+100 answers wParam + lParam; every posted message is
// printed as "posted <message> <wParam> <lParam>"; WM_USER+101 ends the process.
// It stands for the family's windows and the outside programs' windows, and
// takes from other processes the messages those windows are sent (kHelperMessages).
#include "ui/named_window.h"
#include "ui/window_message.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

constexpr quint32 kAdd = qvui::WM_USER + 100;
constexpr quint32 kQuit = qvui::WM_USER + 101;

class HelperWindow : public QWidget {
protected:
    bool event(QEvent* e) override {
        auto* m = qvui::WindowMessage::from(e);
        if (!m) return QWidget::event(e);
        if (m->message() == kAdd) {
            m->setResult(qint64(m->wParam()) + m->lParam());
        } else if (m->message() == kQuit) {
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        } else {
            std::printf("posted %u %llu %lld\n", m->message(), static_cast<unsigned long long>(m->wParam()),
                        static_cast<long long>(m->lParam()));
            std::fflush(stdout);
        }
        return true;
    }
};

using qvui::Carried;
constexpr qvui::RemoteMessage kHelperMessages[] = {
    {kAdd, Carried::Value, Carried::Value},
    {kQuit, Carried::Unused, Carried::Unused},
    {qvui::WM_TIMER, Carried::Value, Carried::Unused},
    {qvui::WM_ACTIVATE_INSTANCE, Carried::Unused, Carried::Unused},
    {qvui::WM_RESIDENT_SUSPEND, Carried::Value, Carried::Unused},
    {qvui::WM_PRODUCTION_LINE, Carried::Value, Carried::Value},
    {qvui::WM_USER + 20, Carried::Value, Carried::Value},
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) return 2;
    HelperWindow window;
    window.setWindowTitle(QString::fromLocal8Bit(argv[1]));
    auto* named = new qvui::NamedWindow(&window, kHelperMessages);
    if (!named->isRegistered()) {
        std::printf("error %s\n", qPrintable(named->errorString()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
