#include "core/process_items.h"

#include "ui/window_message.h"

#include <array>

namespace vcx {

namespace {

struct ItemNames {
    const char* name;
    const char* report;
};
constexpr std::array<ItemNames, kProcessItemCount> kItems{{
    {"Verify Firmware Information", "VerifyFirmwareInformationReport.csv"},
    {"Open / Short Test", "OpenShortTestReport.csv"},
    {"Build System Reference", "BuildSystemReferenceReport.csv"},
    {"Drawing Test", "DrawTestReport.csv"},
    {"Firmware Update", "FirmwareUpdateReport.csv"},
    {"Noise Level", "NoiseLevelReport.csv"},
    {"Diagnostic Test", "DiagnosticTestReport.csv"},
}};

}  // namespace

const char* ProcessItemName(int item) {
    return item >= 1 && item <= kProcessItemCount ? kItems[size_t(item - 1)].name : nullptr;
}

std::string ProcessItemReportName(int item) {
    return item >= 1 && item <= kProcessItemCount ? kItems[size_t(item - 1)].report : "";
}

ProcessPageLink& processPage() {
    static ProcessPageLink link;
    return link;
}

void StartProcessItem(QObject* mainWindow, int item) {
    if (mainWindow) qvui::postMessage(mainWindow, qvui::WM_PROCESS_STEP, 0, item);
}

bool PostProcessResult(int result, int item) {
    QObject* page = processPage().window.data();
    return page && qvui::postMessage(page, qvui::WM_PROCESS_STEP, quint64(result), item);
}

std::vector<std::string>& firmwareUpdateLog() {
    static std::vector<std::string> log;
    return log;
}

}  // namespace vcx
