// VCXMSet: configuration and diagnostics of the touch controllers.
#include "shell/app_startup.h"
#include "shell/pd_line_dlg.h"
#include "shell/utility_dlg.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return vcx::runApplication(vcx::joinArguments(app.arguments().mid(1)), false, [](bool productionLine) {
        // The exit code of every run the start-up lets through is decided here;
        // a run built later returns its own result in place of kExitNotCarriedOut.
        if (productionLine) {
            // Ends when the production-line program says so (WM_PRODUCTION_LINE (x, 0)): 0.
            vcx::CVCXPDLineDlg line;
            if (!line.initDialog()) {
                std::fprintf(stderr, "VCXMSet: %s\n", qPrintable(line.error()));
                return vcx::kExitNoLibrary;
            }
            line.exec();
            return vcx::kExitNormal;
        }
        vcx::CVCXUtilityDlg dlg;
        if (!dlg.initDialog()) {
            std::fprintf(stderr, "VCXMSet: %s\n", qPrintable(dlg.error()));
            return vcx::kExitNoLibrary;
        }
        // "-os" alone runs its open/short test, "-sr" alone its system reference
        // build, "-nl" alone its noise level test; each ends through its silent result.
        const vcx::CommandLineOptions& o = vcx::startupState().options;
        const bool alone = !o.optS && vcx::startupState().fileArg.isEmpty();
        const bool noNoise = o.optNL == 0xFF;
        const bool openShortRun = o.optOS && !o.optSR && noNoise && alone;
        const bool referenceRun = o.optSR && !o.optOS && noNoise && alone;
        const bool noiseRun = !noNoise && !o.optOS && !o.optSR && alone;
        // "-s", "-m" (and "-enumfu" with either) update the controller with the
        // file argument (or the packages "EnumUpdate.ini" names).
        const bool updateRun = o.silentMode && !o.optOS && !o.optSR && noNoise;
        if (vcx::asksUnattendedRun(o) && !openShortRun && !referenceRun && !noiseRun && !updateRun) {
            std::fputs("VCXMSet: unattended runs are not part of this version\n", stderr);
            return vcx::kExitNotCarriedOut;
        }
        dlg.exec();
        // 0, or the unattended run's result: why it could not do its work, or that it failed.
        return vcx::startupState().exitStatus;
    });
}
