// The test responder of a service (message boxes, file choosers, modal dialogs,
// popup menus): while a ScopedResponder lives, the service hands every request
// to its function instead of the screen. Scopes nest: the previous responder
// returns when the inner one is destroyed. Each service has its own, named by
// its Tag.
#pragma once

#include <functional>
#include <utility>

namespace qvui {

template <class Signature, class Tag>
class ScopedResponder {
public:
    using Function = std::function<Signature>;

    explicit ScopedResponder(Function responder) : previous_(std::exchange(slot(), std::move(responder))) {}
    ~ScopedResponder() { slot() = std::move(previous_); }
    ScopedResponder(const ScopedResponder&) = delete;
    ScopedResponder& operator=(const ScopedResponder&) = delete;

    // The responder now, empty when none is installed. A copy, so that a
    // responder that installs another one while it runs keeps running.
    static Function current() { return slot(); }

private:
    static Function& slot() {
        static Function f;
        return f;
    }
    Function previous_;
};

} // namespace qvui
