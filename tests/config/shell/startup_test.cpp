// Start-up of VCXMSet in real processes: a second instance brings the first
// forward and ends; the sibling windows in their order; the messages when
// another family application or the resident application runs; the resident
// application told at start and end; the exit codes; the line that says why no
// controller was opened. Every process runs headless on the simulated
// controller, with its own runtime, configuration and data folders.
#include "shell/app_startup.h"

#include "qt_support.h"
#include "ui/named_window.h"
#include "ui/window_message.h"

#include <QCoreApplication>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

// Ceiling for a process to start or end; nothing is timed against it.
constexpr int kProcessMs = 30000;

class VcxStartup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("QT_QPA_PLATFORM", "offscreen");
        env_.insert("QV_SIM", "current");
        // The lock and the windows of a VCXMSet the user runs are not in this
        // session, and the bench of this test program stays its own.
        const QString runtime = useOwnSession(env_, tmp_.path());
        // Under the address sanitizer a child run's leak check would decide its
        // exit status, and Qt's image thread pool now and then leaves one of its
        // threads' data behind (152 bytes allocated inside QtCore) when the
        // program ends while that thread winds down. These tests are about exit
        // statuses; the window's own code is leak-checked in-process.
        const QString asan = env_.value("ASAN_OPTIONS");
        env_.insert("ASAN_OPTIONS", asan.isEmpty() ? QStringLiteral("detect_leaks=0") : asan + ":detect_leaks=0");
        env_.remove("LD_LIBRARY_PATH"); // the program finds its library beside it or in ../lib, nowhere else
        // The exit statuses asserted here are the programs' own; a thread
        // sanitizer report of a child fails the test in TearDown.
        collectChildThreadReports(env_, tmp_.path());
        // This process looks for the same windows as its children.
        runtime_ = std::make_unique<ScopedRuntimeFolder>(runtime);
    }
    void TearDown() override {
        for (auto& p : processes_) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(kProcessMs);
            }
        }
        runtime_.reset();
        const std::string reports = childThreadReports(tmp_.path());
        EXPECT_TRUE(reports.empty()) << reports;
    }
    QProcess& start(const QString& program, const QStringList& args) {
        processes_.push_back(std::make_unique<QProcess>());
        QProcess& p = *processes_.back();
        p.setProcessEnvironment(env_);
        p.start(program, args);
        EXPECT_TRUE(p.waitForStarted(kProcessMs)) << program.toStdString();
        return p;
    }
    QProcess& vcxmset(const QStringList& args = {}) { return start(QV_BINARY_DIR "/bin/VCXMSet", args); }
    // A window of the family in a process of its own, registered under `title`.
    QProcess& window(const QString& title) {
        QProcess& p = start(QV_BINARY_DIR "/bin/ui_window_helper", {title});
        EXPECT_TRUE(p.waitForReadyRead(kProcessMs));
        EXPECT_EQ(p.readLine().trimmed(), "ready");
        return p;
    }
    // Waits for the end; the process's standard error.
    static QString finish(QProcess& p, int exitCode = vcx::kExitNormal) {
        EXPECT_TRUE(p.waitForFinished(kProcessMs));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), exitCode);
        return QString::fromLocal8Bit(p.readAllStandardError());
    }
    // Waits until the main window of `p` is up; a failure when the process ends first.
    static void waitUntilUp(QProcess& p) {
        const auto up = [] { return qvui::findWindow(vcx::kMainWindowTitle); };
        qvtest::waitUntil([&] { return up() || p.state() != QProcess::Running; },
                          [&] { p.waitForFinished(20); }, std::chrono::milliseconds(kProcessMs));
        ASSERT_TRUE(up()) << (p.state() == QProcess::Running ? std::string("no main window in time")
                                                             : p.readAllStandardError().toStdString());
    }
    // Waits until the main window is up, then closes it from outside.
    static void closeWhenUp(QProcess& p) {
        waitUntilUp(p);
        qvui::sendWindowMessage(vcx::kMainWindowTitle, qvui::WM_CLOSE, 0, 0);
    }
    static QStringList programLines(const QString& err) {
        QStringList out;
        for (const QString& line : err.split(u'\n'))
            if (line.startsWith("VCXMSet:")) out << line;
        return out;
    }
    // Asks the helper to end and returns the messages it printed.
    static QString posted(QProcess& helper, const QString& title) {
        qvui::sendWindowMessage(title, 0x0400 + 101, 0, 0);
        EXPECT_TRUE(helper.waitForFinished(kProcessMs));
        return QString::fromLocal8Bit(helper.readAllStandardOutput());
    }

    QTemporaryDir tmp_;
    QProcessEnvironment env_;
    std::unique_ptr<ScopedRuntimeFolder> runtime_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

