// The Debug page's command console: any 5-byte command, typed as five
// hexadecimal bytes, to the master or to one of up to four slave controllers,
// optionally with a delay before the reply is read; the reply is shown.
#pragma once

#include "pages/tool_dlg.h"

#include "ui/input_injector.h"

#include <array>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vcx {

class CQVMyHexTipEdit;

class CQVSendCmdDlg : public CQVToolDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 122;
    static constexpr int kIdSend = 420;
    static constexpr int kIdDelay = 520;
    static constexpr int kIdFirstByte = 521; // 521..525: BYTE 0..4
    static constexpr int kIdDelayCheck = 470;
    static constexpr int kIdMaster = 460;    // 461..464: Slave 1..4
    static constexpr int kIdStatus = 320;
    static constexpr int kIdReply = 321;
    static constexpr int kTargets = 5;

    CQVSendCmdDlg(Controller& c, QWidget* parent);

    // The page's refresh when it shows its tools: the target back to the master
    // (a slave target released as choosing "Master" does) and a radio for each
    // slave the controller has.
    void Refresh();
    // The page lost its device: a slave target becomes the master again and the
    // page is reported idle (WM_PAGE_STATE (0, 106)); nothing is sent.
    void DeviceRemoved();

    // Send (420).
    void Send();
    // Target radio 460 + index: 0 the master, k slave k.
    void SelectTarget(int index);
    int target() const { return target_; }

private:
    void onByteChanged();

    std::array<CQVMyHexTipEdit*, 5> bytes_{};
    std::array<QRadioButton*, kTargets> targets_{};
    QLineEdit* delay_ = nullptr;
    QCheckBox* delayCheck_ = nullptr;
    QPushButton* send_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* reply_ = nullptr;
    std::unique_ptr<qvui::InputInjector> injector_;
    int target_ = 0;
    bool ready_ = false;      // set at the end of the construction
    bool inByteChange_ = false;
};

} // namespace vcx
