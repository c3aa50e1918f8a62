// Golden samples: the text routines, the file bytes, the strict reading, the
// sample numbers and the running average, and what is left on disk when a
// creation cannot go through.
#include "diag/golden_sample.h"

#include "core/chd_parent_dlg.h"
#include "core/program_hooks.h"
#include "diag/gs_set_dlg.h"
#include "scan_support.h"
#include "ui/control_ids.h"
#include "ui/window_message.h"

#include <QPushButton>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

using vcx::GoldenSampleDevice;
using vcx::GoldenSampleFile;

constexpr const char* kVersion = "QV2081A.D05.2.5.3.1   Boot : 1.2 A";

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(DiagGoldenText, FieldsBootTextAndDeviceMatch) {
    std::string out = "unchanged";
    EXPECT_FALSE(vcx::ParseGoldenSampleField("Average Count:,3", &out, "Parameters CRC:"));
    EXPECT_EQ(out, "unchanged");
    EXPECT_TRUE(vcx::ParseGoldenSampleField("Firmware Version:,  QV2081A.2.5 \r", &out, "Firmware Version:"));
    EXPECT_EQ(out, "QV2081A.2.5");
    EXPECT_TRUE(vcx::ParseGoldenSampleField("Parameters CRC:,4660,1234", &out, "Parameters CRC:"));
    EXPECT_EQ(out, "4660,1234");
    EXPECT_TRUE(vcx::ParseGoldenSampleField("Average Count:", &out, "Average Count:"));
    EXPECT_EQ(out, "");

    struct Strip {
        const char* in;
        const char* out;
    };
    for (const Strip& k : {Strip{kVersion, "QV2081A.D05.2.5.3.1"}, Strip{"QV2081A.2.5", "QV2081A.2.5"},
                           Strip{"abcBoot", ""}, Strip{"abBoot", "abBoot"}, Strip{"", ""},
                           Strip{"x.1   Boot   Boot", "x.1"}}) {
        SCOPED_TRACE(k.in);
        EXPECT_EQ(vcx::StripBootVersionText(k.in), k.out);
    }

    EXPECT_TRUE(vcx::IsGoldenSampleForDevice("QV2081A.D05.2.5.3.1 ", 0x1234, kVersion, 0x1234));
    EXPECT_TRUE(vcx::IsGoldenSampleForDevice(kVersion, 0x1234, " QV2081A.D05.2.5.3.1", 0x1234));
    EXPECT_FALSE(vcx::IsGoldenSampleForDevice("QV2081A.D05.2.5.3.2", 0x1234, kVersion, 0x1234));
    EXPECT_FALSE(vcx::IsGoldenSampleForDevice(kVersion, 0x1235, kVersion, 0x1234));
}

const char kSampleText[] =
    "[VCXM]\n"
    "Firmware Version:,QV2081A.D05.2.5.3.1 \n"
    "Parameters CRC:,4660,1234\n"
    "Average Count:,7\n"
    "[GoldenSample]\n"
    ",0,1,2,\n"
    "0,10,0,65535,\n"
    "1,3,4,5,\n"
    "\n";

