#pragma once
// The account library "ZRAccount.dll": loaded at program start when its file is there, its
// registration record found through the window class it registers, its account object handed out
// to the account service, finalised and unloaded at program end when this program loaded it.
// Reports go to the debugger output only.
#include "services/ZRAccountContract.h"

#include <string>

// Start-up: the library in the program's folder, else the bare name when it exists relative to
// the current folder; nothing when neither exists.
void LoadZRAccountAtStart();
// True when the registration record is available afterwards. A second call answers true at once.
bool LoadZRAccount(const std::string& pathUtf8);
// Finalises and unloads the library when this program loaded it; a library that was already in
// the process is left alone.
void UnloadZRAccount();
bool IsZRAccountAvailable();
// The library's account object, through entry 20 of the record. Raises when no record is
// available (the account service is never reached then).
TFwRef<IZRAccount> GetZRAccount();

// Tests: an account object handed out (and counted as available) in place of the library's; null
// puts the library back. The caller keeps it alive while it is set.
void SetZRAccountForTests(IZRAccount* account);
