// Fuzz target: the simulator's profile-file parser must reject any text with an
// error, never crash, and give a bench only with a usable device set.
#include "qvsim.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto bench = qvsim::parseProfileText(text, "fuzz", &error);
    if (!bench && error.empty()) __builtin_trap();  // a refusal must say why
    return 0;
}
