#pragma once
// What the host and the services need of the web framework, as one small interface: control
// parameters, the main log, showing a form, and the IAppFramework pointer handed to extension
// modules. In the program it is the framework binding; tests put a fake in its place.
#include <cstdint>
#include <string>
#include <string_view>

class IHostFramework {
public:
    virtual ~IHostFramework() = default;
    // UTF-8 texts. The library answers the default itself when it has no value.
    virtual std::string GetControlParams(std::string_view cfgType, std::string_view section,
                                         std::string_view key, std::string_view defaultValue) = 0;
    virtual bool SetControlParams(std::string_view cfgType, std::string_view section, std::string_view key,
                                  std::string_view value) = 0;
    // One finished line of the main log (already formatted; '%' has no meaning here).
    virtual void WriteLog(std::string_view utf8Line) = 0;
    virtual void ShowForm(uintptr_t window) = 0;
    // The IAppFramework interface for extension modules; null when there is no framework object.
    virtual void* AppFrameworkInterface() = 0;
};

// The process-wide framework. Until one is set it is the framework binding in the program and an
// inert one (defaults answered, nothing logged) in native builds. Safe to read from any thread.
IHostFramework& HostFramework();
// Null puts the default back. The caller keeps the object alive while it is set.
void SetHostFramework(IHostFramework* framework);
// The default of this build (see above).
IHostFramework& DefaultHostFramework();
