// The N4 transport on the real linux backend: the HID search over sysfs and
// the report descriptors, feature reports through hidraw ioctls with the
// write's retries, and the walk from a USB device to its HID node.
#include "emulated_support.h"
#include "n4_internal.h"

#include <cerrno>
#include <cstdlib>

namespace qvmock {
namespace {

namespace n4 = qvlib::n4;

std::string Letter(const CallRecord& c) {
    std::string s = c.call == Call::SetFeature ? "S" : c.call == Call::GetFeature ? "G" : callName(c.call);
    if (c.error) s += ":" + std::to_string(c.error);
    return s;
}

class MockN4 : public MockTest {
protected:
    std::shared_ptr<qvsim::Controller> ctl = std::make_shared<qvsim::Controller>();
    std::string touchNode, node;

    // A touch-screen interface (no feature report) before the controller's
    // vendor interface, on one USB device.
    void plug() {
        Interface touch = ControllerA(nullptr);
        touch.number = 0;
        touch.descriptor = touchScreenDescriptor(2, 4095, 2);
        touchNode = bed->add(touch);
        Interface vendor = ControllerA(ctl);
        vendor.number = 1;
        node = bed->add(vendor);
    }
    void TearDown() override {
        n4::ResetSettings();
        MockTest::TearDown();
    }
};

TEST_F(MockN4, OpensTheCommandNodeAndExchangesFeatureReports) {
    plug();
    if (skipped()) return;
    qvlib::DevInfo ctx = n4::NewContext();
    ASSERT_EQ(n4::OpenHid(ctx), 1) << qvp::lastError().text;
    EXPECT_EQ(std::string(ctx.szPath), node);
    EXPECT_EQ(ctx.bWin8Ptl, 1);  // the vendor descriptor uses report ids
    EXPECT_TRUE(bed->calls(touchNode).empty());

    bed->clearCalls(node);
    uint8_t reply[5] = {};
    EXPECT_EQ(n4::Exchange(ctx, 0xEE, 0, 0, 0, 0, reply), 0);
    EXPECT_EQ(reply[0], 0xEE);

    // A node that is not there answers again after two waits of 200 ms.
    bed->clearCalls(node);
    bed->fail(node, Call::SetFeature, ENODEV, 2);
    const uint64_t before = clock->nowMs();
    EXPECT_EQ(n4::Exchange(ctx, 0xED, 0, 0, 0, 0, reply), 0);
    EXPECT_EQ(clock->nowMs() - before, 400u);
    std::vector<std::string> seen;
    for (const auto& c : bed->calls(node)) seen.push_back(Letter(c));
    EXPECT_EQ(seen, (std::vector<std::string>{"S:" + std::to_string(ENODEV), "S:" + std::to_string(ENODEV), "S", "G"}));
    // Another failure is not retried by the write (the send retries it after 5 ms).
    bed->clearCalls(node);
    bed->fail(node, Call::SetFeature, EPIPE, 1);
    const uint64_t again = clock->nowMs();
    EXPECT_EQ(n4::Exchange(ctx, 0xED, 0, 0, 0, 0, reply), 0);
    EXPECT_EQ(clock->nowMs() - again, 5u);
    n4::Close(ctx);
}

TEST_F(MockN4, FindsTheHidNodeOfAUsbDeviceThatAnswers) {
    plug();
    if (skipped()) return;
    char* usb = tch_get_usb_path_by_id("USB");
    ASSERT_NE(usb, nullptr);
    const std::string usbPath = usb;
    std::free(usb);
    EXPECT_EQ(usbPath, bed->sysfsPath(node, Level::UsbDevice));
    // The touch-screen node does not answer the identity command; the vendor one does.
    EXPECT_EQ(n4::device_get_hid_path(usbPath), node);
    const auto trace = ctl->trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back().packet, (qvsim::Packet{0xEE, 0, 0, 0, 0}));

    // A controller that never answers: five walks 300 ms apart, then nothing.
    ctl->silence(0xEE);
    const uint64_t before = clock->nowMs();
    EXPECT_EQ(n4::device_get_hid_path(usbPath), "");
    EXPECT_GE(clock->nowMs() - before, 4u * 300);
    EXPECT_EQ(n4::device_get_hid_path(usbPath + "/nothing"), "");
}

}  // namespace
}  // namespace qvmock
