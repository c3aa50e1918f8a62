// Parameter and virtual-key checksums: known answers computed apart from the
// library (tests/data/crc/make_vectors.py), the positions each mode ignores, and
// the checksum the controller keeps.
#include "library_info_support.h"

#include <cstring>
#include <fstream>
#include <sstream>

using namespace qvtest;

namespace {

std::vector<uint8_t> FromHex(const std::string& s) {
    std::vector<uint8_t> out;
    if (s == "-") return out;
    for (size_t i = 0; i + 1 < s.size(); i += 2) out.push_back(uint8_t(std::stoi(s.substr(i, 2), nullptr, 16)));
    return out;
}

struct ParamVector {
    int mode;
    uint16_t start;
    std::vector<uint8_t> touch, boot;
    uint16_t crc;
};
struct VKeyVector {
    int size, count;
    std::vector<uint8_t> entries;
    uint16_t crc;
};

void LoadVectors(std::vector<ParamVector>* params, std::vector<VKeyVector>* keys) {
    std::ifstream f(std::string(QV_SOURCE_DIR) + "/tests/data/crc/vectors.txt");
    ASSERT_TRUE(f) << "tests/data/crc/vectors.txt";
    std::string line;
    while (std::getline(f, line)) {
        std::istringstream in(line);
        std::string kind;
        in >> kind;
        if (kind == "P") {
            ParamVector v;
            std::string start, touch, boot, crc;
            in >> v.mode >> start >> touch >> boot >> crc;
            v.start = uint16_t(std::stoul(start, nullptr, 16));
            v.touch = FromHex(touch);
            v.boot = FromHex(boot);
            v.crc = uint16_t(std::stoul(crc, nullptr, 16));
            params->push_back(v);
        } else if (kind == "V") {
            VKeyVector v;
            std::string entries, crc;
            in >> v.size >> v.count >> entries >> crc;
            v.entries = FromHex(entries);
            v.crc = uint16_t(std::stoul(crc, nullptr, 16));
            keys->push_back(v);
        }
    }
    ASSERT_GE(params->size(), 40u);
    ASSERT_GE(keys->size(), 8u);
}

// Each image in its own allocation of exactly its length, so a read or write past
// it is a heap overflow for the sanitizer build.
struct Images {
    std::unique_ptr<uint8_t[]> touch, boot;
    uint32_t lengths[2];
    const uint8_t* ptrs[2];
    Images(const std::vector<uint8_t>& t, const std::vector<uint8_t>& b)
        : touch(new uint8_t[t.size()]), boot(new uint8_t[b.size()]), lengths{uint32_t(t.size()), uint32_t(b.size())} {
        std::copy(t.begin(), t.end(), touch.get());
        std::copy(b.begin(), b.end(), boot.get());
        ptrs[0] = touch.get();
        ptrs[1] = boot.get();
    }
};

uint16_t Crc(int mode, const std::vector<uint8_t>& t, const std::vector<uint8_t>& b) {
    Images im(t, b);
    uint16_t crc = 0;
    EXPECT_EQ(CalculateParameterCRC(mode, im.lengths, im.ptrs, &crc), 1);
    return crc;
}

TEST(ParameterChecksum, KnownAnswers) {
    std::vector<ParamVector> params;
    std::vector<VKeyVector> keys;
    LoadVectors(&params, &keys);
    for (const auto& v : params) {
        SCOPED_TRACE(testing::Message() << "mode " << v.mode << " start " << std::hex << v.start << std::dec
                                        << " lengths " << v.touch.size() << "/" << v.boot.size());
        Images im(v.touch, v.boot);
        uint16_t crc = 0, crcN4 = 0;
        EXPECT_EQ(CalculateParameterCRCEx(v.mode, v.start, im.lengths, im.ptrs, &crc), 1);
        EXPECT_EQ(crc, v.crc);
        EXPECT_EQ(QuorvaneN4_CalSWParamCRCEx(v.mode, v.start, im.lengths, im.ptrs, &crcN4), 0);
        EXPECT_EQ(crcN4, v.crc);
        if (v.start == 0xFFFF) {
            EXPECT_EQ(CalculateParameterCRC(v.mode, im.lengths, im.ptrs, &crc), 1);
            EXPECT_EQ(crc, v.crc);
            crcN4 = 0;
            QuorvaneN4_CalSWParamCRC(v.mode, im.lengths, im.ptrs, &crcN4);
            EXPECT_EQ(crcN4, v.crc);
        }
        // The caller's images are only read.
        EXPECT_TRUE(std::equal(v.touch.begin(), v.touch.end(), im.touch.get()));
        EXPECT_TRUE(std::equal(v.boot.begin(), v.boot.end(), im.boot.get()));
    }
    for (const auto& v : keys) {
        SCOPED_TRACE(testing::Message() << "entry size " << v.size << " count " << v.count);
        VButtonTable t;
        std::memcpy(t.entry, v.entries.data(), sizeof t.entry);
        t.entrySize = uint8_t(v.size);
        t.usedCount = uint8_t(v.count);
        t.crc = 0;
        ASSERT_EQ(CalculateVirtualButtonCRC(&t), 1);
        EXPECT_EQ(t.crc, v.crc);
        t.crc = 0;
        QuorvaneN4_CalVKeyCRC(&t);
        EXPECT_EQ(t.crc, v.crc);
    }
}

TEST(ParameterChecksum, PositionsEachModeIgnores) {
    struct Case {
        const char* what;
        size_t touchLength, bootLength;
        bool inBoot;  // the position is in the boot image
        size_t at;
        uint8_t from, to;
        bool mode0Changes, mode1Changes;
    };
    const Case cases[] = {
        {"touch byte 60", 128, 64, false, 60, 0x10, 0x11, true, true},
        {"touch byte 61", 128, 64, false, 61, 0x10, 0x11, false, true},
        {"touch byte 63", 128, 64, false, 63, 0x10, 0x11, false, false},
        {"touch byte 127", 128, 64, false, 127, 0x10, 0x11, false, false},
        {"boot byte 0 below 64", 64, 16, true, 0, 0x10, 0x11, true, true},
        {"boot byte 0, same high bits", 128, 64, true, 0, 0x41, 0x7F, false, true},
        {"boot byte 0, other high bits", 128, 64, true, 0, 0x41, 0x81, true, true},
        {"boot byte 15", 128, 64, true, 15, 0x10, 0x11, false, false},
        {"boot byte 61", 128, 64, true, 61, 0x10, 0x11, false, false},
        {"boot byte 63", 128, 64, true, 63, 0x10, 0x11, false, false},
        {"boot byte 62", 128, 64, true, 62, 0x10, 0x11, true, true},
        // Short images: the fixed positions lie outside them, so nothing else is cleared.
        {"boot byte 27 after a 100-byte touch image", 100, 40, true, 27, 0x10, 0x11, true, true},
        {"touch byte 99 of 100", 100, 40, false, 99, 0x10, 0x11, true, true},
        {"boot byte 16 of 17", 65, 17, true, 16, 0x10, 0x11, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> t(c.touchLength, 0x5A), b(c.bootLength, 0x21);
        auto& image = c.inBoot ? b : t;
        image[c.at] = c.from;
        const uint16_t m0 = Crc(0, t, b), m1 = Crc(1, t, b);
        image[c.at] = c.to;
        EXPECT_EQ(Crc(0, t, b) != m0, c.mode0Changes);
        EXPECT_EQ(Crc(1, t, b) != m1, c.mode1Changes);
    }
}

TEST(ParameterChecksum, MissingArgumentsAreRefused) {
    const uint8_t touch[4] = {1, 2, 3, 4};
    const uint8_t* images[2] = {touch, nullptr};
    const uint32_t lengths[2] = {4, 1};  // a boot length without a boot image
    uint16_t crc = 0x1234;
    EXPECT_EQ(CalculateParameterCRCEx(0, 0xFFFF, lengths, images, &crc), 0);
    EXPECT_EQ(crc, 0x1234);
    EXPECT_EQ(CalculateParameterCRC(0, nullptr, images, &crc), 0);
    EXPECT_EQ(CalculateParameterCRC(0, lengths, images, nullptr), 0);
    EXPECT_EQ(CalculateVirtualButtonCRC(nullptr), 0);
    const uint32_t touchOnly[2] = {4, 0};
    EXPECT_EQ(CalculateParameterCRC(1, touchOnly, images, &crc), 1);
}

TEST(VirtualKeyChecksum, CoversUsedCountPlusOneEntries) {
    VButtonTable t;
    for (size_t e = 0; e < 16; ++e)
        for (size_t i = 0; i < 12; ++i) t.entry[e][i] = uint8_t(e * 16 + i);
    t.entrySize = 10;
    t.usedCount = 3;
    CalculateVirtualButtonCRC(&t);
    const uint16_t base = t.crc;
    auto changed = [&](size_t e, size_t i) {
        VButtonTable u = t;
        u.entry[e][i] ^= 0xFF;
        CalculateVirtualButtonCRC(&u);
        return u.crc != base;
    };
    EXPECT_TRUE(changed(0, 0));
    EXPECT_TRUE(changed(3, 9));    // entry usedCount is covered
    EXPECT_FALSE(changed(4, 0));   // entry usedCount + 1 is not
    EXPECT_FALSE(changed(2, 10));  // bytes past the entry size are not
    // A full table stops at its last entry instead of reading the count, size and checksum fields.
    t.usedCount = 16;
    t.entrySize = 12;
    CalculateVirtualButtonCRC(&t);
    const uint16_t full = t.crc;
    t.usedCount = 15;
    CalculateVirtualButtonCRC(&t);
    EXPECT_EQ(t.crc, full);
}

class ControllerChecksum : public InfoTest {};

TEST_F(ControllerChecksum, KeptByTheControllerOrComputedFromTheLists) {
    qvsim::ControllerProfile p;
    p.featureFC = {0x10, 0, 0, 0};  // feature byte 4 bit 4: the controller keeps the checksum
    makeHid(p);
    ctl->setReg(0x00, 0xFA, {0x34, 0x12, 0x00, 0x00});
    uint16_t crc = 0;
    ASSERT_EQ(GetParameterCRC(h, &crc), 1);
    EXPECT_EQ(crc, 0x1234);
    crc = 0;
    ASSERT_EQ(GetParameterCRCEx(h, nullptr, &crc), 1);
    EXPECT_EQ(crc, 0x1234);
    EXPECT_EQ(sent(), (std::vector<std::string>{"E0 00 FA 00 00", "E0 00 FA 00 00"}));
    ctl->refuse(0xE0);
    EXPECT_EQ(GetParameterCRC(h, &crc), 0);

    // Without it: no command; Ex computes over the lists (mode 0, from 0xFFFF).
    p.featureFC = {};
    makeHid(p, "/sim/hidraw1");
    EXPECT_EQ(GetParameterCRC(h, &crc), 0);
    EXPECT_EQ(GetParameterCRCEx(h, nullptr, &crc), 0);
    std::vector<ParamVector> params;
    std::vector<VKeyVector> keys;
    LoadVectors(&params, &keys);
    const ParamVector* v = nullptr;
    for (const auto& c : params)
        if (c.mode == 0 && c.start == 0xFFFF && c.touch.size() == 128 && c.boot.size() == 64) v = &c;
    ASSERT_NE(v, nullptr);
    std::vector<uint8_t> touch = v->touch, boot = v->boot;
    ParameterList lists{};
    lists.touchLength = 128;
    lists.bootLength = 64;
    lists.touchList = touch.data();
    lists.bootList = boot.data();
    ASSERT_EQ(GetParameterCRCEx(h, &lists, &crc), 1);
    EXPECT_EQ(crc, v->crc);
    EXPECT_TRUE(sent().empty());
    lists.bootList = nullptr;
    EXPECT_EQ(GetParameterCRCEx(h, &lists, &crc), 0);

    // Series controllers: nothing.
    p.series = qvsim::Series::Ostra;
    p.featureFC = {0x10, 0, 0, 0};
    makeHid(p, "/sim/hidraw2");
    EXPECT_EQ(GetParameterCRC(h, &crc), 0);
    lists.bootList = boot.data();
    EXPECT_EQ(GetParameterCRCEx(h, &lists, &crc), 0);
}

}  // namespace
