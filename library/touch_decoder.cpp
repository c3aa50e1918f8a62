// Touch packets to callback calls (see touch_decoder.h).
#include "touch_decoder.h"

#include "hid/touch_slots.h"

#include <cstring>

namespace qvlib::touch {

namespace {

constexpr uint8_t kMarker[4] = {0xFE, 0xDC, 0xBA, 0x98};

int ClampSlot(int slot) { return slot >= 0 && slot < kSlots ? slot : kUnknownSlot; }

}  // namespace

void Decoder::reset() {
    std::lock_guard lock(mutex_);
    down_.fill(false);
    marker_.fill(false);
}

bool Decoder::decode(int slot, const uint8_t p[5], TouchCall* call) {
    slot = ClampSlot(slot);
    if (!p[0] && !p[1] && !p[2] && !p[3] && !p[4]) return false;  // padding, not a packet

    std::lock_guard lock(mutex_);
    if (capture_ && headCount_ < kHeadCapacity) head_[headCount_++] = p[0];

    const uint8_t status = p[0];
    const int id = status & 0x0F;
    TouchCall c;
    c.x = p[1] | p[2] << 8;
    c.y = p[3] | p[4] << 8;
    bool& down = down_[size_t(slot) * kIds + size_t(id)];

    if (status >= 0x70 && status <= 0x7F) {
        c.state = 0x10 + id;
        down = true;
    } else if ((status >= 0x30 && status <= 0x4F) || (status >= 0x60 && status <= 0x6F)) {
        if (!down) return false;  // an up without a down
        down = false;
        c.state = 0x20 + id;
    } else if (status == 0x0A || status == 0x8A) {
        c.state = status == 0x0A ? 0x30 : 0x40;
        if (slot != kUnknownSlot) {
            if (std::memcmp(p + 1, kMarker, 4) == 0) {
                marker_[size_t(slot)] = true;
                c.x = c.y = 0;
            } else if (marker_[size_t(slot)]) {
                // The first report after the marker repeats what the marker said.
                marker_[size_t(slot)] = false;
                return false;
            }
        }
    } else if (status == 0x8F) {
        c.state = 0x50;
    } else if (status == 0x8B) {
        c.state = 0x60;
        c.x = 0;
        c.y = p[4];
    } else {
        c.state = 0xF0 + id;
    }
    *call = c;
    return true;
}

void Decoder::setCapture(bool on) {
    std::lock_guard lock(mutex_);
    headCount_ = 0;
    capture_ = on;
}

int Decoder::captureCount() const {
    std::lock_guard lock(mutex_);
    return int(headCount_);
}

bool Decoder::captureByte(int position, uint8_t* out) const {
    std::lock_guard lock(mutex_);
    if (position < 0 || size_t(position) >= headCount_ || !out) return false;
    *out = head_[size_t(position)];
    return true;
}

ReportLayout LayoutOfReport(const uint8_t* report, size_t size, bool form3508) {
    ReportLayout l;
    if (!report || size < 2) return l;
    if (form3508) {
        if (size < 14) return l;  // shorter than one packet of this form
        l.packetSize = (size - 4) / 2;
    }
    l.packets = (size - 1) / l.packetSize;
    if (size > 13) {
        l.hasForce = true;
        l.force = uint16_t(report[11] | report[12] << 8);
    }
    return l;
}

std::vector<std::array<uint8_t, 5>> PacketsOfReport(const uint8_t* report, size_t size, bool form3508) {
    const ReportLayout l = LayoutOfReport(report, size, form3508);
    if (l.packets == 0) return {};
    return qvhid::touchReportSlots({report, size}, l.packetSize);
}

void SerialAssembler::setSeries(uint8_t series) {
    series_ = series;
    fill_ = 0;
}

bool SerialAssembler::startsPacket(uint8_t b) const {
    if (series_ == 2) return (b >> 4) == 0xF || (b >> 4) == 0xB;
    if (b >= 0x70 && b <= 0x7F) return true;
    return (b >> 4) == (series_ == 1 ? 0x3 : 0x4);
}

void SerialAssembler::feed(const uint8_t* data, size_t n, std::vector<std::array<uint8_t, 5>>* out) {
    for (size_t i = 0; i < n; ++i) push(data[i], out);
}

void SerialAssembler::push(uint8_t b, std::vector<std::array<uint8_t, 5>>* out) {
    if (fill_ == 0 && !startsPacket(b)) return;
    buffer_[fill_++] = b;
    if (series_ == 2) {
        if (fill_ < 5) return;
        fill_ = 0;
        const uint8_t status = (buffer_[0] >> 4) == 0xF ? 0x70 : 0x40;
        const unsigned x = buffer_[1] * 128u + buffer_[2];
        const unsigned y = buffer_[3] * 128u + buffer_[4];
        out->push_back({status, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8)});
        return;
    }
    if (fill_ < 6) return;
    unsigned sum = 0;
    for (int i = 0; i < 5; ++i) sum += buffer_[size_t(i)];
    fill_ = 0;
    if (buffer_[5] == uint8_t(~sum)) {
        out->push_back({buffer_[0], buffer_[1], buffer_[2], buffer_[3], buffer_[4]});
        return;
    }
    // A corrupt packet: drop its first byte and look for a packet start in the rest.
    const std::array<uint8_t, 6> rest = buffer_;
    for (size_t i = 1; i < 6; ++i) push(rest[i], out);
}

std::array<uint8_t, 11> PnpIdentifier(uint8_t series, uint8_t revision0, uint8_t revision1) {
    const char* digits = series == 2 ? "9000" : "6000";
    const uint8_t plain[11] = {'(', revision0, revision1, 'Q', 'R', 'V',
                               uint8_t(digits[0]), uint8_t(digits[1]), uint8_t(digits[2]), uint8_t(digits[3]), ')'};
    std::array<uint8_t, 11> id{};
    for (size_t i = 0; i < 11; ++i) id[i] = plain[i] | 0x80;
    return id;
}

void PnpMatcher::restart(uint8_t series) {
    series_ = series;
    matched_ = 0;
    result_ = (series == 1 || series == 2) ? 0 : 0xFF;
}

uint8_t PnpMatcher::feed(const uint8_t* data, size_t n) {
    if (result_ != 0) return result_;
    const std::array<uint8_t, 11> want = PnpIdentifier(series_);
    for (size_t i = 0; i < n && result_ == 0; ++i) {
        const uint8_t b = data[i];
        if (matched_ == 0) {
            if (b == want[0]) matched_ = 1;  // anything before the identifier is skipped
            continue;
        }
        // The two revision bytes are the controller's own; they are not compared.
        if (matched_ == 1 || matched_ == 2 || b == want[matched_]) {
            if (++matched_ == want.size()) result_ = 1;
        } else {
            matched_ = 0;
            result_ = 0xFF;
        }
    }
    return result_;
}

}  // namespace qvlib::touch
