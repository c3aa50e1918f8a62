// The scan view's tests share: a scan view on the simulated diag panel in the
// process, a stand-in main window that keeps the messages the view sends, and
// the stepping of the view's timers (each tick sent as its WM_TIMER, the
// worker's frames waited for as deliveries).
#pragma once

#include "diag/device_probes.h"
#include "diag/scan_dlg.h"
#include "diag_support.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <memory>
#include <string>
#include <vector>

namespace diagtest {

struct Message {
    quint32 message;
    quint64 wParam;
    qint64 lParam;
    friend bool operator==(const Message&, const Message&) = default;
};

// Keeps what the view sends or posts to its main window.
class MainSink : public QObject {
public:
    std::vector<Message> messages;
    bool event(QEvent* e) override {
        if (auto* m = qvui::WindowMessage::from(e)) {
            messages.push_back({m->message(), m->wParam(), m->lParam()});
            return true;
        }
        return QObject::event(e);
    }
    std::vector<Message> of(quint32 message) const {
        std::vector<Message> out;
        for (const Message& m : messages)
            if (m.message == message) out.push_back(m);
        return out;
    }
};

class ScanBench : public DiagBench {
protected:
    vcx::DiagState s;
    MainSink main;
    std::unique_ptr<vcx::CVCXScanDlg> view;

    void TearDown() override {
        view.reset();
        if (c.dev.device != INVALID_HANDLE_VALUE) FreeNewRawArray(c.dev.device, &c.records.newRawArray);
        vcx::scanShared() = vcx::ScanViewShared{};
        DiagBench::TearDown();
    }

    // The diag panel (with `keys` set), read as a connect reads it, its frame
    // arrays built and its layout loaded, and a scan view at 100 % on it.
    void prepare(std::initializer_list<std::pair<const char*, const char*>> keys = {},
                 const std::string& profile = "diag") {
        ASSERT_TRUE(open(profile));
        bool registration = false;
        for (auto [key, value] : keys) {
            std::string error;
            ASSERT_TRUE(qvsim::setControllerKey(ctl(), key, value, &error)) << key << ": " << error;
            registration |= std::string(key) == "capability";
        }
        if (registration) {
            // The library learns the capability when it registers the controller: again.
            CloseDevice(c.dev.device);
            ASSERT_EQ(EnumerateHidDevicesA([](const char*, const char*, uint32_t) { return 1; }), 1);
            ASSERT_EQ(OpenDeviceA("/sim/hidraw0", &c.dev.device), 1);
        }
        readDevice();
        c.api.EnterDiagnosticMode = &::EnterDiagnosticMode;
        ASSERT_EQ(BuildNewRawArray(c.dev.device, &c.records.newRawArray), 1);
        vcx::LoadPanelLayout(c, s);
        c.dev.parameterCrc = 0x1234;
        vcx::programState().screenScale = 100;
        view = std::make_unique<vcx::CVCXScanDlg>(c, s);
        view->resize(725, 385);
        view->setMainWindow(&main);
        s.g_pActiveScanDlg = view.get();
        view->ResetCounters();
    }

    // Sends the tick of timer `id` when it runs; false when it does not.
    bool tick(int id) { return qvui::fireTimer(view.get(), id); }

    // Waits for the worker's delivery of the request in flight: only posted
    // events are delivered, so no timer of the view fires by itself.
    void deliver() {
        QDeadlineTimer deadline(20000);
        while (view->requestInFlight() && !deadline.hasExpired()) {
            QCoreApplication::sendPostedEvents();
            if (view->requestInFlight()) QThread::msleep(1);
        }
        ASSERT_FALSE(view->requestInFlight());
    }

    // One step of a run: the running timer among 1 and 5..7 ticks, or the frame
    // in flight arrives. False when nothing was left to do. `untilFrame` stops
    // before the timer that would request that frame.
    bool step() {
        if (view->requestInFlight()) {
            deliver();
            return true;
        }
        for (int id : {1, 5, 6, 7})
            if (tick(id)) return true;
        return false;
    }
    void runToEnd() {
        for (int guard = 0; guard < 200 && step(); ++guard) {
        }
    }
    // Steps until the view's frame counter reaches `frame` with no request in flight.
    void runUntilFrame(int frame) {
        for (int guard = 0; guard < 200 && !(view->frame() >= frame && !view->requestInFlight()); ++guard)
            if (!step()) break;
    }
};

}  // namespace diagtest
