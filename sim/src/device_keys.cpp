// The state setters of a device (touch, input, notify, pnp): what a test or the
// control socket queues for the host beside the controller's own keys.
#include "qvsim.h"
#include "qvsim_parse.h"

#include <cctype>
#include <string>

namespace qvsim {

namespace {

// Hex bytes, blanks between them optional ("70 01 00" or "700100").
bool parseBytes(const std::string& value, std::vector<uint8_t>* out) {
    std::string digits;
    for (char c : value) {
        if (c == ' ' || c == '\t') continue;
        if (!std::isxdigit(uint8_t(c))) return false;
        digits += c;
    }
    if (digits.empty() || digits.size() % 2) return false;
    for (size_t i = 0; i < digits.size(); i += 2) out->push_back(uint8_t(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return true;
}

bool bad(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

}  // namespace

bool setDeviceKey(Bench& bench, const std::string& path, const std::string& key, const std::string& value,
                  bool* handled, std::string* error) {
    std::string k;
    for (char c : key) k += char(std::tolower(uint8_t(c)));
    *handled = k == "touch" || k == "input" || k == "notify" || k == "pnp";
    if (!*handled) return false;
    HidDevice* hid = bench.hid(path);
    DriverDevice* driver = bench.driver(path);
    SerialDevice* serial = bench.serial(path);
    if (!hid && !driver && !serial) return bad(error, "no device at " + path);

    if (k == "touch") {
        const auto w = splitWords(value);
        std::optional<uint64_t> status, x, y, force;
        if (w.size() == 3 || w.size() == 4) {
            status = parseNumber(w[0], 0xFF);
            x = parseNumber(w[1], 0xFFFF);
            y = parseNumber(w[2], 0xFFFF);
            if (w.size() == 4) force = parseNumber(w[3], 0xFFFF);
        }
        if (!status || !x || !y || (w.size() == 4 && !force))
            return bad(error, "touch: expected STATUS X Y [FORCE] (numbers up to 0xFF, 0xFFFF)");
        if (hid) {
            std::optional<uint16_t> f;
            if (force) f = uint16_t(*force);
            hid->queueTouch(uint8_t(*status), uint16_t(*x), uint16_t(*y), f);
        } else if (serial) {
            serial->queueTouch(uint8_t(*status), uint16_t(*x), uint16_t(*y));
        } else {
            driver->pushNotify(uint32_t(*status));
        }
        return true;
    }
    if (k == "input") {
        std::vector<uint8_t> bytes;
        if (!parseBytes(value, &bytes)) return bad(error, "input: expected hex bytes");
        if (hid) {
            hid->queueInput(std::move(bytes));
        } else if (serial) {
            serial->queueOutput(bytes.data(), bytes.size());
        } else {
            return bad(error, "input: a driver device takes notify codes, not bytes");
        }
        return true;
    }
    if (k == "notify") {
        if (!driver) return bad(error, "notify: " + path + " is not a driver device");
        const auto w = splitWords(value);
        const auto code = w.size() == 1 ? parseNumber(w[0], 0xFFFFFFFFu) : std::nullopt;
        if (!code) return bad(error, "notify: expected one code");
        driver->pushNotify(uint32_t(*code));
        return true;
    }
    // pnp
    if (!serial) return bad(error, "pnp: " + path + " is not a serial device");
    std::string text = value;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(text.begin());
    if (text == "none") text.clear();
    for (char c : text)
        if (uint8_t(c) < 0x20 || uint8_t(c) > 0x7E) return bad(error, "pnp: the identifier is 7-bit printable text");
    serial->setPnpIdentifier(text);
    return true;
}

}  // namespace qvsim
