#include "actions/ThreadEndSignal.h"

#include "foundation/ScopedWin.h"

#include <system_error>

struct TThreadEndSignal::TImpl {
    UniqueHandle Ended;
};

TThreadEndSignal::TThreadEndSignal() : FImpl(std::make_unique<TImpl>()) {
    FImpl->Ended.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!FImpl->Ended) throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
}

TThreadEndSignal::~TThreadEndSignal() = default;

void TThreadEndSignal::Set() noexcept {
    SetEvent(FImpl->Ended.Get());
}

void TThreadEndSignal::Wait() noexcept {
    HANDLE ended = FImpl->Ended.Get();
    for (;;) {
        const DWORD woken =
            MsgWaitForMultipleObjectsEx(1, &ended, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0) return;
        if (woken != WAIT_OBJECT_0 + 1) break;
        // Handles every message sent to this thread; matches no posted one, so nothing is removed.
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    WaitForSingleObject(ended, INFINITE);
}