TEST(DiagGoldenText, ReadsItsOwnTextAndRefusesEverythingElse) {
    GoldenSampleFile got;
    ASSERT_TRUE(vcx::ParseGoldenSampleText(kSampleText, 2, 3, kVersion, 0x1234, &got));
    EXPECT_EQ(got.firmwareVersion, "QV2081A.D05.2.5.3.1");
    EXPECT_EQ(got.parametersCrc, 0x1234);
    EXPECT_EQ(got.averageCount, 7);
    EXPECT_EQ(got.grid, (std::vector<uint16_t>{10, 0, 65535, 3, 4, 5}));
    EXPECT_EQ(vcx::FormatGoldenSampleText(got, 2, 3), kSampleText);

    struct Bad {
        const char* name;
        const char* from;
        const char* to;
    };
    const Bad cases[] = {
        {"average count 0", "Average Count:,7", "Average Count:,0"},
        {"average count 70000", "Average Count:,7", "Average Count:,70000"},
        {"average count not a number", "Average Count:,7", "Average Count:,7x"},
        {"no average count", "Average Count:,7\n", ""},
        {"CRC not a number", "Parameters CRC:,4660", "Parameters CRC:,-4660"},
        {"CRC above 16 bits", "Parameters CRC:,4660", "Parameters CRC:,70196"},
        {"another CRC", "Parameters CRC:,4660", "Parameters CRC:,4661"},
        {"another firmware", "QV2081A.D05.2.5.3.1 ", "QV2081A.D05.2.5.3.2 "},
        {"no firmware line", "Firmware Version:,QV2081A.D05.2.5.3.1 \n", ""},
        {"fields out of order", "Parameters CRC:,4660,1234\nAverage Count:,7\n", "Average Count:,7\nParameters CRC:,4660,1234\n"},
        {"no title", "[GoldenSample]\n", ""},
        {"a row short of B", "1,3,4,5,", "1,3,4,"},
        {"a row of B + 5", "1,3,4,5,", "1,3,4,5,6,7,8,9,10,"},
        {"a value above 65535", "0,10,0,65535,", "0,10,0,65536,"},
        {"a negative value", "1,3,4,5,", "1,3,-4,5,"},
        {"an empty value", "1,3,4,5,", "1,3,,5,"},
        {"a row without its number", "1,3,4,5,", "3"},
        {"a missing row", "1,3,4,5,\n\n", ""},
    };
    for (const Bad& k : cases) {
        SCOPED_TRACE(k.name);
        std::string text = kSampleText;
        const size_t at = text.find(k.from);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, std::strlen(k.from), k.to);
        GoldenSampleFile out;
        out.averageCount = 99;
        EXPECT_FALSE(vcx::ParseGoldenSampleText(text, 2, 3, kVersion, 0x1234, &out));
        EXPECT_EQ(out.averageCount, 99);  // untouched
    }
    // Rows without the trailing comma, and "\r\n" line ends, read alike.
    std::string loose = kSampleText;
    loose.replace(loose.find("1,3,4,5,"), 8, "1, 3 ,4,5");
    GoldenSampleFile out;
    EXPECT_TRUE(vcx::ParseGoldenSampleText(loose, 2, 3, kVersion, 0x1234, &out));
    EXPECT_EQ(out.grid, got.grid);
}

class DiagGolden : public ::testing::Test {
protected:
    QTemporaryDir dir;
    GoldenSampleDevice d;
    vcx::DiagState s;

    void SetUp() override {
        d.programFolder = dir.path() + "/";
        d.productName = "2081A_D05_2_0_5";
        d.parametersCrc = 0x1234;
        d.firmwareVersion = kVersion;
        d.rows = 2;
        d.columns = 3;
    }
    void frames(std::vector<uint16_t> a, std::vector<uint16_t> b, std::vector<uint16_t> c) {
        s.ScanFrame = {std::move(a), std::move(b), std::move(c)};
    }
    void flat(uint16_t v) { frames(std::vector<uint16_t>(6, v), std::vector<uint16_t>(6, v), std::vector<uint16_t>(6, v)); }
    QStringList files() { return QDir(dir.path() + "/GoldenSample").entryList(QDir::Files, QDir::Name); }
    GoldenSampleFile average() {
        GoldenSampleFile f;
        EXPECT_TRUE(vcx::ReadGoldenSampleFile(vcx::AverageGoldenSamplePath(d), d, &f));
        return f;
    }
};

TEST_F(DiagGolden, FirstSampleWritesNumber00AndAnAverageOfOne) {
    frames({100, 200, 300, 0, 65535, 7}, {101, 200, 300, 0, 65535, 8}, {102, 201, 300, 3, 65535, 8});
    ASSERT_TRUE(vcx::CreateGoldenSampleFiles(d, s));
    const QString base = "QV2081A_D05_2_0_5_x1234";
    EXPECT_EQ(files(), (QStringList{base + "_AverageGS.csv", base + "_GoldenSample_00.csv"}));
    // The bytes on disk, line ends through the text-mode writer; the per-node mean in 32 bits.
    const QByteArray want =
        "[VCXM]\r\n"
        "Firmware Version:,QV2081A.D05.2.5.3.1 \r\n"
        "Parameters CRC:,4660,1234\r\n"
        "Average Count:,1\r\n"
        "[GoldenSample]\r\n"
        ",0,1,2,\r\n"
        "0,101,200,300,\r\n"
        "1,1,65535,7,\r\n"
        "\r\n";
    EXPECT_EQ(ReadAll(vcx::GoldenSamplePath(d, 0)), want);
    EXPECT_EQ(ReadAll(vcx::AverageGoldenSamplePath(d)), want);
    EXPECT_EQ(s.golden.averageCount, 1);
    EXPECT_EQ(s.golden.parametersCrc, 0x1234);
    EXPECT_EQ(s.BaseFrame, (std::vector<uint16_t>{101, 200, 300, 1, 65535, 7}));
}

