#pragma once
// The company-record file that sibling products share, "\Corvane\Common\ZRCompany.ini" on the
// Windows drive (Win32 build only). Paths, sections and keys are UTF-8; the file itself stays in
// whatever encoding its writers chose, through the system's profile functions.
#include <memory>
#include <string>
#include <string_view>

// One profile (ini) file; the file need not exist.
class TProfileFile {
public:
    explicit TProfileFile(std::string fileName) : FFileName(std::move(fileName)) {}

    const std::string& FileName() const { return FFileName; }
    bool Exists() const;
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool SectionExists(std::string_view section) const;
    // Removes the section with all its keys and leaves the rest of the file alone. A missing
    // file has nothing to erase and is not created.
    bool EraseSection(std::string_view section);

private:
    std::string FFileName;
};

// The last taxpayer a sibling product used (section "LastNsrInfo").
class TZRLastCompanyUitl {
public:
    // Over this machine's company-record file; its folder is created when missing.
    TZRLastCompanyUitl();
    // Over another file (its folder too is created when missing).
    explicit TZRLastCompanyUitl(std::string fileName);
    virtual ~TZRLastCompanyUitl();
    TZRLastCompanyUitl(const TZRLastCompanyUitl&) = delete;
    TZRLastCompanyUitl& operator=(const TZRLastCompanyUitl&) = delete;

    const TProfileFile& Ini() const { return *FIni; }
    bool RemoveLastNsrInfo();

protected:
    std::unique_ptr<TProfileFile> FIni;
};

// The current taxpayer (section "CurNsrInfo").
class TCurNsrInfo : public TZRLastCompanyUitl {
public:
    using TZRLastCompanyUitl::TZRLastCompanyUitl;
    bool Erase();
};

// Erases both taxpayer records of the file and keeps everything else; failures are silent.
void WipeTaxpayerRecords(const std::string& fileName);
// The same over this machine's company-record file. The entry point calls this first thing, so
// from the moment the program runs neither record remains.
void WipeTaxpayerRecordsAtStart();
