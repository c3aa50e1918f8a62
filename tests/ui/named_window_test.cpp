#include "ui/named_window.h"
#include "ui/window_frame.h"
#include "ui/window_message.h"

#include "qt_support.h"

#include <QCoreApplication>
#include <QLocalSocket>
#include <QProcess>
#include <QWidget>
#include <gtest/gtest.h>


#include <limits>

using namespace qvui;

namespace {

constexpr quint32 kAdd = WM_USER + 100;
constexpr quint32 kQuit = WM_USER + 101;
constexpr int kStartMs = 20000; // a bound for a process to start, not a wait

QString uniqueTitle(const char* what) {
    return QStringLiteral("QV Test %1 %2").arg(QString::fromLatin1(what)).arg(QCoreApplication::applicationPid());
}

// The helper window in its own process. Its exit status stays its own under
// the thread sanitizer, and a report of the sanitizer in it fails the test.
class HelperProcess {
public:
    explicit HelperProcess(const QString& title) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        collectChildThreadReports(env, reports_.path());
        process_.setProcessEnvironment(env);
        process_.setProgram(QStringLiteral(QV_BINARY_DIR "/bin/ui_window_helper"));
        process_.setArguments({title});
        process_.start();
    }
    ~HelperProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(kStartMs);
        }
        const std::string reports = childThreadReports(reports_.path());
        EXPECT_TRUE(reports.empty()) << reports;
    }
    // The helper's next line of output, empty when it ended first.
    QByteArray line() {
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(kStartMs)) return {};
        return process_.readLine().trimmed();
    }
    QProcess& process() { return process_; }

private:
    QTemporaryDir reports_;
    QProcess process_;
};

class NamedWindowTwoProcesses : public ::testing::Test {
protected:
    void SetUp() override {
        title_ = uniqueTitle("Helper Window");
        helper_ = std::make_unique<HelperProcess>(title_);
        ASSERT_EQ(helper_->line(), "ready");
    }
    void TearDown() override {
        if (helper_->process().state() == QProcess::Running) {
            EXPECT_TRUE(postWindowMessage(title_, kQuit, 0, 0).ok);
            EXPECT_TRUE(helper_->process().waitForFinished(kStartMs));
            EXPECT_EQ(helper_->process().exitCode(), 0);
        }
    }
    QString title_;
    std::unique_ptr<HelperProcess> helper_;
};

TEST_F(NamedWindowTwoProcesses, SynchronousSendReturnsTheHandlersResult) {
    EXPECT_TRUE(findWindow(title_));
    EXPECT_TRUE(findWindow(title_.toUpper())); // titles match in any case
    struct Case {
        quint64 wParam;
        qint64 lParam;
    } cases[] = {{40, 2}, {quint64(1) << 40, -5}, {0, std::numeric_limits<qint64>::min() + 1}};
    for (const Case& c : cases) {
        const auto r = sendWindowMessage(title_, kAdd, c.wParam, c.lParam);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        EXPECT_EQ(r.result, qint64(c.wParam) + c.lParam);
    }
}

TEST_F(NamedWindowTwoProcesses, PostedMessagesArriveInOrderWithTheirParameters) {
    struct Case {
        quint32 message;
        quint64 wParam;
        qint64 lParam;
    } cases[] = {{WM_TIMER, 5, 0},  {WM_TIMER, 7, 0},  {WM_TIMER, 11, 0}, {WM_TIMER, 14, 0},
                 {WM_PRODUCTION_LINE, 0x1000, 0xFFFF},
                 {WM_USER + 20, std::numeric_limits<quint64>::max(), std::numeric_limits<qint64>::min()}};
    for (const Case& c : cases) {
        const auto r = postWindowMessage(title_, c.message, c.wParam, c.lParam);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
    }
    for (const Case& c : cases)
        EXPECT_EQ(helper_->line(), QStringLiteral("posted %1 %2 %3").arg(c.message).arg(c.wParam).arg(c.lParam).toUtf8());
}

