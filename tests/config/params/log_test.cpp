// The UI parameters log of the Information page ends with the parameter summary
// of the full controller, in text mode (CR LF) with a fixed clock.
#include "pages/about_dlg.h"
#include "params_support.h"
#include "core/strings.h"
#include "core/app_settings.h"
#include "core/program_state.h"
#include "text/text_file.h"
#include "ui/file_chooser.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class UiLog : public paramtest::ParamBench {};

TEST_F(UiLog, EndsWithTheSummaryOfTheControllersValues) {
    vcx::addProgramStrings();
    ASSERT_TRUE(open("full"));
    vcx::ReadDevice(c, vcx::programState(), false);
    c.dev.deviceType = QV_DEVICE_HID;
    c.records.palm.item5.value = 1;  // an edit that was not applied
    QTemporaryDir dir;
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return dir.path(); });
    const qvtext::ScopedClock clock(qvtext::LocalTime{2026, 1, 2, 3, 4, 5, 0});
    vcx::CQVAboutDlg page(c, nullptr);
    const QString path = page.WriteUiParametersLog();
    ASSERT_FALSE(path.isEmpty());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("\r\nWrite Log Time : 2026/01/02 03 04 05\r\n"));
    const qsizetype at = bytes.indexOf("\r\nParameters CRC : x");
    ASSERT_GE(at, 0);
    const QByteArray summary = bytes.mid(bytes.indexOf('\n', at + 2) + 1);
    EXPECT_EQ(summary, "\r\nHost Interface : USB\r\nHid Report : Windows 8 Protocol\r\n"
                       "\r\nPanel Size : G156HAN  15.6\" (W)\r\nCover Lens : 1.1 mm Glass\r\n"
                       "\r\nSensitivity Level : 0\r\nMax Contact Number : 10\r\n"
                       "\r\nPalm Rejection : ( ON )\r\nPalm On Edge : ( ON )\r\nPalm Size : 30\r\n"
                       "Disable Range Near Palm : 10\r\nPalm Up Debouncing : 5\r\n"
                       "\r\nWater Solution Switch : OFF\r\n"
                       "\r\nLow Pass Filter : 8\r\nEnhanced Driving : ( OFF )\r\nMedian Filter : Half\r\n"
                       "Frequency Hopping Select : 0\r\nEnhanced Frequency Hopping : Normal\r\n"
                       "\r\nTail Orientation : Bottom\r\nEdge Compensation : { 20 20 20 20 }\r\n"
                       "Touch Panel Active Area : { 0 4095 0 4095 }\r\n")
        << summary.toStdString();
}

}  // namespace
