// The reason of the calling thread's last platform failure, for programs that
// tell their user why a controller could not be reached.
#include "QV_Standard.h"
#include "internal.h"
#include "platform/platform.h"

#include <string>

extern "C" {

QV_API uint32_t QVGetLastErrorTextA(char* text, uint32_t count) {
    const std::string& reason = qvp::lastError().text;
    if (text && count > 0) qvlib::CopyNarrow(text, count, reason.c_str());
    return static_cast<uint32_t>(reason.size());
}

QV_API uint32_t QVGetLastErrorTextW(QVWCHAR* text, uint32_t count) {
    std::u16string reason = qvlib::Utf8ToWide(qvp::lastError().text);
    if (text && count > 0) {
        size_t n = reason.size() < count - 1 ? reason.size() : count - 1;
        reason.copy(text, n);
        text[n] = 0;
    }
    return static_cast<uint32_t>(reason.size());
}

QV_API uint32_t QVGetLastErrorText(char* text, uint32_t count) __attribute__((alias("QVGetLastErrorTextA")));

}  // extern "C"
