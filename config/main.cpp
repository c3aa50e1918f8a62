// VCXMSet: configuration and diagnostics of the touch controllers.
#include "shell/app_startup.h"
#include "shell/utility_dlg.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return vcx::runApplication(vcx::joinArguments(app.arguments().mid(1)), false, [](bool productionLine) {
        if (productionLine) {
            std::fputs("VCXMSet: the production-line window is not part of this version\n", stderr);
            return 0;
        }
        vcx::CVCXUtilityDlg dlg;
        if (!dlg.initDialog()) {
            std::fprintf(stderr, "VCXMSet: %s\n", qPrintable(dlg.error()));
            return 0;
        }
        if (vcx::startupState().options.silentMode) {
            // The unattended runs come with the pages that carry them out.
            std::fputs("VCXMSet: unattended runs are not part of this version\n", stderr);
            return 0;
        }
        return dlg.exec();
    });
}
