// The Debug page's engineering command tools (echo, command console, event
// halt) over the library's own code on simulated controllers, whose received
// commands and virtual clock say what reached the controller and when.
#include "pages/echo_dlg.h"
#include "pages/event_halt_dlg.h"
#include "pages/send_cmd_dlg.h"

#include "core/strings.h"
#include "params_support.h"
#include "platform/platform.h"
#include "ui/control_ids.h"
#include "ui/window_timers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using paramtest::MainWindowSink;
using Message = MainWindowSink::Message;
using vcx::CQVEchoDlg;
using vcx::CQVEventHaltDlg;
using vcx::CQVSendCmdDlg;

constexpr quint32 kPageState = qvui::WM_PAGE_STATE;
const Message kBusy{kPageState, 1, 106}, kIdle{kPageState, 0, 106};

// A controller opened and read as the program reads it on a connect, and one
// tool on it whose messages go to `sink`.
template <class Tool>
class ToolBench : public paramtest::ParamBench {
protected:
    void TearDown() override {
        tool.reset();
        ParamBench::TearDown();
    }

    void openTool(const std::string& profile) {
        ASSERT_TRUE(open(profile));
        vcx::addProgramStrings();
        vcxtest::BindSlots(c.api, {"SendDelayCmd", "GetStateFlagEx"});
        readDevice();
        tool = std::make_unique<Tool>(c, nullptr);
        tool->setMainWindow(&sink);
        ctl().clearTrace();
    }

    template <class T = QWidget>
    T* at(int id) { return qvui::findControl<T>(tool.get(), id); }
    void click(int id) { at<QAbstractButton>(id)->click(); }
    std::vector<qvsim::TraceEntry> trace() { return ctl().trace(); }

    std::unique_ptr<Tool> tool;
    MainWindowSink sink;
};

// ---- Echo --------------------------------------------------------------------

TEST(EchoArithmetic, PacketsAndTotals) {
    EXPECT_EQ(vcx::EchoPacket(200), (std::array<uint8_t, 5>{0xFC, 0xC8, 0x40, 0xBF, 0x37}));
    EXPECT_EQ(vcx::EchoPacket(256 + 3), (std::array<uint8_t, 5>{0xFC, 0x03, 0x09, 0xF6, 0xFC}));
    const std::pair<const char*, int> totals[] = {
        {"0", 10000}, {"", 10000}, {"25", 25}, {"12ab", 12}, {"2147483647", 2147483647}, {"99999999999", 2147483647}};
    for (const auto& [text, total] : totals) EXPECT_EQ(vcx::EchoTotalOf(text), total) << text;
}

using EchoTool = ToolBench<CQVEchoDlg>;

TEST_F(EchoTool, TotalZeroRunsTenThousandNumberedPacketsAndReportsTheBusyPage) {
    openTool("full");
    tool->FillSlaveList();
    EXPECT_FALSE(at(CQVEchoDlg::kIdSlave)->isVisibleTo(tool.get())) << "no slaves: no target choice";
    at<QLineEdit>(CQVEchoDlg::kIdTotal)->setText("0");
    click(CQVEchoDlg::kIdStart);
    EXPECT_TRUE(tool->running());
    EXPECT_EQ(tool->total(), 10000);
    EXPECT_EQ(at<QPushButton>(CQVEchoDlg::kIdStart)->text(), "Stop");
    EXPECT_EQ(sink.messages, std::vector<Message>{kBusy});

    int ticks = 0;
    while (qvui::fireTimer(tool.get(), CQVEchoDlg::kTimerEcho)) ++ticks;
    EXPECT_EQ(ticks, 10000);
    EXPECT_FALSE(tool->running());
    const std::vector<std::string> out = sent();
    ASSERT_EQ(out.size(), 10000u);
    EXPECT_EQ(out[200], "FC C8 40 BF 37");
    EXPECT_EQ(out[9999], qvtest::Hex(vcx::EchoPacket(9999)));
    EXPECT_EQ(tool->errors(), 0);
    EXPECT_EQ(at<QLabel>(CQVEchoDlg::kIdCount)->text(), "Count : 10000");
    EXPECT_EQ(at<QLabel>(CQVEchoDlg::kIdErrors)->text(), "Error : 0");
    EXPECT_EQ(at<QPushButton>(CQVEchoDlg::kIdStart)->text(), "Start");
    EXPECT_EQ(sink.messages, (std::vector<Message>{kBusy, kIdle}));
}

