#include "core/app_settings.h"

#include "text/ini_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>
#include <optional>

namespace vcx {

namespace {

constexpr const char* kIniSection = "Option";
constexpr const char* kProductInfoKey = "ProductInfo";

// The store's numbers, in the order they are read and written.
struct NumberField {
    const char* key;
    int32_t AppSettings::*member = nullptr;
    int32_t Point::*pointPart = nullptr;
    Point AppSettings::*point = nullptr;
    int32_t Rect::*rectPart = nullptr;
};

int32_t& numberRef(AppSettings& s, const NumberField& f) {
    if (f.point) return s.*(f.point).*(f.pointPart);
    if (f.rectPart) return s.drawRect.*(f.rectPart);
    return s.*(f.member);
}

const std::array<NumberField, 12>& numberFields() {
    static const std::array<NumberField, 12> fields{{
        {"UtyPos.x", nullptr, &Point::x, &AppSettings::utyPos, nullptr},
        {"UtyPos.y", nullptr, &Point::y, &AppSettings::utyPos, nullptr},
        {"AbnPos.x", nullptr, &Point::x, &AppSettings::abnPos, nullptr},
        {"AbnPos.y", nullptr, &Point::y, &AppSettings::abnPos, nullptr},
        {"DrawRect.left", nullptr, nullptr, nullptr, &Rect::left},
        {"DrawRect.top", nullptr, nullptr, nullptr, &Rect::top},
        {"DrawRect.right", nullptr, nullptr, nullptr, &Rect::right},
        {"DrawRect.bottom", nullptr, nullptr, nullptr, &Rect::bottom},
        {"ChildIdx", &AppSettings::childIdx},
        {"DiagIdx", &AppSettings::diagIdx},
        {"ParaIdx", &AppSettings::paraIdx},
        {"DebugIdx", &AppSettings::debugIdx},
    }};
    return fields;
}

// A 32-bit number of the store: signed or unsigned decimal text, kept as its
// 32 bits; anything else is not a number and is not taken.
std::optional<int32_t> storedNumber(const QSettings& store, const QString& key) {
    if (!store.contains(key)) return std::nullopt;
    const QString text = store.value(key).toString().trimmed();
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < INT32_MIN || v > qlonglong(UINT32_MAX)) return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

// A stored folder text; one longer than the folder field is not taken.
std::optional<QString> storedFolder(const QSettings& store, const QString& key) {
    if (!store.contains(key)) return std::nullopt;
    const QString text = store.value(key).toString();
    if (text.size() > kMaxFolderLength) return std::nullopt;
    return text;
}

bool pathExists(const QString& path) { return !path.isEmpty() && QFileInfo::exists(path); }

bool canRead(const QString& file) {
    const QFileInfo info(file);
    return !file.isEmpty() && info.isFile() && info.isReadable();
}

bool canWrite(const SettingsEnvironment& env, const QString& file) {
    if (file.isEmpty()) return false;
    return env.storeWritable ? env.storeWritable(file) : storeFileWritable(file);
}

void readStore(AppSettings& s, const QString& path) {
    const QSettings store(path, QSettings::IniFormat);
    for (const NumberField& f : numberFields()) {
        if (auto v = storedNumber(store, QLatin1String(f.key))) numberRef(s, f) = *v;
    }
    // The identity code is unsigned: its 32 bits as stored (signed text of older saves included).
    if (auto v = storedNumber(store, QLatin1String(kProductInfoKey))) s.productInfo = uint32_t(*v);
    for (const OptionInfo& o : optionTable()) {
        if (auto v = storedNumber(store, QLatin1String(o.key)); v && *v != 0) s.options |= o.bit;
    }
    for (int i = 0; i < kFolderCount; ++i) {
        const FolderInfo& f = folderTable()[i];
        auto v = storedFolder(store, QLatin1String(f.key));
        if (!v) v = storedFolder(store, QLatin1String(f.olderName));
        if (v) s.folders[i] = *v;
    }
}

void defaultLog(const QString& line) {
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

} // namespace

bool storeFileWritable(const QString& file) {
    if (file.isEmpty()) return false;
    const QFileInfo info(file);
    if (info.exists()) return info.isFile() && info.isWritable();
    const QString dir = info.absolutePath();
    if (!QDir().mkpath(dir)) return false;
    return QFileInfo(dir).isWritable();
}

const std::array<FolderInfo, kFolderCount>& folderTable() {
    static const std::array<FolderInfo, kFolderCount> table{{
        {"DiagOSFolder", "CSVPath", "Diagnostic"},
        {"DiagNLFolder", "CSVPath", "Diagnostic"},
        {"DiagSRFolder", "CSVPath", "Diagnostic"},
        {"ParaIniFolder", "QVPPath", "Parameter"},
        {"FUQVFFolder", "QVFPath", "Firmware"},
        {"DrawPNGFolder", "LOGPath", "DeviceInfo"},
        {"DbgLogFolder", "LOGPath", "DeviceInfo"},
        {"DbgMDFolder", "DBGPath", "Debug(RD)"},
        {"DbgCmdFolder", "DBGPath", "Debug(RD)"},
        {"ProcCfgFolder", "PCSPath", "ProcessSetting"},
        {"ProcResFolder", kUnnamedValueKey, nullptr},
        {"InfoLogFolder", "LOGPath", "DeviceInfo"},
    }};
    return table;
}

const std::array<OptionInfo, 12>& optionTable() {
    static const std::array<OptionInfo, 12> table{{
        {kOptDrawMode, "DrawMode"},
        {kOptAbnMsg, "AbnMsg"},
        {kOptShowSR, "ShowSR"},
        {kOptFBInitDlg, "FBInitDlg"},
        {kOptAutoSaveOS, "AutoSaveOS"},
        {kOptAutoSaveFB, "AutoSaveFB"},
        {kOptProcShowWN, "ProcShowWN"},
        {kOptDisableTouch, "DisableTouch"},
        {kOptDrawMenu, "DrawMenu"},
        {kOptDrawDownUpMark, "DrawDownUpMark"},
        {kOptDrawKBUTiming, "DrawKBUTiming"},
        {kOptDrawDownUpCnt, "DrawDownUpCnt"},
    }};
    return table;
}

SettingsEnvironment SettingsEnvironment::forThisProgram() {
    SettingsEnvironment env;
    env.programFolder = QCoreApplication::applicationDirPath();
    env.localAppData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    env.systemStore =
        QSettings(QSettings::IniFormat, QSettings::SystemScope, kStoreOrganization, kStoreApplication).fileName();
    env.userStore =
        QSettings(QSettings::IniFormat, QSettings::UserScope, kStoreOrganization, kStoreApplication).fileName();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        env.primaryScreen = screen->size();
        env.virtualScreen = screen->virtualSize();
    }
    return env;
}

QString defaultFolder(const SettingsEnvironment& env, int index) {
    const char* sub = folderTable()[index].defaultSub;
    if (!sub) return {};
    return QStringLiteral("%1/%2/%3").arg(env.localAppData, QLatin1String(kUtilityFolderName), QLatin1String(sub));
}

AppSettings defaultSettings(const SettingsEnvironment& env) {
    AppSettings s;
    const Point quarter{env.primaryScreen.width() / 4, env.primaryScreen.height() / 4};
    s.utyPos = quarter;
    s.abnPos = quarter;
    for (int i = 0; i < kFolderCount; ++i) s.folders[i] = defaultFolder(env, i);
    return s;
}

void loadAppSettings(AppSettings& s, WorkingFolders& working, const SettingsEnvironment& env,
                     const SettingsLog& logFn) {
    const SettingsLog log = logFn ? logFn : SettingsLog(defaultLog);
    s = defaultSettings(env);

    // The INI file beside the program: only keys present with a value; an option
    // value sets its bit and never clears one.
    qvui::IniFile ini;
    const QString iniPath = QDir(env.programFolder).filePath(QLatin1String(kSettingsIniName));
    if (ini.load(iniPath)) {
        const auto text = [&](const char* key) { return ini.value(kIniSection, QLatin1String(key)); };
        const std::pair<const char*, int32_t*> indexes[] = {
            {"ChildIdx", &s.childIdx}, {"ParaIdx", &s.paraIdx}, {"DebugIdx", &s.debugIdx}};
        for (const auto& [key, field] : indexes) {
            const QString v = text(key);
            if (!v.isEmpty()) *field = qvui::IniFile::parseInt(v, *field);
        }
        // The number's 32 bits, as parseInt keeps them.
        if (const QString v = text(kProductInfoKey); !v.isEmpty())
            s.productInfo = uint32_t(qvui::IniFile::parseInt(v, int(s.productInfo)));
        for (const OptionInfo& o : optionTable()) {
            const QString v = text(o.key);
            if (!v.isEmpty() && qvui::IniFile::parseInt(v, 0) != 0) s.options |= o.bit;
        }
        for (int i = 0; i < kFolderCount; ++i) {
            const QString v = text(folderTable()[i].key);
            if (!v.isEmpty() && v.size() <= kMaxFolderLength && pathExists(v)) s.folders[i] = v;
        }
    }

    // The stores: the system scope when it can be read. Where it cannot be
    // written, this user's saves went to the user scope, which is read after it.
    const bool systemRead = canRead(env.systemStore);
    if (!systemRead) log(QStringLiteral("Failed to open registry in HKLM (%1)!\n").arg(env.systemStore));
    bool userRead = false;
    if (!systemRead || !canWrite(env, env.systemStore)) {
        userRead = canRead(env.userStore);
        if (!userRead && !systemRead) log(QStringLiteral("Failed to open registry HKCU (%1)!\n").arg(env.userStore));
    }
    if (systemRead || userRead) log(QStringLiteral("OK to open registry !\n"));
    if (systemRead) readStore(s, env.systemStore);
    if (userRead) readStore(s, env.userStore);

    // Folders that do not exist return to their defaults, which are made.
    // The data folder itself may not exist yet on a fresh account: made with its parents.
    QDir().mkpath(QDir(env.localAppData).filePath(QLatin1String(kUtilityFolderName)));
    for (int i = 0; i < kFolderCount; ++i) {
        if (i == kProcResFolder || pathExists(s.folders[i])) continue;
        s.folders[i] = defaultFolder(env, i);
        QDir().mkdir(s.folders[i]);
    }

    // Positions must lie on the virtual screen.
    const int width = env.virtualScreen.width();
    const int height = env.virtualScreen.height();
    const Point quarter{env.primaryScreen.width() / 4, env.primaryScreen.height() / 4};
    const auto onScreen = [&](const Point& p) { return p.x >= 0 && p.x < width && p.y >= 0 && p.y < height; };
    if (!onScreen(s.utyPos)) s.utyPos = quarter;
    if (!onScreen(s.abnPos)) s.abnPos = quarter;
    const Rect& r = s.drawRect;
    if (!(r.left < r.right && r.top < r.bottom && r.left < width && r.top < height && r.left >= 0 && r.top >= 0))
        s.drawRect = Rect{100, 100, 800, 600};

    for (int i = 0; i < kFolderCount; ++i) working[i] = s.folders[i];
    if (!pathExists(s.folders[kProcResFolder])) working[kProcResFolder] = env.programFolder;
}

QString saveAppSettings(const AppSettings& s, const WorkingFolders& working, const SettingsEnvironment& env) {
    QString storePath;
    if (canWrite(env, env.systemStore))
        storePath = env.systemStore;
    else if (canWrite(env, env.userStore))
        storePath = env.userStore;
    else
        return {};

    QSettings store(storePath, QSettings::IniFormat);
    AppSettings copy = s;
    for (const NumberField& f : numberFields()) store.setValue(QLatin1String(f.key), numberRef(copy, f));
    store.setValue(QLatin1String(kProductInfoKey), qulonglong(s.productInfo));
    for (const OptionInfo& o : optionTable()) store.setValue(QLatin1String(o.key), (s.options & o.bit) ? 1 : 0);
    for (int i = 0; i < kFolderCount; ++i) {
        const QString key = QLatin1String(folderTable()[i].key);
        if (i == kProcResFolder) {
            if (pathExists(s.folders[i])) store.setValue(key, s.folders[i]);
        } else {
            store.setValue(key, working[i].left(kMaxFolderLength));
        }
    }
    store.sync();
    if (store.status() != QSettings::NoError) return {};
    return storePath;
}

} // namespace vcx

namespace vcx {
AppSettings& appSettings() {
    static AppSettings settings;
    return settings;
}
WorkingFolders& workingFolders() {
    static WorkingFolders folders;
    return folders;
}
} // namespace vcx
