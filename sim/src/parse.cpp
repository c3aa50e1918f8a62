// The words and numbers of the simulator's texts (see qvsim_parse.h).
#include "qvsim_parse.h"

#include <charconv>

namespace qvsim {

namespace {

// The blanks of the "C" locale's isspace.
constexpr std::string_view kBlanks = " \t\n\v\f\r";
constexpr std::string_view kBlanksAndCommas = " \t\n\v\f\r,";

}  // namespace

std::vector<std::string> splitWords(std::string_view text, bool commasSeparate) {
    const std::string_view separators = commasSeparate ? kBlanksAndCommas : kBlanks;
    std::vector<std::string> out;
    size_t i = text.find_first_not_of(separators);
    while (i != std::string_view::npos) {
        const size_t end = text.find_first_of(separators, i);
        out.emplace_back(text.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
        i = end == std::string_view::npos ? end : text.find_first_not_of(separators, end);
    }
    return out;
}

std::string afterFirstWord(std::string_view text) {
    size_t i = text.find_first_not_of(kBlanks);
    if (i != std::string_view::npos) i = text.find_first_of(kBlanks, i);
    if (i != std::string_view::npos) i = text.find_first_not_of(kBlanks, i);
    return i == std::string_view::npos ? std::string() : std::string(text.substr(i));
}

std::optional<uint64_t> parseNumber(std::string_view text, uint64_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value, base);
    if (ec != std::errc() || stop != end || value > max) return std::nullopt;
    return value;
}

}  // namespace qvsim
