// The tips and pictures the pages name: every tip a page gives exists, each page
// gives its controls their tips, and the pictures are drawn.
#include "params/drvic_custom_dlg.h"
#include "core/field_table.h"
#include "params/finger_base_dlg.h"
#include "params/misc_dlg.h"
#include "params/old_coord_dlg.h"
#include "params/para_dlg.h"
#include "params/param_bitmaps.h"
#include "params/param_units.h"
#include "params/power_dlg.h"
#include "params/xf6_scan_dlg.h"
#include "params_page_support.h"
#include "core/program_hooks.h"
#include "core/tip_controls.h"
#include "ui/string_table.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using paramtest::PageBench;

TEST(PageResources, EveryTipAndPictureThePagesNameExists) {
    vcx::addProgramStrings();
    for (const vcx::ParamField& f : vcx::ParameterFields())
        for (uint16_t id : f.tips)
            if (id) {
                EXPECT_FALSE(qvui::loadString(id).isEmpty()) << f.key << " " << id;
            }
    EXPECT_EQ(qvui::loadString(1228), "Total Sensor Pins: %d");
    EXPECT_EQ(qvui::loadString(1229), "Total Driver Pins: %d");
    // The water-mode and tail pictures: drawn, and each one its own.
    std::vector<QImage> seen;
    for (int id : {206, 207, 208, 209, 210, 211, 224, 225, 226, 227}) {
        const QPixmap pm = vcx::ParameterBitmap(id);
        ASSERT_FALSE(pm.isNull()) << id;
        const QImage img = pm.toImage();
        for (const QImage& other : seen) EXPECT_NE(img, other) << id;
        seen.push_back(img);
    }
    EXPECT_TRUE(vcx::ParameterBitmap(212).isNull());
}

// Every tip a page gives its controls (from its field rows or its own) names a
// string of the table.
TEST_F(PageBench, EveryTipAPageGivesNamesAString) {
    vcx::programState().engineerMode = true;
    vcx::CQVParaDlg sheet(c, nullptr);
    int given = 0;
    const auto exists = [&given](QWidget* page, quint32 id) {
        if (id == 0) return;
        ++given;
        EXPECT_FALSE(qvui::loadString(id).isEmpty()) << "template " << dynamic_cast<vcx::CQVParaParentDlg*>(page)->templateId()
                                                     << " tip " << id;
    };
    for (int t : {160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175, 176, 180, 181, 182, 183,
                  184, 185}) {
        vcx::CQVParaParentDlg* page = sheet.page(t);
        if (!page) continue;
        page->SetDlgItemTip();
        for (QWidget* w : page->findChildren<QWidget*>()) {
            if (auto* b = dynamic_cast<vcx::CQVMyTipBMP*>(w)) {
                for (quint32 id : {b->featureTipId, b->featureSecondId, b->sideTipId, b->sideSecondId}) exists(page, id);
            } else if (auto* b = dynamic_cast<vcx::CQVMyTipButton*>(w)) {
                for (quint32 id : {b->featureTipId, b->sideTipId}) exists(page, id);
            } else if (auto* e = dynamic_cast<vcx::CQVMyTipEdit*>(w)) {
                for (quint32 id : {e->featureTipId, e->sideTipId}) exists(page, id);
            } else if (auto* s = dynamic_cast<vcx::CQVMyTipSlider*>(w)) {
                for (quint32 id : {s->featureTipId1, s->sideTipId1, s->featureTipId2, s->sideTipId2}) exists(page, id);
            }
        }
    }
    // The pages give about a hundred tips: a walk that finds far fewer lost its pages.
    EXPECT_GE(given, 90);
}

// The tip ids each page gives its controls once (timer 1 of the sheet).
TEST_F(PageBench, PagesGiveTheirControlsTheirTips) {
    vcx::programState().engineerMode = true;
    vcx::CQVParaDlg sheet(c, nullptr);
    struct Tip {
        int page, control;
        uint32_t feature, side;
    };
    const Tip tips[] = {
        {163, 450, 630, 700}, {163, 451, 631, 701}, {163, 525, 632, 702}, {163, 521, 635, 705},
        {166, 520, 642, 0},   {166, 522, 644, 712}, {166, 523, 645, 713},
        {167, 510, 646, 714}, {167, 511, 647, 715}, {167, 512, 648, 730}, {167, 513, 668, 728},
        {167, 450, 649, 716}, {167, 451, 650, 717}, {167, 520, 651, 718},
        {169, 450, 652, 719}, {169, 451, 653, 720}, {169, 510, 672, 734},
        {171, 510, 655, 721}, {171, 511, 657, 722}, {171, 450, 660, 724}, {171, 451, 659, 723}, {171, 520, 661, 0},
        {174, 510, 662, 725}, {174, 512, 664, 731},
        {175, 451, 666, 726}, {175, 450, 667, 727},
        {183, 510, 646, 714}, {183, 511, 647, 715}, {183, 512, 648, 716},
        {184, 450, 652, 719}, {184, 451, 653, 720},
    };
    for (vcx::CQVParaParentDlg* p : {sheet.page(163), sheet.page(166), sheet.page(167), sheet.page(169),
                                     sheet.page(171), sheet.page(174), sheet.page(175), sheet.page(183),
                                     sheet.page(184)})
        p->SetDlgItemTip();
    for (const Tip& t : tips) {
        SCOPED_TRACE(testing::Message() << t.page << "/" << t.control);
        QWidget* w = qvui::findControl(sheet.page(t.page), t.control);
        ASSERT_NE(w, nullptr);
        if (auto* b = dynamic_cast<vcx::CQVMyTipBMP*>(w)) {
            EXPECT_EQ(b->featureTipId, t.feature);
            EXPECT_EQ(b->sideTipId, t.side);
        } else if (auto* b = dynamic_cast<vcx::CQVMyTipButton*>(w)) {
            EXPECT_EQ(b->featureTipId, t.feature);
            EXPECT_EQ(b->sideTipId, t.side);
        } else if (auto* e = dynamic_cast<vcx::CQVMyTipEdit*>(w)) {
            EXPECT_EQ(e->featureTipId, t.feature);
            EXPECT_EQ(e->sideTipId, t.side);
        } else {
            ADD_FAILURE() << "no tip control";
        }
    }
    // The switches' off tips.
    auto* sleep = dynamic_cast<vcx::CQVMyTipBMP*>(qvui::findControl(sheet.page(171), 510));
    EXPECT_EQ(sleep->featureSecondId, 656u);
    auto* lock = dynamic_cast<vcx::CQVMyTipBMP*>(qvui::findControl(sheet.page(167), 513));
    EXPECT_EQ(lock->featureSecondId, 669u);
    EXPECT_EQ(lock->sideSecondId, 729u);
}

}  // namespace
