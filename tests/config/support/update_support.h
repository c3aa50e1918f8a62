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
#include "core/device_finder.h"
#include "core/program_state.h"
#include "ui/window_timers.h"
#include "update/update_dlg.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

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
    int drive(int maxTicks = 200000) {
        qvui::WindowTimers* t = page->timers();
        int ticks = 0;
        for (; ticks < maxTicks; ++ticks) {
            QCoreApplication::sendPostedEvents();
            if (arrived && page->UpdateBusy()) {
                arrived = false;
                vcx::programState().deviceChanged = true;
                page->ResumeAfterArrival();
            }
            int best = -1, bestMs = 0;
            for (int id = 1; id <= 31; ++id)
                if (t->isActive(id) && (best < 0 || t->interval(id) < bestMs)) {
                    best = id;
                    bestMs = t->interval(id);
                }
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

    std::vector<uint32_t> pageStates() {
        std::vector<uint32_t> out;
        for (const auto& m : sink.messages)
            if (m.message == qvui::WM_PAGE_STATE) out.push_back(uint32_t(m.wParam));
        return out;
    }

    qvsim::Controller& dev() { return bench->hid("/sim/hidraw0")->controller(); }
};

// The update profile's firmware with another minor version and build, and
// the identity the simulated loader runs once its flash holds the image.
inline fwtest::Image NewImage(size_t bytes = 3 * 256 + 10) {
    fwtest::Image im;
    im.product = 2081;
    im.letter = 1;
    im.major = 2;
    im.minor = 6;
    im.customer = 3;
    im.build1 = 1;
    im.data.resize(bytes);
    for (size_t i = 0; i < bytes; ++i) im.data[i] = uint8_t(i * 13 + 7);
    return im;
}
// A package of one image with PARA in mode 1 (the controller's CRC mode).
inline fwtest::Bytes Package(const fwtest::Image& im, uint8_t scanModeByte) {
    fwtest::Image first = im;
    first.magic = "PFPF";
    first.flags |= 0x02;
    fwtest::Para para;
    para.flags = 0x02;
    for (size_t i = 0; i < para.touch.size(); ++i) para.touch[i] = uint8_t(i + 1);
    for (size_t i = 0; i < para.boot.size(); ++i) para.boot[i] = uint8_t(0x80 + i);
    // The bytes the firmware writes itself are 0 in a package read from a controller.
    for (size_t i : {63, 127}) para.touch[i] = 0;
    for (size_t i : {15, 61, 63}) para.boot[i] = 0;
    // Boot byte 14 is the scan-mode register: the controller's own value.
    para.boot[14] = scanModeByte;
    para.crc = fwtest::parameterCrc(1, 0xFFFF, para.touch, para.boot);
    fwtest::Bytes f = fwtest::image(first);
    fwtest::append(f, fwtest::para(para));
    return f;
}

inline qvsim::FirmwareIdentity NewIdentity() { return qvsim::FirmwareIdentity{2, 6, 3, 1, 0}; }

inline std::vector<uint8_t> Padded(const fwtest::Bytes& data, size_t block = 256) {
    std::vector<uint8_t> v(data.begin(), data.end());
    v.resize((v.size() + block - 1) / block * block, 0xFF);
    return v;
}

}  // namespace updatetest
