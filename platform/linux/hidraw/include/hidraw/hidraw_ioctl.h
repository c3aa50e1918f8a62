// The hidraw node's own questions: its bus and ids (HIDIOCGRAWINFO) and its
// report descriptor (HIDIOCGRDESCSIZE, then HIDIOCGRDESC), asked on an open
// node. The linux backend and QVDraw3 both ask them here; QVDraw3 links this
// alone, without the controller library or its platform layer.
//
// A failure keeps its reason with context, "ioctl (HIDIOCGRDESC) <path>:
// <strerror>", and the errno of the call that failed, from which the platform
// layer takes its error kind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvhidraw {

struct Failure {
    int err = 0;       // errno of the failed call; 0 when the call worked but its answer is unusable
    std::string text;  // "<call> <path>: <reason>"
};

struct RawInfo {
    uint32_t bus = 0;  // BUS_USB, BUS_I2C, ...
    uint16_t vendor = 0;
    uint16_t product = 0;
};

// HIDIOCGRAWINFO on the node open as fd at path. false with *why (when given).
bool readRawInfo(int fd, const std::string& path, RawInfo* out, Failure* why = nullptr);

// The report descriptor as the kernel keeps it. A size outside
// 0..HID_MAX_DESCRIPTOR_SIZE is refused before the descriptor is read.
bool readReportDescriptor(int fd, const std::string& path, std::vector<uint8_t>* out, Failure* why = nullptr);

}  // namespace qvhidraw