TEST_F(VcxStartup, SecondInstanceBringsTheFirstForwardAndEnds) {
    QProcess& first = vcxmset();
    ASSERT_NO_FATAL_FAILURE(waitUntilUp(first));
    QProcess& second = vcxmset();
    const QString err = finish(second);
    EXPECT_FALSE(err.contains(vcx::kCannotStartCaption)) << err.toStdString();
    EXPECT_FALSE(err.contains("VCXMSet:")) << err.toStdString(); // it never reached its own window
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_TRUE(qvui::findWindow(vcx::kMainWindowTitle));
}

// A script reads the exit status: an unattended run (or "-pdl") that another
// VCXMSet of the user keeps from running ends with a status of its own and says
// why on one line, whether that instance has a window or not.
TEST_F(VcxStartup, AScriptedRunRefusedForAnotherInstanceIsNoPass) {
    const QStringList expected{"VCXMSet: not run: another Quorvane VCX application of this user is running"};
    QProcess& first = vcxmset();
    ASSERT_NO_FATAL_FAILURE(waitUntilUp(first));
    for (const QStringList& line : {QStringList{"-os"}, QStringList{"-s", "/tmp/fw.pfp"}, QStringList{"-m"},
                                    QStringList{"-sr"}, QStringList{"-nl3"}, QStringList{"-enumfu"},
                                    QStringList{"-pdl"}}) {
        SCOPED_TRACE(line.join(' ').toStdString());
        const QString err = finish(vcxmset(line), vcx::kExitAnotherInstance);
        EXPECT_EQ(programLines(err), expected) << err.toStdString();
    }
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(VcxStartup, TheFirstSiblingFoundInOrderIsActivated) {
    QLockFile lock(vcx::instanceLockPath());
    ASSERT_TRUE(lock.tryLock(0));
    QProcess& pd = window("Quorvane VCXUtility (PD)");
    QProcess& mset = window("Quorvane VCXMSet");
    const QString err = finish(vcxmset());
    EXPECT_FALSE(err.contains(vcx::kCannotStartCaption)) << err.toStdString();
    EXPECT_EQ(posted(mset, "Quorvane VCXMSet"), "posted 1030 0 0\n");
    EXPECT_EQ(posted(pd, "Quorvane VCXUtility (PD)"), "");
}

TEST_F(VcxStartup, AnotherFamilyApplicationWithoutAWindowStopsTheStart) {
    QLockFile lock(vcx::instanceLockPath());
    ASSERT_TRUE(lock.tryLock(0));
    QString err = finish(vcxmset({"-m"}), vcx::kExitAnotherInstance);
    EXPECT_TRUE(err.contains(vcx::kOtherAppRunningText)) << err.toStdString();
    EXPECT_FALSE(err.contains("unattended")) << err.toStdString();
    EXPECT_EQ(programLines(err),
              QStringList{"VCXMSet: not run: another Quorvane VCX application of this user is running"});
    // An interactive start refused the same way ends normally.
    err = finish(vcxmset());
    EXPECT_TRUE(err.contains(vcx::kOtherAppRunningText)) << err.toStdString();
    EXPECT_TRUE(programLines(err).isEmpty()) << err.toStdString();
}

TEST_F(VcxStartup, ActiveResidentApplicationStopsTheStart) {
    window(vcx::kResidentActiveTitle);
    QProcess& resident = window(vcx::kResidentWindowTitle);
    const QString err = finish(vcxmset({"-m"}));
    EXPECT_TRUE(err.contains(vcx::kResidentRunningText)) << err.toStdString();
    // It ended before telling the resident application anything.
    EXPECT_EQ(posted(resident, vcx::kResidentWindowTitle), "");
}

TEST_F(VcxStartup, ResidentApplicationIsSuspendedForTheRun) {
    QProcess& resident = window(vcx::kResidentWindowTitle);
    // "-m": an unattended run, which without a file ends once the main window is initialised.
    const QString err = finish(vcxmset({"-m"}));
    EXPECT_TRUE(programLines(err).isEmpty()) << err.toStdString();
    EXPECT_EQ(posted(resident, vcx::kResidentWindowTitle), "posted 1280 1 0\nposted 1280 0 0\n");
}

TEST_F(VcxStartup, ProductionLineOptionReachesItsWindowAndMayRunBesideAnotherInstance) {
    QLockFile lock(vcx::instanceLockPath()); // another family application without a window
    ASSERT_TRUE(lock.tryLock(0));
    QProcess& line = window(vcx::kProductionLineTitle);
    // The production-line window runs (the other options are not its) until its program ends it.
    QProcess& p = vcxmset({"-pdl", "-nl2"});
    const auto up = [] { return qvui::findWindow(QLatin1String(vcx::kSiblingTitles[2])); };
    qvtest::waitUntil([&] { return up() || p.state() != QProcess::Running; }, [&] { p.waitForFinished(20); },
                      std::chrono::milliseconds(kProcessMs));
    ASSERT_TRUE(up()) << p.readAllStandardError().toStdString();
    EXPECT_FALSE(qvui::findWindow(vcx::kMainWindowTitle));
    qvui::sendWindowMessage(QLatin1String(vcx::kSiblingTitles[2]), qvui::WM_PRODUCTION_LINE, 0, 0);
    const QString err = finish(p, vcx::kExitNormal);
    EXPECT_FALSE(err.contains(vcx::kOtherAppRunningText)) << err.toStdString();
    EXPECT_EQ(posted(line, vcx::kProductionLineTitle), "posted 1296 4096 65535\n");
}

TEST_F(VcxStartup, ProductionLineOptionWithoutItsWindowChangesNothing) {
    QLockFile lock(vcx::instanceLockPath());
    ASSERT_TRUE(lock.tryLock(0));
    const QString err = finish(vcxmset({"-pdl"}), vcx::kExitAnotherInstance);
    EXPECT_TRUE(err.contains(vcx::kOtherAppRunningText)) << err.toStdString();
}

// A production script reads the exit code: a run this version cannot carry
// out must not read as a pass.
TEST_F(VcxStartup, UnattendedRunsEndWithExitCodeThree) {
    for (const char* option : {"-sr", "-os", "-nl3"}) {
        SCOPED_TRACE(option);
        const QString err = finish(vcxmset({option, "/tmp/fw.bin"}), vcx::kExitNotCarriedOut);
        EXPECT_EQ(programLines(err), QStringList{"VCXMSet: unattended runs are not part of this version"})
            << err.toStdString();
    }
}

// The unattended updates are carried out: their exit status is the run's own.
TEST_F(VcxStartup, UnattendedUpdatesEndWithTheirOwnStatus) {
    struct Case {
        QStringList line;
        int status;
    };
    const Case cases[] = {
        {{"-s", "/tmp/no such firmware.pfp"}, vcx::kExitBadFirmwareFile},
        {{"-m", "/tmp/no such firmware.pfp"}, vcx::kExitBadFirmwareFile},
        {{"-s"}, vcx::kExitCouldNotRun},
        {{"-enumfu", "-s"}, vcx::kExitCouldNotRun},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.join(' ').toStdString());
        const QString err = finish(vcxmset(c.line), c.status);
        EXPECT_FALSE(err.contains("unattended runs are not part")) << err.toStdString();
    }
}

