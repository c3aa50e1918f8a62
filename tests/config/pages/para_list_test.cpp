// The raw parameter table and its byte editor: the grid's arithmetic, and the
// tool over the library's own code on simulated controllers, whose received
// commands and memory say what reached the controller.
#include "pages/para_list_dlg.h"

#include "core/device_readout.h"
#include "core/program_hooks.h"
#include "core/program_state.h"
#include "params_support.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <optional>
#include <set>

namespace {

using paramtest::Boxes;
using paramtest::MainWindowSink;
using vcx::CQVParaEditDlg;
using vcx::CQVParaListDlg;
using vcx::ParaCellByte;
using vcx::ParaListLengths;

constexpr uint8_t TP = vcx::kParaListTP, BT = vcx::kParaListBT, DB = vcx::kParaListDB;
constexpr uint8_t SLV1 = vcx::kParaListSlave + 1;

TEST(ParaListGrid, CellsMapToListBytesAndShortRowsAreShown) {
    struct Case {
        ParaListLengths lengths;
        int page, cell;
        std::optional<ParaCellByte> byte;
    } cases[] = {
        {{64, 16, 16, 32}, 0, 0, ParaCellByte{TP, 0}},
        {{64, 16, 16, 32}, 0, 63, ParaCellByte{TP, 63}},
        {{64, 16, 16, 32}, 0, 64, ParaCellByte{BT, 0}},
        {{64, 16, 16, 32}, 0, 85, ParaCellByte{DB, 5}},
        {{64, 16, 16, 32}, 0, 96, std::nullopt},
        {{64, 16, 16, 32}, 1, 95, std::nullopt},  // a master cell on a slave page
        {{64, 16, 16, 32}, 2, 96 + 31, ParaCellByte{uint8_t(vcx::kParaListSlave + 2), 31}},
        {{64, 16, 16, 32}, 2, 96 + 32, std::nullopt},
        {{64, 16, 0, 32}, 0, 80, std::nullopt},  // an empty DB list has no cell
        {{255, 255, 255, 255}, 0, 499, ParaCellByte{BT, 244}},
        {{255, 255, 255, 255}, 0, 500, std::nullopt},  // no cell past 500
        {{255, 255, 255, 255}, 1, 499, std::nullopt},
    };
    for (const Case& k : cases)
        EXPECT_EQ(vcx::ParaValueCellByte(k.cell, k.lengths, k.page), k.byte) << k.page << " " << k.cell;

    // 20 bytes are two rows, the second with 4 cells; an empty list has no row.
    const vcx::ParaPageLayout twenty = vcx::LayoutParaPage({20, 16, 0, 0}, 0, false, 100);
    EXPECT_EQ(twenty.sections, (std::vector<vcx::ParaSection>{
                                   {TP, 0, 20, 20, 2}, {BT, 20, 16, 16, 1}, {DB, 36, 0, 0, 0}}));
    ASSERT_EQ(twenty.values.size(), 36u);
    EXPECT_EQ(twenty.values[19].cell, 19);
    EXPECT_EQ(twenty.values[19].rect.top(), twenty.values[16].rect.top());
    EXPECT_GT(twenty.values[16].rect.top(), twenty.values[15].rect.top());
    std::vector<QString> rowLabels;
    for (const auto& h : twenty.headers)
        if (h.text.startsWith("0x")) rowLabels.push_back(h.text + (h.listId == TP ? "TP" : h.listId == BT ? "BT" : "DB"));
    EXPECT_EQ(rowLabels, (std::vector<QString>{"0x00TP", "0x10TP", "0x00BT"}));

    // Three lists of 255 bytes: 500 cells and no more, each once, inside the tool.
    const vcx::ParaPageLayout full = vcx::LayoutParaPage({255, 255, 255, 255}, 0, false, 150);
    EXPECT_EQ(full.sections[1], (vcx::ParaSection{BT, 255, 255, 245, 16}));
    EXPECT_EQ(full.sections[2].shownBytes, 0);
    EXPECT_LE(full.headers.size(), size_t(vcx::kParaHeaderCells));
    std::set<int> cells;
    for (const auto& v : full.values) {
        cells.insert(v.cell);
        EXPECT_LE(v.rect.bottom(), vcx::ParaStateRect(0, 150).top()) << v.cell;
        EXPECT_LE(v.rect.right(), vcx::kParaToolWidth * 150 / 100) << v.cell;
    }
    EXPECT_EQ(cells.size(), 500u);
    EXPECT_EQ(*cells.rbegin(), 499);
    // A slave page without its list shows nothing.
    EXPECT_TRUE(vcx::LayoutParaPage({64, 16, 16, 32}, 1, false, 100).headers.empty());
}

TEST(ParaListGrid, ColoursBySectionAndByteAndTheE1Forms) {
    const QColor tp(179, 217, 217), bt(216, 216, 235), db(218, 177, 213), slv(255, 218, 200);
    const QColor dark(60, 60, 60), light(160, 160, 160), black(0, 0, 0);
    EXPECT_EQ(vcx::ParaHeaderColours(BT), (vcx::ParaCellColours{bt, black}));
    EXPECT_EQ(vcx::ParaValueColours(ParaCellByte{TP, 3}, 0x12), (vcx::ParaCellColours{tp, dark}));
    EXPECT_EQ(vcx::ParaValueColours(ParaCellByte{DB, 3}, 0), (vcx::ParaCellColours{db, light}));
    EXPECT_EQ(vcx::ParaValueColours(ParaCellByte{SLV1, 0}, 1), (vcx::ParaCellColours{slv, dark}));
    EXPECT_EQ(vcx::ParaValueColours(std::nullopt, 1), (vcx::ParaCellColours{QColor(192, 192, 192), black}));

    // Unbanked addresses wrap within the byte, where the library read them from.
    EXPECT_EQ(vcx::ParaByteWriteCommand(BT, 0xC1, false), (vcx::ParaByteCommand{0x00, 0x01}));
    EXPECT_EQ(vcx::ByteEditorTitle(DB, 0x0A), "DB Index: 0x0A");
    EXPECT_EQ(vcx::ByteEditorTitle(SLV1, 0x1F), "Slv1 Index: 0x1F");
}

// The tool on a simulated controller read the way the program reads it.
class ParaListTool : public paramtest::ParamBench {
protected:
    void TearDown() override {
        tool.reset();
        ParamBench::TearDown();
    }

