// The Debug page's event-halt tool: the controller's debug parameter group,
// which makes the firmware halt its scanning at a finger or water event so the
// frame of that moment can be read. Its items: 0..4 the switches (check boxes
// 470..474), 5..7 the choices (the radio pairs 460/461, 462/463, 464/465, the
// first radio = 1), 8 the finger number, 9 the skip count. The program-wide
// event-halt switch is the record's halt-enable byte (eventHalt[0]), which the
// main window's touch-and-halt button shows too.
#pragma once

#include "pages/tool_dlg.h"

#include <array>
#include <cstdint>

struct ParameterDebug;
struct ParameterItem;
class QCheckBox;
class QFont;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vcx {

class CMyEdit;

// Item i (0..9) of the debug record; nullptr past 9.
ParameterItem* EventHaltItem(ParameterDebug& record, int i);

class CQVEventHaltDlg : public CQVToolDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 120;
    static constexpr int kIdFingerNumber = 520;
    static constexpr int kIdSkipCount = 521;
    static constexpr int kIdFirstCheck = 470;  // 470..474: items 0..4
    static constexpr int kIdCtGtPt = 473;
    static constexpr int kIdFirstRadio = 460;  // 460..465: PT, CT, Before, After, diff_mutu, Raw
    static constexpr int kIdSwitch = 420;
    static constexpr int kIdApply = 421;
    static constexpr int kIdReload = 422;
    static constexpr int kIdResetPanel = 423;
    static constexpr int kChecks = 5;
    static constexpr int kRadios = 6;
    static constexpr int kItemFingerNumber = 8;
    static constexpr int kItemSkipCount = 9;

    CQVEventHaltDlg(Controller& c, QWidget* parent);

    // The main window's button font on 420..423.
    void setButtonFont(const QFont& font);

    // The controls from the debug record, then the enabling rules.
    void RefreshControls();
    // "CT > PT Number" checked disables the Target and Debounce radios;
    // otherwise PT/CT are enabled and Before/After only while CT is chosen.
    void UpdateEnabling();

    // The buttons: Switch toggles the program-wide switch; Apply writes the
    // record inside the update lock and then the switch; Reload Setting reads
    // the record again; Reset Touch Panel asks the main window (WM_DEBUG_COMMAND (0, 0)).
    void SwitchHalt();
    void Apply();
    void ReloadSetting();
    void ResetTouchPanel();

    uint8_t fingerNumber() const { return numbers_[0]; }
    uint8_t skipCount() const { return numbers_[1]; }

private:
    void onSettingClicked();
    void onNumberChanged(int which);
    void enableApply();
    void showSwitch();

    std::array<QCheckBox*, kChecks> checks_{};
    std::array<QRadioButton*, kRadios> radios_{};
    std::array<CMyEdit*, 2> edits_{};
    std::array<uint8_t, 2> numbers_{}; // finger number, skip count as stored
    QPushButton* switch_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* reload_ = nullptr;
    QPushButton* reset_ = nullptr;
    bool inNumberChange_ = false;
};

} // namespace vcx
