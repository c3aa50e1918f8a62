#include "shell/utility_dlg.h"

#include "shell/app_settings.h"
#include "shell/app_startup.h"
#include "shell/controller_api.h"
#include "shell/platform/named_window.h"
#include "shell/platform/window_message.h"

#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>

#include <vector>

namespace vcx {

namespace {

// The enumeration callbacks run on this thread during the enumeration call.
std::vector<FoundController>* g_found = nullptr;

int collect(const QVWCHAR* path, const QVWCHAR* name, const QVWCHAR* key) {
    if (g_found)
        g_found->push_back({QString::fromUtf16(path), QString::fromUtf16(name), QString::fromUtf16(key)});
    return 1;
}

constexpr uint32_t kAllDriverKinds = 0x1F;

} // namespace

FoundController findFirstController() {
    const ControllerApi& api = controller().api;
    std::vector<FoundController> found;
    g_found = &found;
    if (api.EnumerateHidDevicesExW) api.EnumerateHidDevicesExW(collect);
    if (found.empty() && api.EnumerateQVDevicesExW) api.EnumerateQVDevicesExW(collect, kAllDriverKinds);
    g_found = nullptr;
    return found.empty() ? FoundController{} : found.front();
}

CVCXUtilityDlg::CVCXUtilityDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QLatin1String(kMainWindowTitle));
    auto* layout = new QVBoxLayout(this);
    controller_ = new QLabel(this);
    controller_->setObjectName(QStringLiteral("controller"));
    layout->addWidget(controller_);
    auto* pages = new QLabel(tr("The device pages are not part of this version of VCXMSet yet."), this);
    layout->addWidget(pages);
    new qvui::NamedWindow(this);
}

CVCXUtilityDlg::~CVCXUtilityDlg() {
    if (bound_) unloadControllerLibrary(controller());
}

bool CVCXUtilityDlg::initDialog() {
    Controller& c = controller();
    if (!loadControllerLibrary(this, c, libraryCandidates(QCoreApplication::applicationDirPath()))) {
        error_ = c.loadError.isEmpty() ? QStringLiteral("the controller library was refused") : c.loadError;
        bound_ = c.library != nullptr;
        return false;
    }
    bound_ = true;
    loadAppSettings(appSettings(), workingFolders(), SettingsEnvironment::forThisProgram());
    move(appSettings().utyPos.x, appSettings().utyPos.y);

    const FoundController first = findFirstController();
    if (first.path.isEmpty()) {
        controller_->setText(tr("No controller found."));
    } else {
        c.dev.currentKey = first.key;
        controller_->setText(tr("Controller: %1 (%2)").arg(first.model, first.path));
    }
    return true;
}

QString CVCXUtilityDlg::controllerText() const { return controller_->text(); }

bool CVCXUtilityDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        if (m->message() == qvui::WM_ACTIVATE_INSTANCE) {
            // A second instance asked this one to come forward.
            showNormal();
            raise();
            activateWindow();
            m->setResult(1);
            return true;
        }
    }
    return QDialog::event(e);
}

void CVCXUtilityDlg::done(int result) {
    if (bound_) {
        appSettings().utyPos = {pos().x(), pos().y()};
        saveAppSettings(appSettings(), workingFolders(), SettingsEnvironment::forThisProgram());
    }
    QDialog::done(result);
}

} // namespace vcx
