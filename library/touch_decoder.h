// Touch packets to callback calls: the pure part of the touch notifications.
//
// Every interface (HID input reports, the driver's notify codes, serial
// streams) ends in 5-byte packets {status, x lo, x hi, y lo, y hi}. The
// Decoder tracks contacts per device slot and turns each packet into at most
// one call of the touch callback; the report splitter, the serial assemblers
// and the plug-and-play identifier matcher cut byte streams into packets.
// Nothing here touches a device or a thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace qvlib::touch {

constexpr int kSlots = 17;        // 16 device slots and slot 16 for a device not in the table
constexpr int kUnknownSlot = 16;
constexpr int kIds = 16;          // contact ids 0..15
constexpr size_t kHeadCapacity = 4096;

// One call of the touch callback.
struct TouchCall {
    int state = 0;  // kind (0x10 down/move, 0x20 up, 0x30, 0x40, 0x50, 0x60, 0xF0) + contact id
    int x = 0;
    int y = 0;
    friend bool operator==(const TouchCall&, const TouchCall&) = default;
};

// The contact and marker state of every slot and the head capture. Safe to
// call from several threads at once (one lock around each packet).
class Decoder {
public:
    // Clears every down flag and marker flag (notification starts).
    void reset();
    // Decodes one packet of slot (0..16; other values are taken as 16). true with
    // *call when the packet gives a callback call.
    bool decode(int slot, const uint8_t packet[5], TouchCall* call);

    // Head capture: set(on) empties it and turns it on or off; count and byte read it.
    void setCapture(bool on);
    int captureCount() const;
    bool captureByte(int position, uint8_t* out) const;

private:
    mutable std::mutex mutex_;
    std::array<bool, kSlots * kIds> down_{};  // slot * 16 + id
    std::array<bool, kSlots> marker_{};
    std::array<uint8_t, kHeadCapacity> head_{};
    size_t headCount_ = 0;
    bool capture_ = false;
};

// How one HID input report (its report-id byte first) is cut into packets.
struct ReportLayout {
    size_t packetSize = 5;
    size_t packets = 0;      // 0: nothing to decode
    bool hasForce = false;   // the report is long enough to carry a force value
    uint16_t force = 0;      // little-endian u16 at offset 11
};
// form3508: the device uses the 3508 report form, whose packets are
// (size - 4) / 2 bytes long; such a report under 14 bytes carries no whole
// packet and gives nothing.
ReportLayout LayoutOfReport(const uint8_t* report, size_t size, bool form3508);
// The packets of a report in order, each the first 5 bytes of its part after the id byte.
std::vector<std::array<uint8_t, 5>> PacketsOfReport(const uint8_t* report, size_t size, bool form3508);

// The serial packet assembler of one port, by the controller's series (0
// current, 1 Ostra, 2 Melk). Bytes go in, whole packets come out.
class SerialAssembler {
public:
    explicit SerialAssembler(uint8_t series = 0) : series_(series) {}
    void setSeries(uint8_t series);
    void clear() { fill_ = 0; }
    // Feeds bytes; every packet completed is appended to out.
    void feed(const uint8_t* data, size_t n, std::vector<std::array<uint8_t, 5>>* out);

private:
    bool startsPacket(uint8_t b) const;
    void push(uint8_t b, std::vector<std::array<uint8_t, 5>>* out);
    uint8_t series_;
    std::array<uint8_t, 6> buffer_{};
    size_t fill_ = 0;
};

// The serial plug-and-play identifier of a series: '(' r r 'Q' 'R' 'V' d d d d ')'
// with each byte's bit 7 set, d = "6000" (Ostra) or "9000" (Melk).
std::array<uint8_t, 11> PnpIdentifier(uint8_t series, uint8_t revision0 = '0', uint8_t revision1 = '1');

// Matches incoming bytes against the identifier, across reads. Bytes before the
// identifier's first byte are skipped (the switch to 1200 baud yields line
// garbage); from there each byte must match. Result 0 undecided, 1 matched, 0xFF
// a byte did not match (or the series has no identifier).
class PnpMatcher {
public:
    explicit PnpMatcher(uint8_t series = 0) { restart(series); }
    void restart(uint8_t series);
    uint8_t feed(const uint8_t* data, size_t n);
    uint8_t result() const { return result_; }

private:
    uint8_t series_ = 0;
    size_t matched_ = 0;
    uint8_t result_ = 0;
};

}  // namespace qvlib::touch
