// The input and output report lengths read out of HID report descriptors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "linux_backend.h"

namespace qvp {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(HidReportDescriptor, InputReportLength) {
    struct Case {
        const char* what;
        Bytes bytes;
        size_t len;  // how much of bytes is the descriptor; the rest lies beyond its end
        int expected;
    };
    constexpr size_t all = ~size_t{0};
    const Case cases[] = {
        {"empty", {}, all, 0},
        {"feature and output only", {0x75, 0x08, 0x95, 0x04, 0xB1, 0x02, 0x91, 0x02}, all, 0},
        {"no report ids: bits round up to a byte", {0x75, 0x01, 0x95, 0x03, 0x81, 0x02}, all, 2},
        {"no report ids: items add up",
         {0x75, 0x08, 0x95, 0x02, 0x81, 0x02, 0x75, 0x04, 0x95, 0x03, 0x81, 0x02}, all, 5},
        {"report ids: the longest report, its items added wherever they stand",
         {0x85, 0x01, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02,   // id 1: 2 bytes
          0x85, 0x02, 0x95, 0x04, 0x81, 0x02,               // id 2: 4 bytes
          0x85, 0x01, 0x95, 0x03, 0x81, 0x02},              // id 1: 3 more
         all, 6},
        {"pop restores size, count and report id",
         {0x85, 0x01, 0x75, 0x08, 0x95, 0x06, 0xA4,         // id 1, 8 x 6, push
          0x85, 0x02, 0x75, 0x10, 0x95, 0x01, 0x81, 0x02,   // id 2: 16 bits
          0xB4, 0x81, 0x02},                                // pop: id 1, 48 bits
         all, 7},
        {"four-byte item data", {0x75, 0x08, 0x97, 0x0A, 0x00, 0x00, 0x00, 0x81, 0x02}, all, 11},
        {"long item skipped, its data not read as items",
         {0xFE, 0x03, 0x10, 0x81, 0x81, 0x81, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02}, all, 3},
        {"report at the kernel's limit", {0x75, 0x08, 0x96, 0xFF, 0x3F, 0x81, 0x02}, all, 16384},
        {"report over the kernel's limit", {0x75, 0x08, 0x96, 0x00, 0x40, 0x81, 0x02}, all, -1},
        {"huge size times count", {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02}, all, -1},
        {"pop without push", {0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xB4}, all, -1},
        {"report id 0", {0x85, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}, all, -1},
        {"report id 256", {0x86, 0x00, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}, all, -1},
        // Cut off descriptors, with what would complete them lying just past the end.
        {"item data cut off", {0x75, 0x08, 0x95, 0x02, 0x81, 0x02}, 5, -1},
        {"four-byte data cut off", {0x75, 0x08, 0x97, 0x02, 0x00, 0x00, 0x00, 0x81, 0x02}, 6, -1},
        {"long item header cut off", {0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xFE, 0x00, 0x10}, 7, -1},
        {"long item data cut off", {0xFE, 0x04, 0x10, 0x01, 0x02, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}, 5, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t len = c.len == all ? c.bytes.size() : c.len;
        // The descriptor is copied to a buffer of exactly its length, so that reading past it is an error
        // the sanitizer builds report; the original keeps the bytes beyond it for the plain builds.
        const Bytes exact(c.bytes.begin(), c.bytes.begin() + static_cast<std::ptrdiff_t>(len));
        EXPECT_EQ(linuxdev::inputReportLength(exact.data(), exact.size()), c.expected);
        EXPECT_EQ(linuxdev::inputReportLength(c.bytes.data(), len), c.expected);
    }
}

TEST(HidReportDescriptor, OutputReportLengthBesideTheInputOne) {
    struct Case {
        const char* what;
        Bytes bytes;
        int input, output;
    };
    const Case cases[] = {
        {"input and feature only", {0x75, 0x08, 0x95, 0x04, 0x81, 0x02, 0xB1, 0x02}, 5, 0},
        {"no report ids: the id byte is counted", {0x75, 0x08, 0x95, 0x05, 0x91, 0x02}, 0, 6},
        {"report ids: each kind its own longest report",
         {0x85, 0x01, 0x75, 0x08, 0x95, 0x3F, 0x91, 0x02,               // id 1: 63 output bytes
          0x85, 0x02, 0x95, 0x40, 0x81, 0x02, 0x95, 0x05, 0x91, 0x02},  // id 2: 64 input, 5 output
         65, 64},
        {"malformed", {0x75, 0x08, 0x95, 0x05, 0x91}, -1, -1},
        {"an input report over the kernel's limit spoils the device",
         {0x75, 0x08, 0x96, 0x00, 0x40, 0x81, 0x02, 0x95, 0x01, 0x91, 0x02}, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(linuxdev::inputReportLength(c.bytes.data(), c.bytes.size()), c.input);
        EXPECT_EQ(linuxdev::outputReportLength(c.bytes.data(), c.bytes.size()), c.output);
    }
    EXPECT_EQ(linuxdev::outputReportLength(nullptr, 12), 0) << "no descriptor reads as an empty one";
    // The reason for a malformed one, for the caller's error text.
    const Bytes cut = {0x75, 0x08, 0x95, 0x05, 0x91};
    std::string why;
    EXPECT_EQ(linuxdev::outputReportLength(cut.data(), cut.size(), &why), -1);
    EXPECT_NE(why.find("at byte 4"), std::string::npos) << why;
}

}  // namespace
}  // namespace qvp
