// Fuzz target: a hostile controller under the library. A backend of the
// platform interface answers every read the library makes (feature reports,
// driver I/O controls, serial bytes, settings values, input reports) from the
// fuzz input, and the target calls the exports a program calls at start-up
// and on its pages: find and open, identity, versions, information, feature
// and state bytes, every parameter group's Get and Set, the parameter lists,
// the sensor geometry and frames, the virtual keys, and touch notifications.
// Nothing may crash, read or write out of bounds, or hang: sleeps run on a
// virtual clock and the work per input is bounded (a number of exports and of
// backend reads).
//
// Input: byte 0 chooses the interface (HID, driver, serial) and flags, bytes
// 1..2 the product id; the rest is one stream. Each backend read takes a
// control byte from it: 0xC0..0xFF fails the read (the low bits give the kind
// of failure), bit 5 echoes the command's first byte where an answer carries
// it, bit 4 shortens the answer by the next byte, bit 3 gives a whole serial
// frame its check byte; then the answer's bytes.
// Before each export one stream byte chooses it.
#include "QV_Standard.h"
#include "internal.h"
#include "fuzz_backend.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr int kMaxExports = 12;
constexpr int kMaxReads = 3000;
const std::string kHidPath = "/dev/hidraw-fuzz";
const char* const kDriverPath = "\\\\.\\QVUVCXM_API0";

// The input as one stream. The touch input thread reads it too (while the
// caller waits for that thread), hence the lock.
struct Stream {
    const uint8_t* data = nullptr;
    size_t size = 0, pos = 0;
    int reads = 0;
    std::recursive_mutex mutex;
    void reset(const uint8_t* d, size_t n) {
        std::lock_guard lock(mutex);
        data = d;
        size = n;
        pos = 0;
        reads = 0;
    }
    bool empty() {
        std::lock_guard lock(mutex);
        return pos >= size;
    }
    uint8_t byte() {
        std::lock_guard lock(mutex);
        return pos < size ? data[pos++] : 0;
    }
    void fill(uint8_t* out, size_t n) {
        if (n == 0) return;
        std::lock_guard lock(mutex);
        const size_t have = std::min(n, size - std::min(pos, size));
        if (have) std::memcpy(out, data + pos, have);
        std::memset(out + have, 0, n - have);
        pos += have;
    }
};

Stream g_in;

// How the next answer goes: nullptr-like false with the failure recorded, or
// the number of bytes to fill and whether the command's first byte is echoed.
struct Answer {
    bool ok = false;
    bool echo = false;
    bool sealed = false;
    size_t length = 0;
};

Answer nextAnswer(size_t capacity) {
    Answer a;
    std::lock_guard lock(g_in.mutex);
    if (g_in.empty() || ++g_in.reads > kMaxReads) {
        qvp::setLastError(qvp::ErrorKind::Timeout, "fuzz: no more answers");
        return a;
    }
    const uint8_t c = g_in.byte();
    if (c >= 0xC0) {
        static const qvp::ErrorKind kinds[] = {qvp::ErrorKind::Timeout, qvp::ErrorKind::InvalidParameter,
                                               qvp::ErrorKind::NotFound, qvp::ErrorKind::Other};
        qvp::setLastError(kinds[c & 3], "fuzz: refused");
        return a;
    }
    a.ok = true;
    a.echo = c & 0x20;
    a.sealed = c & 0x08;
    a.length = capacity;
    if (c & 0x10) a.length = capacity ? g_in.byte() % (capacity + 1) : 0;
    return a;
}

class InputSource : public qvp::InputReportSource {
public:
    uint16_t productId = 0x6020;
    bool handedOut = false;
    qvp::WaitEnd next(std::vector<qvp::InputReport>* reports, bool* nodesChanged) override {
        reports->clear();
        *nodesChanged = false;
        if (handedOut) return qvp::WaitEnd::Woken;
        handedOut = true;
        // Up to 8 reports of up to 64 bytes, each led by its length.
        for (int i = 0; i < 8 && !g_in.empty(); ++i) {
            qvp::InputReport r;
            r.path = kHidPath;
            r.bytes.resize(g_in.byte() % 65);
            g_in.fill(r.bytes.data(), r.bytes.size());
            reports->push_back(std::move(r));
        }
        return qvp::WaitEnd::Done;
    }
    void wake() override {}
    bool node(const std::string& path, qvp::InputNode* out) override {
        if (path != kHidPath) return false;
        out->path = path;
        out->vendorId = 0x2E7B;
        out->productId = productId;
        out->touchScreen = true;
        out->usesReportIds = true;
        out->hasParent = true;
        out->parentInstanceId = "USB\\VID_2E7B&PID_6020\\1&2&3";
        return true;
    }
};

