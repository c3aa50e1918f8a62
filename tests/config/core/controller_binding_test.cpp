// The library binding: slots bound by name, the version refusal with its
// messages, the records stamped with their sizes, the notification
// registration and its delivery from a library thread, the search for the file.
#include "core/controller_api.h"

#include "core/device_finder.h"

#include "ui/message_box.h"
#include "ui/window_message.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

struct Boxes {
    std::vector<qvui::MessageBoxRequest> shown;
    qvui::MessageBoxResponder responder{[this](const qvui::MessageBoxRequest& r) {
        shown.push_back(r);
        return qvui::MessageAnswer::Ok;
    }};
};

int exportedInt(void* module, const char* name) {
    auto* p = static_cast<int*>(dlsym(module, name));
    return p ? *p : -1;
}

TEST(VcxControllerBinding, VersionTestAndRegistrationPerLibrary) {
    struct Case {
        const char* path;
        bool accepted;
        QString message; // empty: no box
        int bound;       // slots filled
        bool registers;
    } cases[] = {
        // 1.3.0.11 without RegisterNotify: accepted, the empty slot is skipped.
        {VCX_FAKE_PARTIAL, true, {}, 3, false},
        {VCX_FAKE_NOTIFY, true, {}, 6, true},
        {VCX_FAKE_OLD, false,
         "Your Quorvane library (libQV_Standard.so) version : 1.2.9.0 is too old; update your libarary version to : "
         "1.3.0.0.",
         6, false},
        {VCX_FAKE_NOVERSION, false,
         "Your Quorvane library (libQV_Standard.so) version is too old; update your libarary version to : 1.3.0.0.",
         5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Boxes boxes;
        QWidget owner;
        vcx::Controller ctl;
        std::memset(&ctl.records, 0xA5, sizeof ctl.records);
        ASSERT_EQ(vcx::loadControllerLibrary(&owner, ctl, {c.path}), c.accepted);
        ASSERT_NE(ctl.library, nullptr);
        EXPECT_EQ(ctl.libraryPath, c.path);
        EXPECT_EQ(ctl.api.boundCount(), c.bound);
        EXPECT_NE(ctl.api.SendCmd, nullptr);
        EXPECT_EQ(ctl.api.EnumerateHidDevicesExW, nullptr);
        // Stamped on every load, before the version test.
        EXPECT_EQ(ctl.records.fwInformation.size, 208u);
        EXPECT_EQ(ctl.records.diagInfo.cbSize, 16u);
        EXPECT_EQ(ctl.records.newDiagRequest.cbSize, 8u);
        EXPECT_EQ(ctl.records.newRawArray.mutual, nullptr);
        EXPECT_EQ(ctl.records.newRawArray.wholeCount, 0);
        EXPECT_EQ(ctl.records.diagInfo.capability[3], 0);
        EXPECT_EQ(ctl.records.stateFlagEx.size, 12u);
        // The parameter groups: the sizes that select the newest layouts.
        const vcx::ProgramRecords& r = ctl.records;
        const std::pair<uint32_t, uint32_t> groups[] = {
            {r.generalInfo.cbSize, 20},   {r.hostInterface.cbSize, 56}, {r.panel.cbSize, 160},
            {r.finger.cbSize, 136},       {r.palm.cbSize, 60},          {r.base.cbSize, 84},
            {r.water.cbSize, 104},        {r.antiNoise.cbSize, 176},    {r.coordinate.cbSize, 176},
            {r.calibrationCoordinate.cbSize, 176}, {r.powerSaving.cbSize, 44}, {r.normalScan.cbSize, 84},
            {r.abnormalScan.cbSize, 84},  {r.misc.cbSize, 68},          {r.driveIC.cbSize, 44},
            {r.debug.cbSize, 104},        {r.vButton.cbSize, 52},       {r.custom.cbSize, 24}};
        for (const auto& [stamped, expected] : groups) EXPECT_EQ(stamped, expected);
        EXPECT_EQ(r.debug.valid, 0u);
        EXPECT_EQ(r.panel.itemMask, 0u);
        if (c.message.isEmpty()) {
            EXPECT_TRUE(boxes.shown.empty());
        } else {
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].text, c.message);
            EXPECT_EQ(boxes.shown[0].caption, "Quorvane library version is too old.");
            EXPECT_EQ(boxes.shown[0].icon, qvui::MessageIcon::Warning);
            EXPECT_EQ(boxes.shown[0].owner, &owner);
        }
        EXPECT_EQ(exportedInt(ctl.library, "fake_register_calls"), c.registers ? 1 : 0);
        EXPECT_EQ(ctl.devNotify[2] != nullptr, c.registers);
        // The whole 53-entry table is handed over, and only to an accepted library.
        const bool handsTable = c.accepted && c.registers;
        const auto* tableSize = static_cast<uint32_t*>(dlsym(ctl.library, "fake_table_size"));
        ASSERT_NE(tableSize, nullptr);
        EXPECT_EQ(*tableSize, handsTable ? QV_PARAMETER_TABLE_SIZE(53) : 0u);
        EXPECT_EQ(r.paraFuncTable.cbSize, QV_PARAMETER_TABLE_SIZE(53));
        EXPECT_EQ(r.paraFuncTable.GetParameterGeneralInfo != nullptr, handsTable);
        vcx::unloadControllerLibrary(ctl);
    }
}

