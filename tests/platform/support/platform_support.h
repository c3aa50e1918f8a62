// Every backend call that takes a handle, by family, with harmless arguments:
// tables for checking that unknown handles and calls of the wrong family fail.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/platform.h"

namespace qvp::testing {

struct HandleCall {
    const char* name;
    std::function<bool(Backend&, Handle)> call;
};

inline std::vector<HandleCall> hidCalls() {
    return {
        {"hidSetFeature", [](Backend& b, Handle h) { uint8_t r[6]{}; return b.hidSetFeature(h, r, sizeof r); }},
        {"hidGetFeature", [](Backend& b, Handle h) { uint8_t r[6]{}; return b.hidGetFeature(h, r, sizeof r); }},
        {"hidSetOutput", [](Backend& b, Handle h) { uint8_t r[6]{}; return b.hidSetOutput(h, r, sizeof r); }},
    };
}

inline std::vector<HandleCall> driverCalls() {
    return {
        {"driverIoctl",
         [](Backend& b, Handle h) {
             uint8_t in[5]{}, out[5]{};
             uint32_t got = 0;
             return b.driverIoctl(h, 0x223D48, in, sizeof in, out, sizeof out, &got);
         }},
    };
}

inline std::vector<HandleCall> serialCalls() {
    return {
        {"serialGetConfig", [](Backend& b, Handle h) { SerialConfig c; return b.serialGetConfig(h, &c); }},
        {"serialSetConfig", [](Backend& b, Handle h) { return b.serialSetConfig(h, SerialConfig{}); }},
        {"serialGetTimeouts", [](Backend& b, Handle h) { SerialTimeouts t; return b.serialGetTimeouts(h, &t); }},
        {"serialSetTimeouts", [](Backend& b, Handle h) { return b.serialSetTimeouts(h, SerialTimeouts{}); }},
        {"serialSetEventMask", [](Backend& b, Handle h) { return b.serialSetEventMask(h, kSerialEventRxChar); }},
        {"serialPurge", [](Backend& b, Handle h) { return b.serialPurge(h); }},
        {"serialWrite",
         [](Backend& b, Handle h) {
             uint8_t d[1]{};
             size_t n = 0;
             return b.serialWrite(h, d, 1, &n);
         }},
        {"serialRead",
         [](Backend& b, Handle h) {
             uint8_t d[1]{};
             size_t n = 0;
             return b.serialRead(h, d, 1, &n);
         }},
    };
}

inline std::vector<HandleCall> allCalls() {
    auto all = hidCalls();
    for (auto& c : driverCalls()) all.push_back(c);
    for (auto& c : serialCalls()) all.push_back(c);
    all.push_back({"close", [](Backend& b, Handle h) { return b.close(h); }});
    return all;
}

// Runs each call on h and expects it to fail with InvalidParameter.
inline void expectAllRefused(Backend& b, Handle h, const std::vector<HandleCall>& calls) {
    for (const auto& c : calls) {
        clearLastError();
        EXPECT_FALSE(c.call(b, h)) << c.name;
        EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter) << c.name << ": " << lastError().text;
        EXPECT_FALSE(lastError().text.empty()) << c.name;
    }
}

}  // namespace qvp::testing
