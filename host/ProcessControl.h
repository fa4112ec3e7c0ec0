#pragma once
// Ways the client starts helpers and ends itself (Win32 build only).
#include <string>

// Name of the emergency helper the client starts, when present, from its own folder.
inline constexpr char kEmergencyHelperName[] = "WLEmergency.exe";

// Ends this process at once with exit code 0xFFFFFFFF. Returns (false) only when the system
// refused; the caller then carries on.
bool TerminateSelf();
// Starts programFolder + "WLEmergency.exe" hidden, when the file exists. Silent on failure.
// programFolder ends with a path delimiter.
void StartEmergencyHelper(const std::string& programFolder);
