// The library's clock for the programs that load it: the platform clock, so a
// program's sleeps and tick counts follow the virtual clock in sim mode.
#include "QV_Standard.h"
#include "platform/platform.h"

extern "C" {

QV_API void QVPlatformSleep(uint32_t ms) { qvp::sleepMs(ms); }

QV_API uint32_t QVPlatformTickCount(void) { return qvp::tickCount(); }

}  // extern "C"
