// Input injection for the command window hand-over: a middle-button click at
// the pointer. The X11 backend uses the XTest extension; without a display it
// is not made and says why.
#pragma once

#include <memory>
#include <string>

namespace qvdraw {

class InputInjector {
public:
    virtual ~InputInjector() = default;
    // A middle-button press and release; false with `error` set on failure.
    virtual bool middleClick(std::string* error) = 0;
};

// nullptr with `error` set when no X display or no XTest extension is there.
std::unique_ptr<InputInjector> makeXTestInjector(std::string* error);

} // namespace qvdraw
