// The abnormal-state window: touch disabled by a palm or water (shown once the
// state held 500 ms, with a blinking line of dots), the end of a touch-panel
// reset, and the progress of the Debug page's long operations.
#pragma once

#include <QDialog>
#include <QRect>

#include <functional>

class QLabel;
class QPushButton;

namespace qvui {
class WindowTimers;
}

namespace vcx {

class CQVAbnMsgDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplate = 196;
    static constexpr int kIdText = 350, kIdDots = 351, kIdPicture = 352, kIdValue = 353, kIdOk = 440, kIdOk2 = 441;
    static constexpr int kTimerDots = 1, kTimerDisabled = 2, kTimerEnabled = 3, kTimerResetShown = 4;
    static constexpr int kDebounceMs = 500;

    // owner: the main window (receives WM_SILENT_RESULT); enableScan: resumes the
    // controller's scanning once a reset finished.
    CQVAbnMsgDlg(QWidget* owner, std::function<void()> enableScan);

    // Created hidden at the main window's initialisation: state cleared, moved to pos.
    void initDialog(const QPoint& pos);
    // A report of the touch state: enabled (0x30) or disabled (0x40).
    void SetAbnormalState(int value, bool enabledState);
    // WM_DEBUG_COMMAND codes 1 and 7: the progress of a long operation.
    void showProgress(int value, bool silentSystemReference);
    // Hides the window and stops the blinking (the device went away).
    void hideAndStop();

    bool disabledPending() const { return disabledPending_; }
    bool enabledPending() const { return enabledPending_; }
    bool shown() const { return shown_; }
    int counter() const { return counter_; }
    int progressCounter() const { return progress_; }
    qvui::WindowTimers& timers() const { return *timers_; }
    QRect createdRect() const { return created_; }

protected:
    bool event(QEvent* e) override;

private:
    void onTimer(int id);
    void onResetFinished();
    void restore();
    void shrink();
    void showDialog();
    void setCaptionAndText(quint32 captionId, quint32 textId);

    QWidget* owner_;
    std::function<void()> enableScan_;
    // The three state bytes, the blink counter and the last value, in this order.
    bool disabledPending_ = false;
    bool enabledPending_ = false;
    bool shown_ = false;
    int counter_ = 0;
    int value_ = 0;
    QRect created_;
    int progress_ = 0;

    QLabel* text_ = nullptr;
    QLabel* dots_ = nullptr;
    QLabel* picture_ = nullptr;
    QLabel* valueText_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* ok2_ = nullptr;
    qvui::WindowTimers* timers_ = nullptr;
};

// The text of the blinking line at tick counter: string 756 followed by n dots,
// n = counter mod 14 up to 7, then 14 - n (0, 1, ... 7, 6, ... 1, 0).
QString abnormalDotsText(int counter);

} // namespace vcx
