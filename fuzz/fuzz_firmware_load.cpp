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
    static vcx::LoadedFirmware fw;
    vcx::SetFirmwareFile(fw, f);
    const bool ok = vcx::LoadFirmwareFile(nullptr, *c, fw);
    if (vcx::FirmwareFile(fw) != nullptr) __builtin_trap();  // closed either way
    if (!ok) {
        if (fw.FirmwareFileKind != 0 || fw.PfpPara.present || fw.pFirmwareData) __builtin_trap();
        return 0;
    }
    if (fw.pFirmwareData != fw.SectionData[0].data()) __builtin_trap();
    for (size_t i = 0; i < 4; ++i) {
        if (fw.SectionData[i].size() != fw.LoadedFirmware[i].dataSize) __builtin_trap();
        if (fw.SectionEnd[i] > size) __builtin_trap();
    }
    if (fw.PfpPara.present && (fw.PfpPara.touch.size() != fw.PfpPara.touchLength ||
                               fw.PfpPara.boot.size() != fw.PfpPara.bootLength))
        __builtin_trap();
    if (fw.PfpVKey.usedCount > 15 || fw.PfpVKey.entrySize > 12) __builtin_trap();
    vcx::ClearFirmwareFileData(fw, true);
    return 0;
}
