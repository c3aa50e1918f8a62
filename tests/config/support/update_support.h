// What the Field Update page tests share: the update profile's controller
// under the library's own code (every slot bound to the linked exports), the
// page with a stand-in main window, a firmware file from the test-side writer,
// and a driver that fires the page's timers one by one with the bench's
// virtual clock advanced by each timer's interval, passing device arrivals to
// the page as the main window's arrival tick does.
#pragma once

#include "diag_support.h"
#include "firmware_writer_support.h"
#include "linked_library_support.h"
#include "params/firmware_file.h"
#include "params_support.h"
#include "update_files_support.h"
#include "window_timers_support.h"
#include "core/device_finder.h"
#include "core/program_state.h"
#include "ui/window_timers.h"
#include "update/update_dlg.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>
#include <vector>


namespace updatetest {

inline std::vector<std::u16string>& loggedLines() {
    static std::vector<std::u16string> lines;
    return lines;
}
inline int LogLine(const QVWCHAR* text) {
    loggedLines().emplace_back(reinterpret_cast<const char16_t*>(text));
    return 1;
}

// Every slot from the linked library, the clock from the sim backend.
inline void BindEverySlot(vcx::Controller& c) { vcxtest::BindEverySlot(c, &LogLine); }

class UpdatePage : public diagtest::DiagBench {
protected:
    vcx::LoadedFirmware fw;  // the page's file; it outlives the page
    std::unique_ptr<vcx::CQVUpdateDlg> page;
    paramtest::MainWindowSink sink;
    paramtest::Boxes boxes;
    QTemporaryDir dir;
    bool arrived = false;
    uint64_t watchToken = 0;

    void TearDown() override {
        page.reset();
        if (bench && watchToken) bench->unwatch(watchToken);
        vcx::ClearFirmwareFileData(fw, true);
        fw.szFirmwarePath.clear();
        DiagBench::TearDown();
    }

    // The profile's controller found as the main window finds it, read out, the page made.
    bool start(const std::string& profile = "update") {
        if (!open(profile)) return false;
        BindEverySlot(c);
        CloseDevice(c.dev.device);
        c.dev.device = INVALID_HANDLE_VALUE;
        if (!vcx::FindQVDevice(c, vcx::deviceFinder())) return false;
        readRecords();
        watchToken = bench->watch([this](const qvsim::DeviceEvent& e) {
            if (e.arrival) arrived = true;
        });
        loggedLines().clear();
        page = std::make_unique<vcx::CQVUpdateDlg>(c, fw, nullptr);
        page->setMainWindow(&sink);
        page->InitDlgItem();
        return true;
    }

    void readRecords() {
        GetFWVersionW(c.dev.device, &c.records.fwVersion);
        GetFWInformationW(c.dev.device, &c.records.fwInformation);
    }

    // A file in the temporary folder made the page's path.
    void useFile(const fwtest::Bytes& bytes, const char* name = "image.qvf") {
        const QString path = dir.filePath(QLatin1String(name));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        f.close();
        fw.szFirmwarePath = path;
    }

    // Fires the page's timers, shortest interval first, until none runs; the
    // clock advances by each interval. An arrival reaches the page as the main
    // window's arrival tick passes it on. The number of ticks.
    // eachTick runs before every tick (a test unplugs the controller there).
    int drive(int maxTicks = 200000, const std::function<void()>& eachTick = {}) {
        qvui::WindowTimers* t = page->timers();
        int ticks = 0;
        for (; ticks < maxTicks; ++ticks) {
            QCoreApplication::sendPostedEvents();
            if (eachTick) eachTick();
            if (arrived && page->UpdateBusy()) {
                arrived = false;
                vcx::programState().deviceChanged = true;
                page->ResumeAfterArrival();
            }
            int bestMs = 0;
            const int best = qvtest::SoonestTimer(*t, 31, &bestMs);
            if (best < 0) break;
            bench->clock().advance(uint64_t(bestMs));
            qvui::fireTimer(page.get(), best);
        }
        QCoreApplication::sendPostedEvents();
        return ticks;
    }

    // The step log lines, as "13 14 17 ..." by their order.
    std::vector<std::string> steps() {
        std::vector<std::string> out;
        for (const auto& l : loggedLines()) {
            std::string s(l.begin(), l.end());
            const std::string key = "State Machine : ";
            if (auto at = s.find(key); at != std::string::npos) out.push_back(s.substr(at + key.size(), s.size() - at - key.size() - 1));
        }
        return out;
    }

    // The device searches after the master's end step (the reconnect timer's tries, then an arrival's).
    static int SearchesAfterTheMastersEnd() {
        int searches = 0;
        bool after = false;
        for (const auto& l : loggedLines()) {
            const std::string t(l.begin(), l.end());
            if (t.find("STATE_FU_MST_END") != std::string::npos) after = true;
            if (after && t.find("FindQVDevice()") != std::string::npos) ++searches;
        }
        return searches;
    }

    std::vector<uint32_t> pageStates() {
        std::vector<uint32_t> out;
        for (const auto& m : sink.messages)
            if (m.message == qvui::WM_PAGE_STATE) out.push_back(uint32_t(m.wParam));
        return out;
    }

    qvsim::Controller& dev() { return bench->hid("/sim/hidraw0")->controller(); }
};

}  // namespace updatetest
