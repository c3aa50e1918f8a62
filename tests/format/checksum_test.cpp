// The controller files' 16-bit checksum against values known outside this
// code: over a message followed by two zero bytes it is the catalogued
// CRC-16/AUG-CCITT (from 0xFFFF shifted in, i.e. 0x1D0F as the initial value of
// the direct form), whose check value of "123456789" is 0xE5CC.
#include "format/checksum.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

std::vector<uint8_t> bytesOf(std::string_view s) { return {s.begin(), s.end()}; }

TEST(FormatChecksum, CataloguedValuesAndItsStart) {
    std::vector<uint8_t> check = bytesOf("123456789");
    check.push_back(0);
    check.push_back(0);
    EXPECT_EQ(qvfmt::Checksum16(0xFFFF, check), 0xE5CC);
    // From 0 over a zero-augmented message: the plain CRC-16/XMODEM (check 0x31C3).
    EXPECT_EQ(qvfmt::Checksum16(0x0000, check), 0x31C3);
    // Nothing to shift in leaves the start; the start of a later part is the value so far.
    EXPECT_EQ(qvfmt::Checksum16(0x1234, {}), 0x1234);
    const std::vector<uint8_t> a = bytesOf("12345"), b = bytesOf("6789");
    std::vector<uint8_t> ab = a;
    ab.insert(ab.end(), b.begin(), b.end());
    EXPECT_EQ(qvfmt::Checksum16(qvfmt::Checksum16(0xFFFF, a), b), qvfmt::Checksum16(0xFFFF, ab));
}

}  // namespace
