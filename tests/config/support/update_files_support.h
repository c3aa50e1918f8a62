// The firmware the Field Update tests and the update benchmark program into
// the update profile's controller: its image, the identity its simulated loader
// then runs, the parameter lists a package carries for it, and the flash a
// whole image leaves. Bytes only (the test-side writer), no test framework.
#pragma once

#include "firmware_writer_support.h"
#include "qvsim.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace updatetest {

// The update profile's firmware with another minor version and build.
inline fwtest::Image NewImage(size_t bytes = 3 * 256 + 10) {
    fwtest::Image im;
    im.product = 2081;
    im.letter = 1;
    im.major = 2;
    im.minor = 6;
    im.customer = 3;
    im.build1 = 1;
    im.data.resize(bytes);
    for (size_t i = 0; i < bytes; ++i) im.data[i] = uint8_t(i * 13 + 7);
    // The program begins with a copy of its header: the firmware names itself by it.
    const fwtest::Bytes h = fwtest::header(im);
    std::copy(h.begin(), h.end(), im.data.begin());
    return im;
}

// The identity the controller runs once its flash holds NewImage.
inline qvsim::FirmwareIdentity NewIdentity() { return qvsim::FirmwareIdentity{2, 6, 3, 1, 0}; }

// PARA in mode 1 (the controller's CRC mode) with lists the controller keeps as
// they are: the bytes the firmware writes itself are 0, as in a package read
// from a controller, and boot byte 14 (the scan-mode register) is the
// controller's own value. The CRC is the package writer's.
inline fwtest::Para ControllerPara(uint8_t scanModeByte) {
    fwtest::Para para;
    para.flags = 0x02;
    for (size_t i = 0; i < para.touch.size(); ++i) para.touch[i] = uint8_t(i + 1);
    for (size_t i = 0; i < para.boot.size(); ++i) para.boot[i] = uint8_t(0x80 + i);
    for (size_t i : {63, 127}) para.touch[i] = 0;
    for (size_t i : {15, 61, 63}) para.boot[i] = 0;
    para.boot[14] = scanModeByte;
    return para;
}

// A package of one image with ControllerPara.
inline fwtest::Bytes Package(const fwtest::Image& im, uint8_t scanModeByte) {
    fwtest::Package p;
    p.images = {im};
    p.para = ControllerPara(scanModeByte);
    return fwtest::package(p);
}

// The flash after a whole image: the image padded with 0xFF to whole blocks.
inline std::vector<uint8_t> Padded(const fwtest::Bytes& data, size_t block = 256) {
    std::vector<uint8_t> v(data.begin(), data.end());
    v.resize((v.size() + block - 1) / block * block, 0xFF);
    return v;
}

}  // namespace updatetest