    void openTool(const std::string& profile, const std::function<void(qvsim::ControllerProfile&)>& edit = {}) {
        ASSERT_TRUE(openEdited(profile, edit));
        vcxtest::BindSlots(c.api, {"SetParameterList", "GetStateFlagEx"});
        readLists();
        tool = std::make_unique<CQVParaListDlg>(c, nullptr);
        tool->setMainWindow(&sink);
        tool->RefreshPage();
        ctl().clearTrace();
    }
    // The read-out of a connect, then what the Debug page reads when it shows the tool.
    void readLists() {
        vcx::ReadDevice(c, vcx::programState(), false);
        ASSERT_EQ(c.api.GetParameterList(c.dev.device, &c.records.paraList), 1);
        ASSERT_EQ(c.api.GetStateFlagEx(c.dev.device, &c.records.stateFlagEx), 1);
    }

    QWidget* at(int id) { return qvui::findControl(tool.get(), id); }
    QLabel* cell(int index) { return qvui::findControl<QLabel>(tool.get(), vcx::kIdFirstValueCell + index); }
    std::vector<int> shownCells() {
        std::vector<int> out;
        for (int i = 0; i < vcx::kParaValueCells; ++i)
            if (cell(i)->isVisibleTo(tool.get())) out.push_back(i);
        return out;
    }
    CQVParaEditDlg* editor() { return CQVParaEditDlg::instance(); }
    template <class T = QWidget>
    T* edit(int id) { return qvui::findControl<T>(editor(), id); }
    void key(QWidget* w, QEvent::Type type, int k) {
        QKeyEvent e(type, k, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
    }

    std::unique_ptr<CQVParaListDlg> tool;
    MainWindowSink sink;
    Boxes boxes;
};

TEST_F(ParaListTool, WriteListByteSendsOneE1ByListAndAddressing) {
    struct Case {
        uint8_t list;
        const char* banked;
        const char* plain;
    } cases[] = {
        {TP, "E1 80 05 00 %02X", "E1 00 05 00 %02X"},
        {BT, "E1 90 05 00 %02X", "E1 00 45 00 %02X"},
        {DB, "E1 A0 05 00 %02X", "E1 00 85 00 %02X"},
    };
    uint8_t value = 0x5C;
    for (bool banked : {true, false}) {
        // Feature byte 3 bit 7 decides where the controller keeps its lists.
        TearDown();
        openTool("full", [&](qvsim::ControllerProfile& p) { p.featureF4[2] = banked ? 0x80 : 0x00; });
        ASSERT_EQ(tool->banked(), banked);
        for (const Case& k : cases) {
            ++value;
            tool->setChangedMark(false);
            ctl().clearTrace();
            tool->WriteListByte(k.list, 5, value);
            const std::string expected = QString::asprintf(banked ? k.banked : k.plain, value).toStdString();
            EXPECT_EQ(sent(), std::vector<std::string>{expected}) << int(k.list);
            EXPECT_TRUE(tool->changedMark());
            const uint8_t* lists[] = {c.records.paraList.touchList, c.records.paraList.bootList,
                                      c.records.paraList.debugList};
            EXPECT_EQ(lists[k.list][5], value);
            // The controller holds the byte where its list lives.
            const uint8_t held = banked ? ctl().profile().paramBanks[uint8_t(0x80 + 0x10 * k.list)][5]
                                        : ctl().reg(0x00, uint8_t(0x40 * k.list + 5))[3];
            EXPECT_EQ(held, value) << int(k.list) << " banked " << banked;
        }
    }
    // The cell shows the new byte; a refused command still leaves it in the list.
    tool->RefreshPage();
    ctl().refuse(0xE1);
    tool->WriteListByte(TP, 2, 0x00);
    EXPECT_EQ(c.records.paraList.touchList[2], 0x00);
    EXPECT_EQ(cell(2)->text(), "00");
    EXPECT_EQ(cell(2)->palette().color(QPalette::WindowText), QColor(160, 160, 160));
}

TEST_F(ParaListTool, SlavePagesShowTheirListsAndTheirBytesGoOutWithTheE1Button) {
    openTool("demo");
    ASSERT_EQ(tool->slaveCount(), 2);
    auto* prev = qobject_cast<QPushButton*>(at(CQVParaListDlg::kIdPrevPage));
    auto* next = qobject_cast<QPushButton*>(at(CQVParaListDlg::kIdNextPage));
    EXPECT_FALSE(prev->isEnabled());
    EXPECT_TRUE(next->isEnabled());
    const int master = 128 + 64 + 16;
    EXPECT_EQ(shownCells().size(), size_t(master));

    next->click();
    next->click();
    EXPECT_EQ(tool->page(), 2);
    EXPECT_TRUE(prev->isEnabled());
    EXPECT_FALSE(next->isEnabled());
    next->click();  // not past the last slave
    EXPECT_EQ(tool->page(), 2);
    prev->click();
    EXPECT_EQ(tool->page(), 1);
    EXPECT_TRUE(prev->isEnabled() && next->isEnabled());
    const std::vector<int> shown = shownCells();
    ASSERT_EQ(shown.size(), 32u);
    EXPECT_EQ(shown.front(), master);
    EXPECT_EQ(qvui::findControl<QLabel>(tool.get(), vcx::kIdFirstHeaderCell)->text(), "SLV1");

    tool->OnCellClicked(vcx::kIdFirstValueCell + master + 3);
    EXPECT_EQ(edit<QLabel>(CQVParaEditDlg::kIdTitle)->text(), "Slv1 Index: 0x03");
    EXPECT_EQ(edit<QLineEdit>(CQVParaEditDlg::kIdHex)->text(),
              QString::asprintf("%02X", c.records.paraList.slaveList[0][3]));
    edit<QLineEdit>(CQVParaEditDlg::kIdHex)->setText("A7");
    qobject_cast<QPushButton*>(edit(CQVParaEditDlg::kIdApply))->click();
    EXPECT_TRUE(sent().empty());  // a slave byte changes only in the list
    EXPECT_EQ(c.records.paraList.slaveList[0][3], 0xA7);
    EXPECT_TRUE(tool->changedMark());
    EXPECT_EQ(cell(master + 3)->text(), "A7");

    // "0xE1": the changed bytes of every list, then the update lock taken again.
    qobject_cast<QPushButton*>(at(CQVParaListDlg::kIdSendE1))->click();
    const std::vector<std::string> out = sent();
    EXPECT_NE(std::find(out.begin(), out.end(), "E1 00 03 00 A7"), out.end());
    EXPECT_EQ(out.back(), "F6 00 9F 00 01");
    EXPECT_TRUE(boxes.asked.empty());
    EXPECT_EQ(ctl().profile().slaves[0].parameters[3], 0xA7);
}

// What the main window does with every press in its windows (installed on
// the application before any page): a visible byte editor is asked to close,
// unless the press is in the editor itself.
struct MainWindowPressFilter : QObject {
    bool eventFilter(QObject* watched, QEvent* e) override {
        auto* w = qobject_cast<QWidget*>(watched);
        QWidget* editor = vcx::programHooks().byteEditor ? vcx::programHooks().byteEditor() : nullptr;
        if (e->type() == QEvent::MouseButtonPress && w && editor && w->window() != editor && editor->isVisible())
            qvui::sendMessage(editor, qvui::WM_TRAY_NOTIFY, 0, 0);
        return false;
    }
};

TEST_F(ParaListTool, ByteEditorKeepsHexDecimalAndBitsInStep) {
    MainWindowPressFilter mainWindow;
    qApp->installEventFilter(&mainWindow);
    openTool("full");
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(vcx::programHooks().byteEditor(), editor());
    tool->show();
    const int at7 = 7;
    QTest::mouseClick(cell(at7), Qt::LeftButton);
    ASSERT_TRUE(editor()->isVisible());
    EXPECT_EQ(CQVParaEditDlg::currentCell(), at7);
    auto* hex = edit<QLineEdit>(CQVParaEditDlg::kIdHex);
    auto* dec = edit<QLineEdit>(CQVParaEditDlg::kIdDec);
    auto* apply = edit<QPushButton>(CQVParaEditDlg::kIdApply);
    const uint8_t before = c.records.paraList.touchList[at7];
    EXPECT_EQ(edit<QLabel>(CQVParaEditDlg::kIdTitle)->text(), "TP Index: 0x07");
    EXPECT_EQ(hex->text(), QString::asprintf("%02X", before));
    EXPECT_EQ(dec->text(), QString::number(before));
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_EQ(hex->selectedText(), hex->text());

    // 300 empties both edits and changes nothing else.
    dec->setText("300");
    EXPECT_EQ(hex->text(), "");
    EXPECT_EQ(dec->text(), "");
    EXPECT_EQ(editor()->value(), before);
    EXPECT_FALSE(apply->isEnabled());
    // 7F: 127 and bits 0..6.
    hex->setText("7F");
    EXPECT_EQ(dec->text(), "127");
    for (int bit = 0; bit < 8; ++bit)
        EXPECT_EQ(edit<QCheckBox>(CQVParaEditDlg::kIdFirstBit + bit)->isChecked(), bit < 7) << bit;
    EXPECT_TRUE(apply->isEnabled());
    // A bit box: bit 7 on as well.
    edit<QCheckBox>(CQVParaEditDlg::kIdFirstBit + 7)->click();
    EXPECT_EQ(hex->text(), "FF");
    EXPECT_EQ(dec->text(), "255");
    dec->setText("18");
    EXPECT_EQ(hex->text(), "12");
    EXPECT_EQ(edit<QCheckBox>(CQVParaEditDlg::kIdFirstBit + 1)->isChecked(), true);
    EXPECT_EQ(edit<QCheckBox>(CQVParaEditDlg::kIdFirstBit + 7)->isChecked(), false);

    // Tab switches between the two edits, all text selected.
    key(hex, QEvent::KeyPress, Qt::Key_Tab);
    EXPECT_FALSE(editor()->focusOnHex());
    EXPECT_EQ(dec->selectedText(), "18");
    key(dec, QEvent::KeyPress, Qt::Key_Tab);
    EXPECT_TRUE(editor()->focusOnHex());

    // APPLY writes the byte with one E1 and closes the editor.
    apply->click();
    EXPECT_EQ(sent(), std::vector<std::string>{"E1 80 07 00 12"});
    EXPECT_FALSE(editor()->isVisible());
    EXPECT_EQ(CQVParaEditDlg::currentCell(), -1);
    EXPECT_EQ(cell(at7)->text(), "12");

    // A second click on the same cell closes it (the main window's close
    // request does not make it open anew), a click on another moves it.
    QTest::mouseClick(cell(at7), Qt::LeftButton);
    ASSERT_TRUE(editor()->isVisible());
    QTest::mouseClick(cell(at7), Qt::LeftButton);
    EXPECT_FALSE(editor()->isVisible());
    EXPECT_EQ(CQVParaEditDlg::currentCell(), -1);
    QTest::mouseClick(cell(at7), Qt::LeftButton);
    QTest::mouseClick(cell(at7 + 1), Qt::LeftButton);
    EXPECT_TRUE(editor()->isVisible());
    EXPECT_EQ(CQVParaEditDlg::currentCell(), at7 + 1);
    // 5700 has no cell: nothing happens; a header cell closes the editor.
    tool->OnCellClicked(vcx::kIdLastCell);
    EXPECT_TRUE(editor()->isVisible());
    tool->OnCellClicked(vcx::kIdFirstHeaderCell + 3);
    EXPECT_FALSE(editor()->isVisible());

    // Escape closes it when released, not when pressed.
    tool->OnCellClicked(vcx::kIdFirstValueCell + 1);
    key(hex, QEvent::KeyPress, Qt::Key_Escape);
    EXPECT_TRUE(editor()->isVisible());
    key(hex, QEvent::KeyRelease, Qt::Key_Escape);
    EXPECT_FALSE(editor()->isVisible());
    EXPECT_EQ(CQVParaEditDlg::currentCell(), -1);
    // The main window's close request, and a click on the tool's background.
    tool->OnCellClicked(vcx::kIdFirstValueCell + 1);
    qvui::sendMessage(vcx::programHooks().byteEditor(), qvui::WM_TRAY_NOTIFY, 0, 0);
    EXPECT_FALSE(editor()->isVisible());
    tool->OnCellClicked(vcx::kIdFirstValueCell + 1);
    QTest::mouseClick(tool.get(), Qt::LeftButton, {}, QPoint(tool->width() - 2, 2));
    EXPECT_FALSE(editor()->isVisible());
    // Nothing changed: closing sends nothing.
    EXPECT_EQ(sent(), std::vector<std::string>{"E1 80 07 00 12"});

    tool.reset();
    EXPECT_EQ(vcx::programHooks().byteEditor, nullptr);
}

TEST_F(ParaListTool, EmptyAndLongestListsStayInsideTheCells) {
    // Lists of 20, 16 and 0 bytes: TP in two rows, no DB row.
    openTool("full", [](qvsim::ControllerProfile& p) { p.listDescriptor = std::array<uint8_t, 4>{0, 32, 16, 20}; });
    ASSERT_EQ(c.records.paraList.touchLength, 20);
    std::vector<int> expected(36);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(shownCells(), expected);
    EXPECT_EQ(cell(19)->text(), QString::asprintf("%02X", c.records.paraList.touchList[19]));
    EXPECT_EQ(cell(20)->text(), QString::asprintf("%02X", c.records.paraList.bootList[0]));

    // Three lists of 255 bytes: the first 500 bytes have cells, the rest none.
    TearDown();
    openTool("full", [](qvsim::ControllerProfile& p) {
        p.listDescriptor = std::array<uint8_t, 4>{255, 32, 255, 255};
        for (uint8_t bank : {0x80, 0x90, 0xA0}) p.paramBanks[bank].resize(256, 0x6B);
    });
    ASSERT_EQ(c.records.paraList.debugLength, 255);
    EXPECT_EQ(shownCells().size(), 500u);
    EXPECT_EQ(cell(499)->text(), QString::asprintf("%02X", c.records.paraList.bootList[244]));
    tool->OnCellClicked(vcx::kIdFirstValueCell + 499);
    EXPECT_EQ(editor()->listId(), BT);
    EXPECT_EQ(editor()->index(), 244);
}

TEST_F(ParaListTool, FlushReportsFailureAndAlwaysAsksForTheReadAgain) {
    openTool("full");
    struct Case {
        const char* name;
        std::function<void(qvsim::Controller&)> fault;
        bool box;
    } cases[] = {
        {"refused", [](qvsim::Controller& s) { s.refuse(qvsim::PacketPrefix({0xF6, 0x00, 0x90}, {0xFF, 0xFF, 0xFF})); },
         true},
        {"result 0", [](qvsim::Controller& s) { s.editProfile([](auto& p) { p.flushDone = 0; }); }, true},
        {"flushed", [](qvsim::Controller&) {}, false},
    };
    for (const Case& k : cases) {
        ctl().clearFaults();
        ctl().editProfile([](auto& p) { p.flushDone = 1; });
        k.fault(ctl());
        boxes.asked.clear();
        sink.messages.clear();
        qobject_cast<QPushButton*>(at(CQVParaListDlg::kIdFlush))->click();
        EXPECT_EQ(boxes.texts(), k.box ? std::vector<QString>{"Flush parameters to device failed!!"}
                                       : std::vector<QString>{})
            << k.name;
        EXPECT_EQ(sink.messages, (std::vector<MainWindowSink::Message>{{qvui::WM_DEBUG_COMMAND, 9, 0}})) << k.name;
    }
}

TEST_F(ParaListTool, E1ButtonSaveAndLoadReportTheirFailures) {
    openTool("full");
    // A changed byte the controller refuses.
    c.records.paraList.touchList[2] ^= 0xFF;
    ctl().refuse(0xE1);
    qobject_cast<QPushButton*>(at(CQVParaListDlg::kIdSendE1))->click();
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].text, "Send 0xE1 command failed!!");
    EXPECT_EQ(boxes.asked[0].caption, "Warning");
    EXPECT_EQ(boxes.asked[0].icon, qvui::MessageIcon::Error);
    EXPECT_EQ(sent().back(), "F6 00 9F 00 01");  // the lock is taken again
    ctl().clearFaults();

