// The base of the Debug page's tools: a child widget of the page, sized for the
// tool area at the program's display scale, that sends its window messages
// (WM_PAGE_STATE, WM_DEBUG_COMMAND) to the main window.
#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

namespace vcx {

struct Controller;

class CQVToolDlg : public QWidget {
    Q_OBJECT
public:
    // The area every tool fills, in units of the display scale 100.
    static constexpr int kToolWidth = 608, kToolHeight = 390;

    CQVToolDlg(Controller& c, QWidget* parent);

    // Where the tool's messages go; unset, the top-level window it lives in.
    void setMainWindow(QObject* window) { main_ = window; }

protected:
    QObject* mainWindow() const;
    // Sent now, on the GUI thread; nothing when there is no main window.
    void sendMain(quint32 message, quint64 wParam, qint64 lParam);
    // A rectangle of the tool's design (scale 100) at the program's scale.
    QRect scaled(int x, int y, int w, int h) const;
    int scaled(int v) const { return v * scale_ / 100; }

    Controller& c_;
    int scale_ = 100;

private:
    QPointer<QObject> main_;
};

} // namespace vcx
