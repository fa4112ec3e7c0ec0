#include "device/ZRCompanyUtils.h"

#include "device/LocalEnv.h"
#include "foundation/TextCodec.h"

#include <windows.h>

#include <vector>

namespace {
const char kLastNsrInfo[] = "LastNsrInfo";
const char kCurNsrInfo[] = "CurNsrInfo";

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Creates the folder holding `fileName` and every missing parent; errors surface later, when
// the file is written.
void EnsureParentFolder(const std::string& fileName) {
    const std::wstring path = Widen(fileName);
    const size_t skip = Widen(DriveOf(fileName)).size();
    for (size_t i = skip + 1; i < path.size(); ++i) {
        if (IsSeparator(path[i]) && !IsSeparator(path[i - 1]))
            CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
}

std::string ReadProfile(const wchar_t* section, const wchar_t* key, const wchar_t* def,
                        const std::wstring& file) {
    std::vector<wchar_t> buffer(1024);
    for (;;) {
        const DWORD n = GetPrivateProfileStringW(section, key, def, buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), file.c_str());
        // A full buffer means the value may have been cut: read again with more room.
        if (n + 2 < buffer.size() || buffer.size() >= (1u << 20))
            return Narrow(std::wstring_view(buffer.data(), n));
        buffer.resize(buffer.size() * 4);
    }
}
} // namespace

bool TProfileFile::Exists() const {
    const DWORD attrs = GetFileAttributesW(Widen(FFileName).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

std::string TProfileFile::ReadString(std::string_view section, std::string_view key,
                                     std::string_view def) const {
    return ReadProfile(Widen(section).c_str(), Widen(key).c_str(), Widen(def).c_str(), Widen(FFileName));
}

bool TProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    return WritePrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(value).c_str(),
                                      Widen(FFileName).c_str()) != FALSE;
}

bool TProfileFile::SectionExists(std::string_view section) const {
    if (!Exists()) return false;
    std::vector<wchar_t> buffer(32768);
    const DWORD n = GetPrivateProfileSectionW(Widen(section).c_str(), buffer.data(),
                                              static_cast<DWORD>(buffer.size()), Widen(FFileName).c_str());
    if (n > 0) return true;
    // An empty section still exists when its header is listed.
    const DWORD m = GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(buffer.size()),
                                                   Widen(FFileName).c_str());
    const std::wstring wanted = Widen(section);
    for (const wchar_t* p = buffer.data(); p < buffer.data() + m && *p; p += wcslen(p) + 1) {
        if (CompareStringOrdinal(p, -1, wanted.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    }
    return false;
}

bool TProfileFile::EraseSection(std::string_view section) {
    if (!Exists()) return true;
    return WritePrivateProfileStringW(Widen(section).c_str(), nullptr, nullptr, Widen(FFileName).c_str()) !=
           FALSE;
}

TZRLastCompanyUitl::TZRLastCompanyUitl() : TZRLastCompanyUitl(CompanyRecordFile()) {}

TZRLastCompanyUitl::TZRLastCompanyUitl(std::string fileName)
    : FIni(std::make_unique<TProfileFile>(std::move(fileName))) {
    if (!FIni->FileName().empty()) EnsureParentFolder(FIni->FileName());
}

TZRLastCompanyUitl::~TZRLastCompanyUitl() = default;

bool TZRLastCompanyUitl::RemoveLastNsrInfo() {
    if (FIni->FileName().empty()) return false;
    return FIni->EraseSection(kLastNsrInfo);
}

bool TCurNsrInfo::Erase() {
    if (FIni->FileName().empty()) return false;
    return FIni->EraseSection(kCurNsrInfo);
}

void WipeTaxpayerRecords(const std::string& fileName) {
    try {
        {
            TZRLastCompanyUitl last(fileName);
            last.RemoveLastNsrInfo();
        }
        TCurNsrInfo current(fileName);
        current.Erase();
    } catch (...) {
        // Start-up goes on whatever happens to a sibling product's file.
    }
}

void WipeTaxpayerRecordsAtStart() {
    try {
        WipeTaxpayerRecords(CompanyRecordFile());
    } catch (...) {
    }
}
