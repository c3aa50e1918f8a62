#include "ui/input_injector.h"

#include <QtCore/qnamespace.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdio>
#include <cstdlib>

namespace qvui {

namespace {

// The X key symbols of the keys the programs inject.
KeySym keySymOf(int key) {
    switch (key) {
    case Qt::Key_Tab: return XK_Tab;
    case Qt::Key_Return: return XK_Return;
    case Qt::Key_Escape: return XK_Escape;
    case Qt::Key_Space: return XK_space;
    default: return NoSymbol;
    }
}

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

    bool keyPress(int key, std::string* error) override { return keyEvent(key, true, error); }
    bool keyRelease(int key, std::string* error) override { return keyEvent(key, false, error); }

private:
    bool keyEvent(int key, bool press, std::string* error) {
        const KeySym sym = keySymOf(key);
        const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(display_, sym);
        if (!code) {
            char text[64];
            std::snprintf(text, sizeof text, "the X display has no key for Qt key 0x%X", unsigned(key));
            if (error) *error = text;
            return false;
        }
        const bool ok = XTestFakeKeyEvent(display_, code, press ? True : False, CurrentTime);
        XFlush(display_);
        if (!ok && error) *error = "XTest refused the key event";
        return ok;
    }

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

} // namespace qvui
