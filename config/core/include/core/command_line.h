// The start-up command line of VCXMSet: the options that select unattended
// runs, and the file path left over once they are removed.
#pragma once

#include <QString>

#include <cstdint>

namespace vcx {

struct CommandLineOptions {
    bool silentMode = false; // "-m", "-sr", "-s", "-os": an unattended run
    bool optSR = false;      // "-sr": system-reference build
    bool optS = false;       // "-s": unattended firmware update
    bool optOS = false;      // "-os": open/short test
    bool optEnumFU = false;  // "-enumfu": enumerate for firmware update
    bool optPDL = false;     // "-pdl": address the production-line window
    uint8_t optBR = 0xFF;    // the digit after "-br", 0xFF when not given
    uint8_t optNL = 0xFF;    // the digit after "-nl", 0xFF when not given
    QString rest;            // the line once every recognised option is removed
    QString fileArg;         // rest without surrounding blanks, when 1..259 characters
};

// The longest file argument taken (a 260-character field with its terminator).
constexpr int kMaxFileArg = 259;

// Options are case-sensitive and searched in a fixed order, each once: "-cmd",
// "-m", "-enumfu", "-e", "-dbg", "-sr", "-s", "-br", "-os", "-nl", "-pdl", so a
// longer option goes before a shorter one it contains. A recognised option is
// removed with the one character after it (its blank; for "-br" and "-nl" the
// digit and the blank). An option counts only where it begins a word (at the
// start of the line or after a blank): a path such as "/data/run-s/x.bin"
// stays a path instead of turning into an unattended firmware update.
CommandLineOptions parseCommandLine(const QString& line);

// The line asks for an unattended run: "-m", "-s", "-sr", "-os", or "-nl" with its value.
bool asksUnattendedRun(const CommandLineOptions& o);

} // namespace vcx
