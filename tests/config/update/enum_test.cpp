// "-enumfu": after each update the next controller that "EnumUpdate.ini"
// names a package for is found and updated (main timer 10), each once; a
// controller without an entry is left alone, and the run ends (main timer 6).

#include "update_support.h"

#include "core/program_state.h"
#include "core/main_ids.h"

#include <gtest/gtest.h>

#include <QDir>

namespace {

using updatetest::UpdatePage;

size_t bootEntries(qvsim::Controller& c) {
    size_t n = 0;
    for (const auto& e : c.trace()) n += e.packet == qvsim::Packet{0xFF, 0x55, 0xAA, 0x55, 0xAA};
    return n;
}

TEST_F(UpdatePage, EnumFuUpdatesEveryListedControllerOnce) {
    auto& f = vcx::deviceFinder();
    const vcx::DeviceFinder savedFinder = f;
    auto& o = vcx::startupState().options;
    const auto savedOptions = o;

    ASSERT_TRUE(start());
    // Three controllers: two alike, one whose parameters differ (no entry for its CRC).
    std::vector<std::shared_ptr<qvsim::Controller>> all;
    qvsim::ControllerProfile base = dev().profile();
    base.vbuttonCrc = 0xFFFF;
    base.boot->image = updatetest::NewIdentity();
    dev().editProfile([&](qvsim::ControllerProfile& p) { p = base; });
    qvsim::HidInfo info = bench->hid("/sim/hidraw0")->info();
    for (int k = 1; k <= 2; ++k) {
        qvsim::ControllerProfile p = base;
        if (k == 2) p.paramBanks[0x80][5] ^= 0x01;
        qvsim::HidInfo i = info;
        i.path = "/sim/hidraw" + std::to_string(k);
        i.parentInstanceId = "USB\\VID_2E7B&PID_3501\\5&1A2B3C&0&" + std::to_string(5 + k);
        all.push_back(std::make_shared<qvsim::Controller>(p));
        bench->addHid(all.back(), i);
    }
    const uint16_t crc = *qvsim::ParameterListCrc(base);
    ASSERT_NE(crc, *qvsim::ParameterListCrc(all[1]->profile()));

    // The program folder holds the package and "EnumUpdate.ini".
    const QString folder = dir.path() + QStringLiteral("/program/");
    QDir().mkpath(folder);
    useFile(updatetest::Package(updatetest::NewImage(), base.paramBanks.at(0x90).at(14)), "program/pkg.pfp");
    {
        QFile ini(folder + QLatin1String(vcx::kEnumUpdateIni));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        const QString key = QStringLiteral("x") + QStringLiteral("%1").arg(crc, 4, 16, QLatin1Char('0')).toUpper();
        ini.write(QStringLiteral("[QV2081A]\r\n%1=pkg.pfp\r\n").arg(key).toLatin1());
    }
    f.programFolder = folder;
    f.enumFU = true;
    f.enumKey.clear();
    f.handledKeys.clear();
    f.fileArg = &vcx::startupState().fileArg;
    o.silentMode = true;
    o.optEnumFU = true;

    // The start-up's search opens the first listed controller and names its package.
    ASSERT_TRUE(vcx::FindQVDevice(c, f));
    ASSERT_FALSE(vcx::startupState().fileArg.isEmpty());
    bool exited = false;
    sink.onMessage = [&](const paramtest::MainWindowSink::Message& m) {
        if (m.message != qvui::WM_TIMER) return;
        if (m.wParam == quint64(vcx::kTimerFileArgument)) {
            const QString file = vcx::startupState().fileArg;
            vcx::startupState().fileArg.clear();
            page->StartFromCommandLine(file);
        }
        if (m.wParam == quint64(vcx::kTimerExit)) exited = true;
    };
    for (auto* d : bench->hidDevices()) d->controller().clearTrace();
    {
        const QString file = vcx::startupState().fileArg;
        vcx::startupState().fileArg.clear();
        page->StartFromCommandLine(file);
    }
    drive();

    o = savedOptions;
    f = savedFinder;
    EXPECT_TRUE(exited);
    EXPECT_EQ(bootEntries(dev()), 1u);
    EXPECT_EQ(bootEntries(*all[0]), 1u);
    EXPECT_EQ(bootEntries(*all[1]), 0u);
    EXPECT_EQ(all[0]->profile().boot->flash, dev().profile().boot->flash);
    EXPECT_TRUE(all[1]->profile().boot->flash.empty());
    EXPECT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
}

}  // namespace
