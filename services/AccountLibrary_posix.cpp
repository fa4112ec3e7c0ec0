// The native build has no account library: only an account object set by a test is available.
#include "services/AccountLibrary.h"

#include <atomic>
#include <stdexcept>

namespace {
std::atomic<IZRAccount*> gTestAccount{nullptr};
} // namespace

void SetZRAccountForTests(IZRAccount* account) {
    gTestAccount.store(account);
}

void LoadZRAccountAtStart() {}

bool LoadZRAccount(const std::string&) {
    return false;
}

void UnloadZRAccount() {}

bool IsZRAccountAvailable() {
    return gTestAccount.load() != nullptr;
}

TFwRef<IZRAccount> GetZRAccount() {
    IZRAccount* account = gTestAccount.load();
    if (account == nullptr) throw std::logic_error("the account library is not loaded");
    account->AddRef();
    return TFwRef<IZRAccount>(account);
}