TEST(VcxControllerBinding, LibraryIsLookedForBesideTheProgramThenInLib) {
    EXPECT_EQ(vcx::libraryCandidates("/opt/qv/bin"),
              (QStringList{"/opt/qv/bin/libQV_Standard.so", "/opt/qv/lib/libQV_Standard.so", "libQV_Standard.so",
                           "libQV_Standard.so.1"}));

    Boxes boxes;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    vcx::Controller ctl;
    const QString missing = dir.filePath("bin/libQV_Standard.so");
    ASSERT_TRUE(vcx::loadControllerLibrary(nullptr, ctl, {missing, VCX_FAKE_PARTIAL}));
    EXPECT_EQ(ctl.libraryPath, VCX_FAKE_PARTIAL);
    vcx::unloadControllerLibrary(ctl);

    // Nothing loadable: false, no message, every candidate's reason kept.
    const QString garbage = dir.filePath("libQV_Standard.so");
    {
        QFile f(garbage);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a library");
    }
    vcx::Controller none;
    EXPECT_FALSE(vcx::loadControllerLibrary(nullptr, none, {missing, garbage, "libQV_Standard_absent.so"}));
    EXPECT_EQ(none.library, nullptr);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(none.loadError.contains(missing + ": not found")) << none.loadError.toStdString();
    EXPECT_TRUE(none.loadError.contains(garbage + ": ")) << none.loadError.toStdString();
    EXPECT_TRUE(none.loadError.contains("libQV_Standard_absent.so: ")) << none.loadError.toStdString();
}

// Receives the device-change message on the GUI thread and reads the
// broadcast while the library's record still lives.
class NotifyWindow : public QWidget {
public:
    std::atomic<int> received{0};
    quint64 deviceEvent = 0;
    QString name;
    bool onGuiThread = false;

protected:
    bool event(QEvent* e) override {
        auto* m = qvui::WindowMessage::from(e);
        if (!m || m->message() != QV_WM_DEVICECHANGE) return QWidget::event(e);
        deviceEvent = m->wParam();
        name = QString::fromLatin1(reinterpret_cast<const QVDeviceBroadcast*>(m->lParam())->dbcc_name);
        onGuiThread = QThread::currentThread() == thread();
        m->setResult(1);
        ++received;
        return true;
    }
};

