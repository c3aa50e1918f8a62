// The production-line window in real processes: "VCXMSet -pdl" beside a
// window titled "VCX Production Line" (the test helper, which prints what it
// is sent) comes up as "Quorvane VCXUtility (PD)" and answers the helper's
// requests: without a controller 0x8040, with a controller in its boot loader
// 0x8020, with a ready one nothing; (x, 0) ends it with its settings saved.
#include "shell/app_startup.h"
#include "shell/pd_line_dlg.h"

#include "qt_support.h"
#include "ui/named_window.h"
#include "ui/window_message.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace {

constexpr int kProcessMs = 30000;  // a ceiling only

class VcxPdLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("QT_QPA_PLATFORM", "offscreen");
        const QString runtime = useOwnSession(env_, tmp_.path());
        const QString asan = env_.value("ASAN_OPTIONS");
        env_.insert("ASAN_OPTIONS", asan.isEmpty() ? QStringLiteral("detect_leaks=0") : asan + ":detect_leaks=0");
        env_.remove("LD_LIBRARY_PATH");
        collectChildThreadReports(env_, tmp_.path());
        runtime_ = std::make_unique<ScopedRuntimeFolder>(runtime);
    }
    void TearDown() override {
        for (auto& p : processes_)
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(kProcessMs);
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
        EXPECT_TRUE(p.waitForStarted(kProcessMs));
        return p;
    }
    // The helper that stands for the production-line program, then VCXMSet -pdl with the sim profile.
    QProcess& startLine(const QString& profile) {
        QProcess& helper = start(QV_BINARY_DIR "/bin/ui_window_helper", {vcx::kProductionLineTitle});
        EXPECT_TRUE(helper.waitForReadyRead(kProcessMs));
        EXPECT_EQ(helper.readLine().trimmed(), "ready");
        env_.insert("QV_SIM", profile);
        QProcess& p = start(QV_BINARY_DIR "/bin/VCXMSet", {"-pdl"});
        const auto up = [] { return qvui::findWindow(vcx::kPdLineTitle); };
        qvtest::waitUntil([&] { return up() || p.state() != QProcess::Running; }, [&] { p.waitForFinished(20); },
                          std::chrono::milliseconds(kProcessMs));
        EXPECT_TRUE(up()) << p.readAllStandardError().toStdString();
        helper_ = &helper;
        return p;
    }
    // A request to the window, then what the helper printed until the window
    // took a later message (it carries out a request after answering it).
    QString request(quint64 wParam, qint64 lParam) {
        const auto r = qvui::sendWindowMessage(vcx::kPdLineTitle, qvui::WM_PRODUCTION_LINE, wParam, lParam);
        EXPECT_TRUE(r.ok) << r.error.toStdString();
        if (lParam != 0) {
            const auto later = qvui::sendWindowMessage(vcx::kPdLineTitle, qvui::WM_ACTIVATE_INSTANCE, 0, 0);
            EXPECT_TRUE(later.ok) << later.error.toStdString();
        }
        // The helper prints before it answers a send.
        qvui::sendWindowMessage(vcx::kProductionLineTitle, qvui::WM_USER + 100, 0, 0);
        helper_->waitForReadyRead(100);
        return QString::fromLocal8Bit(helper_->readAllStandardOutput());
    }
    QString store(const char* scope) const {
        return tmp_.filePath(QLatin1String(scope) + QStringLiteral("/Quorvane Utility/VCXUtility.ini"));
    }

    QTemporaryDir tmp_;
    QProcessEnvironment env_;
    std::unique_ptr<ScopedRuntimeFolder> runtime_;
    std::vector<std::unique_ptr<QProcess>> processes_;
    QProcess* helper_ = nullptr;
};

const QString kStarted = "posted 1296 4096 65535\n";  // the start-up's (0x1000, 0xFFFF)

TEST_F(VcxPdLine, AControllerInItsBootLoaderIsFoundButNotPrepared) {
    QProcess& p = startLine("boot");
    EXPECT_EQ(request(1, 1), kStarted + "posted 1296 4096 32800\n");  // 0x8020
    request(0, 0);
    ASSERT_TRUE(p.waitForFinished(kProcessMs));
    EXPECT_EQ(p.exitCode(), vcx::kExitNormal);
}

TEST_F(VcxPdLine, AReadyControllerIsAnsweredWithNothingAndTheEndSavesTheSettings) {
    QProcess& p = startLine("diag");
    EXPECT_EQ(request(1, 1), kStarted);
    EXPECT_FALSE(QFile::exists(store("etc")) || QFile::exists(store("home/.config")));
    request(7, 0);
    ASSERT_TRUE(p.waitForFinished(kProcessMs));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), vcx::kExitNormal);
    EXPECT_TRUE(QFile::exists(store("etc")) || QFile::exists(store("home/.config")));
}

TEST_F(VcxPdLine, NoControllerIsAnswered0x8040) {
    const QString empty = tmp_.filePath("none.qvsim");
    QFile f(empty);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("# no controller\n");
    f.close();
    QProcess& p = startLine(empty);
    const QString got = request(1, 1);
    EXPECT_EQ(got, kStarted + "posted 1296 4096 32832\n") << got.toStdString();
    request(0, 0);
    ASSERT_TRUE(p.waitForFinished(kProcessMs));
    EXPECT_EQ(p.exitCode(), vcx::kExitNormal);
}

}  // namespace

