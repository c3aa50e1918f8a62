// The customer panel description: its 18 bytes both ways, the refused inputs,
// and the dialog reached through the panel page's hidden button 450.
#include "params/csm_panel_dlg.h"
#include "params/panel_dlg.h"
#include "params_page_support.h"
#include "ui/modal_dialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

using paramtest::Boxes;
using paramtest::PageBench;

vcx::CustomerPanelTexts panel156() {
    vcx::CustomerPanelTexts t;
    const char* name = "QV-156FH";
    for (int i = 0; i < 8; ++i) t.name[size_t(i)] = QString(QChar(name[i]));
    t.sizeWhole = "15";
    t.sizeTenths = "6";
    t.wide = true;
    t.thickWhole = "1";
    t.thickTenths = "1";
    t.glass = true;
    t.widthWhole = "655";
    t.widthHundredths = "35";
    t.heightWhole = "2";
    t.heightHundredths = "05";
    return t;
}

TEST(CustomerPanel, EncodesAndDecodesThe18Bytes) {
    uint8_t d[18];
    std::fill(d, d + 18, 0xEE);  // bytes 12, 13 and bit 3 of byte 9 stay
    ASSERT_TRUE(vcx::EncodeCustomerPanel(panel156(), d, nullptr));
    const uint8_t expected[18] = {'Q', 'V', '-', '1', '5', '6', 'F', 'H', 0x15, 0x69, 0x11, 'G',
                                  0xEE, 0xEE, 0xFF, 0xFF, 205, 0};
    for (int i = 0; i < 18; ++i) EXPECT_EQ(d[i], expected[i]) << i;
    const vcx::CustomerPanelTexts back = vcx::DecodeCustomerPanel(d);
    const vcx::CustomerPanelTexts want = panel156();
    EXPECT_EQ(back.name, want.name);
    EXPECT_EQ(back.sizeWhole, "15");
    EXPECT_EQ(back.sizeTenths, "6");
    EXPECT_TRUE(back.wide);
    EXPECT_EQ(back.thickWhole, "1");
    EXPECT_EQ(back.thickTenths, "1");
    EXPECT_TRUE(back.glass);
    EXPECT_EQ(back.widthWhole, "655");
    EXPECT_EQ(back.widthHundredths, "35");
    EXPECT_EQ(back.heightWhole, "2");
    EXPECT_EQ(back.heightHundredths, "05");
    // 4 : 3 polymer clears bit 0 and writes 'P'.
    vcx::CustomerPanelTexts t = panel156();
    t.wide = false;
    t.glass = false;
    ASSERT_TRUE(vcx::EncodeCustomerPanel(t, d, nullptr));
    EXPECT_EQ(d[9], 0x68);
    EXPECT_EQ(d[11], 'P');
}

TEST(CustomerPanel, RefusesWhatTheBytesCannotHoldAndStoresNothing) {
    struct Case {
        const char* what;
        std::function<void(vcx::CustomerPanelTexts&)> change;
    };
    const Case cases[] = {
        {"empty name character", [](auto& t) { t.name[3].clear(); }},
        {"two characters", [](auto& t) { t.name[0] = "AB"; }},
        {"non-ASCII", [](auto& t) { t.name[2] = QString(QChar(0x00E9)); }},
        {"control character", [](auto& t) { t.name[2] = QString(QChar(0x07)); }},
        {"size over 99", [](auto& t) { t.sizeWhole = "100"; }},
        {"size not digits", [](auto& t) { t.sizeWhole = "1a"; }},
        {"negative size", [](auto& t) { t.sizeWhole = "-5"; }},
        {"tenths over 9", [](auto& t) { t.sizeTenths = "10"; }},
        {"thickness over 15", [](auto& t) { t.thickWhole = "16"; }},
        {"empty thickness", [](auto& t) { t.thickTenths.clear(); }},
        {"hundredths over 99", [](auto& t) { t.heightHundredths = "100"; }},
        {"key area not digits", [](auto& t) { t.widthWhole = "6.5"; }},
        {"empty key area", [](auto& t) { t.heightHundredths.clear(); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        vcx::CustomerPanelTexts t = panel156();
        k.change(t);
        uint8_t d[18] = {};
        QString why;
        EXPECT_FALSE(vcx::EncodeCustomerPanel(t, d, &why));
        EXPECT_FALSE(why.isEmpty());
        for (uint8_t b : d) EXPECT_EQ(b, 0);
    }
}

TEST(CustomerPanel, AKeyAreaAbove65535HundredthsIsStoredAsTheLargest) {
    struct Case {
        const char* whole;
        const char* hundredths;
        int stored;
    };
    for (const Case& k : {Case{"655", "35", 65535}, Case{"655", "36", 65535}, Case{"656", "00", 65535},
                          Case{"999", "99", 65535}, Case{"655", "34", 65534}, Case{"0", "00", 0}}) {
        SCOPED_TRACE(testing::Message() << k.whole << "." << k.hundredths);
        vcx::CustomerPanelTexts t = panel156();
        t.widthWhole = k.whole;
        t.widthHundredths = k.hundredths;
        uint8_t d[18] = {};
        ASSERT_TRUE(vcx::EncodeCustomerPanel(t, d, nullptr));
        EXPECT_EQ(d[14] | d[15] << 8, k.stored);
    }
}

TEST_F(PageBench, TheCustomerDialogRenamesTheSelectedEntriesOnOk) {
    vcx::programState().engineerMode = true;
    vcx::CQVxF6PanelDlg page(c, nullptr);
    page.LoadDlgItem();
    EXPECT_FALSE(at(&page, 450)->isVisibleTo(&page));  // never offered
    bool lensLocked = false;
    qvui::DialogResponder answer([&](QDialog& d) {
        auto* dlg = dynamic_cast<vcx::CQVCSMPanelDlg*>(&d);
        EXPECT_NE(dlg, nullptr);
        if (!dlg) return qvui::DialogChoice::Reject;
        lensLocked = !qvui::findControl(dlg, 530)->isEnabled();
        // A refused OK keeps the dialog open and the record as it was.
        vcx::CustomerPanelTexts bad = panel156();
        bad.sizeWhole = "9x";
        dlg->setTexts(bad);
        Boxes boxes;
        dlg->okClicked();
        EXPECT_EQ(boxes.asked.size(), 1u);
        EXPECT_EQ(c.records.panel.text[0], 'F');
        dlg->setTexts(panel156());
        dlg->okClicked();
        return qvui::DialogChoice::Accept;
    });
    page.customerSetting();
    EXPECT_FALSE(lensLocked);
    EXPECT_EQ(c.records.panel.text[0], 'Q');
    EXPECT_EQ(c.records.panel.text[8], 0x15);
    EXPECT_EQ(at<QComboBox>(&page, 502)->currentText(), "QV-156FH 15.6 (W)");
    EXPECT_EQ(at<QComboBox>(&page, 503)->currentText(), "1.1 mm Glass");
    EXPECT_EQ(at<QComboBox>(&page, 502)->currentData().toInt(), c.records.panel.item[0].value);
    // A cover lens chosen on the page but not applied locks thickness and material.
    c.records.panel.item[1].value = uint8_t(c.records.panel.item[1].stored + 1);
    qvui::DialogResponder look([&](QDialog& d) {
        lensLocked = !qvui::findControl(&d, 530)->isEnabled() && !qvui::findControl(&d, 461)->isEnabled();
        return qvui::DialogChoice::Reject;
    });
    page.customerSetting();
    EXPECT_TRUE(lensLocked);
}

}  // namespace
