// The Information page against a fake library, the UI parameters log's file
// naming and contents, and the Folder Configure dialog.
#include "pages/about_dlg.h"
#include "pages/information_log.h"
#include "core/chd_parent_dlg.h"
#include "core/app_settings.h"
#include "core/controller_api.h"
#include "core/device_text.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/window_message.h"
#include "core/program_state.h"
#include "diag/diag_state.h"
#include "core/tip_controls.h"
#include "core/strings.h"
#include "text/text_file.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QTemporaryDir>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int>* g_reports = nullptr;
int fakeEnableDataReport(HANDLE, int on) { return g_reports->push_back(on), 1; }
int fakeCrc(HANDLE, uint16_t* crc) { return *crc = 0x1A2B, 1; }

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<cannot open>");
}

class VcxAboutPage : public ::testing::Test {
protected:
    void SetUp() override {
        vcx::addProgramStrings();
        g_reports = &reports_;
        saved_ = vcx::appSettings();
        savedFolders_ = vcx::workingFolders();
        c_.api.EnableDataReport = fakeEnableDataReport;
        c_.api.GetParameterCRC = fakeCrc;
        c_.dev.device = reinterpret_cast<HANDLE>(intptr_t(0x42));
        ASSERT_TRUE(dir_.isValid());
    }
    void TearDown() override {
        vcx::appSettings() = saved_;
        vcx::workingFolders() = savedFolders_;
        vcx::diagState().UseTabletPC = 0;
        g_reports = nullptr;
    }
    QCheckBox* box(QWidget* page, int id) { return qvui::findControl<QCheckBox>(page, id); }

    vcx::Controller c_;
    std::vector<int> reports_;
    vcx::AppSettings saved_;
    vcx::WorkingFolders savedFolders_;
    QTemporaryDir dir_;
};

TEST_F(VcxAboutPage, DisableDataReportFollowsTheBoxAndIsUndoneAtExit) {
    vcx::appSettings().options = vcx::kOptDisableTouch;
    vcx::CQVAboutDlg page(c_, nullptr);
    EXPECT_EQ(vcx::GetDlgItemText(&page, 314), "2.7.3.13");
    EXPECT_TRUE(box(&page, 470)->isChecked()); // restored from the option bit, nothing sent
    EXPECT_TRUE(reports_.empty());

    box(&page, 470)->click(); // unchecked: reports on
    box(&page, 470)->click(); // checked: reports off
    EXPECT_EQ(reports_, (std::vector<int>{1, 0}));
    page.SetDataReportDisabled(false);
    page.SetDataReportDisabled(true);
    EXPECT_EQ(reports_, (std::vector<int>{1, 0, 1, 0}));

    page.ExitDlg();
    EXPECT_TRUE(vcx::appSettings().options & vcx::kOptDisableTouch);
    EXPECT_EQ(reports_.back(), 1); // the controller reports touches again after the program

    box(&page, 470)->click();
    reports_.clear();
    page.ExitDlg();
    EXPECT_FALSE(vcx::appSettings().options & vcx::kOptDisableTouch);
    EXPECT_TRUE(reports_.empty());
    page.SetDataReportDisabled(true); // unchecked: does nothing
    EXPECT_TRUE(reports_.empty());
}

TEST_F(VcxAboutPage, TabletPcLeavesTheBoxDisabledAndTheDeviceAlone) {
    vcx::diagState().UseTabletPC = 1;
    vcx::appSettings().options = 0;
    vcx::CQVAboutDlg page(c_, nullptr);
    EXPECT_FALSE(box(&page, 470)->isEnabled());
    page.UpdateDlgItem();
    EXPECT_FALSE(box(&page, 470)->isEnabled());
    page.ExitDlg();
    EXPECT_EQ(vcx::appSettings().options, 0u);
    EXPECT_TRUE(reports_.empty());
}