TEST_F(EchoTool, EveryWrongAnswerIsARowOfItsKind) {
    openTool("full");
    tool->FillSlaveList();
    using P = qvsim::Packet;
    ctl().setReply(P{0xFC, 0x00, 0x00, 0xFF, 0xFF}, P{0xFC, 0x00, 0x00, 0xFF, 0x00});
    ctl().refuse(qvsim::PacketPrefix::exact(P{0xFC, 0x01, 0x01, 0xFE, 0xFE}), 1);
    ctl().silence(qvsim::PacketPrefix::exact(P{0xFC, 0x02, 0x04, 0xFB, 0xFD}));
    at<QLineEdit>(CQVEchoDlg::kIdTotal)->setText("6");
    click(CQVEchoDlg::kIdStart);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(qvui::fireTimer(tool.get(), CQVEchoDlg::kTimerEcho));
    // The main window closed the device: the rest finds none.
    const HANDLE device = c.dev.device;
    c.dev.device = INVALID_HANDLE_VALUE;
    while (qvui::fireTimer(tool.get(), CQVEchoDlg::kTimerEcho)) {}
    c.dev.device = device;

    auto* list = at<QTableWidget>(CQVEchoDlg::kIdErrorList);
    std::vector<std::vector<QString>> rows;
    for (int r = 0; r < list->rowCount(); ++r) {
        rows.push_back({});
        for (int col = 0; col < 3; ++col) rows.back().push_back(list->item(r, col)->text());
    }
    EXPECT_EQ(rows, (std::vector<std::vector<QString>>{
                        {"0", "FC 00 00 FF FF", "FC 00 00 FF 00"},
                        {"1", "FC 01 01 FE FE", "AA BB CC DD EE"},
                        {"2", "FC 02 04 FB FD", "No Recieve"},
                        {"4", "FC 04 10 EF FB", "Device Remove"},
                        {"5", "FC 05 19 E6 FA", "Device Remove"},
                    }));
    EXPECT_EQ(list->horizontalHeaderItem(2)->text(), "Receive Packet");
    EXPECT_EQ(tool->errors(), 5);
    EXPECT_EQ(at<QLabel>(CQVEchoDlg::kIdErrors)->text(), "Error : 5");
    EXPECT_EQ(sink.messages, (std::vector<Message>{kBusy, kIdle}));
}

TEST_F(EchoTool, SlaveRunSelectsTheSlaveUntilItAnswersAndGoesBackToTheMaster) {
    openTool("demo");
    tool->FillSlaveList();
    auto* slaves = at<QComboBox>(CQVEchoDlg::kIdSlaveList);
    ASSERT_EQ(slaves->count(), 2);
    EXPECT_EQ(slaves->itemText(1), "Slave2");
    EXPECT_FALSE(slaves->isEnabled());
    click(CQVEchoDlg::kIdSlave);
    EXPECT_TRUE(slaves->isEnabled());
    slaves->setCurrentIndex(1);
    using P = qvsim::Packet;
    ctl().refuse(qvsim::PacketPrefix::exact(P{0xF4, 0x00, 0x01, 0x00, 0x01}), 3);
    at<QLineEdit>(CQVEchoDlg::kIdTotal)->setText("2");
    click(CQVEchoDlg::kIdStart);
    EXPECT_FALSE(slaves->isEnabled());

    // Scanning stopped (generation 0x21: diagnostic mode), 50 ms, then four
    // selections 50 ms apart, the last one answered.
    std::vector<qvsim::TraceEntry> t = trace();
    std::vector<uint64_t> f4;
    for (const auto& e : t)
        if (e.packet[0] == 0xF4) {
            EXPECT_EQ(qvtest::Hex(e.packet), "F4 00 01 00 01");
            f4.push_back(e.timeMs);
        }
    ASSERT_EQ(f4.size(), 4u);
    for (size_t i = 1; i < f4.size(); ++i) EXPECT_EQ(f4[i] - f4[i - 1], 50u) << i;
    ASSERT_GE(t.size(), 5u);
    EXPECT_EQ(f4[0] - t[t.size() - 5].timeMs, 50u) << "50 ms after the last command before the selections";
    EXPECT_EQ(sink.messages, std::vector<Message>{kBusy});

    ctl().clearTrace();
    while (qvui::fireTimer(tool.get(), CQVEchoDlg::kTimerEcho)) {}
    const std::vector<std::string> out = sent();
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0], "FC 00 00 FF FF");
    EXPECT_EQ(out[1], "FC 01 01 FE FE");
    EXPECT_EQ(out[2], "F4 00 AA 00 00");
    EXPECT_EQ(tool->errors(), 0);
    EXPECT_EQ(sink.messages, (std::vector<Message>{kBusy, kIdle}));
    EXPECT_TRUE(slaves->isEnabled());
}

