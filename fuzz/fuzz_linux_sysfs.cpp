// Fuzz target: the Linux backend's readers of the system's texts. A sysfs tree
// of one hidraw node is written from the input (the HID device's uevent and
// report descriptor, the USB parent's idVendor, idProduct, busnum, devpath,
// serial and manufacturer; each file present or not), then read as the backend
// reads it: the HID interface list, the input node's facts and the parent's
// instance identity. The rest of the input is a udev event and its USB
// parent's properties ("KEY=VALUE" lines, the two parts split by a line "--"),
// classified as a device change. Nothing may crash; what is read must be of
// the form the library's key and location rules take.
//
// Input: byte 0 says which of the eight files exist (bit i: file i); then the
// eight files' bytes, each led by a 16-bit little-endian length; then the
// udev text.
#include "linux_backend.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace fs = std::filesystem;
using namespace qvp;
using linuxdev::UdevProperties;

namespace {

struct Reader {
    const uint8_t* data;
    size_t size, pos = 0;
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    std::string text(size_t n) {
        n = std::min(n, size - std::min(pos, size));
        std::string out(reinterpret_cast<const char*>(data + pos), n);
        pos += n;
        return out;
    }
};

const fs::path& root() {
    static const fs::path r = [] {
        // In memory where the system has such a folder: the files are written anew for every input.
        char shm[] = "/dev/shm/qv_fuzz_sysfs_XXXXXX";
        char tmp[] = "/tmp/qv_fuzz_sysfs_XXXXXX";
        char* tmpl = fs::is_directory("/dev/shm") ? shm : tmp;
        const char* made = mkdtemp(tmpl);
        if (!made) std::abort();
        // Removed at exit; the name is kept apart from the path, which is gone by then.
        static char removeAtExit[64];
        std::snprintf(removeAtExit, sizeof removeAtExit, "%s", made);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(removeAtExit, ec);
        });
        return fs::path(made);
    }();
    return r;
}

// Writes the file (or removes it) unless it is so already: most inputs change one file.
void put(const fs::path& p, bool present, const std::string& bytes) {
    static std::map<std::string, std::pair<bool, std::string>> state;  // at first: absent
    const std::pair<bool, std::string> now{present, present ? bytes : std::string()};
    auto& known = state[p.string()];
    if (known == now) return;
    known = now;
    std::error_code ec;
    fs::remove(p, ec);
    if (!present) return;
    std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

UdevProperties properties(const std::string& text) {
    UdevProperties out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        if (const size_t eq = line.find('='); eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
        pos = end + 1;
    }
    return out;
}

// "USB\VID_XXXX&PID_XXXX\<instance>" with a non-empty instance.
bool instanceForm(const std::string& id) {
    return id.size() > 22 && id.compare(0, 8, "USB\\VID_") == 0 && id.compare(12, 5, "&PID_") == 0 && id[21] == '\\';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path sys = root() / "sys";
    const fs::path usb = sys / "devices" / "pci0000:00" / "usb1" / "1-1";
    const fs::path hid = usb / "1-1:1.0" / "0003:2E7B:6020.0001";
    static bool made = [&] {
        fs::create_directories(hid);
        fs::create_directories(sys / "class" / "hidraw" / "hidraw0");
        fs::create_symlink(hid, sys / "class" / "hidraw" / "hidraw0" / "device");
        return true;
    }();
    (void)made;

    Reader in{data, size};
    const uint8_t present = in.byte();
    const fs::path files[8] = {hid / "uevent", hid / "report_descriptor", usb / "idVendor", usb / "idProduct",
                               usb / "busnum", usb / "devpath",          usb / "serial",   usb / "manufacturer"};
    for (int i = 0; i < 8; ++i) {
        const size_t n = size_t(in.byte() | in.byte() << 8) % 1024;
        put(files[i], present & (1 << i), in.text(n));
    }

    std::vector<HidInterface> list;
    if (!linuxdev::listHidInterfaces(sys.string(), "/dev", &list)) __builtin_trap();
    for (const HidInterface& itf : list) {
        if (itf.path != "/dev/hidraw0") __builtin_trap();
        if (itf.hasParent && !instanceForm(itf.parentInstanceId)) __builtin_trap();
        if (itf.inputReportLength < -1) __builtin_trap();
    }
    InputNode node;
    if (linuxdev::readInputNode(sys.string(), "/dev", "hidraw0", &node)) {
        if (node.hasParent && !instanceForm(node.parentInstanceId)) __builtin_trap();
    }
    std::string parent;
    if (linuxdev::parentInstanceId(sys.string(), "/dev", "/dev/hidraw0", &parent) && !instanceForm(parent))
        __builtin_trap();
    uint32_t v32;
    uint16_t v16;
    const std::string rest = in.text(size);
    if (linuxdev::parseHex(rest, &v32) && rest.size() > 10) __builtin_trap();
    if (linuxdev::parseHex16(rest, &v16) && rest.size() > 10) __builtin_trap();

    const size_t split = rest.find("\n--\n");
    const UdevProperties event = properties(rest.substr(0, split));
    const UdevProperties usbParent = split == std::string::npos ? UdevProperties{} : properties(rest.substr(split + 4));
    if (const auto change = linuxdev::deviceChangeFromUdev(event, usbParent)) {
        if (change->name.compare(0, 8, "usb#vid_") != 0 || change->name.size() <= 22) __builtin_trap();
        const auto action = event.find("ACTION");
        if (action == event.end() || change->arrival != (action->second == "add")) __builtin_trap();
    }
    return 0;
}