TEST_F(VcxAboutPage, ShowMenuInDrawSetsItsOptionBitAndCoreVersionShowsWhenKnown) {
    vcx::appSettings().options = 0;
    vcx::CQVAboutDlg page(c_, nullptr);
    box(&page, 471)->click();
    EXPECT_EQ(vcx::appSettings().options, uint32_t(vcx::kOptDrawMenu));
    box(&page, 471)->click();
    EXPECT_EQ(vcx::appSettings().options, 0u);

    c_.records.fwInformation.info4Byte1 = 0x23;
    c_.records.fwInformation.info4Byte2 = 4;
    c_.records.fwInformation.info4Word = 517;
    page.UpdateDlgItem();
    EXPECT_EQ(vcx::GetDlgItemText(&page, 355), "2.3.4.517");
    EXPECT_FALSE(qvui::findControl(&page, 344)->isHidden());
    page.ClearDlgItem();
    EXPECT_TRUE(vcx::GetDlgItemText(&page, 355).isEmpty());
    EXPECT_TRUE(qvui::findControl(&page, 344)->isHidden());
    c_.records.fwInformation.info4Byte1 = 0;
    page.UpdateDlgItem();
    EXPECT_TRUE(qvui::findControl(&page, 344)->isHidden());
}

TEST_F(VcxAboutPage, UiParametersLogsAreNumberedAndNameTheProductAndCrc) {
    FirmwareInformationW& info = c_.records.fwInformation;
    info.productNumber = 6020;
    info.productLetter = 1;
    info.firmwareMajor = 2;
    info.customerCode = 7;
    info.minorVersion = 5;
    const std::u16string master = u"QV6020A.D05.2.7.3.4   Boot : 1.3 B";
    std::copy(master.begin(), master.end(), c_.records.fwVersion.master);
    c_.dev.deviceType = QV_DEVICE_HID;
    c_.dev.listsRead = true;
    int asked = 0;
    QString answer = dir_.path();
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest& r) {
        ++asked;
        EXPECT_EQ(r.kind, qvui::FileChoice::Folder);
        EXPECT_EQ(r.caption, "Select Parameters log File Folder");
        return answer;
    });
    const qvtext::ScopedClock clock(qvtext::LocalTime{2024, 5, 6, 7, 8, 9, 500});
    vcx::CQVAboutDlg page(c_, nullptr);
    // The customer text comes from the customer code (7), not from the version text.
    const QString base = dir_.filePath("QV6020A_D07_2_7_5_x1A2B");
    EXPECT_EQ(page.WriteUiParametersLog(), base + ".csv");
    EXPECT_EQ(page.WriteUiParametersLog(), base + "(1).csv");
    // Through the toolbar message, as the main window sends it.
    EXPECT_EQ(qvui::sendMessage(&page, qvui::WM_TOOLBAR_ACTION, 0, 1), 0);
    EXPECT_TRUE(QFile::exists(base + "(2).csv"));
    EXPECT_EQ(vcx::workingFolders()[vcx::kInfoLogFolder], dir_.path());

    // Text mode on disk: every line end is CR LF; no panel lines in this log.
    EXPECT_EQ(fileBytes(base + ".csv"), QByteArray("\r\nWrite Log Time : 2024/05/06 07 08 09\r\n"
                                                   "\r\nApplication Version : Quorvane VCXMSet 2.7.3.13\r\n"
                                                   "\r\nFunction : Log UI Parameters Information\r\n"
                                                   "\r\nMaster   Version QV6020A.D05.2.7.3.4   Boot : 1.3 B\r\n"
                                                   "\r\nDevice Interface : USB\r\n"
                                                   "\r\nParameters CRC : x1A2B\r\n"));
    c_.dev.listsRead = false;
    EXPECT_EQ(page.WriteUiParametersLog(), base + "(3).csv");
    EXPECT_TRUE(fileBytes(base + "(3).csv").endsWith("\r\nDevice Interface : USB\r\n"
                                                      "\r\nParameters CRC : Failed Get Parameters List\r\n"));

    // Cancelled: no file; a folder where no name fits: no file and no endless search.
    answer.clear();
    EXPECT_TRUE(page.WriteUiParametersLog().isEmpty());
    answer = dir_.path() + "/" + QString(250, 'd');
    EXPECT_TRUE(page.WriteUiParametersLog().isEmpty());
    EXPECT_EQ(asked, 6);
}

