// Fuzz target: VCXMSet's LoadFirmwareFile on any bytes (read through a FILE*
// over memory), with the header messages answered by a responder (the last
// byte chooses Yes or No). A load either leaves a whole, consistent state or
// none at all.
#include "QV_Standard.h"
#include "params/firmware_file.h"
#include "ui/message_box.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vcx::Controller* c = [] {
        auto* controller = new vcx::Controller;
        controller->api.CalculateParameterCRCEx = &::CalculateParameterCRCEx;
        controller->api.CalculateVirtualButtonCRC = &::CalculateVirtualButtonCRC;
        return controller;
    }();
    const bool yes = size > 0 && (data[size - 1] & 1);
    qvui::MessageBoxResponder responder(
        [yes](const qvui::MessageBoxRequest&) { return yes ? qvui::MessageAnswer::Yes : qvui::MessageAnswer::No; });
    // fmemopen wants a buffer it may keep; an empty one is not allowed.
    std::vector<uint8_t> bytes(data, data + size);
    bytes.push_back(0);
    FILE* f = fmemopen(bytes.data(), size ? size : 1, "rb");
    if (!f) return 0;
    vcx::SetFirmwareFile(f);
    const bool ok = vcx::LoadFirmwareFile(nullptr, *c);
    if (vcx::FirmwareFile() != nullptr) __builtin_trap();  // closed either way
    if (!ok) {
        if (vcx::g_FirmwareFileKind != 0 || vcx::g_PfpPara.present || vcx::g_pFirmwareData) __builtin_trap();
        return 0;
    }
    if (vcx::g_pFirmwareData != vcx::g_SectionData[0].data()) __builtin_trap();
    for (size_t i = 0; i < 4; ++i) {
        if (vcx::g_SectionData[i].size() != vcx::g_LoadedFirmware[i].dataSize) __builtin_trap();
        if (vcx::g_SectionEnd[i] > size) __builtin_trap();
    }
    if (vcx::g_PfpPara.present && (vcx::g_PfpPara.touch.size() != vcx::g_PfpPara.touchLength ||
                                   vcx::g_PfpPara.boot.size() != vcx::g_PfpPara.bootLength))
        __builtin_trap();
    if (vcx::g_PfpVKey.usedCount > 15 || vcx::g_PfpVKey.entrySize > 12) __builtin_trap();
    vcx::ClearFirmwareFileData(true);
    return 0;
}
