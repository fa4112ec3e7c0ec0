#pragma once
// Files, folders and environment for tests that run under Wine (Win32 build only).
#ifdef _WIN32
#include "foundation/Json.h"

#include <string>
#include <string_view>
#include <vector>

// The build folder of this test run as a Windows path with a trailing "\" (Wine sees the Unix
// root as drive Z:), from APPFRAME_BINARY_DIR.
std::wstring TestBuildFolder();
// Where the program and the stand-ins of outside libraries and sibling programs are built.
std::wstring TestProgramFolder();

// A fresh folder under the temporary folder, removed with everything in it when the object goes.
class TTestFolder {
public:
    explicit TTestFolder(std::wstring_view tag = L"test");
    ~TTestFolder();
    TTestFolder(const TTestFolder&) = delete;
    TTestFolder& operator=(const TTestFolder&) = delete;
    // With a trailing "\".
    const std::wstring& Path() const { return FPath; }
    std::string Utf8() const;

private:
    std::wstring FPath;
};

// Sets an environment variable of this process (tests see it in the libraries they load and in
// the programs they start) and restores the previous state at the end of the scope.
class TScopedEnv {
public:
    TScopedEnv(const wchar_t* name, const std::wstring& value);
    ~TScopedEnv();
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    std::wstring FName;
    std::wstring FOld;
    bool FHadOld = false;
};

// Copies a file, creating the destination folder (and its parents) first. An existing target
// that cannot be replaced because it is in use counts as copied.
bool CopyTestFile(const std::wstring& from, const std::wstring& to);
void CreateFolders(const std::wstring& folder);
void DeleteTree(const std::wstring& path);
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
std::string ReadWholeFile(const std::wstring& path);
void WriteWholeFile(const std::wstring& path, std::string_view bytes);
// The file's lines without their line breaks; none when the file is missing.
std::vector<std::string> ReadFileLines(const std::wstring& path);
// The JSON lines of a transcript or call log (lines that do not parse are skipped); with a kind,
// only the lines whose "kind" member is that text.
std::vector<JsonRef> ReadJsonLines(const std::wstring& path, const std::string& kind = {});
#endif
