/* A C program that uses the library the way an outside caller does: loads it
 * by file name, looks the exports up by name, enumerates the controllers of
 * the simulated bench that QV_SIM chose at load, and talks to the first one,
 * through the device table and through the N4 family. */
#include "QV_Standard.h"

#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

static int found;
static char firstPath[260];

static int OnDevice(const char* path, const char* name, uint32_t location) {
    printf("found %s %s %u\n", path, name, (unsigned)location);
    if (!found++) snprintf(firstPath, sizeof firstPath, "%s", path);
    return 1;
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    void* lib = dlopen(argv[1], RTLD_NOW);
    if (!lib) {
        printf("cannot load: %s\n", dlerror());
        return 1;
    }
    int (*enumerate)(QVEnumCallbackA) = (int (*)(QVEnumCallbackA))dlsym(lib, "EnumerateHidDevices");
    int (*open)(const char*, HANDLE*) = (int (*)(const char*, HANDLE*))dlsym(lib, "OpenDevice");
    int (*send)(HANDLE, const uint8_t*, uint8_t*) = (int (*)(HANDLE, const uint8_t*, uint8_t*))dlsym(lib, "SendCmd");
    int (*close)(HANDLE) = (int (*)(HANDLE))dlsym(lib, "CloseDevice");
    if (!enumerate || !open || !send || !close) return 1;
    /* The system reference build's exports, by name. */
    static const char* const reference[] = {"BuildSystemReferenceW", "BuildSystemReferenceA",
                                            "ContinueBuildSystemReference", "GetSystemReferenceInformation"};
    for (size_t i = 0; i < sizeof reference / sizeof reference[0]; ++i)
        if (!dlsym(lib, reference[i])) {
            printf("missing %s\n", reference[i]);
            return 1;
        }
    /* The firmware file exports, by name; a file that is not there is refused. */
    static const char* const files[] = {"QuorvaneN4_GetQVFInfoA", "QuorvaneN4_GetQVFInfoW",
                                        "QuorvaneN4_GetQVFVersionStrA", "QuorvaneN4_GetQVFVersionStrW"};
    for (size_t i = 0; i < sizeof files / sizeof files[0]; ++i)
        if (!dlsym(lib, files[i])) {
            printf("missing %s\n", files[i]);
            return 1;
        }
    {
        int (*fileInfo)(const char*, int*, char*) = (int (*)(const char*, int*, char*))dlsym(lib, "QuorvaneN4_GetQVFInfoA");
        int crc = 0;
        char text[QV_N4_VERSION_TEXT] = {0};
        if (fileInfo("/nonexistent/firmware.qvf", &crc, text) != 0) return 1;
    }
    /* No build runs: nothing to continue. */
    if (((int (*)(int))dlsym(lib, "ContinueBuildSystemReference"))(1) != 0) return 1;
    if (!enumerate(OnDevice) || !found) {
        printf("no controller\n");
        return 1;
    }
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!open(firstPath, &h)) return 1;
    const uint8_t identity[5] = {0xEE, 0, 0, 0, 0};
    uint8_t reply[5] = {0};
    int ok = send(h, identity, reply);
    printf("identity %d %02X %02X %02X %02X %02X\n", ok, reply[0], reply[1], reply[2], reply[3], reply[4]);
    /* Package combining, by name; a firmware file that is not there gives no package. */
    static const char* const combine[] = {"QuorvaneN4_CombinePFPA", "QuorvaneN4_CombinePFPW", "CombinePFPA",
                                          "CombinePFPW"};
    for (size_t i = 0; i < sizeof combine / sizeof combine[0]; ++i)
        if (!dlsym(lib, combine[i])) {
            printf("missing %s\n", combine[i]);
            return 1;
        }
    {
        int (*combinePfp)(HANDLE, const char*, uint8_t*) = (int (*)(HANDLE, const char*, uint8_t*))dlsym(lib, "CombinePFPA");
        uint8_t status = 0;
        if (combinePfp(h, "/nonexistent/firmware.qvf", &status) != 0 || status != 255) return 1;
    }
    close(h);
    /* The N4 family opens the controller by itself. */
    int (*n4Version)(char*) = (int (*)(char*))dlsym(lib, "QuorvaneN4_GetDevVersionStrA");
    if (!n4Version) return 1;
    char version[QV_N4_VERSION_TEXT] = {0};
    const int n4 = n4Version(version);
    printf("n4 version %d %s\n", n4, version);
    return ok && n4 ? 0 : 1;
}