TEST_F(VcxStartup, ANormalEndIsExitCodeZero) {
    QProcess& p = vcxmset();
    closeWhenUp(p);
    const QString err = finish(p);
    EXPECT_TRUE(programLines(err).isEmpty()) << err.toStdString(); // the controller was found: nothing to say
}

// Another process of the user sends the main window a device change whose
// lParam would be read as a broadcast record at an address of its choosing: it
// is refused, and the window still runs and still takes what it does take.
TEST_F(VcxStartup, DeviceChangeFromAnotherProcessIsRefused) {
    QProcess& p = vcxmset();
    ASSERT_NO_FATAL_FAILURE(waitUntilUp(p));
    for (qint64 lParam : {qint64(0x10), qint64(0x7FFFDEAD0000)}) {
        const auto r = qvui::sendWindowMessage(vcx::kMainWindowTitle, 0x0219, 0x8000, lParam);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.error.contains("refused message 0x219")) << r.error.toStdString();
    }
    EXPECT_EQ(p.state(), QProcess::Running);
    const auto r = qvui::sendWindowMessage(vcx::kMainWindowTitle, qvui::WM_ACTIVATE_INSTANCE, 0, 0);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.result, 1);
    qvui::sendWindowMessage(vcx::kMainWindowTitle, qvui::WM_CLOSE, 0, 0);
    finish(p);
}