TEST_F(DiagGolden, TheAverageRunsAsTheIntegerMeanOfAllSamples) {
    flat(100);
    ASSERT_TRUE(vcx::CreateGoldenSampleFiles(d, s));
    flat(101);
    ASSERT_TRUE(vcx::CreateGoldenSampleFiles(d, s));
    EXPECT_EQ(average().grid, std::vector<uint16_t>(6, 100));  // (100 + 101) / 2
    EXPECT_EQ(average().averageCount, 2);
    // A third, uneven sample against floor((avg * n + new) / (n + 1)).
    const std::vector<uint16_t> third = {0, 65535, 103, 1000, 7, 102};
    frames(third, third, third);
    ASSERT_TRUE(vcx::CreateGoldenSampleFiles(d, s));
    std::vector<uint16_t> want;
    for (uint16_t v : third) want.push_back(uint16_t((100u * 2 + v) / 3));
    EXPECT_EQ(average().grid, want);
    EXPECT_EQ(average().averageCount, 3);
    EXPECT_EQ(s.BaseFrame, want);
    EXPECT_EQ(files().size(), 4);  // _00, _01, _02 and the average
    vcx::DiagState loaded;
    ASSERT_TRUE(vcx::LoadAverageGoldenSample(d, loaded));
    EXPECT_EQ(loaded.BaseFrame, want);
    EXPECT_EQ(loaded.golden.averageCount, 3);
    EXPECT_EQ(loaded.golden.firmwareVersion, "QV2081A.D05.2.5.3.1");
}

TEST_F(DiagGolden, ACountOf65535StaysAndDoesNotWrap) {
    flat(1000);
    ASSERT_TRUE(vcx::CreateGoldenSampleFiles(d, s));
    GoldenSampleFile a = average();
    a.averageCount = 65535;
    a.grid = std::vector<uint16_t>(6, 65535);
    ASSERT_TRUE(vcx::WriteGoldenSampleFile(QFile::encodeName(vcx::AverageGoldenSamplePath(d)).constData(), a, 2, 3));
    flat(0);
    ASSERT_TRUE(vcx::CreateGoldenSampleFiles(d, s));
    EXPECT_EQ(average().averageCount, 65535);
    EXPECT_EQ(average().grid, std::vector<uint16_t>(6, uint16_t(65535ull * 65535 / 65536)));
}

TEST_F(DiagGolden, NoFreeNumberWritesNothing) {
    flat(100);
    ASSERT_TRUE(vcx::CreateGoldenSampleFiles(d, s));
    for (int i = 1; i < vcx::kMaxGoldenSamples; ++i) WriteAll(vcx::GoldenSamplePath(d, i), "x");
    const QByteArray before = ReadAll(vcx::AverageGoldenSamplePath(d));
    flat(200);
    EXPECT_FALSE(vcx::CreateGoldenSampleFiles(d, s));
    EXPECT_EQ(files().size(), vcx::kMaxGoldenSamples + 1);
    EXPECT_EQ(ReadAll(vcx::AverageGoldenSamplePath(d)), before);
    // A number freed again is taken.
    QFile::remove(vcx::GoldenSamplePath(d, 42));
    EXPECT_TRUE(vcx::CreateGoldenSampleFiles(d, s));
    EXPECT_EQ(ReadAll(vcx::GoldenSamplePath(d, 42)).count("Average Count:,1\r\n"), 1);
}

