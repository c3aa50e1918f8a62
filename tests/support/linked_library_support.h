// VCXMSet's binding filled with the exports of the library linked into the
// test or benchmark program (over the sim backend), the program's waits on the
// library's clock. No GoogleTest here: the benchmarks include it too.
#pragma once

#include "QV_Standard.h"
#include "platform/platform.h"
#include "core/controller_api.h"

#include <dlfcn.h>

#include <cstdint>

// Exports the linked library does not have: the binder names them, their slots stay empty.
inline void Zelmar_call_process() {}
inline void Zelmar_call_firmware_update() {}
inline void Zelmar_hid_enum_touchscreen() {}

namespace vcxtest {

// The slots the diagnostic code calls, bound to the exports of the linked library.
inline void BindLinkedLibrary(vcx::Controller& c) {
    vcx::stampProgramRecords(c.records);
    c.api.SendCmd = &::SendCmd;
    c.api.GetFWVersionW = &::GetFWVersionW;
    c.api.GetFWInformationW = &::GetFWInformationW;
    c.api.GetFeatureFlag = &::GetFeatureFlag;
    c.api.GetBridgeFeatureFlag = &::GetBridgeFeatureFlag;
    c.api.GetDiagnosticInfo = &::GetDiagnosticInfo;
    c.api.BuildNewRawArray = &::BuildNewRawArray;
    c.api.FreeNewRawArray = &::FreeNewRawArray;
    c.api.GetNewRawCount = &::GetNewRawCount;
    c.api.GetNewDiagData = &::GetNewDiagData;
    c.api.EnterDiagnosticMode = &::EnterDiagnosticMode;
    c.api.EnablePCAPScan = &::EnablePCAPScan;
    c.api.GetParameterCRC = &::GetParameterCRC;
    SetupParameterFunctionPointer(&c.records.paraFuncTable);
    c.sleepMs = [](int ms) { qvp::sleepMs(uint32_t(ms)); };
}

// Every slot bound to the linked library's exports (the other families' entry
// points left empty), its command log going to `commandLog`, the program's waits
// and ticks on the library's clock.
inline void BindEverySlot(vcx::Controller& c, int (*commandLog)(const QVWCHAR*)) {
    using namespace vcx;
#define VCXTEST_BIND(name, type) c.api.name = reinterpret_cast<type>(&::name);
    VCX_CONTROLLER_SLOTS(VCXTEST_BIND)
#undef VCXTEST_BIND
    c.api.Zelmar_call_process = nullptr;
    c.api.Zelmar_call_firmware_update = nullptr;
    c.api.Zelmar_hid_enum_touchscreen = nullptr;
    c.api.WriteCommandLogW = commandLog;
    vcx::stampProgramRecords(c.records);
    SetupParameterFunctionPointer(&c.records.paraFuncTable);
    c.sleepMs = [](int ms) { qvp::sleepMs(uint32_t(ms)); };
    c.platformTickCount = &::QVPlatformTickCount;
    // The device search asks for a loaded library: the program's own image stands for it.
    c.library = dlopen(nullptr, RTLD_NOW);
}

}  // namespace vcxtest
