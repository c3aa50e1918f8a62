#include "core/command_line.h"

#include <array>

namespace vcx {

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// The first place where `option` begins a word of `line`, or -1.
qsizetype findOption(const QString& line, QStringView option) {
    for (qsizetype at = line.indexOf(option); at >= 0; at = line.indexOf(option, at + 1)) {
        if (at == 0 || isBlank(line[at - 1])) return at;
    }
    return -1;
}

enum class Effect { None, Silent, EnumFU, SR, S, BR, OS, NL, PDL };

struct OptionRule {
    QStringView text;
    Effect effect;
};

} // namespace

CommandLineOptions parseCommandLine(const QString& input) {
    static constexpr std::array<OptionRule, 11> kRules{{
        {u"-cmd", Effect::None},
        {u"-m", Effect::Silent},
        {u"-enumfu", Effect::EnumFU},
        {u"-e", Effect::None},
        {u"-dbg", Effect::None},
        {u"-sr", Effect::SR},
        {u"-s", Effect::S},
        {u"-br", Effect::BR},
        {u"-os", Effect::OS},
        {u"-nl", Effect::NL},
        {u"-pdl", Effect::PDL},
    }};

    CommandLineOptions o;
    QString line = input;
    for (const OptionRule& rule : kRules) {
        const qsizetype at = findOption(line, rule.text);
        if (at < 0) continue;
        const qsizetype after = at + rule.text.size();
        // "-br" and "-nl" take the character right after them; at the end of the
        // line that is the terminator, which the byte arithmetic turns into 0xD0.
        const auto digit = [&]() -> uint8_t {
            const char16_t c = after < line.size() ? line[after].unicode() : u'\0';
            return static_cast<uint8_t>(c - u'0');
        };
        switch (rule.effect) {
        case Effect::None: break;
        case Effect::Silent: o.silentMode = true; break;
        case Effect::EnumFU: o.optEnumFU = true; break;
        case Effect::SR: o.silentMode = o.optSR = true; break;
        case Effect::S: o.silentMode = o.optS = true; break;
        case Effect::OS: o.silentMode = o.optOS = true; break;
        case Effect::BR: o.optBR = digit(); break;
        case Effect::NL: o.optNL = digit(); break;
        case Effect::PDL: o.optPDL = true; break;
        }
        // The option, its value character for "-br"/"-nl", and one more; never
        // past the end of the line.
        const qsizetype count = rule.text.size() + ((rule.effect == Effect::BR || rule.effect == Effect::NL) ? 2 : 1);
        line.remove(at, std::min(count, line.size() - at));
    }
    o.rest = line;
    const QString trimmed = line.trimmed();
    if (!trimmed.isEmpty() && trimmed.size() <= kMaxFileArg) o.fileArg = trimmed;
    return o;
}

bool asksUnattendedRun(const CommandLineOptions& o) { return o.silentMode || o.optNL != 0xFF; }

} // namespace vcx
