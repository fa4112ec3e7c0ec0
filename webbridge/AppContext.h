#pragma once
// TAppContext: the library's registry of named native objects (the host registers itself under
// "QeltContext"; extension modules read it back). TPsScript: runs a script in the main window.
#include "webbridge/AppFrameworkIntf.h"

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

class TAppFramework;

class TAppContext {
public:
    TAppContext();
    ~TAppContext();
    TAppContext(const TAppContext&) = delete;
    TAppContext& operator=(const TAppContext&) = delete;

    bool RegContext(std::string_view sContextName, void* pContent);
    bool UnRegContext(std::string_view sContextName, void* pContent);
    void* GetContext(std::string_view sContextName);

    IRegAppContext* Intf();

private:
    class TIntf;

    std::atomic<TRegContext> __RegContext{nullptr};
    std::atomic<TUnRegContext> __UnRegContext{nullptr};
    std::atomic<TGetContext> __GetContext{nullptr};
    std::unique_ptr<TIntf> FIntf;
};

class TPsScript {
public:
    explicit TPsScript(TAppFramework& owner) : FAppFram(owner) {}
    // True when the main window ran the script; otherwise sErrMsg holds the library's error text.
    bool RunScript(std::string_view sScript, std::string& sErrMsg);
    // The object's JSON form: {"FAppFram":null}, its one field being the owner, not printed.
    std::string ToJson() const;

private:
    TAppFramework& FAppFram;
};
