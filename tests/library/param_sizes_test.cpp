// Group records shorter than their fields: every Get and Set looks at cbSize
// before any other byte of the record. The records live in blocks of exactly
// their stated size (at least the size field itself), so the address sanitizer
// catches a read past them.
#include "library_param_support.h"

#include <memory>

namespace qvtest {
namespace {

// One export called on a record of the caller's block.
struct SizedExport {
    const char* name;
    bool set;
    int (*call)(HANDLE, void*);
};

#define QV_GET(Name, Record) \
    SizedExport { "Get" #Name, false, [](HANDLE h, void* r) { return GetParameter##Name(h, 0xFFFF, static_cast<Record*>(r)); } }
#define QV_SET(Name, Record) \
    SizedExport { "Set" #Name, true, [](HANDLE h, void* r) { return SetParameter##Name(h, static_cast<Record*>(r)); } }
#define QV_GROUP(Name, Record) QV_GET(Name, Record), QV_SET(Name, Record)

const SizedExport kExports[] = {
    SizedExport{"GetGeneralInfo", false,
                [](HANDLE h, void* r) { return GetParameterGeneralInfo(h, static_cast<ParameterGeneralInfo*>(r)); }},
    QV_GROUP(HostInterface, ParameterHostInterface),
    QV_GROUP(Panel, ParameterPanel),
    QV_GROUP(Finger, ParameterFinger),
    QV_GROUP(Palm, ParameterPalm),
    QV_GROUP(Base, ParameterBase),
    QV_GROUP(Water, ParameterWater),
    QV_GROUP(AntiNoise, ParameterAntiNoise),
    QV_GROUP(Coordinate, ParameterCoordinate),
    QV_GROUP(PowerSaving, ParameterPowerSaving),
    QV_GROUP(NormalScan, ParameterNormalScan),
    QV_GROUP(AbnormalScan, ParameterAbnormalScan),
    QV_GROUP(Misc, ParameterMisc),
    QV_GROUP(DriveIC, ParameterDriveIC),
    QV_GROUP(Debug, ParameterDebug),
    QV_GROUP(VButton, ParameterVButton),
    QV_GROUP(Custom, ParameterCustom),
};
#undef QV_GROUP
#undef QV_SET
#undef QV_GET

class RecordSizes : public ParamTest {};

TEST_F(RecordSizes, RecordsTooShortForTheirValidFieldAreRefusedUnread) {
    // The item protocol and the register forms of version-0 firmware alike.
    for (uint16_t version : {uint16_t(150), uint16_t(0)}) {
        make(ItemProfile(version));
        for (const SizedExport& e : kExports) {
            for (uint32_t cb : {0u, 4u, 8u}) {
                SCOPED_TRACE(std::string(e.name) + " cbSize " + std::to_string(cb) + " version " +
                             std::to_string(version));
                const size_t block = cb < 4 ? 4 : cb;  // the size field is always there
                std::unique_ptr<uint8_t[]> record(new uint8_t[block]);
                std::memset(record.get(), e.set ? 0xFF : 0x5A, block);  // a Set's "valid" would be set
                std::memcpy(record.get(), &cb, sizeof cb);
                ctl->clearTrace();
                EXPECT_EQ(e.call(h, record.get()), 0);
                EXPECT_TRUE(sent().empty());
                uint32_t after = 0;
                std::memcpy(&after, record.get(), sizeof after);
                EXPECT_EQ(after, cb);
                for (size_t i = 4; i < block; ++i) EXPECT_EQ(record[i], e.set ? 0xFF : 0x5A) << i;
            }
        }
    }
}

TEST_F(RecordSizes, AWholeRecordStillReadsAndWrites) {
    make(ItemProfile(150));
    ctl->profile().items[{0x04, 0}] = qvsim::ParamItem{9, 3, 0};
    std::unique_ptr<uint8_t[]> record(new uint8_t[sizeof(ParameterPalm)]());
    auto* palm = reinterpret_cast<ParameterPalm*>(record.get());
    palm->cbSize = sizeof(ParameterPalm);
    ASSERT_EQ(GetParameterPalm(h, 0xFFFF, palm), 1);
    ASSERT_EQ(palm->valid, 1u);
    palm->item[0].value = 4;
    ctl->clearTrace();
    ASSERT_EQ(SetParameterPalm(h, palm), 1);
    EXPECT_EQ(itemWrites(), std::vector<std::string>{"F6 04 80 00 04"});
}

}  // namespace
}  // namespace qvtest
