// Small builders the parameter pages share: controls made with their ids on a
// grid, radio groups checked by id, labels written by id.
#pragma once

#include "params/para_parent_dlg.h"
#include "core/tip_controls.h"
#include "ui/control_ids.h"

#include <QComboBox>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>

#include <memory>
#include <vector>

namespace vcx::pagebuild {

template <class T>
T* withId(T* w, int id) {
    qvui::setControlId(w, id);
    return w;
}

inline QLabel* caption(QWidget* page, QGridLayout* g, int row, int col, const char* text, int id = -1) {
    auto* l = new QLabel(QString::fromUtf8(text), page);
    if (id >= 0) qvui::setControlId(l, id);
    g->addWidget(l, row, col);
    return l;
}
inline QLabel* label(QWidget* page, QGridLayout* g, int row, int col, int id) {
    auto* l = withId(new QLabel(page), id);
    g->addWidget(l, row, col);
    return l;
}
inline CQVMyTipEdit* edit(QWidget* page, QGridLayout* g, int row, int col, int id, int limit = 3) {
    auto* e = withId(new CQVMyTipEdit(page), id);
    e->setMaxLength(limit);
    g->addWidget(e, row, col);
    return e;
}
inline CQVMyTipBMP* picture(QWidget* page, QGridLayout* g, int row, int col, int id) {
    auto* b = withId(new CQVMyTipBMP(page), id);
    g->addWidget(b, row, col);
    return b;
}
inline CQVMyTipButton* button(QWidget* page, QGridLayout* g, int row, int col, int id, const char* text) {
    auto* b = withId(new CQVMyTipButton(page), id);
    b->setText(QString::fromUtf8(text));
    g->addWidget(b, row, col);
    return b;
}
inline CQVMyTipSlider* slider(QWidget* page, QGridLayout* g, int row, int col, int id) {
    auto* s = withId(new CQVMyTipSlider(page), id);
    s->setOrientation(Qt::Horizontal);
    s->setTickPosition(QSlider::TicksBelow);
    g->addWidget(s, row, col);
    return s;
}
inline QRadioButton* radio(QWidget* page, QGridLayout* g, int row, int col, int id, const char* text) {
    auto* r = withId(new QRadioButton(QString::fromUtf8(text), page), id);
    g->addWidget(r, row, col);
    return r;
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

} // namespace vcx::pagebuild