// ---- Command console ---------------------------------------------------------

using SendCmdTool = ToolBench<CQVSendCmdDlg>;

// Keeps the key events a widget gets.
struct KeyCounter : QObject {
    int keys = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        keys += e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease;
        return false;
    }
};

TEST_F(SendCmdTool, TwoDigitsInAByteMoveTheFocusOnButTheInitialZerosDoNot) {
    // Another window has the focus while the tool is made: its "00" sends no Tab there.
    QWidget other;
    QLineEdit* probe[2] = {new QLineEdit(&other), new QLineEdit(&other)};
    probe[1]->move(0, 40);
    KeyCounter keys;
    probe[0]->installEventFilter(&keys);
    other.show();
    other.activateWindow();
    QCoreApplication::processEvents();
    probe[0]->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), probe[0]);
    openTool("full");
    EXPECT_EQ(QApplication::focusWidget(), probe[0]);
    EXPECT_EQ(keys.keys, 0);
    other.hide();

    tool->show();
    tool->activateWindow();
    QCoreApplication::processEvents();
    auto* byte0 = at<QLineEdit>(CQVSendCmdDlg::kIdFirstByte);
    byte0->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), byte0);
    EXPECT_EQ(byte0->text(), "00");
    byte0->selectAll();
    QTest::keyClicks(byte0, "A");
    EXPECT_EQ(QApplication::focusWidget(), byte0) << "one digit stays";
    QTest::keyClicks(byte0, "5");
    EXPECT_EQ(byte0->text(), "A5");
    EXPECT_EQ(QApplication::focusWidget(), at(CQVSendCmdDlg::kIdFirstByte + 1));
    // A text set by the program counts as typed: BYTE 1 to BYTE 2.
    at<QLineEdit>(CQVSendCmdDlg::kIdFirstByte + 1)->setText("7F");
    EXPECT_EQ(QApplication::focusWidget(), at(CQVSendCmdDlg::kIdFirstByte + 2));
}

TEST_F(SendCmdTool, SendShowsTheReplyAndADelayedCommandWaitsItsDelay) {
    openTool("full");
    const char* bytes[] = {"FC", "01", "2", "a3", "04"};
    for (int i = 0; i < 5; ++i) at<QLineEdit>(CQVSendCmdDlg::kIdFirstByte + i)->setText(bytes[i]);
    auto* delay = at<QLineEdit>(CQVSendCmdDlg::kIdDelay);
    EXPECT_FALSE(delay->isEnabled());
    EXPECT_EQ(delay->text(), "10");
    const auto elapsed = [this] {
        const uint32_t t0 = qvp::tickCount();
        click(CQVSendCmdDlg::kIdSend);
        return qvp::tickCount() - t0;
    };
    const uint32_t plain = elapsed();
    EXPECT_EQ(sent(), std::vector<std::string>{"FC 01 02 A3 04"});
    EXPECT_EQ(at<QLabel>(CQVSendCmdDlg::kIdStatus)->text(), "Send Command Success");
    EXPECT_EQ(at<QLabel>(CQVSendCmdDlg::kIdReply)->text(), "Return Command : 0xFC 0x01 0x02 0xA3 0x04");

    click(CQVSendCmdDlg::kIdDelayCheck);
    EXPECT_TRUE(delay->isEnabled());
    delay->setText("20");
    EXPECT_EQ(elapsed(), plain + 20);
    delay->setText("0");  // no delay: a plain command
    EXPECT_EQ(elapsed(), plain);

    ctl().refuse(0xFC);
    click(CQVSendCmdDlg::kIdSend);
    EXPECT_EQ(at<QLabel>(CQVSendCmdDlg::kIdStatus)->text(), "Send Command Failed");
}

