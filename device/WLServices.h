#pragma once
// Install locations that sibling products register in the current user's registry (Win32 build
// only).
#include <windows.h>

#include <string>

class TWLService {
public:
    // The process-wide instance, created on first use.
    static TWLService& GetInstance();

    // Reads the locations under `root\keyPath` (tests use a key of their own).
    explicit TWLService(HKEY root = HKEY_CURRENT_USER, std::wstring keyPath = L"Software\\Corvane\\brev2.0");
    TWLService(const TWLService&) = delete;
    TWLService& operator=(const TWLService&) = delete;

    // The assistant's executable: "InstalledPath" directly followed by "FileName" (UTF-8), each
    // empty when missing or not text; empty text when the key cannot be opened for reading.
    std::string BREVInstallPath() const;
    const std::string& AreaCode() const { return FAreaCode; }

private:
    std::string FAreaCode;
    HKEY FRoot;
    std::wstring FKeyPath;
};
