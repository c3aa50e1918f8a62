// QVDraw3: draws what the fingers do on the touch panel.
#include "draw_window.h"
#include "hidraw_input.h"

#include "ui/named_window.h"

#include <QApplication>
#include <QScreen>

namespace {

// The display orientation 0..3 in quarter turns from the screen's native one.
int orientationOf(QScreen* screen) {
    if (!screen) return 0;
    return (screen->angleBetween(screen->nativeOrientation(), screen->orientation()) / 90) & 3;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    qvdraw::DrawWindow window;
    window.setSender([](const QString& title, quint32 message, quint64 wParam, qint64 lParam) {
        if (qvui::findWindow(title)) qvui::postWindowMessage(title, message, wParam, lParam);
    });
    window.setFinder([](const QString& title) { return qvui::findWindow(title); });
    std::string injectError;
    if (auto injector = qvui::makeXTestInjector(&injectError)) window.setInjector(std::move(injector));
    else qWarning("QVDraw3: %s", injectError.c_str());

    QScreen* screen = window.screen();
    if (screen) window.setPixelsPerMm(screen->logicalDotsPerInch() / 25.4);
    int orientation = orientationOf(screen);
    if (screen)
        QObject::connect(screen, &QScreen::orientationChanged, &window,
                         [&orientation, screen] { orientation = orientationOf(screen); });

    // The digitizer's own reports are drawn when a touch screen node can be
    // read; Qt's touch events stand in otherwise.
    qvdraw::HidrawReader reader;
    reader.start();
    for (const QString& e : reader.errors()) qWarning("QVDraw3: %s", qPrintable(e));
    window.setQtTouchInput(reader.openCount() == 0);
    QObject::connect(&reader, &qvdraw::HidrawReader::reportDecoded, &window,
                     [&window, &orientation](const qvdraw::Report& report, int maximum) {
                         window.reportDecoded(report, maximum, orientation);
                     });
    QObject::connect(&reader, &qvdraw::HidrawReader::devicesChanged, &window,
                     [&window, &reader] { window.setQtTouchInput(reader.openCount() == 0); });

    new qvui::NamedWindow(&window);
    window.move(100, 100);
    window.resize(800, 600);
    if (qEnvironmentVariableIsSet("QVDRAW_NORMAL_WINDOW")) window.show();
    else window.showMaximized();
    return app.exec();
}
