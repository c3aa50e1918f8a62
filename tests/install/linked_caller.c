/* A C program built against an installed library through its pkg-config file:
 * linked with -lQV_Standard, it enumerates the controllers of the simulated
 * bench that QV_SIM chose at load and asks the first one for its identity. */
#include <QV_Standard.h>

#include <stdio.h>

static int found;
static char firstPath[260];

static int OnDevice(const char* path, const char* name, uint32_t location) {
    printf("found %s %s %u\n", path, name, (unsigned)location);
    if (!found++) snprintf(firstPath, sizeof firstPath, "%s", path);
    return 1;
}

int main(void) {
    if (!EnumerateHidDevices(OnDevice) || !found) {
        char why[200];
        QVGetLastErrorTextA(why, sizeof why);
        printf("no controller: %s\n", why);
        return 1;
    }
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!OpenDevice(firstPath, &h)) return 1;
    const uint8_t identity[5] = {0xEE, 0, 0, 0, 0};
    uint8_t reply[5] = {0};
    int ok = SendCmd(h, identity, reply);
    printf("identity %d %02X\n", ok, reply[0]);
    CloseDevice(h);
    return ok ? 0 : 1;
}
