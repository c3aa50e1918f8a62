// Enumeration on the real linux backend: the sysfs tree of two controllers, a
// controller's digitizer interface and another maker's device, as the kernel
// lays them out, read through umockdev; what the platform lists and what the
// library reports from it.
#include "emulated_support.h"

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace qvmock {
namespace {

struct Found {
    std::string path, name, key;
    uint32_t location = 0;
    bool operator==(const Found&) const = default;
};
void PrintTo(const Found& f, std::ostream* os) {
    *os << "{" << f.path << ", " << f.name << ", " << f.key << ", " << f.location << "}";
}

std::vector<Found> g_found;
int OnA(const char* p, const char* n, uint32_t loc) {
    g_found.push_back({p, n, "", loc});
    return 1;
}
int OnExA(const char* p, const char* n, const char* k) {
    g_found.push_back({p, n, k, 0});
    return 1;
}

class MockEnumeration : public MockTest {
protected:
    std::shared_ptr<qvsim::Controller> a, b;
    std::string nodeA, digitizerA, nodeB, foreign;

    // hidraw0: controller A; hidraw1: A's touch screen; hidraw2: controller B;
    // hidraw3: another maker's device.
    void plugTheBench() {
        a = std::make_shared<qvsim::Controller>(CurrentControllerProfile());
        b = std::make_shared<qvsim::Controller>(OstraControllerProfile());
        const Interface itfA = ControllerA(a);
        nodeA = bed->add(itfA);
        digitizerA = bed->add(Digitizer(itfA, 2, 4095, 2));
        nodeB = bed->add(ControllerB(b));
        Interface other;
        other.usb.ports = "2";
        other.usb.vendorId = 0x1234;
        other.usb.productId = 0x3501;
        other.usb.serial = "K1";
        other.usb.manufacturer = "Other Maker";
        other.usb.product = "Keyboard";
        other.controller = std::make_shared<qvsim::Controller>();
        foreign = bed->add(other);
        g_found.clear();
    }
};

TEST_F(MockEnumeration, PlatformListsEveryHidrawNodeWithItsUsbParent) {
    plugTheBench();
    std::vector<qvp::HidInterface> list;
    ASSERT_TRUE(qvp::backend().listHidInterfaces(&list)) << qvp::lastError().text;
    ASSERT_EQ(list.size(), 4u);

    struct Want {
        std::string path, name;
        uint16_t vendor, product;
        std::string parent, maker;
        int inputLength;
    };
    const Want want[] = {
        {"/dev/hidraw0", "Acme Touch Touch Controller", 0x2E7B, 0x3501, "USB\\VID_2E7B&PID_3501\\QV35010001",
         "Acme Touch", 6},
        // Two fingers of 5 bytes after the report id.
        {"/dev/hidraw1", "Acme Touch Touch Controller", 0x2E7B, 0x3501, "USB\\VID_2E7B&PID_3501\\QV35010001",
         "Acme Touch", 11},
        // No serial number: the bus, then the ports of devpath 3.4.
        {"/dev/hidraw2", "Beta Panels Touch Controller", 0x2E7B, 0x6020, "USB\\VID_2E7B&PID_6020\\2&3&4",
         "Beta Panels", 6},
        {"/dev/hidraw3", "Other Maker Keyboard", 0x1234, 0x3501, "USB\\VID_1234&PID_3501\\K1", "Other Maker", 6},
    };
    for (size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(want[i].path);
        EXPECT_EQ(list[i].path, want[i].path);
        EXPECT_EQ(list[i].name, want[i].name);
        EXPECT_EQ(list[i].vendorId, want[i].vendor);
        EXPECT_EQ(list[i].productId, want[i].product);
        EXPECT_TRUE(list[i].hasParent);
        EXPECT_EQ(list[i].parentInstanceId, want[i].parent);
        EXPECT_TRUE(list[i].hasManufacturer);
        EXPECT_EQ(list[i].parentManufacturer, want[i].maker);
        EXPECT_EQ(list[i].inputReportLength, want[i].inputLength);

        std::string parent;
        ASSERT_TRUE(qvp::backend().parentInstanceId(list[i].path, &parent)) << qvp::lastError().text;
        EXPECT_EQ(parent, want[i].parent);
    }

    // The output report length comes from the node's own descriptor (HIDIOCGRDESC).
    qvp::Handle h = qvp::backend().open(nodeA, qvp::DeviceKind::Hid);
    ASSERT_NE(h, qvp::invalidHandle()) << qvp::lastError().text;
    EXPECT_EQ(qvp::backend().hidOutputReportLength(h), 64) << qvp::lastError().text;
    EXPECT_TRUE(qvp::backend().close(h));
    const auto calls = bed->calls(nodeA);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].call, Call::Descriptor);
    EXPECT_EQ(calls[1].length, vendorDescriptor(1).size());

    // A device without a manufacturer text has none, and an unplugged one is no longer listed.
    bed->vanish(foreign);
    Interface anonymous;
    anonymous.usb.ports = "5";
    anonymous.usb.productId = 0x3501;
    anonymous.usb.manufacturer.reset();
    anonymous.controller = std::make_shared<qvsim::Controller>();
    const std::string nodeAnonymous = bed->add(anonymous);
    ASSERT_TRUE(qvp::backend().listHidInterfaces(&list));
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[2].path, nodeB);
    EXPECT_EQ(list[3].path, nodeAnonymous);
    EXPECT_EQ(list[3].parentInstanceId, "USB\\VID_2E7B&PID_3501\\2&5");
    EXPECT_FALSE(list[3].hasManufacturer);
    std::string parent;
    EXPECT_FALSE(qvp::backend().parentInstanceId(foreign, &parent));
    EXPECT_EQ(qvp::lastError().kind, qvp::ErrorKind::NotFound);
}

