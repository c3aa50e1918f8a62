// The settings store: load order (defaults, INI, system store, the user store
// where the system store cannot be written), older value names, folder and
// position fallbacks, saving.
#include "core/app_settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class VcxAppSettings : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        root_ = QDir(tmp_.path());
        ASSERT_TRUE(root_.mkpath("program") && root_.mkpath("appdata") && root_.mkpath("etc") &&
                    root_.mkpath("home") && root_.mkpath("mine/csv") && root_.mkpath("mine/ini"));
        env_.programFolder = root_.filePath("program");
        env_.localAppData = root_.filePath("appdata");
        env_.systemStore = root_.filePath("etc/VCXUtility.ini");
        env_.userStore = root_.filePath("home/VCXUtility.ini");
        env_.primaryScreen = QSize(1920, 1080);
        env_.virtualScreen = QSize(3840, 1080);
    }
    QString path(const char* rel) const { return root_.filePath(rel); }
    void writeIni(const QByteArray& text) {
        QFile f(QDir(env_.programFolder).filePath("VCXUtilityCfg.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    void writeStore(const QString& file, std::initializer_list<std::pair<const char*, QVariant>> values) {
        QSettings s(file, QSettings::IniFormat);
        for (const auto& [k, v] : values) s.setValue(k, v);
        s.sync();
        ASSERT_EQ(s.status(), QSettings::NoError);
    }
    // A store path that nobody, not even root, can create: its folder is a file.
    QString uncreatable() {
        QFile f(path("blocker"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return path("blocker/VCXUtility.ini");
    }
    void load() {
        log_.clear();
        vcx::loadAppSettings(s_, working_, env_, [this](const QString& line) { log_ << line; });
    }

    QTemporaryDir tmp_;
    QDir root_;
    vcx::SettingsEnvironment env_;
    vcx::AppSettings s_;
    vcx::WorkingFolders working_;
    QStringList log_;
};

TEST_F(VcxAppSettings, IniThenUserStoreWhenTheSystemStoreCannotBeOpened) {
    writeIni("[Option]\r\nAbnMsg=1\r\nChildIdx=3\r\nParaIdx=\r\nDiagIdx=7\r\nUtyPos.x=5\r\nDrawMenu=0\r\n"
             "DiagOSFolder=" + path("mine/ini").toUtf8() + "\r\nParaIniFolder=" + path("nowhere").toUtf8() + "\r\n");
    const QString tooLong = path("mine/csv") + "/" + QString(300, u'x');
    writeStore(env_.userStore, {{"AbnMsg", 0},
                                {"ChildIdx", 5},
                                {"DiagIdx", 2},
                                {"UtyPos.x", -10},
                                {"UtyPos.y", 50},
                                {"AbnPos.x", 100},
                                {"AbnPos.y", 200},
                                {"DrawRect.left", 300},
                                {"DrawRect.right", 200},
                                {"CSVPath", path("mine/csv")},
                                {"DiagNLFolder", tooLong},
                                {"QVFPath", path("gone")}});
    // No system store file: it cannot be opened, the user store is read.
    load();
    ASSERT_EQ(log_.size(), 2);
    EXPECT_TRUE(log_[0].startsWith("Failed to open registry in HKLM (" + env_.systemStore));
    EXPECT_EQ(log_[1], "OK to open registry !\n");

    // A stored 0 does not clear the bit the INI file set; a 0 in the INI sets nothing.
    EXPECT_EQ(s_.options, vcx::kOptAbnMsg);
    EXPECT_EQ(s_.childIdx, 5);
    EXPECT_EQ(s_.diagIdx, 2);  // the INI's DiagIdx is not read
    EXPECT_EQ(s_.paraIdx, 0);  // an empty INI value is skipped
    // (-10, 50) is off the screen: a quarter of the primary screen.
    EXPECT_EQ(s_.utyPos, (vcx::Point{480, 270}));
    EXPECT_EQ(s_.abnPos, (vcx::Point{100, 200}));
    EXPECT_EQ(s_.drawRect, (vcx::Rect{100, 100, 800, 600}));
    // DiagOSFolder missing from the store: "CSVPath" replaces the INI's folder.
    EXPECT_EQ(s_.folders[vcx::kDiagOSFolder], path("mine/csv"));
    // A text longer than the folder field is not taken; the older name is.
    EXPECT_EQ(s_.folders[vcx::kDiagNLFolder], path("mine/csv"));
    // Folders that do not exist fall back to their defaults, which are made.
    const QString firmware = path("appdata/Quorvane Utility/Firmware");
    EXPECT_EQ(s_.folders[vcx::kFUQVFFolder], firmware);
    EXPECT_TRUE(QDir(firmware).exists());
    EXPECT_EQ(s_.folders[vcx::kParaIniFolder], path("appdata/Quorvane Utility/Parameter"));
    EXPECT_TRUE(QDir(path("appdata/Quorvane Utility/Debug(RD)")).exists());
    // No process-result folder: its working path is the program folder.
    EXPECT_TRUE(s_.folders[vcx::kProcResFolder].isEmpty());
    EXPECT_EQ(working_[vcx::kProcResFolder], env_.programFolder);
    EXPECT_EQ(working_[vcx::kDiagOSFolder], s_.folders[vcx::kDiagOSFolder]);
}

TEST_F(VcxAppSettings, SystemStoreGoesBeforeTheUserStore) {
    writeStore(env_.systemStore, {{"ChildIdx", 4}, {"(Default)", path("mine/ini")}});
    writeStore(env_.userStore, {{"ChildIdx", 9}, {"DrawMode", 1}});
    load();
    EXPECT_EQ(log_, QStringList{"OK to open registry !\n"});
    EXPECT_EQ(s_.childIdx, 4);
    EXPECT_EQ(s_.options, 0u);
    // The unnamed value is the older name of the process-result folder.
    EXPECT_EQ(s_.folders[vcx::kProcResFolder], path("mine/ini"));
    EXPECT_EQ(working_[vcx::kProcResFolder], path("mine/ini"));
}

// A machine-wide store this user may read but not write: read, and this user's
// saves go to the user store, which is read over it at the next start.
TEST_F(VcxAppSettings, AReadOnlySystemStoreIsReadAndTheUserStoreOverIt) {
    writeStore(env_.systemStore, {{"ChildIdx", 4}, {"DrawMode", 1}, {"ParaIdx", 6}, {"UtyPos.x", 100}});
    ASSERT_TRUE(QFile::setPermissions(env_.systemStore, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    // Root may write any file; the store is said to be unwritable for every user.
    env_.storeWritable = [this](const QString& file) {
        return file != env_.systemStore && vcx::storeFileWritable(file);
    };
    load();
    EXPECT_EQ(log_, QStringList{"OK to open registry !\n"});
    EXPECT_EQ(s_.childIdx, 4);
    EXPECT_EQ(s_.paraIdx, 6);
    EXPECT_EQ(s_.options, vcx::kOptDrawMode);
    EXPECT_EQ(s_.utyPos.x, 100);

    s_.childIdx = 2;
    s_.utyPos = {300, 200};
    EXPECT_EQ(vcx::saveAppSettings(s_, working_, env_), env_.userStore);
    EXPECT_EQ(QSettings(env_.systemStore, QSettings::IniFormat).value("ChildIdx").toInt(), 4);

    load();
    EXPECT_EQ(log_, QStringList{"OK to open registry !\n"});
    EXPECT_EQ(s_.childIdx, 2);
    EXPECT_EQ(s_.utyPos, (vcx::Point{300, 200}));
    EXPECT_EQ(s_.paraIdx, 6);
    EXPECT_EQ(s_.options, vcx::kOptDrawMode);
    QFile::setPermissions(env_.systemStore, QFile::ReadOwner | QFile::WriteOwner);
}

TEST_F(VcxAppSettings, NoStoreLeavesDefaultsAndIni) {
    env_.systemStore = uncreatable();
    env_.localAppData = path("fresh/.local/share"); // a fresh account has no data folder yet
    writeIni("[option]\nshowsr = 2\nProductInfo=6\n");
    load();
    ASSERT_EQ(log_.size(), 2);
    EXPECT_TRUE(log_[1].startsWith("Failed to open registry HKCU (" + env_.userStore));
    EXPECT_EQ(s_.options, vcx::kOptShowSR);
    EXPECT_EQ(s_.productInfo, 6);
    EXPECT_EQ(s_.diagIdx, 1);
    EXPECT_EQ(s_.folders[vcx::kDbgCmdFolder], path("fresh/.local/share/Quorvane Utility/Debug(RD)"));
    EXPECT_TRUE(QDir(s_.folders[vcx::kDbgCmdFolder]).exists());
}

TEST_F(VcxAppSettings, PositionsAreCheckedAgainstTheVirtualScreen) {
    struct Case {
        vcx::Point uty;
        vcx::Rect draw;
        bool utyKept, drawKept;
    } cases[] = {
        {{0, 0}, {0, 0, 1, 1}, true, true},
        {{3839, 1079}, {3839, 1079, 4000, 2000}, true, true},
        {{3840, 10}, {3840, 10, 3900, 20}, false, false},
        {{10, 1080}, {10, 1080, 20, 1100}, false, false},
        {{10, -1}, {-1, 10, 20, 20}, false, false},
        {{10, 10}, {10, 10, 10, 20}, true, false},
        {{10, 10}, {10, 20, 30, 20}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.uty.x << "," << c.uty.y << " / " << c.draw.left << "," << c.draw.top
                                        << "," << c.draw.right << "," << c.draw.bottom);
        writeStore(env_.userStore, {{"UtyPos.x", c.uty.x},
                                    {"UtyPos.y", c.uty.y},
                                    {"DrawRect.left", c.draw.left},
                                    {"DrawRect.top", c.draw.top},
                                    {"DrawRect.right", c.draw.right},
                                    {"DrawRect.bottom", c.draw.bottom}});
        load();
        EXPECT_EQ(s_.utyPos, (c.utyKept ? c.uty : vcx::Point{480, 270}));
        EXPECT_EQ(s_.drawRect, (c.drawKept ? c.draw : vcx::Rect{100, 100, 800, 600}));
    }
}

TEST_F(VcxAppSettings, SaveWritesWorkingFoldersAndReadsBack) {
    load();
    s_.utyPos = {11, 12};
    s_.drawRect = {1, 2, 300, 400};
    s_.debugIdx = 3;
    s_.options = vcx::kOptDrawMode | vcx::kOptDrawDownUpCnt;
    working_[vcx::kDbgLogFolder] = path("mine/csv");
    s_.folders[vcx::kProcResFolder] = path("gone"); // not written: it does not exist
    EXPECT_EQ(vcx::saveAppSettings(s_, working_, env_), env_.systemStore);
    {
        const QSettings raw(env_.systemStore, QSettings::IniFormat);
        EXPECT_EQ(raw.value("DrawDownUpCnt").toInt(), 1);
        EXPECT_EQ(raw.value("AbnMsg").toInt(), 0);
        EXPECT_FALSE(raw.contains("ProcResFolder"));
        EXPECT_FALSE(raw.contains("LOGPath"));
    }
    vcx::AppSettings before = s_;
    load();
    EXPECT_EQ(s_.utyPos, before.utyPos);
    EXPECT_EQ(s_.drawRect, before.drawRect);
    EXPECT_EQ(s_.debugIdx, 3);
    EXPECT_EQ(s_.options, before.options);
    EXPECT_EQ(s_.folders[vcx::kDbgLogFolder], path("mine/csv"));
    EXPECT_EQ(s_.folders[vcx::kDbgMDFolder], before.folders[vcx::kDbgMDFolder]);
}

TEST_F(VcxAppSettings, SaveFallsBackToTheUserStoreAndElseSavesNothing) {
    load();
    env_.systemStore = uncreatable();
    EXPECT_EQ(vcx::saveAppSettings(s_, working_, env_), env_.userStore);
    EXPECT_TRUE(QFile::exists(env_.userStore));
    env_.userStore = path("blocker/user.ini");
    EXPECT_TRUE(vcx::saveAppSettings(s_, working_, env_).isEmpty());
}

} // namespace

// The identity code reaches 2 552 615 535 (letter and customer 255, product
// 65535): kept as an unsigned 32-bit number through the store and the INI.
TEST_F(VcxAppSettings, TheProductIdentityCodeKeepsItsUnsignedValue) {
    constexpr uint32_t kLargest = (255u * 1000 + 255) * 10000 + 65535;
    load();
    s_.productInfo = kLargest;
    ASSERT_EQ(vcx::saveAppSettings(s_, working_, env_), env_.systemStore);
    EXPECT_EQ(QSettings(env_.systemStore, QSettings::IniFormat).value("ProductInfo").toString(), "2552615535");
    s_.productInfo = 0;
    load();
    EXPECT_EQ(s_.productInfo, kLargest);
    // The INI beside the program, read before the stores.
    QFile::remove(env_.systemStore);
    env_.systemStore = uncreatable();
    writeIni("[option]\nProductInfo=3000000000\n");
    load();
    EXPECT_EQ(s_.productInfo, 3000000000u);
}