TEST_F(VcxStartup, NoControllerAtStartIsOneLineOnStderr) {
    QFile profile(tmp_.filePath("nothing.qvsim"));
    ASSERT_TRUE(profile.open(QIODevice::WriteOnly));
    profile.write("# A bench without controllers.\n[bench]\nlatencyMs = 0\n");
    profile.close();
    env_.insert("QV_SIM", profile.fileName());
    QProcess& p = vcxmset();
    closeWhenUp(p);
    const QString err = finish(p);
    const QStringList lines = programLines(err);
    ASSERT_EQ(lines.size(), 1) << err.toStdString();
    EXPECT_TRUE(lines[0].startsWith("VCXMSet: no controller: ")) << lines[0].toStdString();
    EXPECT_GT(lines[0].size(), QString("VCXMSet: no controller: ").size());
}

TEST_F(VcxStartup, LibraryMissingOrTooOldIsExitCodeTwo) {
    // The program alone in a folder of its own: no library beside it or in ../lib.
    const QString bin = tmp_.filePath("alone/bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QFile::copy(QV_BINARY_DIR "/bin/VCXMSet", bin + "/VCXMSet"));
    QString err = finish(start(bin + "/VCXMSet", {}), vcx::kExitNoLibrary);
    EXPECT_TRUE(err.contains("VCXMSet: libQV_Standard.so could not be loaded")) << err.toStdString();

    // A library older than 1.3.0: refused with its message.
    ASSERT_TRUE(QFile::copy(VCX_FAKE_OLD, bin + "/libQV_Standard.so"));
    err = finish(start(bin + "/VCXMSet", {}), vcx::kExitNoLibrary);
    EXPECT_TRUE(err.contains("version : 1.2.9.0 is too old")) << err.toStdString();
    EXPECT_FALSE(qvui::findWindow(vcx::kMainWindowTitle));
}

TEST(VcxStartupLine, ArgumentsAreJoinedByBlanks) {
    EXPECT_EQ(vcx::joinArguments({"-nl3", "/tmp/a b.bin"}), "-nl3 /tmp/a b.bin");
    EXPECT_EQ(vcx::parseCommandLine(vcx::joinArguments({"-nl3", "/tmp/a b.bin"})).fileArg, "/tmp/a b.bin");
}

} // namespace
