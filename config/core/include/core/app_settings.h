// What VCXMSet remembers between runs: window positions, the drawing rectangle,
// page indexes, the option bits and the twelve folders. Loaded from built-in
// defaults, then the read-only "VCXUtilityCfg.ini" beside the program (section
// "Option"), then the settings store, and checked against the screens and the
// file system; saved to the settings store.
//
// The store is a QSettings INI file in the system scope and one in the user
// scope (organisation "Quorvane Utility", application "VCXUtility"). A readable
// system store is read; when it cannot be written, the user store holds what
// this user saved and is read after it. Saving writes the system store where
// it can be written, else the user store. Numbers are integers, folders texts.
#pragma once

#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace vcx {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Option bits; each key name is also its store value and INI key.
enum OptionBit : uint32_t {
    kOptDrawMode = 0x1,
    kOptAbnMsg = 0x2,
    kOptShowSR = 0x4,
    kOptFBInitDlg = 0x8,
    kOptAutoSaveOS = 0x10,
    kOptAutoSaveFB = 0x20,
    kOptProcShowWN = 0x40,
    kOptDisableTouch = 0x80,
    kOptDrawMenu = 0x100,
    kOptDrawDownUpMark = 0x200,
    kOptDrawKBUTiming = 0x400,
    kOptDrawDownUpCnt = 0x800,
};

enum FolderIndex : int {
    kDiagOSFolder = 0,
    kDiagNLFolder,
    kDiagSRFolder,
    kParaIniFolder,
    kFUQVFFolder,
    kDrawPNGFolder,
    kDbgLogFolder,
    kDbgMDFolder,
    kDbgCmdFolder,
    kProcCfgFolder,
    kProcResFolder,
    kInfoLogFolder,
    kFolderCount
};

// A folder field holds 260 characters with its terminator.
constexpr int kMaxFolderLength = 259;

constexpr const char* kUtilityFolderName = "Quorvane Utility";
constexpr const char* kSettingsIniName = "VCXUtilityCfg.ini";
constexpr const char* kStoreOrganization = "Quorvane Utility";
constexpr const char* kStoreApplication = "VCXUtility";
// The store's name for what was the key's unnamed default value.
constexpr const char* kUnnamedValueKey = "(Default)";

struct AppSettings {
    Point utyPos;
    Point abnPos;
    Rect drawRect{100, 100, 800, 600};
    int32_t childIdx = 0;
    int32_t diagIdx = 1;
    int32_t paraIdx = 0;
    int32_t debugIdx = 0;
    // The product's identity code, (letter x 1000 + customer) x 10000 + product
    // number: up to 2 552 615 535, beyond int32.
    uint32_t productInfo = 0;
    uint32_t options = 0;
    std::array<QString, kFolderCount> folders;
};

// The folders the pages use during a run; they start as copies of the settings'.
using WorkingFolders = std::array<QString, kFolderCount>;

// Where the settings live and the screens they are checked against.
struct SettingsEnvironment {
    QString programFolder; // holds VCXUtilityCfg.ini; the process results' fallback folder
    QString localAppData;  // holds the folder "Quorvane Utility"
    QString systemStore;   // settings file of the system scope, tried first
    QString userStore;     // settings file of the user scope
    QSize primaryScreen;
    QSize virtualScreen;
    // Whether a store file may be written (an existing file writable, a new one
    // creatable in its folder); unset, the file system answers. A test stands
    // in here for a file that only another user may write, which the file
    // system never shows to root.
    std::function<bool(const QString& file)> storeWritable;

    // This program's folder, the user's local application data, the QSettings
    // files of both scopes, the screens of the running application.
    static SettingsEnvironment forThisProgram();
};

struct FolderInfo {
    const char* key;
    const char* olderName; // read from the store when the key is missing
    const char* defaultSub; // inside "Quorvane Utility"; nullptr: no default
};
const std::array<FolderInfo, kFolderCount>& folderTable();
struct OptionInfo {
    uint32_t bit;
    const char* key;
};
const std::array<OptionInfo, 12>& optionTable();

// Defaults: positions a quarter of the primary screen, folders under
// "<localAppData>/Quorvane Utility".
AppSettings defaultSettings(const SettingsEnvironment& env);
QString defaultFolder(const SettingsEnvironment& env, int index);

// Lines the loading writes about the store ("OK to open registry !", the
// failures); by default they go to the standard output.
using SettingsLog = std::function<void(const QString&)>;

// What the file system says of a store file: an existing one must be a
// writable file, a missing one must be creatable (its folder is made).
bool storeFileWritable(const QString& file);

// Defaults, INI, the stores, then the folder and position checks; fills the
// working folders. A stored text longer than a folder field is not taken.
void loadAppSettings(AppSettings& settings, WorkingFolders& working, const SettingsEnvironment& env,
                     const SettingsLog& log = {});
// Writes everything to the system store, else to the user store; when neither
// can be written, nothing is saved. Folders come from the working copies, except
// the process-result folder, written from the settings when that path exists.
// Returns the store file written, empty when none.
QString saveAppSettings(const AppSettings& settings, const WorkingFolders& working, const SettingsEnvironment& env);

} // namespace vcx

namespace vcx {
// The program's settings and working folders (loaded by the main window).
AppSettings& appSettings();
WorkingFolders& workingFolders();
} // namespace vcx
