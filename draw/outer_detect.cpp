#include "outer_detect.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qvdraw {

int ringIndex(int64_t squared, double ringPixels) {
    if (ringPixels <= 0) return kRings - 1;
    int k = 0;
    for (int i = 1; i < kRings; ++i)
        if (double(i) * i * ringPixels * ringPixels <= double(squared)) k = i;
    return k;
}

OuterDetect::OuterDetect(OuterDetectSettings settings, double pixelsPerMm) : pixelsPerMm_(pixelsPerMm) {
    setSettings(settings);
}

void OuterDetect::setSettings(const OuterDetectSettings& settings) {
    settings_ = settings;
    if (settings_.distanceMm < 1) settings_.distanceMm = 1;
}

void OuterDetect::reset() { contacts_.fill(ContactScore{}); }

void OuterDetect::addPoint(int id, int x, int y) {
    if (id < 0 || id >= kMaxContacts) return;
    ContactScore& c = contacts_[id];
    if (c.centreX < 0) {
        c.centreX = x;
        c.centreY = y;
        c.score = 0;
        return;
    }
    const double r = ringPixels();
    auto squaredTo = [&](const ContactScore& o) {
        int64_t dx = x - o.centreX, dy = y - o.centreY;
        return dx * dx + dy * dy;
    };
    int k = ringIndex(squaredTo(c), r);
    if (settings_.ignoreOtherFinger) {
        for (int o = 0; o < kMaxContacts; ++o) {
            if (o == id || contacts_[o].centreX < 0) continue;
            if (double(squaredTo(contacts_[o])) < r * r) { k = 0; break; }
        }
    }
    c.score += settings_.coefficients[k];
    c.rings[k] += 1;
    c.samples += 1;
}

std::string elapsedSecondsText(int64_t elapsedMs) {
    if (elapsedMs < 0) elapsedMs = 0;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%lld.%03lld", (long long)(elapsedMs / 1000), (long long)(elapsedMs % 1000));
    return buf;
}

std::string OuterDetect::logText(int64_t elapsedMs) const {
    std::string out = "\r\nElapsed Time : " + elapsedSecondsText(elapsedMs) + " (s)\r\n";
    char buf[160];
    const auto& k = settings_.coefficients;
    std::snprintf(buf, sizeof buf, "Coefficient : %d %d %d %d %d %d\r\n", k[0], k[1], k[2], k[3], k[4], k[5]);
    out += buf;
    for (int id = 0; id < kMaxContacts; ++id) {
        const ContactScore& c = contacts_[id];
        if (!c.seen()) continue;
        std::snprintf(buf, sizeof buf, "Point %d Noise Level : %d / %d\r\n", id, c.score, c.samples);
        out += buf;
        for (int j = 0; j < kRings; ++j) {
            std::snprintf(buf, sizeof buf, "Outer Range : %d (mm), Count : %d\r\n", j * settings_.distanceMm, c.rings[j]);
            out += buf;
        }
    }
    out += "\r\n";
    return out;
}

bool OuterDetect::appendLog(const std::string& path, int64_t elapsedMs, std::string* error) const {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) {
        if (error) *error = "cannot open \"" + path + "\" for appending: " + std::strerror(errno);
        return false;
    }
    const std::string text = logText(elapsedMs);
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    int savedErrno = errno;
    if (std::fclose(f) != 0 && ok) { ok = false; savedErrno = errno; }
    if (!ok && error) *error = "cannot write \"" + path + "\": " + std::strerror(savedErrno);
    return ok;
}

} // namespace qvdraw
