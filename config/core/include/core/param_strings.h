// The parameter sheet's strings: tab names, tips, range lines and the formats of
// the change list; added to the program's string table at start-up.
#pragma once

namespace vcx {

void addParameterStrings();

} // namespace vcx
