// The program tests need one QApplication; it is made before the first test
// runs, on the headless platform unless another one is asked for. The settings
// stores and the data folder of the whole test program lie in a temporary
// folder, and the library runs on the simulated controller.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static QTemporaryDir home;
        qputenv("XDG_CONFIG_DIRS", home.filePath("etc").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
        qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
        qputenv("QV_SIM", "current");
        static int argc = 1;
        static char name[] = "test_vcx";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    QApplication* app_ = nullptr;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

} // namespace