TEST(VcxControllerBinding, DeviceChangesReachTheOwnerWindowWhileTheRecordLives) {
    NotifyWindow owner;
    vcx::Controller ctl;
    ASSERT_TRUE(vcx::loadControllerLibrary(&owner, ctl, {VCX_FAKE_NOTIFY}));
    auto fire = reinterpret_cast<int (*)(uint32_t, const char*)>(dlsym(ctl.library, "fake_fire_device_change"));
    ASSERT_NE(fire, nullptr);
    std::atomic<int> fired{-1};
    std::thread library([&] { fired = fire(QV_DBT_DEVICEARRIVAL, "usb#vid_2e7b&pid_6020#7"); });
    while (fired < 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    library.join();
    EXPECT_EQ(fired, 1);
    ASSERT_EQ(owner.received, 1);
    EXPECT_EQ(owner.deviceEvent, QV_DBT_DEVICEARRIVAL);
    EXPECT_EQ(owner.name, "usb#vid_2e7b&pid_6020#7");
    EXPECT_TRUE(owner.onGuiThread);

    void* module = dlopen(VCX_FAKE_NOTIFY, RTLD_NOW | RTLD_NOLOAD); // keeps the counters readable
    vcx::unloadControllerLibrary(ctl);
    EXPECT_EQ(exportedInt(module, "fake_unregister_calls"), 1);
    EXPECT_EQ(ctl.devNotify[0], nullptr);
    dlclose(module);
}

TEST(VcxControllerBinding, TheFailureReasonIsBoundByNameWhereTheLibraryHasIt) {
    Boxes boxes;
    QWidget owner;
    vcx::Controller ctl;
    ctl.sleepMs = [](int) {};
    vcx::DeviceFinder finder;
    ASSERT_TRUE(vcx::loadControllerLibrary(&owner, ctl, {VCX_FAKE_REASON}));
    ASSERT_NE(ctl.lastErrorText, nullptr);
    EXPECT_EQ(ctl.api.boundCount(), 4); // the reason is no slot
    EXPECT_FALSE(vcx::FindQVDevice(ctl, finder));
    EXPECT_EQ(vcx::noControllerLine(finder), "VCXMSet: no controller: open /dev/hidraw3: Permission denied");
    vcx::unloadControllerLibrary(ctl);
    EXPECT_EQ(ctl.lastErrorText, nullptr);

    // An older library without it: the search still says what it knows.
    ASSERT_TRUE(vcx::loadControllerLibrary(&owner, ctl, {VCX_FAKE_PARTIAL}));
    EXPECT_EQ(ctl.lastErrorText, nullptr);
    EXPECT_FALSE(vcx::FindQVDevice(ctl, finder));
    EXPECT_EQ(vcx::noControllerLine(finder), "VCXMSet: no controller: none found");
    vcx::unloadControllerLibrary(ctl);

    ASSERT_TRUE(vcx::loadControllerLibrary(&owner, ctl, {VCX_REAL_LIBRARY}));
    EXPECT_EQ(reinterpret_cast<void*>(ctl.lastErrorText), dlsym(ctl.library, "QVGetLastErrorTextA"));
    EXPECT_NE(ctl.lastErrorText, nullptr);
    vcx::unloadControllerLibrary(ctl);
}

TEST(VcxControllerBinding, TheBuiltLibraryBindsItsExportsByName) {
    Boxes boxes;
    QWidget owner;
    vcx::Controller ctl;
    ASSERT_TRUE(vcx::loadControllerLibrary(&owner, ctl, {VCX_REAL_LIBRARY})) << ctl.loadError.toStdString();
    EXPECT_TRUE(boxes.shown.empty());
    const auto& names = vcx::ControllerApi::slotNames();
    EXPECT_STREQ(names[11], "GetLibraryVersion");
    EXPECT_STREQ(names[40], "SetupParameterFunctionPointer");
    EXPECT_STREQ(names[55], "Zelmar_hid_enum_touchscreen");
    // Every slot holds exactly what the loader finds under its name.
    for (int i = 0; i < vcx::ControllerApi::kSlotCount; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(ctl.api.slot(i), dlsym(ctl.library, names[i]));
    }
    EXPECT_NE(ctl.api.SendCmd, nullptr);
    EXPECT_NE(ctl.api.RegisterNotify, nullptr);
    EXPECT_EQ(ctl.api.Zelmar_call_process, nullptr);
    // The library took the table's size: every entry up to the last is filled.
    EXPECT_NE(ctl.records.paraFuncTable.GetParameterGeneralInfo, nullptr);
    EXPECT_NE(ctl.records.paraFuncTable.SetParameterCustom, nullptr);
    vcx::unloadControllerLibrary(ctl);
}

} // namespace
