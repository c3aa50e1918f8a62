// The host-interface pages: the interface radios by the current interface, the
// maximum bits and the product, and what the radios, the HID report and the baud
// rate store.
#include "params/host_if_dlg.h"
#include "params/noise_dlg.h"
#include "params/panel_dlg.h"
#include "params/param_bitmaps.h"
#include "core/parameter_read.h"
#include "params/water_dlg.h"
#include "qvsim.h"
#include "params_page_support.h"
#include "core/strings.h"
#include "core/program_state.h"
#include "ui/control_ids.h"
#include "ui/window_message.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using paramtest::Boxes;
using paramtest::PageBench;

TEST_F(PageBench, HostInterfaceRadiosFollowTheCurrentInterfaceTheMaximumBitsAndTheProduct) {
    struct Case {
        uint8_t current;      // item 3, the interface in use
        uint8_t maximum;      // item 0's maximum
        uint16_t product;
        qvui::MessageAnswer answer;
        bool changeEnabled;   // 470 after load
        std::vector<int> checkedAfterLoad;
        std::vector<int> enabledAfterCheck;
        bool stillChecked;
    };
    using A = qvui::MessageAnswer;
    const Case cases[] = {
        {0x00, 0x87, 2081, A::Ok, true, {461}, {460, 461, 462, 463}, true},
        {0x01, 0x87, 2081, A::Ok, true, {462}, {460, 461, 462, 463}, true},
        {0x02, 0x87, 2081, A::Ok, true, {463}, {460, 461, 462, 463}, true},
        {0x08, 0x03, 2081, A::Ok, true, {460}, {461, 462}, true},
        {0x0A, 0x85, 2081, A::Ok, true, {460}, {460, 461, 463}, true},
        // An interface in bit 2 cannot be changed here.
        {0x04, 0x87, 2081, A::Ok, false, {}, {}, false},
        // A value past I2C checks nothing (no radio beyond 463).
        {0x03, 0x87, 2081, A::Ok, true, {}, {460, 461, 462, 463}, true},
        // These products never offer I2C.
        {0x00, 0x87, 1400, A::Ok, true, {461}, {460, 461, 462}, true},
        {0x00, 0x87, 1201, A::Ok, true, {461}, {460, 461, 462}, true},
        {0x00, 0x87, 1500, A::Ok, true, {461}, {460, 461, 462}, true},
        // Cancelling the cable warning unchecks the box and leaves the radios disabled.
        {0x00, 0x87, 2081, A::Cancel, true, {461}, {}, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "current " << int(k.current) << " max " << int(k.maximum) << " product "
                                        << k.product);
        for (int newer = 0; newer < 2; ++newer) {
            c.records.hostInterface.interfaceByte = k.current;
            c.records.hostInterface.item[0].maximum = k.maximum;
            c.records.fwInformation.productNumber = k.product;
            std::unique_ptr<vcx::CQVOldHostIFDlg> page;
            if (newer) page = std::make_unique<vcx::CQVxF6HostIFDlg>(c, nullptr);
            else page = std::make_unique<vcx::CQVOldHostIFDlg>(c, nullptr);
            page->LoadDlgItem();
            auto* change = at<QCheckBox>(page.get(), 470);
            EXPECT_EQ(change->isEnabled(), k.changeEnabled);
            EXPECT_FALSE(change->isChecked());
            EXPECT_EQ(checkedOf(page.get(), 460, 463), k.checkedAfterLoad);
            EXPECT_EQ(enabledOf(page.get(), 460, 463), std::vector<int>{});
            if (!k.changeEnabled) continue;
            Boxes boxes;
            boxes.answer = k.answer;
            QTest::mouseClick(change, Qt::LeftButton);
            ASSERT_EQ(boxes.asked.size(), 1u);
            EXPECT_EQ(boxes.asked[0].caption, "Warning! Change Host Interface");
            EXPECT_EQ(boxes.asked[0].defaultAnswer, qvui::MessageAnswer::Cancel);
            EXPECT_EQ(change->isChecked(), k.stillChecked);
            EXPECT_EQ(enabledOf(page.get(), 460, 463), k.enabledAfterCheck);
            // Unchecking disables every radio again, without asking.
            if (k.stillChecked) {
                QTest::mouseClick(change, Qt::LeftButton);
                EXPECT_EQ(boxes.asked.size(), 1u);
                EXPECT_EQ(enabledOf(page.get(), 460, 463), std::vector<int>{});
            }
        }
    }
}

TEST_F(PageBench, HostInterfaceRadiosStoreTheInterfaceValueAndTheNewerPageItsReportAndBaud) {
    c.api.GetProductID = &::GetProductID;
    uint32_t pid = 0;
    ASSERT_TRUE(GetProductID(c.dev.device, &pid));
    vcx::CQVxF6HostIFDlg page(c, nullptr);
    page.LoadDlgItem();
    EXPECT_EQ(at<QRadioButton>(&page, 461)->text(), QString("USB (PID : %1)").arg(pid));
    // Without a product id the radio says only "USB".
    c.api.GetProductID = nullptr;
    vcx::CQVOldHostIFDlg older(c, nullptr);
    older.LoadDlgItem();
    EXPECT_EQ(at<QRadioButton>(&older, 461)->text(), "USB");
    EXPECT_EQ(at<QLineEdit>(&page, 520)->text(), "41");
    EXPECT_EQ(checkedOf(&page, 464, 467), std::vector<int>{464});
    Boxes boxes;
    QTest::mouseClick(at(&page, 470), Qt::LeftButton);
    const uint8_t expected[] = {0x08, 0x00, 0x01, 0x02};
    for (int i = 0; i < 4; ++i) {
        at<QRadioButton>(&page, 460 + i)->click();
        EXPECT_EQ(c.records.hostInterface.item[0].value, expected[i]) << i;
        // The baud rate follows the RS232 / UART choice.
        EXPECT_EQ(at(&page, 502)->isEnabled(), i == 2) << i;
    }
    // The address is hexadecimal, clamped to 1..maximum (0x7F).
    at<QLineEdit>(&page, 520)->setText("2A");
    EXPECT_EQ(c.records.hostInterface.item[1].value, 0x2A);
    at<QLineEdit>(&page, 520)->setText("FF");
    EXPECT_EQ(c.records.hostInterface.item[1].value, 0x7F);
    at<QLineEdit>(&page, 520)->setText("0");
    EXPECT_EQ(c.records.hostInterface.item[1].value, 0x01);
    page.reportRadioClicked(465);
    EXPECT_EQ(c.records.hostInterface.item3.value, 1);
    at<QComboBox>(&page, 502)->setCurrentIndex(3);
    page.SaveDlgItem();
    EXPECT_EQ(c.records.hostInterface.item[2].value, 3);
}

}  // namespace