TEST_F(DiagGolden, AnAverageThatDoesNotReadLeavesNoSampleBehind) {
    flat(100);
    ASSERT_TRUE(vcx::CreateGoldenSampleFiles(d, s));
    struct Case {
        const char* name;
        std::function<void()> spoil;
    };
    const QString path = vcx::AverageGoldenSamplePath(d);
    const QByteArray good = ReadAll(path);
    const Case cases[] = {
        {"another firmware", [&] { d.firmwareVersion = "QV2081A.D05.2.5.3.2"; }},
        {"count 0", [&] { WriteAll(path, QByteArray(good).replace("Average Count:,1", "Average Count:,0")); }},
        {"a row of B + 5", [&] { WriteAll(path, QByteArray(good).replace("1,100,100,100,", "1,100,100,100,1,2,3,4,5,")); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        WriteAll(path, good);
        d.firmwareVersion = kVersion;
        k.spoil();
        vcx::DiagState loaded;
        EXPECT_FALSE(vcx::LoadAverageGoldenSample(d, loaded));
        EXPECT_TRUE(loaded.BaseFrame.empty());
        flat(300);
        EXPECT_FALSE(vcx::CreateGoldenSampleFiles(d, s));
        EXPECT_EQ(files().size(), 2);  // _00 and the average: number 01 is still free
        EXPECT_TRUE(QFile::exists(vcx::GoldenSamplePath(d, 0)));
    }
    // Without an average, the next sample starts one.
    QFile::remove(path);
    d.firmwareVersion = kVersion;
    vcx::DiagState none;
    EXPECT_FALSE(vcx::LoadAverageGoldenSample(d, none));
    ASSERT_TRUE(vcx::CreateGoldenSampleFiles(d, s));
    EXPECT_EQ(average().averageCount, 1);
    EXPECT_TRUE(QFile::exists(vcx::GoldenSamplePath(d, 1)));
}

TEST_F(DiagGolden, FramesThatDoNotFitThePanelWriteNothing) {
    frames({1, 2, 3}, {1, 2, 3}, {1, 2, 3});
    EXPECT_FALSE(vcx::CreateGoldenSampleFiles(d, s));
    EXPECT_TRUE(files().isEmpty());
}

}  // namespace

namespace {

// The setting view of the process configuration page: the present average's
// caption, the offer to create one when the product has none (or only another
// firmware's), its refresh through the program hook, and its two buttons.
TEST_F(DiagGolden, TheSettingViewCaptionsThePresentAverageOrOffersACreation) {
    vcx::DiagState shown;
    diagtest::MainSink main;
    vcx::CGSSetDlg view(shown, nullptr, [this] { return d; });
    view.setMainWindow(&main);
    const auto text = [&](int id) { return vcx::GetDlgItemText(&view, id); };
    const auto take = [&] { return qvui::findControl<QPushButton>(&view, vcx::CGSSetDlg::kIdTake); };
    EXPECT_FALSE(view.captionShown());

    view.UpdateCaption(false);
    EXPECT_TRUE(view.captionShown());
    EXPECT_EQ(take()->text(), "&Create Golden Sample");
    flat(100);
    ASSERT_TRUE(vcx::CreateGoldenSampleFiles(d, s));
    flat(101);
    ASSERT_TRUE(vcx::CreateGoldenSampleFiles(d, s));
    view.UpdateCaption(false);  // on show already: not read again
    EXPECT_EQ(take()->text(), "&Create Golden Sample");
    view.UpdateCaption(true);
    EXPECT_EQ(take()->text(), "&Update Golden Sample");
    EXPECT_EQ(text(vcx::CGSSetDlg::kIdVersion), "QV2081A.D05.2.5.3.1");
    EXPECT_EQ(text(vcx::CGSSetDlg::kIdCrc), "x1234");
    EXPECT_EQ(text(vcx::CGSSetDlg::kIdCount), "2");
    EXPECT_EQ(shown.BaseFrame, std::vector<uint16_t>(6, 100));

    // After a golden-sample scan the main window refreshes it through the hook;
    // an average of another firmware is none for this product.
    d.firmwareVersion = "QV2081A.D05.2.5.3.2";
    ASSERT_TRUE(vcx::programHooks().refreshGoldenSampleCaption);
    vcx::programHooks().refreshGoldenSampleCaption();
    EXPECT_EQ(take()->text(), "&Create Golden Sample");
    for (int id : {vcx::CGSSetDlg::kIdVersion, vcx::CGSSetDlg::kIdCrc, vcx::CGSSetDlg::kIdCount})
        EXPECT_EQ(text(id), "") << id;

    take()->click();
    EXPECT_EQ(main.of(qvui::WM_DEBUG_COMMAND), (std::vector<diagtest::Message>{{qvui::WM_DEBUG_COMMAND, 13, 6}}));
    qvui::findControl<QPushButton>(&view, vcx::CGSSetDlg::kIdExit)->click();
    EXPECT_FALSE(view.captionShown());
}

TEST(DiagGoldenSetting, TheHookLivesAsLongAsTheView) {
    vcx::DiagState s;
    {
        vcx::CGSSetDlg view(s, nullptr, [] { return GoldenSampleDevice{}; });
        EXPECT_TRUE(vcx::programHooks().refreshGoldenSampleCaption);
    }
    EXPECT_FALSE(vcx::programHooks().refreshGoldenSampleCaption);
}

}  // namespace
