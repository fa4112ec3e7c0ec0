#include "host/HostFramework.h"

namespace {
// Native builds have no framework library: answers are the defaults the library would give.
class TInertFramework final : public IHostFramework {
public:
    std::string GetControlParams(std::string_view, std::string_view, std::string_view,
                                 std::string_view defaultValue) override {
        return std::string(defaultValue);
    }
    bool SetControlParams(std::string_view, std::string_view, std::string_view, std::string_view) override {
        return false;
    }
    void WriteLog(std::string_view) override {}
    void ShowForm(uintptr_t) override {}
    void* AppFrameworkInterface() override { return nullptr; }
};
} // namespace

IHostFramework& DefaultHostFramework() {
    static TInertFramework inert;
    return inert;
}
