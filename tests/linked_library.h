// VCXMSet's binding filled with the exports of the library linked into the
// test or benchmark program (over the sim backend), the program's waits on the
// library's clock. No GoogleTest here: the benchmarks include it too.
#pragma once

#include "QV_Standard.h"
#include "platform/platform.h"
#include "shell/controller_api.h"

#include <cstdint>

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

}  // namespace vcxtest
