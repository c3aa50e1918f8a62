// One QApplication for a Qt test program: made before the first test runs, on
// the headless platform unless another one is asked for, in a runtime folder of
// the program's own. `prepare` runs first, for what the whole program's
// environment needs. And the sessions of their own that the programs a test
// starts run in.
#pragma once

#include "wait_support.h"

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <string>

// For a `prepare`: the settings stores and data folders of the whole test
// program in a temporary folder, removed when the program ends; the folder.
inline QTemporaryDir& useTemporaryHome() {
    static QTemporaryDir home;
    qputenv("XDG_CONFIG_DIRS", home.filePath("etc").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
    return home;
}

// The single-instance lock and the named windows' sockets are made in the
// runtime folder ($XDG_RUNTIME_DIR, else the shared temporary folder), one set
// per user: a test that shares the user's would find, or be refused by, a
// VCXMSet or QVDraw3 the user runs on the same desktop.

// A runtime folder of this test program's own (mode 0700), removed when it
// ends: for the windows it serves and the helper processes it starts.
inline void useTemporaryRuntimeFolder() {
    static QTemporaryDir runtime;  // made with mode 0700
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
}

// The environment of a program a test starts (VCXMSet, QVDraw3, a window of the
// family) made a session of its own inside `root`: its runtime folder (mode
// 0700), home, settings and data folders, and no simulator control socket of
// the caller's. The runtime folder.
inline QString useOwnSession(QProcessEnvironment& env, const QString& root) {
    const QString runtime = root + QStringLiteral("/run");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("HOME", root + QStringLiteral("/home"));
    env.insert("XDG_CONFIG_HOME", root + QStringLiteral("/home/.config"));
    env.insert("XDG_DATA_HOME", root + QStringLiteral("/home/.local/share"));
    env.insert("XDG_CONFIG_DIRS", root + QStringLiteral("/etc"));
    env.remove("QV_SIM_CONTROL");
    return runtime;
}

// ThreadSanitizer in the programs a test starts: a child that printed a report
// would end with the sanitizer's exit code (66) in place of its own, and the
// report would run into the standard error the test reads for the program's
// lines. Here the children's reports go to files "tsan.<pid>" in `folder` and
// their exit statuses stay the programs' own; childThreadReports() gives the
// test the reports to fail on. Without the sanitizer nothing reads the option.
inline void collectChildThreadReports(QProcessEnvironment& env, const QString& folder) {
    QString options = env.value("TSAN_OPTIONS");
    if (!options.isEmpty()) options += u':';
    env.insert("TSAN_OPTIONS", options + QStringLiteral("exitcode=0:log_path=") + folder + QStringLiteral("/tsan"));
}
// The reports the children wrote into `folder`; empty when there are none.
inline std::string childThreadReports(const QString& folder) {
    std::string reports;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("tsan.*")}, QDir::Files, QDir::Name)) {
        QFile file(QDir(folder).filePath(name));
        if (file.open(QIODevice::ReadOnly)) reports += file.readAll().toStdString();
    }
    return reports;
}

// While it lives, this process looks for named windows in `folder` (the
// runtime folder of the programs it started); then in its own again.
class ScopedRuntimeFolder {
public:
    explicit ScopedRuntimeFolder(const QString& folder) : saved_(qgetenv("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", folder.toLocal8Bit());
    }
    ~ScopedRuntimeFolder() {
        if (saved_.isNull()) qunsetenv("XDG_RUNTIME_DIR");
        else qputenv("XDG_RUNTIME_DIR", saved_);
    }
    ScopedRuntimeFolder(const ScopedRuntimeFolder&) = delete;
    ScopedRuntimeFolder& operator=(const ScopedRuntimeFolder&) = delete;

private:
    QByteArray saved_;
};

class QtApplicationEnvironment : public ::testing::Environment {
public:
    explicit QtApplicationEnvironment(std::string name, std::function<void()> prepare = {})
        : name_(std::move(name)), prepare_(std::move(prepare)) {}

    void SetUp() override {
        useTemporaryRuntimeFolder();
        if (prepare_) prepare_();
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        argv_[0] = name_.data();
        app_ = new QApplication(argc_, argv_);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    std::string name_;
    std::function<void()> prepare_;
    int argc_ = 1;  // QApplication keeps a reference to it
    char* argv_[2] = {nullptr, nullptr};
    QApplication* app_ = nullptr;
};

// Processes this thread's events until `done` holds (other threads and
// processes send to this one); false when the ceiling passes first.
template <typename Done>
bool processUntil(Done done, std::chrono::milliseconds ceiling = qvtest::kWaitCeiling) {
    return qvtest::waitUntil(done, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); }, ceiling);
}
