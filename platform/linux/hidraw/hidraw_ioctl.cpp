#include "hidraw/hidraw_ioctl.h"

#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace qvhidraw {

namespace {

std::string errnoText(int err) {
    char buf[128];
    // GNU strerror_r: returns the text, which need not be buf.
    return strerror_r(err, buf, sizeof buf);
}

bool fail(Failure* why, int err, const char* call, const std::string& path, const std::string& reason) {
    if (why) {
        why->err = err;
        why->text = std::string(call) + " " + path + ": " + reason;
    }
    return false;
}

bool failErrno(Failure* why, const char* call, const std::string& path) {
    const int err = errno;
    return fail(why, err, call, path, errnoText(err));
}

}  // namespace

bool readRawInfo(int fd, const std::string& path, RawInfo* out, Failure* why) {
    hidraw_devinfo info{};
    if (::ioctl(fd, HIDIOCGRAWINFO, &info) < 0) return failErrno(why, "ioctl (HIDIOCGRAWINFO)", path);
    out->bus = info.bustype;
    out->vendor = static_cast<uint16_t>(info.vendor);
    out->product = static_cast<uint16_t>(info.product);
    return true;
}

bool readReportDescriptor(int fd, const std::string& path, std::vector<uint8_t>* out, Failure* why) {
    int size = 0;
    if (::ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0) return failErrno(why, "ioctl (HIDIOCGRDESCSIZE)", path);
    if (size < 0 || size > HID_MAX_DESCRIPTOR_SIZE)
        return fail(why, 0, "ioctl (HIDIOCGRDESCSIZE)", path,
                    "descriptor size " + std::to_string(size) + " is outside 0.." +
                        std::to_string(HID_MAX_DESCRIPTOR_SIZE));
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<uint32_t>(size);
    if (::ioctl(fd, HIDIOCGRDESC, &descriptor) < 0) return failErrno(why, "ioctl (HIDIOCGRDESC)", path);
    out->assign(descriptor.value, descriptor.value + descriptor.size);
    return true;
}

}  // namespace qvhidraw
