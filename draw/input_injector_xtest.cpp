#include "input_injector.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>

namespace qvdraw {

namespace {

class XTestInjector final : public InputInjector {
public:
    explicit XTestInjector(Display* display) : display_(display) {}
    ~XTestInjector() override { XCloseDisplay(display_); }

    bool middleClick(std::string* error) override {
        const bool ok = XTestFakeButtonEvent(display_, 2, True, CurrentTime) &&
                        XTestFakeButtonEvent(display_, 2, False, CurrentTime);
        XFlush(display_);
        if (!ok && error) *error = "XTest refused the middle-button events";
        return ok;
    }

private:
    Display* display_;
};

} // namespace

std::unique_ptr<InputInjector> makeXTestInjector(std::string* error) {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        if (error) *error = "no X display (DISPLAY is not set): input cannot be injected";
        return nullptr;
    }
    Display* display = XOpenDisplay(name);
    if (!display) {
        if (error) *error = std::string("cannot open X display \"") + name + "\": input cannot be injected";
        return nullptr;
    }
    int event = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &errorBase, &major, &minor)) {
        XCloseDisplay(display);
        if (error) *error = std::string("X display \"") + name + "\" has no XTest extension: input cannot be injected";
        return nullptr;
    }
    return std::make_unique<XTestInjector>(display);
}

} // namespace qvdraw
