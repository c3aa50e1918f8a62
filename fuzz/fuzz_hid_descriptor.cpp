// Fuzz target: HID report descriptors. The item walk must stay inside the
// bytes and move forward; a descriptor whose walk is cut off is never read as
// well formed; the lengths read from one stay within what a report can be.
#include "hid/report_descriptor.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> d(data, size);
    qvhid::ItemIterator items(d);
    qvhid::Item item;
    size_t end = 0;  // where the previous item ended
    while (items.next(&item)) {
        if (item.offset < end || item.size > 4 || item.size > size - item.offset - 1) __builtin_trap();
        end = item.offset + 1 + item.size;
    }

    size_t usages = 0;
    std::string walkError;
    const bool walked = qvhid::walkMainItems(
        d, [&](const qvhid::MainItem& m) { usages += m.usages.size(); }, &walkError);
    // Every usage range came from a local item of at least one byte.
    if (usages > size) __builtin_trap();
    if (walked != walkError.empty()) __builtin_trap();
    if (!items.error().empty() && walked) __builtin_trap();

    std::string error;
    const auto info = qvhid::parseDescriptor(d, &error);
    if (info.has_value() == !error.empty()) __builtin_trap();
    if (info && !walked) __builtin_trap();
    if (info) {
        for (auto type : {qvhid::ReportType::Input, qvhid::ReportType::Output, qvhid::ReportType::Feature}) {
            const int length = info->reportLength(type);
            if (length < 0 || uint64_t(length) > qvhid::kMaxReportBytes + 1) __builtin_trap();
            if ((length == 0) != info->bits(type).empty()) __builtin_trap();
        }
        if (info->hasFeatureReport() != (info->reportLength(qvhid::ReportType::Feature) > 0)) __builtin_trap();
    }
    return 0;
}
