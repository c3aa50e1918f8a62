// The parameter INI file: its bytes, the export's names, the import's checks
// (nothing reaches the controller from a file that is not whole and its own),
// and a round trip through the full controller's lists and parameter CRC.
#include "params/para_dlg.h"
#include "core/device_text.h"
#include "params/parameter_ini.h"
#include "params_support.h"
#include "core/strings.h"
#include "core/app_settings.h"
#include "core/device_finder.h"
#include "core/program_state.h"
#include "text/text_file.h"
#include "ui/file_chooser.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using paramtest::Boxes;
using paramtest::MainWindowSink;
using paramtest::ParamBench;

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<cannot open>");
}
void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

TEST(ParameterIni, TheFileTextByteForByteWithAShortLastRow) {
    vcx::ParameterIniContent k;
    k.identity = {0, 1, 0x21, 0x08, 2, 1, 3, 5, 3, 1, 21};
    for (int i = 0; i < 18; ++i) k.touch.push_back(uint8_t(i * 15));
    k.boot = {0xFA, 0x00, 0x7F};
    k.firmwareVersion = "QV2081A.D03.2.5.3.1";
    k.crc = 0x1A2B;
    k.features = {0x82, 0, 0x80, 0, 0x10, 0, 0, 0xFF};
    EXPECT_EQ(vcx::FormatParameterIni(k),
              "000 001 033 008 002 001 003 005 003 001 021 \n"
              "000 015 030 045 060 075 090 105 120 135 150 165 180 195 210 225 240 255 \n"
              "250 000 127 \n"
              "\n[Firmware Information]\nFirmware Version : QV2081A.D03.2.5.3.1\nParameters CRC : x1A2B\n"
              "\n[Touch Firmware Parameters]\n"
              "00, 0F, 1E, 2D, 3C, 4B, 5A, 69, 78, 87, 96, A5, B4, C3, D2, E1\nF0, FF\n"
              "\n[Boot Firmware Parameters]\nFA, 00, 7F\n"
              "\n[Feature Flags]\nFlag\t1,\t2,\t3,\t4,\t5,\t6,\t7,\t8,\n\t82,\t00,\t80,\t00,\t10,\t00,\t00,\tFF,\n");
    // On disk, through the text-mode writer, every line ends in CR LF.
    QTemporaryDir dir;
    const QString path = dir.filePath("k.ini");
    const QByteArray text = vcx::FormatParameterIni(k);
    {
        qvtext::TextWriter w(QFile::encodeName(path).constData(), qvtext::TextWriter::Mode::Create);
        ASSERT_TRUE(w.write(std::string_view(text.constData(), size_t(text.size()))));
    }
    QByteArray crlf = text;
    crlf.replace("\n", "\r\n");
    EXPECT_EQ(fileBytes(path), crlf);
    EXPECT_TRUE(fileBytes(path).startsWith("000 001 033 008 002 001 003 005 003 001 021 \r\n000 015 "));
}

