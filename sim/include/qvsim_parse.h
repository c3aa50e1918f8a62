// The words and numbers of the simulator's texts: profile files, the device
// and controller keys set at run time, and the requests of the bench's control
// socket all split their values and read their numbers here, so one syntax
// holds everywhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvsim {

// The words of a text, split at blanks (space, tab, the line breaks, vertical
// tab and form feed) and, with commasSeparate, at commas as well ("0x82, 0 0"
// is three words then). Runs of separators count as one; no word is empty.
std::vector<std::string> splitWords(std::string_view text, bool commasSeparate = false);

// The text after its first word and the blanks that follow it; empty when the
// text has no second word.
std::string afterFirstWord(std::string_view text);

// A number as these texts write it: decimal digits, or hexadecimal digits
// after "0x" or "0X". No sign, no blanks, nothing after the digits. nullopt for
// anything else and for a value above max.
std::optional<uint64_t> parseNumber(std::string_view text, uint64_t max = UINT64_MAX);

}  // namespace qvsim
