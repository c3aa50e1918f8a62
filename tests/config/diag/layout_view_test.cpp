// The scan view's arithmetic and its small dialog: cell size, node positions,
// fifth lines and the button table; the Log Dialog's fields and keys.
#include "diag/log_dlg.h"
#include "diag/scan_dlg.h"
#include "diag/scan_layout.h"

#include "ui/control_ids.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <gtest/gtest.h>

namespace {

TEST(DiagScanLayout, CellSize) {
    struct Case {
        int width, height, scale, rows, columns;
        uint16_t flags;
        int cell;
    };
    const Case cases[] = {
        {725, 385, 100, 16, 28, 0x0000, 17},    // (725 - 230) / 28 = 17 against (385 - 35) / 16 = 21
        {725, 385, 100, 16, 28, 0x0001, 12},    // exchanged: 16 columns, 28 rows: 350 / 28
        {2000, 2000, 100, 4, 4, 0x0000, 50},    // at most 50
        {1088, 578, 150, 16, 28, 0x0000, 26},   // x0 345, y0 52: 743 / 28 = 26, 526 / 16 = 32
        {725, 385, 100, 0, 28, 0x0000, 0},      // no rows: nothing
        {725, 385, 100, 16, 0, 0x0000, 0},
        {100, 20, 100, 16, 28, 0x0000, 0},      // a view smaller than the origin
    };
    for (const Case& k : cases)
        EXPECT_EQ(vcx::ComputeCellSize(k.width, k.height, k.scale, k.rows, k.columns, k.flags), k.cell)
            << k.width << "x" << k.height << " at " << k.scale << "% flags " << k.flags;
}

TEST(DiagScanLayout, NodePositionsFollowTheMirrorAndExchangeBits) {
    struct Case {
        const char* name;
        uint16_t flags;
        QPoint node12, node00;  // nodes (1, 2) and (0, 0) of a 3 x 4 panel, cell 10
    };
    const Case cases[] = {
        {"plain", 0x0000, {250, 45}, {230, 35}},
        {"bit 10: columns from the right", 0x0400, {240, 45}, {260, 35}},
        {"bit 9: rows from the bottom", 0x0200, {250, 45}, {230, 55}},
        {"both mirrors", 0x0600, {240, 45}, {260, 55}},
        {"bit 0: row r is drawn at column r", 0x0001, {240, 55}, {230, 35}},
        {"bit 0 with bit 10", 0x0401, {240, 55}, {250, 35}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const vcx::SensorGrid g = vcx::LayoutSensorGrid(10, 100, 3, 4, k.flags);
        ASSERT_EQ(g.nodes.size(), 12u);
        EXPECT_EQ(g.nodes[1 * 4 + 2], k.node12);
        EXPECT_EQ(g.nodes[0], k.node00);
    }
    const vcx::SensorGrid plain = vcx::LayoutSensorGrid(10, 100, 3, 4, 0);
    EXPECT_EQ(plain.frame, QRect(QPoint(225, 30), QPoint(265, 60)));
    EXPECT_EQ(plain.lines.size(), 3u + 4u);
    const vcx::SensorGrid exchanged = vcx::LayoutSensorGrid(10, 100, 3, 4, 0x0001);
    EXPECT_EQ(exchanged.drawColumns, 3);
    EXPECT_EQ(exchanged.drawRows, 4);
    // A or B 0, or no cell: nothing to draw.
    EXPECT_TRUE(vcx::LayoutSensorGrid(10, 100, 0, 4, 0).nodes.empty());
    EXPECT_TRUE(vcx::LayoutSensorGrid(10, 100, 3, 0, 0).nodes.empty());
    EXPECT_TRUE(vcx::LayoutSensorGrid(0, 100, 3, 4, 0).nodes.empty());
}

TEST(DiagScanLayout, RadiusAndFifthLines) {
    for (auto [cell, radius] : {std::pair{6, 3}, {12, 4}, {21, 7}, {30, 8}, {50, 8}})
        EXPECT_EQ(vcx::LayoutSensorGrid(cell, 100, 3, 4, 0).radius, radius) << cell;
    // 12 rows, 11 columns: rows 5 and 10 and columns 5 and 10 again, 20 px longer before the grid.
    const vcx::SensorGrid g = vcx::LayoutSensorGrid(10, 100, 12, 11, 0);
    ASSERT_EQ(g.fifthLines.size(), 4u);
    EXPECT_EQ(g.fifthLines[0].from, QPoint(210, 85));
    EXPECT_EQ(g.fifthLines[0].to, QPoint(330, 85));
    EXPECT_EQ(g.fifthLines[2].from, QPoint(280, 15));
    ASSERT_EQ(g.labels.size(), 4u);
    EXPECT_EQ(g.labels[0].number, 5);
    EXPECT_EQ(g.labels[1].number, 10);
    EXPECT_EQ(g.labels[0].box.width(), 20);  // s x 20 / 100
    EXPECT_LE(g.labels[0].box.right(), 210);  // just before the line's start
}

TEST(DiagScanLayout, ButtonTable) {
    using B = std::array<bool, 4>;  // Start, Cancel, Save, Select Folder
    EXPECT_EQ(vcx::ButtonsEnabled(0, 0, false), (B{false, false, false, true}));
    EXPECT_EQ(vcx::ButtonsEnabled(1, 0, false), (B{true, false, false, true}));
    EXPECT_EQ(vcx::ButtonsEnabled(2, 0, false), (B{false, true, false, false}));
    EXPECT_EQ(vcx::ButtonsEnabled(3, 0, false), (B{true, false, true, true}));
    EXPECT_EQ(vcx::ButtonsEnabled(4, 0, false), (B{true, false, false, true}));
    // A running state uses state 5; a production line never offers Start.
    EXPECT_EQ(vcx::ButtonsEnabled(3, 2, false), (B{false, false, false, false}));
    EXPECT_EQ(vcx::ButtonsEnabled(3, 0, true), (B{false, false, true, true}));
}

class DiagLogDlg : public ::testing::Test {
protected:
    void TearDown() override { vcx::scanShared() = vcx::ScanViewShared{}; }
    static QLineEdit* edit(QWidget& d, int id) { return qvui::findControl<QLineEdit>(&d, id); }
    static void key(QWidget& d, QEvent::Type type, int k) {
        QKeyEvent e(type, k, Qt::NoModifier);
        QApplication::sendEvent(&d, &e);
    }
};

TEST_F(DiagLogDlg, FieldsAtInitialisation) {
    qvtext::ScopedClock clock(qvtext::LocalTime{2026, 3, 4, 5, 6, 7, 0});
    vcx::scanShared().g_strBatch1 = "old1";
    vcx::scanShared().g_strBatch2 = "old2";
    vcx::CLogDlg d("QV2081A", false, false);
    EXPECT_EQ(edit(d, vcx::CLogDlg::kIdProduct)->text(), "QV2081A");
    EXPECT_EQ(edit(d, vcx::CLogDlg::kIdBatch1)->text(), "old1");
    EXPECT_EQ(edit(d, vcx::CLogDlg::kIdBatch2)->text(), "old2");
    EXPECT_EQ(edit(d, vcx::CLogDlg::kIdDate)->text(), "2026/03/04 05:06:07");
    EXPECT_EQ(d.times().t0, "050607");
    EXPECT_EQ(d.times().t2, "05:06:07");
}

TEST_F(DiagLogDlg, OkKeepsTheDialogForAMissingOrUnsafeBatch) {
    struct Case {
        const char* b1;
        const char* b2;
        bool needBatch2, accepted;
        int focus;
    };
    const Case cases[] = {
        {"", "x", false, false, vcx::CLogDlg::kIdBatch1},
        {"A1", "", false, true, 0},
        {"A1", "", true, false, vcx::CLogDlg::kIdBatch2},
        {"../up", "x", false, false, vcx::CLogDlg::kIdBatch1},
        {"a/b", "x", false, false, vcx::CLogDlg::kIdBatch1},
        {"a\\b", "x", false, false, vcx::CLogDlg::kIdBatch1},
        {"A1", "tab\there", false, false, vcx::CLogDlg::kIdBatch2},
        {"A1", "B2", true, true, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.b1) + " | " + k.b2);
        vcx::scanShared() = vcx::ScanViewShared{};
        vcx::CLogDlg d("M", false, k.needBatch2);
        d.show();
        edit(d, vcx::CLogDlg::kIdBatch1)->setText(k.b1);
        edit(d, vcx::CLogDlg::kIdBatch2)->setText(k.b2);
        d.accept();
        EXPECT_EQ(d.result() == QDialog::Accepted, k.accepted);
        EXPECT_EQ(d.isVisible(), !k.accepted);
        if (k.accepted) {
            EXPECT_EQ(vcx::scanShared().g_strBatch1, k.b1);
            EXPECT_EQ(vcx::scanShared().g_strBatch2, k.b2);
        } else {
            EXPECT_EQ(d.focusWidget(), edit(d, k.focus));
            EXPECT_TRUE(vcx::scanShared().g_strBatch1.empty());
        }
    }
}

TEST_F(DiagLogDlg, ScannerEnterMovesOnAndEscapeCancelsOnRelease) {
    vcx::CLogDlg d("M", true, true);
    d.show();
    edit(d, vcx::CLogDlg::kIdBatch1)->setText("A1");
    edit(d, vcx::CLogDlg::kIdBatch1)->setFocus();
    d.accept();  // the scanner's Enter after the first code
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.focusWidget(), edit(d, vcx::CLogDlg::kIdBatch2));
    edit(d, vcx::CLogDlg::kIdBatch2)->setText("B2");
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(vcx::scanShared().g_strBatch2, "B2");

    vcx::CLogDlg e("M", false, false);
    e.show();
    key(e, QEvent::KeyPress, Qt::Key_Escape);
    EXPECT_TRUE(e.isVisible());  // not on the press
    key(e, QEvent::KeyRelease, Qt::Key_Escape);
    EXPECT_FALSE(e.isVisible());
    EXPECT_EQ(e.result(), QDialog::Rejected);
}

}  // namespace
