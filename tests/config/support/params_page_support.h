// The page tests' bench: the full controller read, engineer mode off, and
// small queries over a page's controls by id.
#pragma once

#include "params/panel_dlg.h"
#include "core/parameter_read.h"
#include "params_support.h"
#include "core/strings.h"
#include "core/program_state.h"
#include "ui/control_ids.h"

#include <QAbstractButton>

#include <gtest/gtest.h>

namespace paramtest {

class PageBench : public ParamBench {
protected:
    void SetUp() override {
        vcx::addProgramStrings();
        ASSERT_TRUE(open("full"));
        ASSERT_TRUE(vcx::ReadAllParameters(c));
        vcx::programState().engineerMode = false;
        vcx::InvalidatePanelNames();
    }
    void TearDown() override { vcx::programState().engineerMode = false; }
    template <class T = QWidget>
    static T* at(QWidget* page, int id) {
        QWidget* w = qvui::findControl(page, id);
        EXPECT_NE(w, nullptr) << id;
        return qobject_cast<T*>(w);
    }
    static bool checked(QWidget* page, int id) { return at<QAbstractButton>(page, id)->isChecked(); }
    static std::vector<int> checkedOf(QWidget* page, int first, int last) {
        std::vector<int> out;
        for (int id = first; id <= last; ++id)
            if (checked(page, id)) out.push_back(id);
        return out;
    }
    static std::vector<int> enabledOf(QWidget* page, int first, int last) {
        std::vector<int> out;
        for (int id = first; id <= last; ++id)
            if (at(page, id)->isEnabled()) out.push_back(id);
        return out;
    }
    static std::vector<int> shownOf(QWidget* page, std::initializer_list<int> ids) {
        std::vector<int> out;
        for (int id : ids)
            if (at(page, id)->isVisibleTo(page)) out.push_back(id);
        return out;
    }
};

}  // namespace paramtest
