// Fuzz target: the simulator's profile-file parser must reject any text with an
// error, never crash, and give a bench only with a usable device set. The text
// after a line "#set" is a list of "key = value" lines set on a running
// controller (the control socket's `set`): each is applied or refused with a
// reason, never a crash.
#include "qvsim.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string keys;
    if (const size_t at = text.find("\n#set\n"); at != std::string::npos) {
        keys = text.substr(at + 6);
        text.resize(at + 1);
    }
    std::string error;
    auto bench = qvsim::parseProfileText(text, "fuzz", &error);
    if (!bench && error.empty()) __builtin_trap();  // a refusal must say why

    qvsim::Controller controller;
    size_t begin = 0;
    for (int lines = 0; begin < keys.size() && lines < 64; ++lines) {
        size_t end = keys.find('\n', begin);
        if (end == std::string::npos) end = keys.size();
        const std::string line = keys.substr(begin, end - begin);
        begin = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string why;
        if (!qvsim::setControllerKey(controller, line.substr(0, eq), line.substr(eq + 1), &why) && why.empty())
            __builtin_trap();
    }
    return 0;
}
