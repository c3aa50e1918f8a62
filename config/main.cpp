// VCXMSet: configuration and diagnostics of the touch controllers.
#include "shell/app_startup.h"
#include "shell/utility_dlg.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return vcx::runApplication(vcx::joinArguments(app.arguments().mid(1)), false, [](bool productionLine) {
        // The exit code of every run the start-up lets through is decided here;
        // a run built later returns its own result in place of kExitNotCarriedOut.
        if (productionLine) {
            std::fputs("VCXMSet: the production-line window is not part of this version\n", stderr);
            return vcx::kExitNotCarriedOut;
        }
        vcx::CVCXUtilityDlg dlg;
        if (!dlg.initDialog()) {
            std::fprintf(stderr, "VCXMSet: %s\n", qPrintable(dlg.error()));
            return vcx::kExitNoLibrary;
        }
        if (vcx::asksUnattendedRun(vcx::startupState().options)) {
            std::fputs("VCXMSet: unattended runs are not part of this version\n", stderr);
            return vcx::kExitNotCarriedOut;
        }
        dlg.exec();
        return vcx::kExitNormal;
    });
}
