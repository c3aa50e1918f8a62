// The base of every parameter page and its kit: numeric edit groups that clamp
// what is typed, on/off switch pictures, sliders taken when a drag ends, "-" /
// "+" step pairs and the extra controls of the older finger page. Pages edit the
// program-wide group records in place; the kit keeps every value inside the range
// the page allows, so Apply never sends a value outside it.
#pragma once

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QAbstractSlider;
class QLabel;

namespace vcx {

struct Controller;

// Control ids the pages share.
constexpr int kIdFirstEdit = 520;     // 520..535 numeric edits
constexpr int kIdFirstSlider = 504;   // 504..507 sliders, their number labels 320..323
constexpr int kIdFirstSwitch = 510;   // 510..513 switch pictures
constexpr int kIdFirstLabel = 320;    // 320..336 number labels
constexpr int kIdFirstStep = 450;     // 450/451, 452/453, 454/455: "-" even, "+" odd
constexpr int kIdFirstRadio = 460;    // 460..469
constexpr int kIdFirstCheck = 470;    // 470..477

class CQVParaParentDlg : public QWidget {
    Q_OBJECT
public:
    CQVParaParentDlg(Controller& c, int templateId, QWidget* parent);

    int templateId() const { return templateId_; }
    Controller& controller() { return c_; }

    // The five operations, in this order; the base versions do nothing.
    virtual void LoadDlgItem() {}    // fill the controls from the records (every refresh)
    virtual void SaveDlgItem() {}    // copy slider and radio positions back (Apply)
    virtual void SetDlgItemTip() {}  // give the controls their tip ids (once)
    virtual void CheckDlgItem() {}   // refresh controls that depend on others (end of set-up)
    virtual void EnableDlgItem() {}  // enable controls by device state

    // Runs the page's set-up end: CheckDlgItem, as OnInitDialog does last.
    void initDialog() { CheckDlgItem(); }

protected:
    bool event(QEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

    Controller& c_;

private:
    int templateId_;
};

// The item presence bits a page's controls test: bit (bits[i] & 31) of the mask.
struct SupportMask {
    uint16_t mask = 0;
    std::vector<uint8_t> bits;
    bool supports(size_t i) const { return i < bits.size() && bits[i] < 16 && ((mask >> (bits[i] & 31)) & 1); }
};

// Edits 520 + i edit *values[i] within [minimum[i], maximum[i]].
struct EditGroup {
    int index = 0;                  // the edit being handled
    std::vector<uint8_t*> values;
    std::vector<int> minimum, maximum;
    int count() const { return int(values.size()); }
};

// Switch pictures (control firstId + i) show bitmap 204 + table[v * count + i],
// v = 0 for value 0 and 1 otherwise; 213 when the switch is not supported.
struct SwitchGroup {
    int firstId = kIdFirstSwitch;
    int index = 0;
    std::vector<uint8_t*> values;
    std::vector<uint8_t> table;     // 2 x count entries: value 0 row, then value 1 row
    std::vector<uint32_t> supported;
    int count() const { return int(values.size()); }
};

struct StepRange {
    int minimum = 0;
    int maximum = 0;
};

// Fills edits 520.. from the group: a supported edit is enabled with its value,
// an unsupported one disabled and empty.
void LoadEditGroup(QWidget* page, const SupportMask& support, const EditGroup& group);
// An edit's text change (typed or set by the program): a number inside the range
// is stored and the text left alone; a number outside it stores the nearer bound
// and shows it; a text that is no number shows the stored value again. An empty
// text changes nothing.
void ClampEdit(EditGroup& group, QWidget* page);
// Connects edits 520 .. 520 + edits - 1 to ClampEdit of the group (every text
// change, a change the clamp itself makes excepted; the group may be filled
// later); `after(i)` runs after edit i was clamped.
void ConnectEditGroup(QWidget* page, EditGroup& group, int edits, std::function<void(int)> after = {});
// Writes each edit's range line "Range : %d ~ %d" into its tip.
void SetRangeTips(QWidget* page, const EditGroup& group);

void LoadSwitchGroup(const SwitchGroup& group, QWidget* page);
// The picture of switch i by its value.
int SwitchBitmap(const SwitchGroup& group, int i);
void ToggleSwitch(SwitchGroup& group, QWidget* page);

// One "-" / "+" step of *value inside range; enables and disables the pair
// (minusId and minusId + 1) as the value reaches its ends.
void StepValue(uint8_t& value, const StepRange& range, int minusId, QWidget* page, bool up);
// The pair after a slider end or a load: "-" enabled when minimum < value, "+" when value < maximum.
void EnableStepPair(int value, const StepRange& range, int minusId, QWidget* page);
// Calls `ended(position)` when a drag of the slider ends (released) or a click
// or key moves it at once; never while a drag goes on.
void ConnectSliderEnd(QAbstractSlider* slider, std::function<void(int)> ended);

// Shows or hides controls 340, 341, 450, 451, 504 and 320 together.
void ShowExtraControls(QWidget* page, bool on);

} // namespace vcx

namespace vcx {
// Calls `clicked` when the enabled control is pressed with the left button
// (the switch pictures are static controls that notify).
void ConnectClick(QWidget* control, std::function<void()> clicked);
} // namespace vcx
