// Fuzz target: what VCXMSet reads at start-up besides the controller: its
// command line, the settings INI beside the program ("VCXUtilityCfg.ini"),
// the settings stores of both scopes, the thresholds file ("VCXMSet.ini") and
// the package table ("EnumUpdate.ini"). The input is six texts split by lines
// "#--" in that order; the files are written into a folder of their own and
// read as the program reads them. Nothing may crash, and what is read keeps
// the bounds the pages rely on.
#include "core/app_settings.h"
#include "core/command_line.h"
#include "core/controller_api.h"
#include "core/device_finder.h"
#include "diag/diag_config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

QTemporaryDir& folder() {
    static int argc = 1;
    static char name[] = "fuzz_vcx_settings";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    // In memory where the system has such a folder: the files are written anew for every input.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/qv_fuzz_settings_XXXXXX")
                                                                        : QDir::tempPath() + QStringLiteral("/qv_fuzz_settings_XXXXXX"));
    return dir;
}

// Writes the file unless it holds that text already (most inputs change one part).
void write(const QString& path, const std::string& text) {
    static std::map<QString, std::string> written;
    const auto it = written.find(path);
    if (it != written.end() && it->second == text) return;
    written[path] = text;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) __builtin_trap();
    f.write(text.data(), qint64(text.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QTemporaryDir& dir = folder();
    if (!dir.isValid()) __builtin_trap();
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    size_t pos = 0;
    while (parts.size() < 5) {
        const size_t at = input.find("\n#--\n", pos);
        if (at == std::string::npos) break;
        parts.push_back(input.substr(pos, at - pos));
        pos = at + 5;
    }
    parts.push_back(input.substr(std::min(pos, input.size())));
    parts.resize(6);

    // The command line.
    const vcx::CommandLineOptions o = vcx::parseCommandLine(QString::fromUtf8(parts[0].data(), qsizetype(parts[0].size())));
    if (o.fileArg.size() > vcx::kMaxFileArg) __builtin_trap();
    (void)vcx::asksUnattendedRun(o);

    // The settings: INI beside the program, then the two stores.
    const QString program = dir.filePath(QStringLiteral("program/"));
    QDir().mkpath(program);
    write(program + QLatin1String(vcx::kSettingsIniName), parts[1]);
    vcx::SettingsEnvironment env;
    env.programFolder = program;
    env.localAppData = dir.filePath(QStringLiteral("local"));
    env.systemStore = dir.filePath(QStringLiteral("system.ini"));
    env.userStore = dir.filePath(QStringLiteral("user.ini"));
    write(env.systemStore, parts[2]);
    write(env.userStore, parts[3]);
    env.primaryScreen = QSize(1920, 1080);
    env.virtualScreen = QSize(3840, 1080);
    env.storeWritable = [](const QString& file) { return file.endsWith(QLatin1String("user.ini")); };
    vcx::AppSettings settings;
    vcx::WorkingFolders working;
    vcx::loadAppSettings(settings, working, env, [](const QString&) {});
    const auto on = [&](const vcx::Point& p) { return p.x >= 0 && p.x < 3840 && p.y >= 0 && p.y < 1080; };
    if (!on(settings.utyPos) || !on(settings.abnPos)) __builtin_trap();
    for (const QString& f : settings.folders)
        if (f.size() > vcx::kMaxFolderLength) __builtin_trap();

    // The thresholds file.
    const QString thresholds = program + QLatin1String(vcx::kDiagConfigFileName);
    write(thresholds, parts[4]);
    const vcx::DiagConfig c = vcx::LoadDiagnosticConfig(thresholds);
    if (c.NoiseGreat < 3 || c.NoiseGreat > 100 || c.AutoSaveResult != 0) __builtin_trap();
    if (c.NoiseGood > c.NoiseGreat || c.NoiseOK % 100 > c.NoiseGood || c.NoisePoor % 100 > c.NoiseOK % 100)
        __builtin_trap();

    // The package table, looked up for a controller read from the first bytes.
    write(program + QLatin1String(vcx::kEnumUpdateIni), parts[5]);
    write(program + QStringLiteral("update.pfp"), "x");
    static vcx::Controller controller;
    // "QV6020" with key "x0000" or "x1234", or "QV6020A" (by the first byte).
    controller.dev.parameterCrc = size && (data[0] & 1) ? 0x1234 : 0x0000;
    controller.records.fwInformation.productNumber = 6020;
    controller.records.fwInformation.productLetter = size && (data[0] & 2) ? 1 : 0;
    vcx::DeviceFinder finder;
    finder.programFolder = program;
    QString chosen;
    finder.fileArg = &chosen;
    if (vcx::LookUpEnumUpdate(controller, finder) && !QFileInfo(chosen).isFile()) __builtin_trap();
    if (chosen.size() > 259) __builtin_trap();
    return 0;
}