// The page's controller work without the page: the data report switch and the
// log into a folder the caller chose, with the CRC asked first and the panel
// texts asked for the summary.
TEST_F(VcxAboutPage, TheDataReportAndTheLogWorkWithoutThePage) {
    vcx::DataReportSwitch report(c_);
    report.SetReporting(false);
    report.SetReporting(true);
    EXPECT_EQ(reports_, (std::vector<int>{0, 1}));
    c_.api.EnableDataReport = nullptr;
    report.SetReporting(false);  // no export: nothing, and no crash
    EXPECT_EQ(reports_, (std::vector<int>{0, 1}));

    c_.records.fwInformation.productNumber = 2081;
    c_.dev.deviceType = QV_DEVICE_HID;
    c_.dev.listsRead = true;
    c_.records.panel.valid = 1;
    c_.records.panel.item[0] = {3, 9, 3, 0, 1};
    c_.api.GetPanelSizeInfoW = [](HANDLE, uint8_t index, QVWCHAR* text) {
        const std::u16string name = u"Panel " + std::u16string(1, char16_t(u'0' + index));
        std::copy(name.begin(), name.end(), text);
        return 1;
    };
    const qvtext::ScopedClock clock(qvtext::LocalTime{2024, 5, 6, 7, 8, 9, 0});
    const QString path = vcx::UiParametersLog(c_).WriteInto(dir_.path());
    EXPECT_EQ(path, dir_.filePath("QV2081_0_0_0_x1A2B.csv"));  // the CRC the controller gives
    const QByteArray bytes = fileBytes(path);
    EXPECT_TRUE(bytes.endsWith("\r\nParameters CRC : x1A2B\r\n\r\nPanel Size : Panel 3\r\n")) << bytes.toStdString();
    // A folder that cannot take the file: no path.
    EXPECT_TRUE(vcx::UiParametersLog(c_).WriteInto(dir_.filePath("missing/folder")).isEmpty());
}

TEST_F(VcxAboutPage, LogHeaderListsSlavesCoreAndPanelByKind) {
    const std::u16string master = u"QV2081A.2.5.3.1", slave = u"QV2081A.2.5.3.0";
    FirmwareVersionInfoW& v = c_.records.fwVersion;
    std::copy(master.begin(), master.end(), v.master);
    std::copy(slave.begin(), slave.end(), v.slave[0]);
    std::copy(slave.begin(), slave.end(), v.slave[1]);
    FirmwareInformationW& info = c_.records.fwInformation;
    const std::u16string panel = u"G156HAN", lens = u"1.1 mm Glass";
    std::copy(panel.begin(), panel.end(), info.panelSize);
    std::copy(lens.begin(), lens.end(), info.coverLens);
    info.info4Byte1 = 0x23;
    info.info4Byte2 = 4;
    info.info4Word = 517;
    const QByteArray head = "\r\nWrite Log Time : 2023/12/31 23 59 58\r\n"
                            "\r\nApplication Version : Quorvane VCXMSet 2.7.3.13\r\n";
    const QByteArray core = "\r\nCore     Version : 2.3.4.517\r\n";
    const QByteArray panelLines = "\r\nPanel Information : G156HAN\r\nCover Lens : 1.1 mm Glass\r\n";
    struct Case {
        int slaves, kind;
        QByteArray bytes;
    } cases[] = {
        {0, 0, head + "\r\nFunction : Log Current Device Information\r\n\r\nFirmware Version : QV2081A.2.5.3.1\r\n" +
                   core + panelLines},
        {2, 3, head + "\r\nFunction : Build System Reference\r\n\r\nMaster   Version QV2081A.2.5.3.1\r\n"
                      "Slave 1  Version : QV2081A.2.5.3.0\r\nSlave 2  Version : QV2081A.2.5.3.0\r\n" +
                   core + panelLines},
        {0, 4, head + "\r\nFunction : Log UI Parameters Information\r\n\r\nMaster   Version QV2081A.2.5.3.1\r\n" + core},
    };
    const qvtext::ScopedClock clock(qvtext::LocalTime{2023, 12, 31, 23, 59, 58, 0});
    for (const Case& k : cases) {
        v.slaveCount = k.slaves;
        const QString path = dir_.filePath(QStringLiteral("head%1.log").arg(k.kind));
        {
            qvtext::TextWriter w(QFile::encodeName(path).constData(), qvtext::TextWriter::Mode::Create);
            ASSERT_TRUE(w.isOpen()) << w.error();
            vcx::WriteLogHeader(w, c_, k.kind);
            EXPECT_TRUE(w.close());
        }
        EXPECT_EQ(fileBytes(path), k.bytes) << "kind " << k.kind;
    }
}

