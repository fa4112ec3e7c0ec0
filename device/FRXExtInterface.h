#pragma once
// The maker's portable tax device (Win32 build only): finds its library (installed, on the
// device, beside the program, above it or in the local mirror), loads it, binds its three exports
// by name and offers them. When no library is found but the device is plugged in, the device's
// launcher is started, at most once per process. Paths are UTF-8.
// Contract of the libraries: device/FRXDeviceContract.h.
#include "device/FRXDeviceContract.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// Where the interface looks; tests point it at folders and drives of their own.
struct TFRXSettings {
    // The installed library; empty: S:\Corvane\CommonFiles\KitDeployer\FRXAppAPI.dll, S the drive
    // of the Windows system directory.
    std::string InstalledLibrary;
    // The program's folder with a trailing "\"; empty: the executable's folder.
    std::string ProgramFolder;
    // Starts a launcher (path, its folder); none: the shell's open, hidden.
    std::function<void(const std::string& path, const std::string& folder)> StartLauncher;
};

class TFRXExtInterface {
public:
    // The process-wide instance, created on first use; its library is freed at process end.
    static TFRXExtInterface& Instance();

    explicit TFRXExtInterface(TFRXSettings settings = {});
    ~TFRXExtInterface();
    TFRXExtInterface(const TFRXExtInterface&) = delete;
    TFRXExtInterface& operator=(const TFRXExtInterface&) = delete;

    // The device operations; each first makes sure the library is loaded. -1 when the library or
    // the export is missing. Answers are the library's buffer text, converted to UTF-8.
    int32_t GetFRXVersion(std::string& answer);
    int32_t GetFRXGetTaxpayer(std::string& answer);
    int32_t GetFRXInsertUpdateEvent();

    bool IsLoaded() const { return FAppsDLLHandle != nullptr; }
    // The library file that was loaded (empty until then).
    const std::string& LoadedLibrary() const { return FLoadedLibrary; }
    // Root of the device's data volume once found ("E:\").
    const std::string& PublicVolume() const { return FPublicBF; }
    bool LauncherStarted() const { return FLauncherStarted; }

    // The search steps, open for tests.
    // The device's data volume: flag and the library folder it points at (see the source).
    bool FindPublicVolume(std::string& folder);
    std::string FindMirrorFolder();
    std::string FindLibraryPath();

private:
    void EnsureLoaded();
    void StartLauncherOnce();
    std::string ProgramFolder() const;

    TFRXSettings FSettings;
    HMODULE FAppsDLLHandle = nullptr;
    std::string FLoadedLibrary;
    std::string FPublicBF;
    bool FLauncherStarted = false;
    bool FRescanDone = false;
    frx::TGetFRXVersion FGetFRXVersion = nullptr;
    frx::TFRXGetTaxpayer FFRXGetTaxpayer = nullptr;
    frx::TFRXInsertUpdateEvent FFRXInsertUpdateEvent = nullptr;
};
