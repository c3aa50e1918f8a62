// The hidraw node's ids and report descriptor asked through the ioctls on
// emulated nodes (qvhidraw, which the linux backend and QVDraw3 share): what
// a working node answers, and how each failing call is named.
#include "hidraw/hidraw_ioctl.h"
#include "emulated_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qvmock {
namespace {

class MockHidrawIoctl : public MockTest {
protected:
    int openNode(const std::string& node) {
        const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
        EXPECT_GE(fd, 0) << node << ": " << std::strerror(errno);
        return fd;
    }
};

TEST_F(MockHidrawIoctl, AWorkingNodeGivesItsIdsAndItsDescriptor) {
    Interface itf = ControllerA(std::make_shared<qvsim::Controller>(CurrentControllerProfile()));
    const std::string node = bed->add(itf);
    const int fd = openNode(node);
    ASSERT_GE(fd, 0);

    qvhidraw::RawInfo info;
    qvhidraw::Failure why;
    ASSERT_TRUE(qvhidraw::readRawInfo(fd, node, &info, &why)) << why.text;
    EXPECT_EQ(info.vendor, 0x2E7B);
    EXPECT_EQ(info.product, 0x3501);
    std::vector<uint8_t> descriptor;
    ASSERT_TRUE(qvhidraw::readReportDescriptor(fd, node, &descriptor, &why)) << why.text;
    EXPECT_EQ(descriptor, itf.descriptor);
    ::close(fd);
}

TEST_F(MockHidrawIoctl, AFailedCallIsNamedWithTheNodeAndItsReason) {
    struct Case {
        const char* name;
        std::optional<Call> failing;  // the call made to fail with EIO
        size_t descriptorBytes;       // of the node's descriptor (0: a vendor interface's)
        int err;                      // expected in the failure; 0: no call failed, the answer is unusable
        std::string text;             // expected after "<call> <node>: "
        const char* call;
    };
    const Case cases[] = {
        {"ids refused", Call::Info, 0, EIO, std::strerror(EIO), "ioctl (HIDIOCGRAWINFO)"},
        {"descriptor size refused", Call::Descriptor, 0, EIO, std::strerror(EIO), "ioctl (HIDIOCGRDESCSIZE)"},
        // The kernel never keeps a descriptor above 4096 bytes: a larger size is not read.
        {"descriptor too long", std::nullopt, 4097, 0, "descriptor size 4097 is outside 0..4096",
         "ioctl (HIDIOCGRDESCSIZE)"},
    };
    int port = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Interface itf;
        itf.usb.ports = std::to_string(port++);
        if (c.descriptorBytes) itf.descriptor.assign(c.descriptorBytes, 0);
        const std::string node = bed->add(itf);
        if (c.failing) bed->fail(node, *c.failing, EIO);
        const int fd = openNode(node);
        ASSERT_GE(fd, 0);

        qvhidraw::Failure why;
        qvhidraw::RawInfo info;
        std::vector<uint8_t> descriptor;
        const bool ok = qvhidraw::readRawInfo(fd, node, &info, &why) &&
                        qvhidraw::readReportDescriptor(fd, node, &descriptor, &why);
        EXPECT_FALSE(ok);
        EXPECT_EQ(why.err, c.err);
        EXPECT_EQ(why.text, std::string(c.call) + " " + node + ": " + c.text);
        EXPECT_TRUE(descriptor.empty());
        ::close(fd);
    }
}

}  // namespace
}  // namespace qvmock