TEST_F(MockEnumeration, LibraryReportsBothControllersByTheirUsbIdentity) {
    plugTheBench();
    ASSERT_EQ(EnumerateHidDevicesA(OnA), 1);
    // A is keyed by its serial number, whose every character counts as its
    // code minus '0' in the location (there is no '&'); B by bus and ports,
    // its location the number after the last '&'.
    const std::vector<Found> byLocation = {
        {"/dev/hidraw0", "QV6020A", "", 2475271633u},
        {"/dev/hidraw2", "QV6101", "", 4},
    };
    EXPECT_EQ(g_found, byLocation);

    g_found.clear();
    ASSERT_EQ(EnumerateHidDevicesExA(OnExA), 1);
    const std::vector<Found> byKey = {
        {"/dev/hidraw0", "QV6020A", "QV35010001", 0},
        {"/dev/hidraw2", "QV6101", "2&3&4", 0},
    };
    EXPECT_EQ(g_found, byKey);

    // Both are registered: their paths open the table's handles, with the series from the product.
    HANDLE ha = INVALID_HANDLE_VALUE, hb = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OpenDeviceA("/dev/hidraw0", &ha), 1);
    ASSERT_EQ(OpenDeviceA("/dev/hidraw2", &hb), 1);
    uint8_t series = 9;
    ASSERT_EQ(GetQVOstraMelk(ha, &series), 1);
    EXPECT_EQ(series, QV_SERIES_CURRENT);
    ASSERT_EQ(GetQVOstraMelk(hb, &series), 1);
    EXPECT_EQ(series, QV_SERIES_OSTRA);

    // Neither the other maker's device nor the digitizer interface is a controller:
    // the first is never opened, the second does not answer the identity probe.
    EXPECT_EQ(OpenDeviceA(foreign.c_str(), &ha), 0);
    EXPECT_EQ(OpenDeviceA(digitizerA.c_str(), &ha), 0);
    for (const auto& c : bed->calls(foreign)) ADD_FAILURE() << "the other maker's node got " << callName(c.call);
    const auto probe = bed->calls(digitizerA);
    ASSERT_FALSE(probe.empty());
    for (const auto& c : probe) {
        EXPECT_EQ(c.call, Call::SetFeature);
        EXPECT_EQ(c.error, EPIPE);
    }

    // The find form stops at the first controller.
    char name[20] = {};
    HANDLE found = INVALID_HANDLE_VALUE;
    ASSERT_EQ(FindHidDeviceA(&found, name), 1);
    EXPECT_STREQ(name, "QV6020A");
    EXPECT_NE(found, INVALID_HANDLE_VALUE);
}

// How many of this process's file descriptors are open on the node.
int OpenDescriptorsOn(const std::string& node) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const auto target = std::filesystem::read_symlink(e.path(), ec);
        if (!ec && target.filename() == std::filesystem::path(node).filename()) ++n;
    }
    return n;
}

TEST_F(MockEnumeration, FindingAgainKeepsOneHandleOnTheController) {
    plugTheBench();
    ASSERT_EQ(EnumerateHidDevicesA(OnA), 1);
    ASSERT_EQ(OpenDescriptorsOn(nodeA), 1);
    // Each Find registers the controller with a fresh probe handle; the slot's
    // previous one must be closed, not left open behind the table's back.
    for (int i = 0; i < 3; ++i) {
        char name[20] = {};
        HANDLE found = INVALID_HANDLE_VALUE;
        ASSERT_EQ(FindHidDeviceA(&found, name), 1);
        EXPECT_EQ(OpenDescriptorsOn(nodeA), 1) << "after Find " << i + 1;
        HANDLE opened = INVALID_HANDLE_VALUE;
        ASSERT_EQ(OpenDeviceA(nodeA.c_str(), &opened), 1);
        EXPECT_EQ(opened, found);
    }
    qvlib::LibraryDetach();
    EXPECT_EQ(OpenDescriptorsOn(nodeA), 0);
    qvlib::LibraryAttach(false);
}

TEST_F(MockEnumeration, LogLinesSayWhyTheOtherNodesDropOut) {
    plugTheBench();
    const std::string log = std::string(QV_BINARY_DIR) + "/tests/mock_enum.log";
    std::remove(log.c_str());
    SetCommandLogPathA(log.c_str());
    ASSERT_EQ(EnableLogCommandLine(1), 1);
    ASSERT_EQ(EnumerateHidDevicesA(OnA), 1);
    EnableLogCommandLine(0);
    std::ifstream in(log, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    std::remove(log.c_str());
    // The vendor's nodes are tried; only the digitizer fails the identity probe.
    size_t tried = 0, failed = 0;
    for (size_t p = 0; (p = text.find("[devInfo.byQVOstraMelk", p)) != std::string::npos; ++p) ++tried;
    for (size_t p = 0; (p = text.find("[!cmdEE || !cmdED]", p)) != std::string::npos; ++p) ++failed;
    EXPECT_EQ(tried, 3u) << text;
    EXPECT_EQ(failed, 1u) << text;
    EXPECT_NE(text.find("[HidP_GetCaps : devInfo.bWin8Ptl = 0001]"), std::string::npos) << text;
}

}  // namespace
}  // namespace qvmock
