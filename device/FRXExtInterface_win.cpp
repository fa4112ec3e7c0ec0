#include "device/FRXExtInterface.h"
#include "foundation/WinProcess.h"

#include "device/FRXDeviceRules.h"
#include "foundation/AppLog.h"
#include "foundation/ScopedWin.h"
#include "foundation/ForeignCall.h"
#include "foundation/TextCodec.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <exception>
#include <vector>

namespace {

constexpr char kLibraryName[] = "FRXAppSafeguard.dll";
constexpr char kDeviceLibrary[] = "Ferrolux\\FRXAppSafeguard.dll";
constexpr char kCoreFile[] = "Ferrolux\\FRXCore.dat";
constexpr char kDeviceFolder[] = "Ferrolux\\";
constexpr char kStaticFile[] = "Ferrolux\\FRXStatic.cfg";
constexpr char kSoleDiskLibrary[] = "Ferrolux\\SoleDiskAPI.dll";
constexpr char kUpdateFile[] = "Up4t5.ini";
constexpr char kMirrorProduct[] = "07040100030000";
constexpr char kMirrorDefaultArea[] = "130013";
constexpr char kMinimumInstalledVersion[] = "6.1.0";
constexpr int kMaxClimb = 10;

DWORD Attributes(const std::string& path) {
    return GetFileAttributesW(Widen(path).c_str());
}
bool FileExists(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
bool FolderExists(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string FolderOf(const std::string& path) {
    const size_t at = path.find_last_of("\\/");
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

struct TDrive {
    std::string Root;
    UINT Type = DRIVE_UNKNOWN;
    int Ready = -1; // not asked yet
};

// Drive roots in the order the system gives them, without A:\ and B:\, with their types.
std::vector<TDrive> ScannedDrives() {
    std::vector<TDrive> drives;
    wchar_t buffer[512] = {};
    const DWORD n = GetLogicalDriveStringsW(static_cast<DWORD>(std::size(buffer) - 1), buffer);
    if (n == 0 || n >= std::size(buffer)) return drives;
    for (const wchar_t* p = buffer; *p; p += wcslen(p) + 1) {
        std::string root = Narrow(p);
        if (IsSkippedDriveRoot(root)) continue;
        drives.push_back(TDrive{std::move(root), GetDriveTypeW(p), -1});
    }
    return drives;
}

// Asks the volume with the system's critical-error boxes off (an empty drive must not ask the
// user to insert a disk).
bool VolumeReady(std::string root) {
    if (root.size() == 1) root += ':';
    if (root.back() != '\\') root += '\\';
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
    const BOOL ok =
        GetVolumeInformationW(Widen(root).c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0);
    SetErrorMode(previous);
    return ok != FALSE;
}

// The drives as one search sees them: listed, typed and asked once per search rather than at
// every scan of it.
thread_local std::vector<TDrive>* tSearchDrives = nullptr;

class TDriveSnapshot {
public:
    TDriveSnapshot() : FOuter(tSearchDrives) {
        if (!FOuter) tSearchDrives = &FDrives;
        Refresh();
    }
    ~TDriveSnapshot() {
        if (!FOuter) tSearchDrives = nullptr;
    }
    TDriveSnapshot(const TDriveSnapshot&) = delete;
    TDriveSnapshot& operator=(const TDriveSnapshot&) = delete;
    static void Refresh() {
        if (tSearchDrives) *tSearchDrives = ScannedDrives();
    }

private:
    std::vector<TDrive>* FOuter;
    std::vector<TDrive> FDrives;
};

// The first ready drive of `type` for which `match` holds; empty when none.
template <class Match>
std::string FirstDrive(UINT type, Match match) {
    std::vector<TDrive> own;
    if (!tSearchDrives) own = ScannedDrives();
    std::vector<TDrive>& drives = tSearchDrives ? *tSearchDrives : own;
    for (TDrive& drive : drives) {
        if (drive.Type != type) continue;
        if (drive.Ready < 0) drive.Ready = VolumeReady(drive.Root) ? 1 : 0;
        if (drive.Ready == 0) continue;
        if (match(drive.Root)) return drive.Root;
    }
    return {};
}

// One value of a profile file; empty (with the reason in the log) when the file is missing.
std::string ProfileValue(const std::string& file, const char* section, const char* key) {
    try {
        if (!FileExists(file)) {
            WriteAppLog(ProfileFileMissingText(file));
            return {};
        }
        std::vector<wchar_t> value(4096, L'\0');
        const DWORD n =
            GetPrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), L"", value.data(),
                                     static_cast<DWORD>(value.size()), Widen(file).c_str());
        return Narrow(std::wstring_view(value.data(), n));
    } catch (const std::exception& e) {
        WriteAppLog(ProfileReadFailedText(file, section, key, e.what()));
        return {};
    }
}

// The first three parts of the "FileVersion" text under the file's first translation.
std::string FileVersion(const std::string& path) {
    const std::wstring wide = Widen(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(wide.c_str(), 0, size, data.data())) return {};
    void* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &translation, &length) || length < 4)
        return {};
    const WORD* pair = static_cast<const WORD*>(translation);
    wchar_t query[64];
    swprintf(query, std::size(query), L"\\StringFileInfo\\%04x%04x\\FileVersion", pair[0], pair[1]);
    void* text = nullptr;
    if (!VerQueryValueW(data.data(), query, &text, &length) || length == 0) return {};
    return FirstThreeVersionParts(Narrow(static_cast<const wchar_t*>(text)));
}

