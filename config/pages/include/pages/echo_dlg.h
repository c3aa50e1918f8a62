// The Debug page's echo (loop-back) tool: numbered FC packets, one per tick of
// timer 1, to the master or a slave controller; every answer that is not the
// packet itself becomes a row of the error list.
#pragma once

#include "pages/tool_dlg.h"

#include "ui/window_timers.h"

#include <QString>

#include <array>
#include <cstdint>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace vcx {

// Packet n (counted from 0) of an echo run: FC, m, q, 255 - q, 255 - m with
// m = n mod 256 and q = m * m mod 256.
std::array<uint8_t, 5> EchoPacket(int n);
// The packet total of the edit's text: its leading digits as a number, 10000
// for 0 (or no number), 2147483647 for one too large.
int EchoTotalOf(const QString& text);
// The error-list text of an answer that is not the packet: the reply bytes
// when the controller answered something else, "Device Remove" when there is
// no device, "AA BB CC DD EE" for a refusal, "No Recieve" for anything else.
QString EchoReplyText(bool answered, bool deviceValid, const uint8_t reply[5]);

class CQVEchoDlg : public CQVToolDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 124;
    static constexpr int kIdStart = 420;
    static constexpr int kIdMaster = 460;
    static constexpr int kIdSlave = 461;
    static constexpr int kIdSlaveList = 502;
    static constexpr int kIdTotal = 520;
    static constexpr int kIdCount = 320;
    static constexpr int kIdErrors = 321;
    static constexpr int kIdErrorList = 2310;
    static constexpr int kTimerEcho = 1;
    static constexpr int kDefaultTotal = 10000;
    static constexpr int kIdsCount = 1425;  // "Count : %d"
    static constexpr int kIdsError = 1426;  // "Error : %d"

    CQVEchoDlg(Controller& c, QWidget* parent);

    // Called when the page shows its tools: ends a run, clears the counters
    // and lists "Slave1".."SlaveN"; without slaves the target is the master
    // and its choice is hidden.
    void FillSlaveList();
    // Ends a run: timer 1 stopped, a slave target back to the master with
    // scanning resumed, the page idle again (WM_PAGE_STATE (0, 106)). Nothing
    // when no run is going on.
    void StopEcho();

    bool running() const { return running_; }
    int total() const { return total_; }
    int sent() const { return sent_; }
    int errors() const { return errors_; }

protected:
    bool event(QEvent* e) override;

private:
    void onStart();
    void onTarget();
    void onTick();
    void showCounters();

    qvui::WindowTimers timers_{this};
    QPushButton* start_ = nullptr;
    QRadioButton* master_ = nullptr;
    QRadioButton* slave_ = nullptr;
    QComboBox* slaves_ = nullptr;
    QLineEdit* totalEdit_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* errorCount_ = nullptr;
    QTableWidget* list_ = nullptr;
    bool running_ = false;
    bool slaveRun_ = false; // the run goes to a slave (fixed at its start)
    int total_ = 0;
    int sent_ = 0;
    int errors_ = 0;
};

} // namespace vcx
