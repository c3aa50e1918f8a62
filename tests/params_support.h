// What the parameter tests share: the diagnostic tests' bench (the library's
// own exports bound into VCXMSet's slots, a built-in profile's controller open
// at /sim/hidraw0) with the further slots the parameter code calls.
#pragma once

#include "diag_support.h"

namespace paramtest {

class ParamBench : public diagtest::DiagBench {
protected:
    bool open(const std::string& profile) {
        if (!DiagBench::open(profile)) return false;
        c.api.GetAPBTParaList = &::GetAPBTParaList;
        c.api.SetAPBTParaList = &::SetAPBTParaList;
        c.api.GetParameterList = &::GetParameterList;
        c.api.GetParameterConst = &::GetParameterConst;
        c.api.CalculateParameterCRCEx = &::CalculateParameterCRCEx;
        c.api.GetFWVersionW = &::GetFWVersionW;
        c.api.GetFWInformationW = &::GetFWInformationW;
        c.api.ResetMPU = &::ResetMPU;
        return true;
    }

    // The commands received since the last clearTrace that start with `prefix` ("F6 03 8").
    std::vector<std::string> sentWith(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& s : sent())
            if (s.rfind(prefix, 0) == 0) out.push_back(s);
        return out;
    }
};

}  // namespace paramtest