std::string DefaultInstalledLibrary() {
    wchar_t dir[MAX_PATH + 1] = {};
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return {};
    return std::string(1, static_cast<char>(dir[0])) + ":\\Corvane\\CommonFiles\\KitDeployer\\FRXAppAPI.dll";
}

// The secondary device library on the first removable drive that has it, for one task.
class TSoleDisk {
public:
    TSoleDisk() {
        const std::string drive = FirstDrive(
            DRIVE_REMOVABLE, [](const std::string& root) { return FileExists(root + kSoleDiskLibrary); });
        if (drive.empty()) return;
        FModule.Reset(
            LoadLibraryExW(Widen(drive + kSoleDiskLibrary).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        if (!FModule) return;
        BindExport(FModule.Get(), frx::kQwpmInitName, FInit);
        BindExport(FModule.Get(), frx::kQwpmSelectDeviceName, FSelectDevice);
        BindExport(FModule.Get(), frx::kQwpmFileIsExistName, FFileIsExist);
        BindExport(FModule.Get(), frx::kQwpmReadFileName, FReadFile);
        BindExport(FModule.Get(), frx::kQwpmFreeName, FFree);
    }

    bool HasUpdateFile() {
        int32_t exists = 0;
        return Run([&] {
                   if (FFileIsExist) CallForeign(FFileIsExist, u"Up4t5.ini", &exists, FWork);
               }) &&
               exists != 0;
    }
    bool FetchUpdateFile(const std::string& target) {
        const std::u16string wideTarget = Utf8ToUtf16(target);
        return Run([&] {
            if (FReadFile) CallForeign(FReadFile, u"Up4t5.ini", wideTarget.c_str(), FWork);
        });
    }

private:
    template <class Task>
    bool Run(Task task) {
        if (!FModule || !FInit) return false;
        unsigned char work[frx::kWorkAreaSize] = {};
        FWork = work;
        if (CallForeign(FInit, u"", FWork) != 0) return false;
        if (FSelectDevice) CallForeign(FSelectDevice, 0, FWork);
        task();
        if (FFree) CallForeign(FFree, FWork);
        FWork = nullptr;
        return true;
    }

    UniqueModule FModule;
    void* FWork = nullptr;
    frx::TQwpmInit FInit = nullptr;
    frx::TQwpmSelectDevice FSelectDevice = nullptr;
    frx::TQwpmFileIsExist FFileIsExist = nullptr;
    frx::TQwpmReadFile FReadFile = nullptr;
    frx::TQwpmFree FFree = nullptr;
};

// The mirror folder of a device application on the first ready fixed drive that has it.
std::string MirrorOn(const std::string& product, const std::string& area, const std::string& mainProduct) {
    const std::string name = MirrorFolderName(product, area, mainProduct);
    const std::string drive =
        FirstDrive(DRIVE_FIXED, [&](const std::string& root) { return FolderExists(root + name); });
    return drive.empty() ? std::string() : drive + name;
}

} // namespace

TFRXExtInterface& TFRXExtInterface::Instance() {
    static TFRXExtInterface instance;
    return instance;
}

TFRXExtInterface::TFRXExtInterface(TFRXSettings settings) : FSettings(std::move(settings)) {}

TFRXExtInterface::~TFRXExtInterface() {
    if (FAppsDLLHandle) FreeLibrary(FAppsDLLHandle);
    FAppsDLLHandle = nullptr;
}

std::string TFRXExtInterface::ProgramFolder() const {
    return FSettings.ProgramFolder.empty() ? ::ProgramFolder() : FSettings.ProgramFolder;
}

bool TFRXExtInterface::FindPublicVolume(std::string& folder) {
    folder.clear();
    const auto isDataVolume = [](const std::string& root) {
        return FolderExists(root + kDeviceFolder) || FileExists(root + kCoreFile);
    };
    if (FPublicBF.empty() || !FileExists(FPublicBF + kCoreFile)) {
        FPublicBF.clear();
        const DWORD began = GetTickCount();
        std::string found = FirstDrive(DRIVE_REMOVABLE, isDataVolume);
        // A device being plugged in may need a moment to show up: look once more after 200 ms,
        // once per process, so that a machine without a device does not wait at every call.
        if (found.empty() && !FRescanDone && GetTickCount() == began) {
            FRescanDone = true;
            const DWORD waitFrom = GetTickCount();
            while (GetTickCount() - waitFrom < 200) {
                ProcessPendingMessages();
                Sleep(1);
            }
            TDriveSnapshot::Refresh();
            found = FirstDrive(DRIVE_REMOVABLE, isDataVolume);
        }
        FPublicBF = found;
    }
    if (FPublicBF.empty()) return false;

    const std::string coreFile = FPublicBF + kCoreFile;
    const std::string mirror = FileExists(coreFile) ? ProfileValue(coreFile, "mir", "path") : std::string();
    if (!mirror.empty()) {
        const std::string drive = FirstDrive(
            DRIVE_FIXED, [&](const std::string& root) { return FolderExists(root + mirror + "\\"); });
        if (!drive.empty()) folder = drive + mirror + "\\";
        return true;
    }
    const std::string cdrom =
        FirstDrive(DRIVE_CDROM, [](const std::string& root) { return FileExists(root + "ResVol.dll"); });
    return cdrom.empty();
}

std::string TFRXExtInterface::FindMirrorFolder() {
    const std::string drive =
        FirstDrive(DRIVE_REMOVABLE, [](const std::string& root) { return FileExists(root + kStaticFile); });
    if (drive.empty()) return {};
    const std::string staticFile = drive + kStaticFile;
    const std::string product = ProfileValue(staticFile, "FRXInfo", "Cpbm");
    const std::string zone = ProfileValue(staticFile, "FRXInfo", "ZoneCode");
    const std::string mainProduct = ProfileValue(staticFile, "FRXInfo", "MainAppCpbm");

    std::string folder = MirrorOn(product, zone, mainProduct);
    // The device is asked in any case; the secondary library goes again after each task.
    const bool hasUpdateFile = TSoleDisk().HasUpdateFile();
    if (!folder.empty()) return folder;
    if (!hasUpdateFile) return {};
    if (zone.compare(0, 2, "13") == 0) {
        folder = MirrorOn(kMirrorProduct, zone, mainProduct);
        if (folder.empty()) folder = MirrorOn(kMirrorProduct, kMirrorDefaultArea, mainProduct);
        if (!folder.empty()) return folder + "Apps\\WARDLANE1.2_USB\\";
    }
    const std::string updateFile = ProgramFolder() + kUpdateFile;
    TSoleDisk().FetchUpdateFile(updateFile);
    const std::string oldZone = ProfileValue(updateFile, "info", "OldZoneCode");
    const std::string oldMain = ProfileValue(updateFile, "info", "OldMainAppCpbm");
    folder = MirrorOn(kMirrorProduct, oldZone, oldMain);
    if (!folder.empty()) folder += MirrorAppsFolderForArea(zone);
    return folder;
}

std::string TFRXExtInterface::FindLibraryPath() {
    const std::string installed =
        FSettings.InstalledLibrary.empty() ? DefaultInstalledLibrary() : FSettings.InstalledLibrary;
    if (!installed.empty() && FileExists(installed)) {
        const std::string version = FileVersion(installed);
        if (IsFRXVersionAtLeast(version, kMinimumInstalledVersion)) return installed;
        WriteAppLog("FRX: installed library " + installed + " version \"" + version + "\" is below " +
                    kMinimumInstalledVersion);
    }
    std::string folder;
    if (FindPublicVolume(folder)) {
        const std::string candidate = folder + kDeviceLibrary;
        if (FileExists(candidate)) return candidate;
    }
    const std::string programFolder = ProgramFolder();
    if (FileExists(programFolder + kDeviceLibrary)) return programFolder + kDeviceLibrary;
    for (int up = 0; up <= kMaxClimb; ++up) {
        const std::string parent = GetDirParent(programFolder, up);
        if (FileExists(parent + kDeviceLibrary)) return parent + kDeviceLibrary;
        if (FileExists(parent + kLibraryName)) return parent + kLibraryName;
    }
    const std::string mirror = FindMirrorFolder();
    if (!mirror.empty()) {
        if (FileExists(mirror + kDeviceLibrary)) return mirror + kDeviceLibrary;
        if (FileExists(mirror + kLibraryName)) return mirror + kLibraryName;
    }
    return {};
}

void TFRXExtInterface::StartLauncherOnce() {
    if (FLauncherStarted) return;
    std::string launcher = FirstDrive(DRIVE_REMOVABLE, [](const std::string& root) {
        return FileExists(root + "Ferrolux\\FRXLauncher.exe");
    });
    if (!launcher.empty()) {
        launcher += "Ferrolux\\FRXLauncher.exe";
    } else {
        const std::string cdrom =
            FirstDrive(DRIVE_CDROM, [](const std::string& root) { return FileExists(root + "ResVol.dll"); });
        if (cdrom.empty() || FileExists(cdrom + "HDBinding.dll")) return;
        const std::string open = ProfileValue(cdrom + "AUTORUN.INF", "AutoRun", "open");
        launcher = AutorunLauncherPath(cdrom, open);
        if (launcher.empty()) {
            WriteAppLog("FRX: AUTORUN.INF of " + cdrom +
                        " names a launcher off the volume, not started: " + open);
            return;
        }
    }
    if (!FileExists(launcher)) return;
    FLauncherStarted = true;
    const std::string folder = FolderOf(launcher);
    WriteAppLog("FRX: starting the device launcher " + launcher);
    if (FSettings.StartLauncher) {
        FSettings.StartLauncher(launcher, folder);
        return;
    }
    ShellExecuteW(nullptr, L"open", Widen(launcher).c_str(), nullptr, Widen(folder).c_str(), SW_HIDE);
}

void TFRXExtInterface::EnsureLoaded() {
    if (FAppsDLLHandle) return;
    try {
        const TDriveSnapshot drives;
        const std::string path = FindLibraryPath();
        if (path.empty() || !FileExists(path)) {
            StartLauncherOnce();
            return;
        }
        // A full path brings its own folder into the search for the library's dependencies; the
        // altered search is undefined for a relative one ("Ferrolux\..." in the current folder).
        const std::wstring widePath = Widen(path);
        const HMODULE module = PathIsRelativeW(widePath.c_str())
                                   ? LoadLibraryW(widePath.c_str())
                                   : LoadLibraryExW(widePath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        // Handles below 32 are error codes of the old loader: not loaded.
        if (reinterpret_cast<uintptr_t>(module) < 32) return;
        FAppsDLLHandle = module;
        FLoadedLibrary = path;
        BindExport(module, frx::kGetFRXVersionName, FGetFRXVersion);
        BindExport(module, frx::kFRXGetTaxpayerName, FFRXGetTaxpayer);
        BindExport(module, frx::kFRXInsertUpdateEventName, FFRXInsertUpdateEvent);
    } catch (const std::exception& e) {
        WriteAppLog(std::string("FRX: loading the device library failed: ") + e.what());
    }
}

int32_t TFRXExtInterface::GetFRXVersion(std::string& answer) {
    answer.clear();
    EnsureLoaded();
    if (!FGetFRXVersion) return frx::kNotAvailable;
    std::vector<char> buffer(frx::kAnswerBufferSize, '\0');
    char* data = buffer.data();
    const int32_t result = CallForeign(FGetFRXVersion, &data);
    buffer.back() = '\0';
    answer = AnsiToUtf8(buffer.data());
    return result;
}

int32_t TFRXExtInterface::GetFRXGetTaxpayer(std::string& answer) {
    answer.clear();
    EnsureLoaded();
    if (!FFRXGetTaxpayer) return frx::kNotAvailable;
    std::vector<char> buffer(frx::kAnswerBufferSize, '\0');
    const int32_t result = CallForeign(FFRXGetTaxpayer, buffer.data());
    buffer.back() = '\0';
    answer = AnsiToUtf8(buffer.data());
    return result;
}

int32_t TFRXExtInterface::GetFRXInsertUpdateEvent() {
    EnsureLoaded();
    if (!FFRXInsertUpdateEvent) return frx::kNotAvailable;
    return CallForeign(FFRXInsertUpdateEvent);
}
