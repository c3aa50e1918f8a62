// A scripted controller behind the binding's SendCmd slot, for the tables of
// the command helpers' tests: each command is recorded and takes the next
// scripted reply (nullopt: unanswered, the buffer left as it was); without a
// script the command is echoed.
#pragma once

#include "core/controller_api.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace cmdtest {

using Bytes = std::array<uint8_t, 5>;

struct CommandScript {
    std::vector<Bytes> sent;
    std::deque<std::optional<Bytes>> replies;

    // What the SendCmd slot returns for `command`, its reply in `reply`.
    int answer(const uint8_t command[5], uint8_t reply[5]) {
        Bytes c;
        std::copy(command, command + 5, c.begin());
        sent.push_back(c);
        if (replies.empty()) {
            std::copy(c.begin(), c.end(), reply);
            return 1;
        }
        const std::optional<Bytes> r = replies.front();
        replies.pop_front();
        if (!r) return 0;
        std::copy(r->begin(), r->end(), reply);
        return 1;
    }
};

// One row of a helper's table: the controller set up, the replies scripted,
// the helper run (its result as a number), the commands it must have sent.
struct CommandCase {
    const char* name;
    std::function<void(vcx::Controller&)> setup;
    std::vector<std::optional<Bytes>> replies;
    std::function<long long(vcx::Controller&)> run;
    std::vector<Bytes> sent;
    long long result;
};

}  // namespace cmdtest
