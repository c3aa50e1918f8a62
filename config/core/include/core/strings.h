// The program's string table: the texts of the main window, its pages and its
// messages by string id, in English and Simplified Chinese.
#pragma once

namespace vcx {

// Adds the program's entries to the string table, its own and the parameter
// sheet's and touch notifications' tables (once; later calls do nothing).
void addProgramStrings();

} // namespace vcx
