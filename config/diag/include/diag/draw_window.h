// The touch drawing window "Quorvane Draw" that the main window's Draw button
// opens: what the fingers do on the panel, drawn as they move, with a
// sample-rate display, pen-up marks, key-down/up timing and counts and a PNG
// snapshot.
//
// The window is a top-level window of the GUI thread; while it is open the
// drawing "runs" (drawThreadRunning). Touches come from the library's touch
// callback on its notification threads: MapTouchToDrawWindow only scales the
// point and puts it into a lock-free single-producer/single-consumer ring of
// 100 records (a full ring drops the record and counts it), then asks the GUI
// thread to drain. Only the GUI thread reads the ring and changes the contacts'
// state. The producers are serialised by one mutex, which also guards the
// window pointer they post to: the window clears it before it ends.
#pragma once

#include "core/controller_api.h"
#include "stroke_recorder.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QPointer>
#include <QSize>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <set>
#include <thread>

class QMenu;
class QPushButton;

namespace qvui {
class WindowTimers;
}

namespace vcx {

constexpr int kDrawContacts = 10;     // contact ids 0..9
constexpr int kDrawRingSize = 100;
constexpr int kDrawPageTemplate = 107; // its WM_PAGE_STATE template number
constexpr int kDrawSampleTimer = 1;
constexpr int kDrawTimingTimer = 2;
constexpr int kIdDrawMenuButton = 420;
constexpr int kIdDrawMenu = 550;
constexpr uint8_t kDrawTouching = 0x10;
constexpr uint8_t kDrawLifted = 0x20;

// ---- Pure arithmetic ---------------------------------------------------------

struct DrawPointRecord {
    int x = 0;
    int y = 0;
    int id = 0;
    uint8_t event = kDrawTouching; // kDrawTouching or kDrawLifted
};

// One producer thread pushes, one consumer thread pops; neither blocks.
class DrawPointRing {
public:
    // False (and the record counted as dropped) when the ring is full.
    bool push(const DrawPointRecord& r);
    bool pop(DrawPointRecord* r);
    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    std::array<DrawPointRecord, kDrawRingSize + 1> slots_{};
    std::atomic<size_t> head_{0}; // the next slot to read
    std::atomic<size_t> tail_{0}; // the next slot to write
    std::atomic<uint64_t> dropped_{0};
};

// The panel resolution an Ostra-series controller names in byte 4 of its FF
// answer (1 << b4), for b4 1..15 only; nothing for other values.
std::optional<uint16_t> OstraResolutionFromShift(uint8_t shift);
// "%d.%d sec" of a time in milliseconds (whole seconds, tenths).
QString DrawTimingText(uint32_t elapsedMs);

// ---- The window ----------------------------------------------------------------

class CQVDrawWnd : public QWidget {
    Q_OBJECT
public:
    // `mainWindow` receives WM_PAGE_STATE; `touchGate` is the TouchGate setting.
    CQVDrawWnd(Controller& c, QObject* mainWindow, bool touchGate);
    ~CQVDrawWnd() override;

    // The start: the Ostra-series resolution, the serial touch readers, the
    // busy state to the main window, the window's place, and the touches.
    void start();

    // Called on the library's callback thread (through the mutex of the hooks).
    void enqueue(const DrawPointRecord& r);

    // What tests look at.
    const qvdraw::StrokeRecorder& contacts() const { return contacts_; }
    bool lifted(int id) const { return lifted_.at(size_t(id)); }
    uint64_t drawnRecords() const { return drawn_; }
    uint64_t droppedRecords() const { return ring_.dropped(); }
    // Records handled on another thread than the window's: always 0.
    uint64_t recordsOffThread() const { return offThread_; }
    const QImage& canvas() const { return canvas_; }
    QMenu* menu() const { return menu_; }
    bool touchMode() const { return touchMode_; }
    bool sampleRateShown() const { return sampleRate_; }
    bool penUpMarks() const { return penUpMarks_; }
    bool timingShown() const { return timing_; }
    bool countsShown() const { return counts_; }
    bool fullScreen() const { return fullScreen_; }
    int downCount() const { return downCount_; }
    int upCount() const { return upCount_; }
    qvui::WindowTimers* timers() const { return timers_; }

    // Drains the ring now (the queued drain does the same).
    Q_INVOKABLE void drain();

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildMenu();
    void applyOptions();
    // Each returns the area of the window it changed.
    QRect record(const DrawPointRecord& r);
    QRect paintRecord(const DrawPointRecord& r, const qvdraw::StrokeStep& step, QPoint at);
    void runKey(int key);
    void clearDrawing();
    void resetContacts();
    void toggleFullScreen();
    void showPopupMenu();
    void saveSnapshot();
    void onSampleTimer();
    void onTimingTimer();
    void drawCounts();
    void eraseSampleRows();
    void publishTarget();
    void end();
    uint32_t tick() const;

    Controller& c_;
    QPointer<QObject> main_; // the main window, which may end first in tests
    qvui::WindowTimers* timers_;
    QMenu* menu_ = nullptr;
    QPushButton* menuButton_ = nullptr;
    QImage canvas_;
    QFont large_;
    QFont small_;

    DrawPointRing ring_;
    std::atomic<bool> drainAsked_{false};
    const std::thread::id home_ = std::this_thread::get_id();
    uint64_t drawn_ = 0;
    uint64_t offThread_ = 0;

    qvdraw::StrokeRecorder contacts_;
    std::array<bool, kDrawContacts> lifted_{};
    bool touchMode_ = false;
    bool fullScreen_ = true;
    bool touchGate_ = false;
    bool sampleRate_ = false;
    bool penUpMarks_ = false;
    bool timing_ = false;
    bool counts_ = false;
    bool timingStarted_ = false;
    uint32_t startTick_ = 0;
    uint32_t elapsed_ = 0;
    int downCount_ = 0;
    int upCount_ = 0;
    int orientation_ = 0;
    std::set<int> keysDown_;
    bool started_ = false;
    bool ended_ = false;
};

// ---- The program's one drawing window ----------------------------------------

// The open window (GUI thread), nullptr while none is open.
CQVDrawWnd* DrawWindow();
// Opens the window, or brings the open one to the front.
CQVDrawWnd* OpenDrawWindow(Controller& c, QObject* mainWindow);
// Closes the open window and destroys it now (the main window's end).
void CloseDrawWindow();
// Open (any thread).
bool DrawWindowRunning();
// The touch callback's entry (any thread): (event | id, x, y).
void MapTouchToDrawWindow(int state, int x, int y);
// The drawing hooks of the program (drawThreadRunning, drawMapTouch).
void InstallDrawWindowHooks();
// The TouchGate setting of the user's store (0 when missing).
bool TouchGateSetting();

} // namespace vcx
