// Small builders the parameter pages share: controls made with their ids on a
// grid, radio groups checked by id, labels written by id; and the kit's groups
// and tips filled from the field table, so a page names its rows and the table
// says where each value lives, its range, its support bit, polarity and tips.
#pragma once

#include "params/para_parent_dlg.h"
#include "core/field_table.h"
#include "core/tip_controls.h"
#include "ui/control_ids.h"

#include <QComboBox>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>

#include <initializer_list>
#include <memory>
#include <span>
#include <vector>

namespace vcx::pagebuild {

template <class T>
T* withId(T* w, int id) {
    qvui::setControlId(w, id);
    return w;
}

// The cells a control covers from its row and column.
struct Span {
    int rows = 1;
    int columns = 1;
};

// A control of class T (constructed with the page as parent) with its id, on
// the grid at (row, col).
template <class T>
T* control(QWidget* page, QGridLayout* g, int row, int col, int id, Span span = {}) {
    auto* w = withId(new T(page), id);
    g->addWidget(w, row, col, span.rows, span.columns);
    return w;
}

inline QLabel* caption(QWidget* page, QGridLayout* g, int row, int col, const char* text, int id = -1,
                       Span span = {}) {
    auto* l = new QLabel(QString::fromUtf8(text), page);
    if (id >= 0) qvui::setControlId(l, id);
    g->addWidget(l, row, col, span.rows, span.columns);
    return l;
}
inline QLabel* label(QWidget* page, QGridLayout* g, int row, int col, int id, Span span = {}) {
    return control<QLabel>(page, g, row, col, id, span);
}
inline CQVMyTipEdit* edit(QWidget* page, QGridLayout* g, int row, int col, int id, int limit = 3) {
    auto* e = control<CQVMyTipEdit>(page, g, row, col, id);
    e->setMaxLength(limit);
    return e;
}
inline CQVMyTipBMP* picture(QWidget* page, QGridLayout* g, int row, int col, int id) {
    return control<CQVMyTipBMP>(page, g, row, col, id);
}
inline CQVMyTipButton* button(QWidget* page, QGridLayout* g, int row, int col, int id, const char* text,
                              Span span = {}) {
    auto* b = control<CQVMyTipButton>(page, g, row, col, id, span);
    b->setText(QString::fromUtf8(text));
    return b;
}
inline CQVMyTipSlider* slider(QWidget* page, QGridLayout* g, int row, int col, int id, Span span = {}) {
    auto* s = control<CQVMyTipSlider>(page, g, row, col, id, span);
    s->setOrientation(Qt::Horizontal);
    s->setTickPosition(QSlider::TicksBelow);
    return s;
}
inline QRadioButton* radio(QWidget* page, QGridLayout* g, int row, int col, int id, const char* text) {
    auto* r = withId(new QRadioButton(QString::fromUtf8(text), page), id);
    g->addWidget(r, row, col);
    return r;
}
inline QCheckBox* check(QWidget* page, QGridLayout* g, int row, int col, int id, const char* text, Span span = {}) {
    auto* b = withId(new QCheckBox(QString::fromUtf8(text), page), id);
    g->addWidget(b, row, col, span.rows, span.columns);
    return b;
}
inline QGroupBox* box(QWidget* page, QGridLayout* g, int row, int col, int id, const char* text, int colSpan = 4) {
    auto* b = withId(new QGroupBox(QString::fromUtf8(text), page), id);
    g->addWidget(b, row, col, 1, colSpan);
    return b;
}

inline void setText(QWidget* page, int id, const QString& text) {
    if (auto* l = qvui::findControl<QLabel>(page, id)) l->setText(text);
}
inline void showId(QWidget* page, int id, bool on) {
    if (QWidget* w = qvui::findControl(page, id)) w->setVisible(on);
}
inline void enableId(QWidget* page, int id, bool on) {
    if (QWidget* w = qvui::findControl(page, id)) w->setEnabled(on);
}

// Checks radio `checked` of first..last (BM_SETCHECK each); any other id
// (-1) leaves none checked.
inline void checkRadio(QWidget* page, int first, int last, int checked) {
    for (int id = first; id <= last; ++id)
        if (auto* r = qvui::findControl<QRadioButton>(page, id)) {
            r->setAutoExclusive(false);
            r->setChecked(id == checked);
            r->setAutoExclusive(true);
        }
}
// LoadEditGroup without the clamp a text change runs: a page shows the value
// the controller holds even when it lies outside the page's range, so loading
// the sheet never changes a parameter by itself (the user's edits are clamped).
inline void loadEditsQuiet(QWidget* page, const SupportMask& support, const EditGroup& group) {
    std::vector<std::unique_ptr<QSignalBlocker>> quiet;
    for (int i = 0; i < group.count(); ++i)
        if (QWidget* e = qvui::findControl(page, kIdFirstEdit + i)) quiet.push_back(std::make_unique<QSignalBlocker>(e));
    LoadEditGroup(page, support, group);
}

inline bool isChecked(QWidget* page, int id) {
    auto* b = qobject_cast<QAbstractButton*>(qvui::findControl(page, id));
    return b && b->isChecked();
}

// ---- groups and tips from the field table -------------------------------------
// Keys name rows of the field table (FindField); an unknown key is a
// programming error.

// The row of a key.
const ParamField& fieldRow(const char* key);

// Edit 520 + i edits row keys[i]: its value byte, between the row's minimum and
// its maximum rule (at most 255); the support mask is the record's item mask
// (the rows share one record) with each row's support bit. A page that shows a
// value + 1 row points values[i] at its own shown byte afterwards.
void fieldEdits(EditGroup& edits, SupportMask& support, ProgramRecords& r, std::span<const char* const> keys);
// Switch i shows row keys[i]: on by the row's polarity, offered when the record
// was read and the item is present.
void fieldSwitches(SwitchGroup& switches, ProgramRecords& r, std::span<const char* const> keys);

// A row's item as a step pair or slider moves it: the value byte, its range
// (ValueRange) and whether the record was read and the item is present.
struct FieldStep {
    uint8_t* value = nullptr;
    StepRange range;
    bool present = false;
};
FieldStep fieldStep(ProgramRecords& r, const char* key);

// The tips of the row (ParamField::tips) on the page's tip controls: a switch
// picture; edits firstId + i of rows keys[i] (each with its range line shown);
// the step pair firstId, firstId + 1; `count` choice pictures from firstId.
void switchTips(QWidget* page, int id, const char* key);
void editTips(QWidget* page, int firstId, std::span<const char* const> keys);
void stepTips(QWidget* page, int firstId, const char* key);
void choiceTips(QWidget* page, int firstId, const char* key, int count);

// The same with the keys written in place.
using Keys = std::initializer_list<const char*>;
inline std::span<const char* const> keysOf(Keys keys) { return {keys.begin(), keys.size()}; }
inline void fieldEdits(EditGroup& edits, SupportMask& support, ProgramRecords& r, Keys keys) {
    fieldEdits(edits, support, r, keysOf(keys));
}
inline void fieldSwitches(SwitchGroup& switches, ProgramRecords& r, Keys keys) { fieldSwitches(switches, r, keysOf(keys)); }
inline void editTips(QWidget* page, int firstId, Keys keys) { editTips(page, firstId, keysOf(keys)); }

} // namespace vcx::pagebuild