TEST_F(SendCmdTool, TargetsSelectAndReleaseSlavesAndNeverLeaveThePageBusy) {
    openTool("demo");
    tool->Refresh();
    for (int k = 1; k <= 4; ++k)
        EXPECT_EQ(at(CQVSendCmdDlg::kIdMaster + k)->isVisibleTo(tool.get()), k <= 2) << k;

    click(CQVSendCmdDlg::kIdMaster + 2);
    EXPECT_EQ(tool->target(), 2);
    EXPECT_EQ(paramtest::ParamBench::sentWith("F4"), std::vector<std::string>{"F4 00 01 00 01"});
    EXPECT_EQ(sink.messages, std::vector<Message>{kBusy});
    ctl().clearTrace();
    click(CQVSendCmdDlg::kIdMaster);
    EXPECT_EQ(tool->target(), 0);
    EXPECT_EQ(sent().front(), "F4 00 AA 00 00");
    EXPECT_EQ(sink.messages, (std::vector<Message>{kBusy, kIdle}));

    // A slave that never answers: ten tries, then the master again.
    sink.messages.clear();
    ctl().clearTrace();
    ctl().refuse(qvsim::PacketPrefix::exact({0xF4, 0x00, 0x00, 0x00, 0x01}));
    click(CQVSendCmdDlg::kIdMaster + 1);
    EXPECT_EQ(sentWith("F4").size(), 10u);
    EXPECT_EQ(tool->target(), 0);
    EXPECT_TRUE(at<QRadioButton>(CQVSendCmdDlg::kIdMaster)->isChecked());
    EXPECT_EQ(at<QLabel>(CQVSendCmdDlg::kIdStatus)->text(), "Send Command Failed");
    EXPECT_EQ(sink.messages, (std::vector<Message>{kBusy, kIdle}));

    // The device goes while a slave is the target: the page is idle again, nothing is sent.
    ctl().clearFaults();
    sink.messages.clear();
    click(CQVSendCmdDlg::kIdMaster + 1);
    ASSERT_EQ(tool->target(), 1);
    ctl().clearTrace();
    tool->DeviceRemoved();
    EXPECT_EQ(tool->target(), 0);
    EXPECT_TRUE(at<QRadioButton>(CQVSendCmdDlg::kIdMaster)->isChecked());
    EXPECT_EQ(sink.messages, (std::vector<Message>{kBusy, kIdle}));
    EXPECT_TRUE(sent().empty());
}

// ---- Event halt ----------------------------------------------------------------

using EventHaltTool = ToolBench<CQVEventHaltDlg>;

TEST_F(EventHaltTool, CtGtPtAndTheTargetDecideWhichRadiosWork) {
    openTool("full");
    tool->RefreshControls();
    auto* apply = at<QPushButton>(CQVEventHaltDlg::kIdApply);
    auto* reload = at<QPushButton>(CQVEventHaltDlg::kIdReload);
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_FALSE(reload->isEnabled());
    struct Case {
        bool ctGtPt, ct;
        bool pt, ctRadio, before, after;
    } cases[] = {
        {false, false, true, true, false, false},
        {false, true, true, true, true, true},
        {true, true, false, false, false, false},
        {true, false, false, false, false, false},
    };
    auto* ctGtPt = at<QCheckBox>(CQVEventHaltDlg::kIdCtGtPt);
    for (const Case& k : cases) {
        // The target is chosen while the radios work, then "CT > PT Number" clicked.
        ctGtPt->setChecked(false);
        tool->UpdateEnabling();
        click(CQVEventHaltDlg::kIdFirstRadio + (k.ct ? 1 : 0));
        if (k.ctGtPt) ctGtPt->click();
        const bool got[4] = {at(460)->isEnabled(), at(461)->isEnabled(), at(462)->isEnabled(), at(463)->isEnabled()};
        EXPECT_EQ(got[0], k.pt) << k.ctGtPt << k.ct;
        EXPECT_EQ(got[1], k.ctRadio) << k.ctGtPt << k.ct;
        EXPECT_EQ(got[2], k.before) << k.ctGtPt << k.ct;
        EXPECT_EQ(got[3], k.after) << k.ctGtPt << k.ct;
        EXPECT_TRUE(at(464)->isEnabled() && at(465)->isEnabled());
    }
    EXPECT_TRUE(apply->isEnabled());
    EXPECT_TRUE(reload->isEnabled());
}

