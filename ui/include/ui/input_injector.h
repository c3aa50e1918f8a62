// Input injection: a middle-button click at the pointer, and a key press and
// release, delivered as if the user had made them. Two backends: the Qt one
// sends the events to the application's own widgets (keys to the focus
// widget, the click to the widget under the pointer), which works on every
// platform plugin, the headless one included; the X11 one puts them into the X
// server's input through the XTest extension, so they reach whatever window
// has the pointer or the focus, another program's too. Without a display the
// X11 backend is not made and says why.
#pragma once

#include <memory>
#include <string>

namespace qvui {

class InputInjector {
public:
    virtual ~InputInjector() = default;
    // A middle-button press and release; false with `error` set on failure.
    virtual bool middleClick(std::string* error) = 0;
    // A press or a release of `key` (a Qt::Key); false with `error` set on failure.
    virtual bool keyPress(int key, std::string* error) = 0;
    virtual bool keyRelease(int key, std::string* error) = 0;
};

// The Qt backend.
std::unique_ptr<InputInjector> makeQtInjector();
// The X11 backend; nullptr with `error` set when no X display or no XTest extension is there.
std::unique_ptr<InputInjector> makeXTestInjector(std::string* error);

} // namespace qvui
