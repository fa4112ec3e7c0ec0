#pragma once
// A C++ receiver of the library's page events. The callback handed to the library is a thunk
// that converts the event name to UTF-8 and catches whatever the receiver raises (logging it),
// since nothing may unwind into the library.
#include "webbridge/AppFrameworkContract.h"

#include <string>

class TWebBrowserEventSink {
public:
    virtual ~TWebBrowserEventSink() = default;
    // aAppContext is borrowed for the call and may be null.
    virtual void OnWebBrowserEvent(void* Sender, void* userContext, int32_t iEventType,
                                   const std::string& sEventName, IAppContext* aAppContext) = 0;
    // The (code, self) pair to give the library; valid while this object lives.
    TProcWebBrowserEventEx Callback() { return {&Thunk, this}; }

private:
    static void APPFRAME_STDCALL Thunk(void* self, void* Sender, void* userContext, int32_t iEventType,
                                       const char* sEventName, IAppContext* aAppContext) noexcept;
};
