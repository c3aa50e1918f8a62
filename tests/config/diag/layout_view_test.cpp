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

#include <set>

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
        EXPECT_EQ(vcx::ComputeCellSize(k.width, k.height, vcx::GridOrigin(k.scale), k.rows, k.columns, k.flags), k.cell)
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
        const vcx::SensorGrid g = vcx::LayoutSensorGrid(10, vcx::GridOrigin(100), {}, 3, 4, k.flags);
        ASSERT_EQ(g.nodes.size(), 12u);
        EXPECT_EQ(g.nodes[1 * 4 + 2], k.node12);
        EXPECT_EQ(g.nodes[0], k.node00);
    }
    const vcx::SensorGrid plain = vcx::LayoutSensorGrid(10, vcx::GridOrigin(100), {}, 3, 4, 0);
    EXPECT_EQ(plain.frame, QRect(QPoint(225, 30), QPoint(265, 60)));
    EXPECT_EQ(plain.lines.size(), 3u + 4u);
    const vcx::SensorGrid exchanged = vcx::LayoutSensorGrid(10, vcx::GridOrigin(100), {}, 3, 4, 0x0001);
    EXPECT_EQ(exchanged.drawColumns, 3);
    EXPECT_EQ(exchanged.drawRows, 4);
    // A or B 0, or no cell: nothing to draw.
    EXPECT_TRUE(vcx::LayoutSensorGrid(10, vcx::GridOrigin(100), {}, 0, 4, 0).nodes.empty());
    EXPECT_TRUE(vcx::LayoutSensorGrid(10, vcx::GridOrigin(100), {}, 3, 0, 0).nodes.empty());
    EXPECT_TRUE(vcx::LayoutSensorGrid(0, vcx::GridOrigin(100), {}, 3, 4, 0).nodes.empty());
}

TEST(DiagScanLayout, RadiusAndFifthLines) {
    for (auto [cell, radius] : {std::pair{6, 3}, {12, 4}, {21, 7}, {30, 8}, {50, 8}})
        EXPECT_EQ(vcx::LayoutSensorGrid(cell, vcx::GridOrigin(100), {}, 3, 4, 0).radius, radius) << cell;
    // 12 rows, 11 columns: rows 5 and 10 and columns 5 and 10 again, 20 px longer before the grid.
    const vcx::SensorGrid g = vcx::LayoutSensorGrid(10, vcx::GridOrigin(100), {}, 12, 11, 0);
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

// Every node and label of every panel the controller can describe lies inside
// the view, apart from its neighbours, right of a column of controls that holds
// the widest failure text, the counters, the four buttons and the badge; in the
// view the page gives at the main window's smallest page area (640 x 420 less
// the views' corner at (9, 11)), and when the window is large.
TEST(DiagScanLayout, EveryPanelFitsTheView) {
    vcx::ScanViewMetrics m;
    m.listTextWidth = 170;  // "Check Firmware Version Fail"
    m.listChrome = 30;
    m.rowHeight = 22;
    m.progressHeight = 12;
    m.button = {90, 30};
    m.badge = {120, 48};
    m.label = {24, 17};
    struct Panel {
        int rows, columns;
        uint16_t flags;
    };
    const Panel panels[] = {{16, 28, 0x0000}, {40, 70, 0x0000}, {100, 180, 0x0000},
                            {100, 180, 0x0601}, {28, 16, 0x0001}, {255, 255, 0x0000}};
    for (QSize view : {QSize(631, 409), QSize(1900, 1000)})
        for (const Panel& k : panels) {
            if (k.rows == 255 && view.width() < 1900) continue;  // the largest needs a large window
            SCOPED_TRACE(std::to_string(view.width()) + "x" + std::to_string(view.height()) + " panel " +
                         std::to_string(k.rows) + "x" + std::to_string(k.columns) + " flags " +
                         std::to_string(k.flags));
            const vcx::ScanViewLayout l = vcx::LayoutScanView(view, 100, m, k.rows, k.columns, k.flags);
            const QRect area(QPoint(0, 0), view);
            std::vector<QRect> controls = {l.list, l.progress, l.autoSave, l.passLabel, l.passCount,
                                           l.failLabel, l.failCount, l.badge};
            controls.insert(controls.end(), l.buttons.begin(), l.buttons.end());
            int columnRight = 0;
            for (const QRect& r : controls) {
                EXPECT_TRUE(area.contains(r)) << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
                columnRight = std::max(columnRight, r.right());
            }
            EXPECT_GE(l.list.width(), m.listTextWidth + m.listChrome);
            EXPECT_GE(l.list.height(), 3 * m.rowHeight);
            for (const QRect& b : l.buttons) EXPECT_GE(b.width(), m.button.width());
            EXPECT_EQ(l.badge.size(), m.badge);
            for (size_t i = 0; i < controls.size(); ++i)
                for (size_t j = i + 1; j < controls.size(); ++j)
                    EXPECT_FALSE(controls[i].intersects(controls[j])) << i << " " << j;

            const vcx::SensorGrid g = vcx::LayoutSensorGrid(l.cell, l.origin, l.label, k.rows, k.columns, k.flags);
            ASSERT_GE(g.cell, 2);
            EXPECT_LE(2 * g.radius, g.cell);  // neighbours never run together
            ASSERT_EQ(g.nodes.size(), size_t(k.rows) * size_t(k.columns));
            EXPECT_TRUE(area.contains(g.frame));
            EXPECT_GT(g.frame.left(), columnRight);
            for (const QPoint& n : g.nodes) {
                EXPECT_TRUE(area.contains(QRect(n - QPoint(g.radius, g.radius), QSize(2 * g.radius, 2 * g.radius))));
                EXPECT_GT(n.x() - g.radius, columnRight);
            }
            std::set<int> columnNumbers;
            for (size_t i = 0; i < g.labels.size(); ++i) {
                const vcx::GridLabel& a = g.labels[i];
                EXPECT_TRUE(area.contains(a.box)) << a.number;
                EXPECT_GT(a.box.left(), columnRight) << a.number;
                for (size_t j = i + 1; j < g.labels.size(); ++j) EXPECT_FALSE(a.box.intersects(g.labels[j].box));
                if (a.box.bottom() < g.y0) columnNumbers.insert(a.number);
            }
            // A 28-column panel is labelled at every fifth column, up to 25.
            if (k.columns == 28 && k.flags == 0) {
                EXPECT_EQ(columnNumbers, (std::set<int>{5, 10, 15, 20, 25}));
            }
            EXPECT_FALSE(columnNumbers.empty());
        }
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
    // The date shows whole: its field is wide enough for the text and starts at its first character.
    d.show();
    QLineEdit* date = edit(d, vcx::CLogDlg::kIdDate);
    const QMargins margins = date->textMargins();
    EXPECT_GE(date->contentsRect().width() - 4 - margins.left() - margins.right(),
              date->fontMetrics().horizontalAdvance(date->text()));
    EXPECT_EQ(date->cursorPosition(), 0);
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
