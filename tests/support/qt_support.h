// One QApplication for a Qt test program: made before the first test runs, on
// the headless platform unless another one is asked for. `prepare` runs first,
// for what the whole program's environment needs.
#pragma once

#include "wait_support.h"

#include <QApplication>
#include <QCoreApplication>
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

class QtApplicationEnvironment : public ::testing::Environment {
public:
    explicit QtApplicationEnvironment(std::string name, std::function<void()> prepare = {})
        : name_(std::move(name)), prepare_(std::move(prepare)) {}

    void SetUp() override {
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
