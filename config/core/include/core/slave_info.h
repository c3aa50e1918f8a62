// The firmware information of a slave controller IC. A slave is reached only
// while the master does not scan (StopTouchScanning, core/controller_api.h)
// and once F4 00 k 00 01 selected it; its identity, version and build bytes are
// then asked with its own selector, 0xF0 + k, in the identity (EE), boot-state
// (ED) and customer-byte (EB, Ostra E7) queries, as the library reads the
// slaves' version texts. A query with the master's selector would give the
// master's bytes on firmware whose selected slave does not answer for it.
#pragma once

#include "core/controller_api.h"

#include <cstdint>

namespace vcx {

// Selects slave `index` (0 the first; up to ten tries 50 ms apart), then fills
// *out: GetFWInformationW for what only the selected chip gives (interface
// bits, panel texts, information byte), the identity, version and build bytes
// from the slave's own selector. Stays on the slave: the caller goes back to
// the master (SendCmdF4 (0xAA, 0)) and resumes scanning. False when the slave
// could not be selected or a query went unanswered.
bool ReadSelectedSlaveInformation(Controller& c, uint8_t index, FirmwareInformationW* out);

// The first slave's information with everything around it: scanning stopped,
// 50 ms, the slave read, the master selected again, scanning resumed (on every path).
bool ReadSlaveInformation(Controller& c, FirmwareInformationW* slave);

}  // namespace vcx