TEST_F(NamedWindowTwoProcesses, MalformedFramesCloseOnlyTheirConnection) {
    const QByteArray bad[] = {QByteArray(kRequestSize, 'x'),                          // wrong magic
                              QByteArray("QVWM") + QByteArray(20, '\0') + '\x02'};   // unknown flag
    for (const QByteArray& frame : bad) {
        QLocalSocket raw;
        raw.connectToServer(windowSocketPath(title_));
        ASSERT_TRUE(raw.waitForConnected(kStartMs));
        raw.write(frame);
        ASSERT_TRUE(raw.waitForBytesWritten(kStartMs));
        EXPECT_TRUE(raw.state() == QLocalSocket::UnconnectedState || raw.waitForDisconnected(kStartMs));
        EXPECT_EQ(raw.bytesAvailable(), 0);
    }
    // A number the layer cannot carry is refused with a reply, not dropped.
    {
        QLocalSocket raw;
        raw.connectToServer(windowSocketPath(title_));
        ASSERT_TRUE(raw.waitForConnected(kStartMs));
        uint8_t frame[kRequestSize];
        encodeRequest({0x9000, 1, 2, true}, frame);
        raw.write(reinterpret_cast<const char*>(frame), kRequestSize);
        QByteArray reply;
        while (reply.size() < qsizetype(kReplySize) && raw.waitForReadyRead(kStartMs)) reply += raw.readAll();
        WindowReply decoded;
        ASSERT_EQ(decodeReply({reinterpret_cast<const uint8_t*>(reply.constData()), size_t(reply.size())}, decoded),
                  DecodeResult::Ok);
        EXPECT_EQ(decoded.status, ReplyStatus::BadMessage);
    }
    const auto r = sendWindowMessage(title_, kAdd, 1, 1);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.result, 2);
}

// From another process a window takes only the messages of its table, and only
// the parameters the table carries: a device change (whose lParam would point at
// a record in the sender's memory) is refused with a reply, and a timer tick's
// lParam (a callback there) arrives as 0.
TEST_F(NamedWindowTwoProcesses, OnlyTheTablesMessagesAndParametersCross) {
    struct Case {
        quint32 message;
        qint64 lParam;
    } refused[] = {{0x0219, 0x10}, {0x0219, 0}, {WM_USER + 21, 1}, {WM_CLOSE, 0}};
    for (const Case& c : refused) {
        for (bool sync : {true, false}) {
            const auto r = sync ? sendWindowMessage(title_, c.message, 0x8000, c.lParam)
                                : postWindowMessage(title_, c.message, 0x8000, c.lParam);
            EXPECT_FALSE(r.ok) << c.message;
            EXPECT_TRUE(r.error.contains(QStringLiteral("refused message 0x%1").arg(c.message, 0, 16)))
                << r.error.toStdString();
        }
    }
    ASSERT_TRUE(postWindowMessage(title_, WM_TIMER, 7, 0x7F0000001000).ok);
    ASSERT_TRUE(postWindowMessage(title_, WM_ACTIVATE_INSTANCE, 3, 4).ok);
    // Nothing refused reached the window: the first lines are the accepted ones.
    EXPECT_EQ(helper_->line(), "posted 275 7 0");
    EXPECT_EQ(helper_->line(), "posted 1030 0 0");
    const auto r = sendWindowMessage(title_, kAdd, 1, 1);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.result, 2);
}

TEST(NamedWindow, AdmitsOnlyListedMessagesWithTheirCarriedParameters) {
    const RemoteMessage table[] = {{WM_TIMER, Carried::Value, Carried::Unused},
                                   {WM_USER + 1, Carried::Unused, Carried::Value}};
    struct Case {
        WindowRequest in;
        bool admitted;
        quint64 wParam;
        qint64 lParam;
    } cases[] = {
        {{WM_TIMER, 5, -1, true}, true, 5, 0},
        {{WM_USER + 1, 9, -7, false}, true, 0, -7},
        {{0x0219, 0x8000, 0x1000, true}, false, 0, 0},
        {{0x9000 + WM_TIMER, 5, 0, true}, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in.message);
        const auto out = admitRequest(c.in, table);
        ASSERT_EQ(out.has_value(), c.admitted);
        if (!out) continue;
        EXPECT_EQ(out->message, c.in.message);
        EXPECT_EQ(out->wParam, c.wParam);
        EXPECT_EQ(out->lParam, c.lParam);
        EXPECT_EQ(out->sync, c.in.sync);
    }
    EXPECT_FALSE(admitRequest({WM_TIMER, 1, 0, true}, {}));
}

TEST_F(NamedWindowTwoProcesses, TheTitleBelongsToTheFirstWindow) {
    HelperProcess second(title_);
    const QByteArray line = second.line();
    EXPECT_TRUE(line.startsWith("error ")) << line.toStdString();
    EXPECT_TRUE(line.contains(title_.toUtf8())) << line.toStdString();
    EXPECT_TRUE(second.process().waitForFinished(kStartMs));
    EXPECT_EQ(second.process().exitCode(), 1);
    EXPECT_TRUE(sendWindowMessage(title_, kAdd, 1, 2).ok); // the first still answers
}