TEST_F(EventHaltTool, NumbersAboveTheItemsMaximumShowTheMaximumTypedOrSet) {
    openTool("full");
    c.records.debug.item[8].maximum = 10;
    c.records.debug.item9[0].maximum = 10;
    tool->RefreshControls();
    auto* finger = at<QLineEdit>(CQVEventHaltDlg::kIdFingerNumber);
    auto* skip = at<QLineEdit>(CQVEventHaltDlg::kIdSkipCount);
    finger->clear();
    QTest::keyClicks(finger, "9");
    EXPECT_EQ(tool->fingerNumber(), 9);
    QTest::keyClicks(finger, "9");
    EXPECT_EQ(finger->text(), "10");
    EXPECT_EQ(tool->fingerNumber(), 10);
    skip->setText("99");
    EXPECT_EQ(skip->text(), "10");
    EXPECT_EQ(tool->skipCount(), 10);
    skip->setText("7");
    EXPECT_EQ(tool->skipCount(), 7);
    EXPECT_TRUE(at(CQVEventHaltDlg::kIdApply)->isEnabled());
}

TEST_F(EventHaltTool, ApplyWritesTheItemsInsideTheLockAndThenTheSwitch) {
    openTool("full");
    ParameterDebug& d = c.records.debug;
    ASSERT_TRUE(d.valid);
    tool->RefreshControls();
    const uint8_t finger = uint8_t(d.item[8].value == 0 ? 1 : 0);
    const uint8_t check0 = uint8_t(d.item[0].value ? 0 : 1);
    click(CQVEventHaltDlg::kIdFirstCheck);
    at<QLineEdit>(CQVEventHaltDlg::kIdFingerNumber)->setText(QString::number(finger));
    EXPECT_EQ(d.eventHalt[0], 0);
    click(CQVEventHaltDlg::kIdSwitch);
    EXPECT_EQ(d.eventHalt[0], 1);
    EXPECT_TRUE(at<QPushButton>(CQVEventHaltDlg::kIdSwitch)->isChecked());
    click(CQVEventHaltDlg::kIdApply);
    EXPECT_EQ(sent(), (std::vector<std::string>{
                          "F6 00 9F 00 01",
                          QString::asprintf("F6 0E 80 00 %02X", check0).toStdString(),
                          QString::asprintf("F6 0E 88 00 %02X", finger).toStdString(),
                          "F6 00 9F 00 00",
                          "F6 0E 90 00 01",
                      }));
    EXPECT_EQ(ctl().profile().eventHaltSwitch, 1);

    // Switched off: the switch, then the scanning resumed where a halt holds it.
    ctl().clearTrace();
    click(CQVEventHaltDlg::kIdSwitch);
    click(CQVEventHaltDlg::kIdApply);
    const std::vector<std::string> out = sent();
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0], "F6 00 9F 00 01");
    EXPECT_EQ(out[1], "F6 00 9F 00 00");
    EXPECT_EQ(out[2], "F6 0E 90 00 00");
    EXPECT_EQ(ctl().profile().eventHaltSwitch, 0);

    // Reload Setting reads the controller's record and shows it.
    d.item[8].value = uint8_t(finger + 1);
    at<QPushButton>(CQVEventHaltDlg::kIdReload)->click();
    EXPECT_EQ(d.item[8].value, finger);
    EXPECT_EQ(at<QLineEdit>(CQVEventHaltDlg::kIdFingerNumber)->text(), QString::number(finger));
}

} // namespace