// The three list lines end in "\n" or "\r\n"; a stray "\r" left in a line is
// blank space between values, and a lone "\r" ends no line.
TEST(ParameterIni, ListLinesByTheirLineEnds) {
    const std::array<uint8_t, 11> id = {0, 1, 0x21, 0x08, 2, 1, 3, 5, 3, 1, 21};
    const QByteArray idLine = "000 001 033 008 002 001 003 005 003 001 021 ";
    struct Case {
        const char* name;
        QByteArray text;
        bool parses;
    };
    const Case cases[] = {
        {"LF", idLine + "\n7 8\n9\n", true},
        {"CR LF, the last line without an end", idLine + "\r\n7 8\r\n9", true},
        {"a CR before CR LF", idLine + "\r\r\n7 8\r\r\n9\r\r\n", true},
        {"a lone CR ends no line", idLine + "\r7 8\r9\n", false},
        {"two lines only", idLine + "\n7 8\n", false},
        {"an empty line is a line", idLine + "\n\n7 8\n9\n", false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const auto lists = vcx::ParseParameterIni(k.text, id, 2, 1);
        ASSERT_EQ(lists.has_value(), k.parses);
        if (lists) {
            EXPECT_EQ(lists->touch, (std::vector<uint8_t>{7, 8}));
            EXPECT_EQ(lists->boot, (std::vector<uint8_t>{9}));
        }
    }
}

TEST(ParameterIni, ProductNamesAndCustomerTexts) {
    struct Case {
        int code;
        const char* text;
    };
    for (const Case& k : {Case{0, ""}, Case{3, "D03_"}, Case{199, "D199_"}, Case{200, "A01_"}, Case{249, "A50_"},
                          Case{250, "T_"}, Case{251, "T1_"}, Case{300, "T50_"}})
        EXPECT_EQ(vcx::CustomerText(k.code, u'_'), k.text) << k.code;
    FirmwareInformationW info{};
    info.productNumber = 2081;
    info.productLetter = 1;
    info.firmwareMajor = 2;
    info.customerCode = 3;
    info.minorVersion = 5;
    EXPECT_EQ(vcx::GetProductNameString(info), "2081A_D03_2_3_5");
    info.bootStateB = 4;
    info.productLetter = 0;
    info.customerCode = 0;
    EXPECT_EQ(vcx::GetProductNameString(info), "2081_2_0_5_4");
}

class Ini : public ParamBench {
protected:
    QTemporaryDir dir;
    MainWindowSink mainWindow;
    QString chosen;  // what the file chooser answers (empty: cancelled)
    std::unique_ptr<qvui::FileChooserResponder> chooser;

    void SetUp() override {
        vcx::addProgramStrings();
        chooser = std::make_unique<qvui::FileChooserResponder>([this](const qvui::FileChooserRequest&) { return chosen; });
        ASSERT_TRUE(open("full"));
        vcx::ReadDevice(c, vcx::programState(), false);
        ASSERT_TRUE(c.dev.listsRead);
        ctl().clearTrace();
    }
    QString exported() {
        chosen = dir.path();
        EXPECT_EQ(vcx::ExportParameterFile(c, nullptr), 0);
        uint16_t crc[2] = {};
        vcx::CheckParameterCRC(c, crc);
        return dir.filePath(QString::asprintf("QV2081A_D03_2_3_5_1_x%04X.ini", unsigned(crc[0])));
    }
};

TEST_F(Ini, ExportWritesTextModeFilesNumberedWhenTaken) {
    const QString first = exported();
    const QByteArray bytes = fileBytes(first);
    ASSERT_TRUE(bytes.startsWith("000 001 033 008 002 001 003 005 003 001 192 \r\n")) << bytes.left(60).toStdString();
    EXPECT_FALSE(bytes.contains("\n\n")) << "every line end is CR LF";
    EXPECT_TRUE(bytes.contains("\r\n[Feature Flags]\r\nFlag\t1,"));
    EXPECT_TRUE(bytes.contains("\r\n\t82,\t00,\t80,\t00,\t10,\t00,\t00,\t00,\r\n"));
    EXPECT_EQ(vcx::ExportParameterFile(c, nullptr), 0);
    EXPECT_EQ(vcx::ExportParameterFile(c, nullptr), 0);
    EXPECT_TRUE(QFile::exists(first.chopped(4) + "(1).ini"));
    EXPECT_TRUE(QFile::exists(first.chopped(4) + "(2).ini"));
    EXPECT_EQ(vcx::workingFolders()[vcx::kParaIniFolder], dir.path());
    chosen.clear();
    EXPECT_EQ(vcx::ExportParameterFile(c, nullptr), 2);
    EXPECT_TRUE(sent().size() > 0);  // the CRC check reads the controller; nothing is written to it
    EXPECT_TRUE(sentWith("E1").empty());
}

TEST_F(Ini, ImportTakesOnlyAWholeFileOfThisController) {
    const QString good = exported();
    const QByteArray bytes = fileBytes(good);
    const qsizetype line2 = bytes.indexOf('\n') + 1, line3 = bytes.indexOf('\n', line2) + 1;
    QByteArray other = bytes;
    other.replace(0, 8, "000 002 ");  // another controller's identity
    QByteArray truncated = bytes.left(line3 + 20);
    QByteArray tooBig = bytes;
    tooBig.replace(line2, 3, "256");
    QByteArray lfOnly = bytes;
    lfOnly.replace("\r\n", "\n");
    lfOnly.replace(lfOnly.indexOf('\n') + 1, 3, "007");  // touch byte 0 := 7
    QByteArray another = lfOnly;
    another.replace(another.indexOf('\n') + 1, 3, "009");  // and then 9, which the controller refuses
    struct Case {
        const char* name;
        QByteArray file;
        bool cancel;
        bool refuseWrite;
        int result;
    };
    const Case cases[] = {
        {"other", other, false, false, 2},   {"truncated", truncated, false, false, 2},
        {"256", tooBig, false, false, 2},    {"lf", lfOnly, false, false, 0},
        {"cancel", bytes, true, false, 1},   {"refused", another, false, true, 3},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const QString path = dir.filePath(QString("in_%1.ini").arg(k.name));
        writeBytes(path, k.file);
        chosen = k.cancel ? QString() : path;
        ctl().clearTrace();
        ctl().clearFaults();
        if (k.refuseWrite) ctl().refuse(qvsim::PacketPrefix::code(0xE1));
        const uint8_t before = c.records.paraList.touchList[0];
        EXPECT_EQ(vcx::ImportParameterFile(c, nullptr), k.result);
        if (k.result == 2 || k.result == 1) {
            EXPECT_TRUE(sentWith("E1").empty());
            EXPECT_EQ(c.records.paraList.touchList[0], before);  // the lists were not touched
        }
    }
    ctl().clearFaults();
    // Lists never read: refused before anything is parsed or sent.
    c.dev.listsRead = false;
    chosen = good;
    ctl().clearTrace();
    EXPECT_EQ(vcx::ImportParameterFile(c, nullptr), 2);
    EXPECT_TRUE(sentWith("E1").empty());
}

TEST_F(Ini, ExportEditImportReachesTheControllerAndItsCrcAgrees) {
    const QString path = exported();
    QByteArray bytes = fileBytes(path);
    const qsizetype line2 = bytes.indexOf('\n') + 1;
    const qsizetype at = line2 + 4 * 5;  // touch byte 5
    const int was = bytes.mid(at, 3).toInt();
    const int now = (was + 1) % 256;
    bytes.replace(at, 3, QByteArray::number(now).rightJustified(3, '0'));
    writeBytes(path, bytes);
    chosen = path;

    vcx::CQVParaDlg sheet(c, nullptr);
    sheet.setMainWindow(&mainWindow);
    Boxes boxes;
    EXPECT_EQ(sheet.ImportParameters(), 0);
    EXPECT_EQ(boxes.texts(), std::vector<QString>{"Import Parameters File Success."});
    EXPECT_EQ(ctl().profile().paramBanks.at(0x80)[5], now);
    EXPECT_EQ(sentWith("E1"), std::vector<std::string>{QString::asprintf("E1 80 05 00 %02X", now).toStdString()});
    EXPECT_EQ(sentWith("F6 00 90"), std::vector<std::string>{"F6 00 90 00 00"});
    // The reconnect reads the controller anew; the page is idle again.
    ASSERT_GE(mainWindow.messages.size(), 2u);
    EXPECT_EQ(mainWindow.messages.end()[-2].message, qvui::WM_DISCONNECT_DEVICE);
    EXPECT_EQ(mainWindow.messages.back().message, qvui::WM_PAGE_STATE);
    EXPECT_EQ(mainWindow.messages.back().wParam, 0u);
    uint16_t crc[2] = {};
    EXPECT_EQ(vcx::CheckParameterCRC(c, crc), 1);

    // A refused flush says so.
    ctl().refuse(qvsim::PacketPrefix::exact({0xF6, 0x00, 0x90, 0, 0}), 1);
    EXPECT_EQ(sheet.ImportParameters(), 0);
    EXPECT_EQ(boxes.texts().back(), "Flush Parameters to Device Failed.");
    // A file that is not this controller's: a message and the page idle again.
    chosen = dir.filePath("missing.ini");
    EXPECT_EQ(sheet.ImportParameters(), 2);
    EXPECT_EQ(boxes.texts().back(), "Import Parameters File Failed.");
    EXPECT_EQ(mainWindow.messages.back().wParam, 0u);
}

TEST_F(Ini, ExportAsksFirstWithCancelTheDefault) {
    vcx::CQVParaDlg sheet(c, nullptr);
    sheet.setMainWindow(&mainWindow);
    Boxes boxes;
    boxes.answer = qvui::MessageAnswer::Cancel;
    EXPECT_EQ(sheet.ExportParameters(), -1);
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].caption, "Export Parameters");
    EXPECT_EQ(boxes.asked[0].defaultAnswer, qvui::MessageAnswer::Cancel);
    EXPECT_EQ(boxes.asked[0].icon, qvui::MessageIcon::Warning);
    EXPECT_TRUE(mainWindow.messages.empty());
    boxes.answer = qvui::MessageAnswer::Ok;
    chosen = dir.path();
    EXPECT_EQ(sheet.ExportParameters(), 0);
    EXPECT_EQ(boxes.texts().back(), "Export Parameters File Success.");
}

}  // namespace