class HostileBackend : public qvfuzz::AcceptingBackend {
public:
    uint16_t productId = 0x6020;
    uint8_t lastCommand = 0;

    const char* name() const override { return "fuzz"; }
    qvp::Handle open(const std::string& path, qvp::DeviceKind kind) override {
        // One device of each kind: the driver's first name of its first kind,
        // the HID node, the first serial port.
        if (kind == qvp::DeviceKind::Driver && path != kDriverPath) {
            qvp::setLastError(qvp::ErrorKind::NotFound, "fuzz: no such driver device");
            return qvp::invalidHandle();
        }
        if (kind == qvp::DeviceKind::Serial && path.find("COM1") == std::string::npos) {
            qvp::setLastError(qvp::ErrorKind::NotFound, "fuzz: no such port");
            return qvp::invalidHandle();
        }
        return reinterpret_cast<qvp::Handle>(0x100 + static_cast<intptr_t>(kind));
    }
    bool hidSetFeature(qvp::Handle, const uint8_t* report, size_t len) override {
        if (len > 1) lastCommand = report[1];
        return true;
    }
    bool hidGetFeature(qvp::Handle, uint8_t* report, size_t len) override {
        if (len < 1) return false;
        const Answer a = nextAnswer(len - 1);
        if (!a.ok) return false;
        g_in.fill(report + 1, a.length);
        std::memset(report + 1 + a.length, 0, len - 1 - a.length);
        if (a.echo && len > 1) report[1] = lastCommand;
        return true;
    }
    int hidOutputReportLength(qvp::Handle) override { return 65; }
    bool driverIoctl(qvp::Handle, uint32_t, const void* in, size_t inLen, void* out, size_t outLen,
                     uint32_t* returned) override {
        if (in && inLen >= 1) lastCommand = static_cast<const uint8_t*>(in)[0];
        const Answer a = nextAnswer(outLen);
        if (!a.ok) return false;
        auto* bytes = static_cast<uint8_t*>(out);
        if (bytes) {
            g_in.fill(bytes, a.length);
            if (a.echo && a.length) bytes[0] = lastCommand;
        }
        if (returned) *returned = static_cast<uint32_t>(bytes ? a.length : 0);
        return true;
    }
    bool serialWrite(qvp::Handle, const uint8_t* data, size_t len, size_t* written) override {
        if (len) lastCommand = data[0];
        *written = len;
        return true;
    }
    bool serialRead(qvp::Handle, uint8_t* out, size_t len, size_t* got) override {
        *got = 0;
        const Answer a = nextAnswer(std::min<size_t>(len, 16));
        if (!a.ok) return qvp::lastError().kind == qvp::ErrorKind::Timeout;  // a time-out is no failure here
        g_in.fill(out, a.length);
        if (a.echo && a.length) out[0] = lastCommand;
        if (a.sealed && a.length >= 6) {
            uint8_t sum = 0;
            for (int i = 0; i < 5; ++i) sum = uint8_t(sum + out[i]);
            out[5] = uint8_t(~sum);
        }
        *got = a.length;
        return true;
    }
    std::unique_ptr<qvp::InputReportSource> openInputReports() override {
        auto s = std::make_unique<InputSource>();
        s->productId = productId;
        return s;
    }
    bool listHidInterfaces(std::vector<qvp::HidInterface>* out) override {
        qvp::HidInterface i;
        i.path = kHidPath;
        i.name = "fuzz";
        i.vendorId = 0x2E7B;
        i.productId = productId;
        i.hasParent = true;
        i.parentInstanceId = "USB\\VID_2E7B&PID_6020\\1&2&3";
        i.hasManufacturer = true;
        i.parentManufacturer = "fuzz";
        i.inputReportLength = 64;
        out->assign(1, i);
        return true;
    }
    bool listSerialPorts(std::vector<std::string>* out) override {
        out->assign(1, "\\\\.\\COM1");
        return true;
    }
    bool parentInstanceId(const std::string&, std::string* out) override {
        *out = "USB\\VID_2E7B&PID_6020\\1&2&3";
        return true;
    }
    // The driver's settings values come from the input too (a text led by its length).
    bool readSettingString(const std::string&, const std::string&, std::string* out) override {
        const Answer a = nextAnswer(64);
        if (!a.ok) return false;
        out->assign(g_in.byte() % 80, '\0');
        g_in.fill(reinterpret_cast<uint8_t*>(out->data()), out->size());
        return true;
    }
    bool readSettingDword(const std::string&, const std::string&, uint32_t* out) override {
        const Answer a = nextAnswer(4);
        if (!a.ok) return false;
        uint8_t b[4];
        g_in.fill(b, 4);
        *out = b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24;
        return true;
    }
};

