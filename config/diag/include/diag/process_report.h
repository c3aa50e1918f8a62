// The production run's files: the names of the process items and the file
// each item's runner leaves for the product, the product's detail report and
// the work order's summary report with its counters and row check values, and
// where the "Do not touch panel" banner stands. Plain code without widgets, so
// every byte and every number is tested on its own.
#pragma once

#include "core/process_items.h"

#include <array>
#include <cstdint>
#include <string>

namespace vcx {

constexpr int kProcessListLength = 10;

// The report an item's runner writes for the product: the product prefix and
// ProcessItemReportName; empty for any other number.
std::string ProcessItemReportPath(const std::string& prefix, int item);

// ---- summary report ------------------------------------------------------------

// The header of a new summary report, in the text-mode writer's terms ("\n"
// line ends): date ("%d/%m/%Y"), the program and its version, the work order
// and company, the three counter sections at 0 and the column titles.
std::string SummaryHeaderText(const std::string& date, const std::string& workOrder, const std::string& company);

struct SummaryRow {
    std::string numbering;   // "%d," serial, "%s," one batch number, "%s,%s" two
    std::string firmware;    // the master's firmware version text
    uint16_t parameterCrc = 0;
    std::string time;        // "%H:%M:%S"
    std::string result;      // "Pass" or "Fail"
    std::string failedItem;  // the failed item's name, empty when all passed
};

// The row check value over the text "%s%sx%04X%s%s%s" (numbering, firmware,
// CRC, time, result, failed item): a 16-bit register from 0xFFFF takes, over
// the first N bytes of the text's UTF-16LE form (N its length in characters),
// each byte's bits from the most significant: t := bit 15, register :=
// (register << 1) | bit, XOR 0x1021 when t was set.
uint16_t ProcessRowCheckValue(const SummaryRow& row);
// "%s,%s,x%04X,%s,%s,%s,x%04X\n" with the check value last.
std::string SummaryRowText(const SummaryRow& row);

struct SummaryCounters {
    uint32_t test = 0, pass = 0, fail = 0;
};
// "Test Count" and "Pass Count" of an existing summary report; fail := test -
// pass, 0 when an edited file counts more passes than tests.
SummaryCounters ReadSummaryCounters(const std::string& path);
// The three sections' counters written where they stand. Only the head of the
// file (up to the column titles) is rewritten when its length stays, so a
// summary of many rows is not copied at every run. False when the file could
// not be read or written.
bool WriteSummaryCounters(const std::string& path, const SummaryCounters& counters);

// ---- detail report ------------------------------------------------------------

struct DetailRun {
    std::string workOrder, company;
    bool batchNumbering = false;  // else the serial number
    bool secondBatch = false;
    std::string batch1, batch2;
    uint32_t serialNumber = 0;
    std::array<uint8_t, kProcessListLength> list{};  // item numbers; the first 0 ends the list
    std::array<bool, kProcessListLength> passed{};
};

// The detail report's lines after the device block: work order and company,
// the numbering, then per listed item "\n%s,PASS" while all passed so far,
// "\n%s,FAIL" for the first that failed and "\n%s" after it, and "\n".
std::string DetailRunText(const DetailRun& run);
// The first listed item that did not pass (0 when all passed).
int FirstFailedItem(const DetailRun& run);
// Appends each listed item's report file to the detail report, byte for byte,
// and deletes it, stopping at a file that cannot be opened and after the first
// item that did not pass.
void AppendItemReports(const std::string& detailPath, const std::string& prefix, const DetailRun& run);
// Deletes what an earlier run of the same prefix left of the item reports (a
// run whose detail report could not be written), so the next product starts clean.
void RemoveItemReports(const std::string& prefix);

// ---- banner ------------------------------------------------------------------

struct WindowRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};
struct BannerPlace {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const BannerPlace&) const = default;
};
// The banner over the top of the main window M above the page P: d = (M's
// width - P's width) / 2 (signed, truncating); (M.left - d, M.top - d,
// M's width + 2d, P.top - M.top).
BannerPlace PlaceBanner(const WindowRect& page, const WindowRect& main);

}  // namespace vcx
