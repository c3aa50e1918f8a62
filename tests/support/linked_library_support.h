// VCXMSet's binding filled with the exports of the library linked into the
// test or benchmark program (over the sim backend), the program's waits on the
// library's clock, and the linked library's unload and load between tests. No
// GoogleTest here: the benchmarks include it too.
#pragma once

#include "QV_Standard.h"
#include "platform/platform.h"
#include "qvsim.h"
#include "core/controller_api.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Exports the linked library does not have: the slot table names them, so they
// are declared here; LinkedExport never hands them out.
inline void Zelmar_call_process() {}
inline void Zelmar_call_firmware_update() {}
inline void Zelmar_hid_enum_touchscreen() {}

namespace vcxtest {

// What unloading the shared library does to the linked one: every device
// closed, its threads joined, its lists freed. (linked_library_support.cpp:
// the programs' tests see the library through its public header alone.)
void DetachLinkedLibrary();
// Then what loading it does, over the simulated controllers of `bench`: an
// empty device table on the sim backend.
void AttachLinkedLibrary(std::shared_ptr<qvsim::Bench> bench);

// The linked library's export behind the slot `name`; nullptr for the other
// families' entry points, which this library does not have, and for a name
// that is no slot.
inline void* LinkedExport(std::string_view name) {
    if (name.starts_with("Zelmar_")) return nullptr;
#define VCXTEST_EXPORT(slot, type) \
    if (name == #slot) return reinterpret_cast<void*>(&::slot);
    VCX_CONTROLLER_SLOTS(VCXTEST_EXPORT)
#undef VCXTEST_EXPORT
    return nullptr;
}

// Binds the named slots to the linked library's exports and leaves the others
// as they are. A name that is no slot throws: a misspelt one would otherwise
// leave its slot empty without a word.
inline void BindSlots(vcx::ControllerApi& api, const std::vector<std::string_view>& names) {
    const auto& known = vcx::ControllerApi::slotNames();
    for (std::string_view n : names)
        if (std::find(known.begin(), known.end(), n) == known.end())
            throw std::invalid_argument("no slot named " + std::string(n));
    const auto wanted = [&](std::string_view n) { return std::find(names.begin(), names.end(), n) != names.end(); };
    using namespace vcx;  // the slot types
#define VCXTEST_BIND(slot, type) \
    if (wanted(#slot)) api.slot = reinterpret_cast<type>(LinkedExport(#slot));
    VCX_CONTROLLER_SLOTS(VCXTEST_BIND)
#undef VCXTEST_BIND
}

// The slots the diagnostic code calls.
inline const std::vector<std::string_view>& DiagnosticSlots() {
    static const std::vector<std::string_view> names = {
        "SendCmd",          "GetFWVersionW",     "GetFWInformationW",   "GetFeatureFlag",
        "GetBridgeFeatureFlag", "GetDiagnosticInfo", "BuildNewRawArray", "FreeNewRawArray",
        "GetNewRawCount",   "GetNewDiagData",    "EnterDiagnosticMode", "EnablePCAPScan",
        "GetParameterCRC",
    };
    return names;
}

// The program's records stamped and its parameter table filled by the linked
// library, the named slots bound (the others left as they are), and the
// program's waits on the library's clock.
inline void BindLinkedLibrary(vcx::Controller& c, const std::vector<std::string_view>& names = DiagnosticSlots()) {
    vcx::stampProgramRecords(c.records);
    BindSlots(c.api, names);
    SetupParameterFunctionPointer(&c.records.paraFuncTable);
    c.sleepMs = [](int ms) { qvp::sleepMs(uint32_t(ms)); };
}

// Every slot bound to the linked library's exports (the other families' entry
// points left empty), its command log going to `commandLog`, the program's waits
// and ticks on the library's clock.
inline void BindEverySlot(vcx::Controller& c, int (*commandLog)(const QVWCHAR*)) {
    const auto& names = vcx::ControllerApi::slotNames();
    BindLinkedLibrary(c, std::vector<std::string_view>(names.begin(), names.end()));
    c.api.WriteCommandLogW = commandLog;
    c.platformTickCount = &::QVPlatformTickCount;
    // The device search asks for a loaded library: the program's own image stands for it.
    c.library = dlopen(nullptr, RTLD_NOW);
}

}  // namespace vcxtest