// "Open Default Export File Folder": the desktop's file manager shows the folder;
// a desktop without a program for it (the headless test platform has none) gets
// a message that names the folder instead of nothing.
TEST_F(VcxAboutPage, TheExportFolderIsNamedWhenTheDesktopCannotShowIt) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/" +
                           vcx::kUtilityFolderName;
    std::vector<qvui::MessageBoxRequest> boxes;
    qvui::MessageBoxResponder responder([&](const qvui::MessageBoxRequest& r) {
        boxes.push_back(r);
        return qvui::MessageAnswer::Ok;
    });
    vcx::CQVAboutDlg page(c_, nullptr);
    qvui::sendMessage(&page, qvui::WM_TOOLBAR_ACTION, 0, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Open Default Export File Folder");
    EXPECT_TRUE(boxes[0].text.contains(folder)) << boxes[0].text.toStdString();

    // A desktop that shows it: no message.
    // (a signal with a QUrl stands in for a desktop handler's slot)
    QTextBrowser handler;
    QList<QUrl> opened;
    QObject::connect(&handler, &QTextBrowser::anchorClicked, [&](const QUrl& url) { opened << url; });
    QDesktopServices::setUrlHandler("file", &handler, "anchorClicked");
    page.OpenExportFolder();
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(folder)});
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(VcxAboutPage, FolderConfigureTakesPicksAtOnceAndKeepsThreeButtonsDisabled) {
    QString answer = dir_.filePath("picked");
    std::vector<QString> titles;
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest& r) {
        titles.push_back(r.caption);
        return answer;
    });
    vcx::CFolderCfgDlg dlg(nullptr);
    for (int id : {425, 427, 428}) {
        EXPECT_FALSE(qvui::findControl(&dlg, id)->isEnabled()) << id;
        EXPECT_FALSE(dlg.pick(id));
    }
    EXPECT_TRUE(titles.empty());

    const QString storedInfo = vcx::appSettings().folders[vcx::kInfoLogFolder];
    qvui::findControl<QPushButton>(&dlg, 431)->click();
    EXPECT_EQ(vcx::workingFolders()[vcx::kInfoLogFolder], answer);
    EXPECT_EQ(vcx::appSettings().folders[vcx::kInfoLogFolder], storedInfo); // only the working copy
    EXPECT_NE(vcx::programState().toolPaths[vcx::kInfoLogFolder], answer);

    EXPECT_TRUE(dlg.pick(424));
    EXPECT_EQ(vcx::workingFolders()[vcx::kFUQVFFolder], answer);
    EXPECT_EQ(vcx::programState().toolPaths[vcx::kFUQVFFolder], answer);
    EXPECT_TRUE(dlg.pick(430));
    EXPECT_EQ(vcx::appSettings().folders[vcx::kProcResFolder], answer);
    EXPECT_EQ(vcx::programState().toolPaths[vcx::kProcResFolder], answer);
    EXPECT_EQ(titles, (std::vector<QString>{"Select Parameters log File Folder", "Select Firmware File Folder",
                                            "Select Process List Report File Folder"}));

    answer.clear(); // cancelled: nothing changes
    const QString before = vcx::workingFolders()[vcx::kDiagOSFolder];
    EXPECT_FALSE(dlg.pick(420));
    EXPECT_EQ(vcx::workingFolders()[vcx::kDiagOSFolder], before);
}

} // namespace
