#pragma once
// The portable rules of the maker's tax device: version texts of the device libraries, the local
// mirror folder names, the launcher named by the device's CD-ROM volume and folder climbing.
// Paths use "\" and are UTF-8.
#include <string>
#include <string_view>

// True when `version` is a device-library version at least `minimum`. A version is read with any
// letter case and an optional leading "V", and must be exactly three dot-separated whole numbers
// from 0 to 999 (both texts; otherwise false). The parts are compared as numbers, major first, so
// "6.10.0" is above "6.9.0".
bool IsFRXVersionAtLeast(std::string_view version, std::string_view minimum);

// The first three dot-separated parts of a file-version text ("6.1.0.12" -> "6.1.0").
std::string FirstThreeVersionParts(std::string_view fileVersion);

// "FRXLocalMirror\{md5}\" for a device application: the digest is taken of product code + area
// code + main product code (the last left out when empty), lowercase hex.
std::string MirrorFolderName(std::string_view productCode, std::string_view areaCode,
                             std::string_view mainProductCode);

// The application folder inside a mirror found through the device's old area code, chosen by the
// current area code: "Apps\WARDLANEGD_USB\" for codes of "44" other than "4403...", otherwise
// "Apps\WARDLANE3.0_USB\".
std::string MirrorAppsFolderForArea(std::string_view areaCode);

// The launcher named by the `open` value of a CD-ROM volume's AUTORUN.INF: volumeRoot + value.
// A leading separator means the volume's root. Empty when the value would lead off that volume:
// empty, with a drive ("D:x"), a network or device path, or any ".." step.
std::string AutorunLauncherPath(std::string_view volumeRoot, std::string_view openValue);

// `dir` without its trailing separator climbed `upTag` folders up, with a trailing separator;
// never above the drive. A bare drive ("C:", "C:\") comes back unchanged.
std::string GetDirParent(std::string_view dir, int upTag);

// Drive scans never look at the floppy letters.
bool IsSkippedDriveRoot(std::string_view root);

// Error texts of reading one value of a profile (ini) file.
std::string ProfileFileMissingText(std::string_view file);
std::string ProfileReadFailedText(std::string_view file, std::string_view section, std::string_view key,
                                  std::string_view message);