    QTemporaryDir dir;
    QString answer;
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return answer; });
    const auto click = [&](int id) {
        boxes.asked.clear();
        sink.messages.clear();
        tool->setChangedMark(false);
        qobject_cast<QPushButton*>(at(id))->click();
    };
    answer = dir.filePath("missing/folder");
    click(CQVParaListDlg::kIdSave);
    EXPECT_EQ(boxes.texts(), std::vector<QString>{"Save Parameters File Failed."});
    EXPECT_EQ(boxes.asked[0].caption, "Save Parameters File Failed.");
    answer.clear();  // cancelled: no box
    click(CQVParaListDlg::kIdSave);
    EXPECT_TRUE(boxes.asked.empty());
    answer = dir.path();
    click(CQVParaListDlg::kIdSave);
    EXPECT_TRUE(boxes.asked.empty());
    const QStringList files = QDir(dir.path()).entryList({"*.ini"});
    ASSERT_EQ(files.size(), 1);

    // Loaded: the lock, the changed mark and the device read again.
    answer = dir.filePath(files[0]);
    click(CQVParaListDlg::kIdLoad);
    EXPECT_TRUE(boxes.asked.empty());
    EXPECT_TRUE(tool->changedMark());
    EXPECT_EQ(sink.messages, (std::vector<MainWindowSink::Message>{{qvui::WM_DEBUG_COMMAND, 6, 0}}));
    EXPECT_EQ(sent().back(), "F6 00 9F 00 01");
    answer = dir.filePath("none.ini");
    click(CQVParaListDlg::kIdLoad);
    EXPECT_EQ(boxes.texts(), std::vector<QString>{"Load Parameters File Failed."});
    EXPECT_TRUE(sink.messages.empty());
    // The controller refuses the lists: the lock again and the E1 box.
    answer = dir.filePath(files[0]);
    ctl().refuse(qvsim::PacketPrefix({0xF6, 0x00, 0x9F}, {0xFF, 0xFF, 0xFF}));
    ctl().clearTrace();
    click(CQVParaListDlg::kIdLoad);
    EXPECT_EQ(boxes.texts(), std::vector<QString>{"Send 0xE1 command failed !!"});
    EXPECT_EQ(boxes.asked[0].caption, "Warning");
    EXPECT_FALSE(tool->changedMark());
    EXPECT_EQ(sent().back(), "F6 00 9F 00 01");
}

}  // namespace
