// What the parameter tests share: the diagnostic tests' bench (the library's
// own exports bound into VCXMSet's slots, a built-in profile's controller open
// at /sim/hidraw0) with the further slots the parameter code calls.
#pragma once

#include "diag_support.h"

#include <functional>

namespace paramtest {

class ParamBench : public diagtest::DiagBench {
protected:
    bool open(const std::string& profile) {
        if (!DiagBench::open(profile)) return false;
        vcxtest::BindSlots(c.api, {"GetAPBTParaList", "SetAPBTParaList", "GetParameterList", "GetParameterConst",
                                   "CalculateParameterCRCEx", "GetFWVersionW", "GetFWInformationW", "ResetMPU",
                                   "GetPanelSizeInfoW", "GetCoverLensInfoW"});
        return true;
    }

    // Opens the profile with `edit` applied, the controller found and opened
    // again: the library learns a controller's features when it finds it.
    bool openEdited(const std::string& profile, const std::function<void(qvsim::ControllerProfile&)>& edit) {
        if (!open(profile)) return false;
        if (!edit) return true;
        ctl().editProfile(edit);
        return reopen();
    }

    // The main window's reset and search: FE (the full controllers leave the bus
    // and come back on a new link), then the controller found and opened again.
    bool resetAndReopen() {
        ResetMPU(c.dev.device);
        return reopen();
    }

    // The controller closed, found and opened again.
    bool reopen() {
        CloseDevice(c.dev.device);
        c.dev.device = INVALID_HANDLE_VALUE;
        if (EnumerateHidDevicesA([](const char*, const char*, uint32_t) { return 1; }) != 1) return false;
        HANDLE h = INVALID_HANDLE_VALUE;
        if (OpenDeviceA("/sim/hidraw0", &h) != 1) return false;
        c.dev.device = h;
        return true;
    }

    // The commands received since the last clearTrace that start with `prefix` ("F6 03 8").
    std::vector<std::string> sentWith(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& s : sent())
            if (s.rfind(prefix, 0) == 0) out.push_back(s);
        return out;
    }
};

}  // namespace paramtest

#include "ui/message_box.h"
#include "ui/window_message.h"

#include <QObject>

namespace paramtest {

// Stands in for the main window: keeps the messages a page sends it.
class MainWindowSink : public QObject {
public:
    struct Message {
        quint32 message;
        quint64 wParam;
        qint64 lParam;
        bool operator==(const Message&) const = default;
    };
    std::vector<Message> messages;
    std::function<void(const Message&)> onMessage;
    bool event(QEvent* e) override {
        if (auto* m = qvui::WindowMessage::from(e)) {
            messages.push_back({m->message(), m->wParam(), m->lParam()});
            if (onMessage) onMessage(messages.back());
            return true;
        }
        return QObject::event(e);
    }
};

// Answers every message box and keeps what was asked.
struct Boxes {
    std::vector<qvui::MessageBoxRequest> asked;
    qvui::MessageAnswer answer = qvui::MessageAnswer::Ok;
    qvui::MessageBoxResponder responder{[this](const qvui::MessageBoxRequest& q) {
        asked.push_back(q);
        return answer;
    }};
    std::vector<QString> texts() const {
        std::vector<QString> out;
        for (const auto& q : asked) out.push_back(q.text);
        return out;
    }
};

}  // namespace paramtest