// A record with every byte 0, as a caller sets one up.
template <typename R>
R Zeroed() {
    R r;
    std::memset(&r, 0, sizeof r);
    return r;
}

// The parameter group records: Get with a mask from the input, then Set what was read.
template <typename R, typename Get, typename Set>
void group(HANDLE h, Get get, Set set) {
    auto r = Zeroed<R>();
    r.cbSize = sizeof r;
    const uint16_t mask = uint16_t(g_in.byte() | g_in.byte() << 8);
    if (get(h, mask, &r) != 1) return;
    // The caller edits the values before a Set.
    auto* bytes = reinterpret_cast<uint8_t*>(&r);
    bytes[12 + g_in.byte() % (sizeof r - 12)] ^= g_in.byte();
    r.cbSize = sizeof r;
    set(h, &r);
}

int OnTouch(int, int, int) { return 1; }
int OnForce(int, int) { return 1; }

void callExport(HANDLE h, uint8_t which) {
    switch (which % 40) {
    case 0: {
        auto v = Zeroed<FirmwareVersionInfoA>();
        GetFWVersionA(h, &v);
        break;
    }
    case 1: {
        auto v = Zeroed<FirmwareVersionInfoW>();
        GetFWVersionW(h, &v);
        break;
    }
    case 2: {
        auto v = Zeroed<FirmwareInformationA>();
        v.size = sizeof v;
        GetFWInformationA(h, &v);
        break;
    }
    case 3: {
        auto v = Zeroed<FirmwareInformationW>();
        v.size = sizeof v;
        GetFWInformationW(h, &v);
        break;
    }
    case 4: {
        uint8_t f[8];
        GetFeatureFlag(h, f);
        GetBridgeFeatureFlag(h, f);
        GetStateFlag(h, f);
        break;
    }
    case 5: {
        auto s = Zeroed<StateFlagEx>();
        s.size = sizeof s;
        GetStateFlagEx(h, &s);
        break;
    }
    case 6: {
        char t[40];
        QVWCHAR w[40];
        const uint8_t index = g_in.byte();
        GetPanelSizeInfoA(h, index, t);
        GetCoverLensInfoW(h, index, w);
        break;
    }
    case 7: {
        uint32_t v[4];
        GetQVDriverVersionEx(h, v);
        int on = 0;
        GetDataReportState(h, &on);
        uint32_t id = 0;
        GetMonitorID(h, &id);
        break;
    }
    case 8:
    case 9: {
        auto l = Zeroed<ParameterList>();
        if ((which % 40 == 8 ? GetParameterList(h, &l) : GetAPBTParaList(h, &l)) != 1) break;
        if (l.touchList && l.touchLength) l.touchList[g_in.byte() % l.touchLength] ^= g_in.byte();
        if (which % 40 == 8) SetParameterList(h, &l);
        else SetAPBTParaList(h, &l);
        uint16_t crc = 0;
        GetParameterCRCEx(h, &l, &crc);
        break;
    }
    case 10: {
        uint8_t buffer[80];
        GetParameterConst(h, buffer);
        uint16_t crc = 0;
        GetParameterCRC(h, &crc);
        break;
    }
    case 11: {
        auto d = Zeroed<DiagnosticInfo>();
        d.cbSize = sizeof d;
        GetDiagnosticInfo(h, &d);
        break;
    }
    case 12: {
        auto a = Zeroed<RawArray>();
        a.cbSize = QV_RAWARRAY_SIZE;
        if (BuildRawArray(h, &a) != 1) break;
        switch (g_in.byte() % 5) {
        case 0: GetRawCount(h, &a); break;
        case 1: GetBaseLine(h, &a); break;
        case 2: GetDiffMutu(h, &a); break;
        case 3: GetModeDiff(h, &a, g_in.byte()); break;
        default: ChangeDiagnosticScan(h, &a); break;
        }
        FreeRawArray(h, &a);
        break;
    }
    case 13: {
        auto a = Zeroed<NewRawArray>();
        if (BuildNewRawArray(h, &a) != 1) break;
        NewDiagRequest r = {8, g_in.byte(), g_in.byte(), g_in.byte(), 0};
        switch (g_in.byte() % 4) {
        case 0: GetNewRawCount(h, &a, &r); break;
        case 1: GetNewDiagData(h, &a, &r); break;
        case 2: GetNewDiffMutu(h, &a); break;
        default: GetNewDiagnosticScanResult(h, &a); break;
        }
        FreeNewRawArray(h, &a);
        break;
    }
    case 14: {
        uint8_t total = 0, done = 0;
        GetNewDiagnosticProgress(h, &total, &done);
        break;
    }
    case 15: {
        auto g = Zeroed<ParameterGeneralInfo>();
        g.cbSize = sizeof g;
        GetParameterGeneralInfo(h, &g);
        break;
    }
    case 16: group<ParameterHostInterface>(h, GetParameterHostInterface, SetParameterHostInterface); break;
    case 17: group<ParameterPanel>(h, GetParameterPanel, SetParameterPanel); break;
    case 18: group<ParameterFinger>(h, GetParameterFinger, SetParameterFinger); break;
    case 19: group<ParameterPalm>(h, GetParameterPalm, SetParameterPalm); break;
    case 20: group<ParameterBase>(h, GetParameterBase, SetParameterBase); break;
    case 21: group<ParameterWater>(h, GetParameterWater, SetParameterWater); break;
    case 22: group<ParameterAntiNoise>(h, GetParameterAntiNoise, SetParameterAntiNoise); break;
    case 23: group<ParameterCoordinate>(h, GetParameterCoordinate, SetParameterCoordinate); break;
    case 24: group<ParameterPowerSaving>(h, GetParameterPowerSaving, SetParameterPowerSaving); break;
    case 25: group<ParameterNormalScan>(h, GetParameterNormalScan, SetParameterNormalScan); break;
    case 26: group<ParameterAbnormalScan>(h, GetParameterAbnormalScan, SetParameterAbnormalScan); break;
    case 27: group<ParameterMisc>(h, GetParameterMisc, SetParameterMisc); break;
    case 28: group<ParameterDriveIC>(h, GetParameterDriveIC, SetParameterDriveIC); break;
    case 29: group<ParameterDebug>(h, GetParameterDebug, SetParameterDebug); break;
    case 30: group<ParameterVButton>(h, GetParameterVButton, SetParameterVButton); break;
    case 31: group<ParameterCustom>(h, GetParameterCustom, SetParameterCustom); break;
    case 32: {
        auto t = Zeroed<VButtonTable>();
        if (VButtonRead(h, &t) == 1) VButtonWrite(h, &t);
        uint16_t crc = 0;
        VButtonGetCRC(h, &crc);
        break;
    }
    case 33: {
        auto t = Zeroed<ForceTouchTable>();
        t.cbSize = sizeof t;
        if (ForceTouchRead(h, &t) == 1) ForceTouchWrite(h, &t);
        break;
    }
    case 34: {
        int known = 0;
        uint16_t size = 0;
        GetBufferSize(h, g_in.byte() % 6, &known, &size);
        int isNew = 0;
        CheckNewBoot(h, &isNew);
        break;
    }
    case 35: {
        uint8_t result = 0, state = 0;
        FlushParameter(h, &result);
        GetEventHalt(h, &state);
        uint32_t size = 0;
        SendD2(h, &size);
        break;
    }
    case 36: {
        uint8_t cmd[5], reply[5];
        g_in.fill(cmd, sizeof cmd);
        SendCmd(h, cmd, reply);
        break;
    }
    case 37: {
        // Touch and force notifications over the input reports, then the head capture.
        int on = 1;
        GetHeadCnt(1, &on);
        RegisterForceNotify(OnForce);
        if (RegisterTouchNotify(OnTouch) == 1) UnRegisterTouchNotify();
        UnRegisterForceNotify();
        int held = 0;
        GetHeadCnt(0, &held);
        uint8_t b = 0;
        GetTouchHead(g_in.byte(), &b);
        break;
    }
    case 38: {
        uint8_t type = 0;
        GetHidReportType(h, &type);
        GetQVDriverTouchType(h, &type);
        int v = 0;
        GetRightButton(h, &v);
        GetTouchAndHold(h, &v);
        break;
    }
    default: {
        uint32_t rate = 0;
        GetDriverSampleRate(h, g_in.byte(), &rate);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto backend = std::make_shared<HostileBackend>();
    static auto clock = std::make_shared<qvfuzz::VirtualClock>();
    if (size < 3) return 0;
    g_in.reset(data + 3, size - 3);
    backend->productId = uint16_t(data[1] | data[2] << 8);
    qvlib::LibraryDetach();
    qvp::setBackend(backend);
    qvp::setClock(clock);
    qvlib::LibraryAttach(false);

    HANDLE h = INVALID_HANDLE_VALUE;
    char name[20] = {};
    int opened = 0;
    switch (data[0] % 3) {
    case 0: opened = FindHidDeviceA(&h, name); break;
    case 1: {
        uint32_t location = 0;
        opened = FindQVDeviceA(&h, name, &location);
        break;
    }
    default: opened = FindRSDeviceA(1, (data[0] & 4) ? 9600 : 115200, &h, name); break;
    }
    if (opened == 1 && h != INVALID_HANDLE_VALUE) {
        for (int i = 0; i < kMaxExports && !g_in.empty(); ++i) callExport(h, g_in.byte());
        CloseDevice(h);
    }
    qvlib::LibraryDetach();
    return 0;
}