TEST_F(NamedWindowTwoProcesses, CommandLineSenderReachesTheWindow) {
    QTemporaryDir reports;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    collectChildThreadReports(env, reports.path());
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(QV_BINARY_DIR "/bin/vcxmsg"), {title_, QString::number(kAdd, 16).prepend("0x"), "5", "-2"});
    ASSERT_TRUE(tool.waitForFinished(kStartMs));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    EXPECT_EQ(tool.readAllStandardOutput().trimmed(), "3");

    tool.start(QStringLiteral(QV_BINARY_DIR "/bin/vcxmsg"), {"--post", title_, "0x113", "14", "0"});
    ASSERT_TRUE(tool.waitForFinished(kStartMs));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    EXPECT_EQ(helper_->line(), "posted 275 14 0");

    const QString unknown = uniqueTitle("No Such Window");
    tool.start(QStringLiteral(QV_BINARY_DIR "/bin/vcxmsg"), {unknown, "0x400", "0", "0"});
    ASSERT_TRUE(tool.waitForFinished(kStartMs));
    EXPECT_EQ(tool.exitCode(), 1);
    EXPECT_TRUE(tool.readAllStandardError().contains(unknown.toUtf8()));

    tool.start(QStringLiteral(QV_BINARY_DIR "/bin/vcxmsg"), {title_, "0x400", "zero", "0"});
    ASSERT_TRUE(tool.waitForFinished(kStartMs));
    EXPECT_EQ(tool.exitCode(), 2);
    const std::string toolReports = childThreadReports(reports.path());
    EXPECT_TRUE(toolReports.empty()) << toolReports;
}

TEST(NamedWindow, UnknownTitleOrNumberFailsWithAReason) {
    const QString title = uniqueTitle("Nobody");
    EXPECT_FALSE(findWindow(title));
    for (const auto& r : {sendWindowMessage(title, WM_ACTIVATE_INSTANCE, 0, 0),
                          postWindowMessage(title, WM_ACTIVATE_INSTANCE, 0, 0),
                          sendWindowMessage(title, 0x8000, 0, 0)}) {
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.error.contains(title)) << r.error.toStdString();
    }
}

// A window of this process reached by title from its own thread is served
// directly: through its socket it could never answer.
class CountingWindow : public QWidget {
public:
    int posted = 0;

protected:
    bool event(QEvent* e) override {
        if (auto* m = WindowMessage::from(e)) {
            if (m->message() == kAdd) m->setResult(qint64(m->wParam()) + m->lParam());
            else ++posted;
            return true;
        }
        return QWidget::event(e);
    }
};

TEST(NamedWindow, OwnWindowsAndTitleChanges) {
    CountingWindow w;
    const QString first = uniqueTitle("Own First");
    const QString second = uniqueTitle("Own Second");
    w.setWindowTitle(first);
    auto* named = new NamedWindow(&w, {});
    ASSERT_TRUE(named->isRegistered()) << named->errorString().toStdString();
    auto r = sendWindowMessage(first, kAdd, 20, 22);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.result, 42);

    w.setWindowTitle(second);
    EXPECT_FALSE(findWindow(first));
    EXPECT_TRUE(findWindow(second));
    EXPECT_TRUE(postWindowMessage(second, WM_USER + 20, 0, 0).ok);
    QCoreApplication::sendPostedEvents(&w);
    EXPECT_EQ(w.posted, 1);

    CountingWindow other;
    other.setWindowTitle(second.toLower());
    auto* clash = new NamedWindow(&other, {});
    EXPECT_FALSE(clash->isRegistered());
    EXPECT_TRUE(clash->errorString().contains(second.toLower()));
}

TEST(NamedWindow, TakesOverTheTitleOfAKilledProcess) {
    const QString title = uniqueTitle("Killed");
    {
        HelperProcess crashed(title);
        ASSERT_EQ(crashed.line(), "ready");
        crashed.process().kill(); // leaves its socket and lock behind
        ASSERT_TRUE(crashed.process().waitForFinished(kStartMs));
    }
    EXPECT_FALSE(findWindow(title));
    CountingWindow w;
    w.setWindowTitle(title);
    auto* named = new NamedWindow(&w, {});
    EXPECT_TRUE(named->isRegistered()) << named->errorString().toStdString();
}

} // namespace
