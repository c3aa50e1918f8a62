#include "shell/page_rules.h"

namespace vcx {

bool basePageRule(const PageRuleInput& in) { return !in.ostraModel && !in.masterInBoot; }

bool icPageRule(const PageRuleInput& in) {
    const bool master = in.engineerMode ? !in.masterInBoot : basePageRule(in);
    return master && !in.anySlaveInBoot;
}

PageButtonStates pageButtonsForDevice(const PageRuleInput& in) {
    const bool base = basePageRule(in);
    const bool ic = icPageRule(in);
    PageButtonStates b;
    b[kIdDraw] = !in.serialDevice && !in.masterInBoot;
    b[kIdRefresh] = true;
    b[pageButtonId(kPageDiagnostic)] = in.diagnosticUsable && ic;
    b[pageButtonId(kPageParameters)] = in.parametersUsable && base;
    b[pageButtonId(kPageFieldUpdate)] = !(in.ostraModel && in.rs232);
    b[pageButtonId(kPageDebug)] = ic;
    b[pageButtonId(kPageProcessConfig)] = true;
    b[pageButtonId(kPageInformation)] = true;
    return b;
}

PageButtonStates pageButtonsWithoutDevice(bool reconnectPending) {
    PageButtonStates b;
    b[kIdDraw] = true;
    b[kIdRefresh] = !reconnectPending;
    b[pageButtonId(kPageProcessConfig)] = true;
    b[pageButtonId(kPageInformation)] = true;
    return b;
}

int choosePage(int preferred, const PageButtonStates& buttons, const PageChoiceInput& in) {
    int choice = preferred;
    if (!buttons.page(kPageFieldUpdate))
        choice = kPageInformation;
    else if (in.ostraModel || !buttons.page(kPageDebug) || in.fileArgument)
        choice = kPageFieldUpdate;
    if (choice == kPageDiagnostic && !in.diagnosticUsable) choice = kPageParameters;
    if (choice == kPageParameters && !in.parametersUsable) choice = kPageFieldUpdate;
    return choice;
}

bool pageButtonLockedWhileBusy(int buttonId, int busyPage) {
    if (buttonId == kIdDraw || buttonId == pageButtonId(kPageInformation)) return false;
    return !(busyPage >= 0 && buttonId == pageButtonId(busyPage));
}

} // namespace vcx
