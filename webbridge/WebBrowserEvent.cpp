#include "webbridge/WebBrowserEvent.h"

#include "foundation/AppLog.h"
#include "foundation/TextCodec.h"

#include <exception>

void APPFRAME_STDCALL TWebBrowserEventSink::Thunk(void* self, void* Sender, void* userContext,
                                                  int32_t iEventType, const char* sEventName,
                                                  IAppContext* aAppContext) noexcept {
    std::string name;
    try {
        name = AnsiToUtf8(sEventName ? sEventName : "");
        if (self != nullptr)
            static_cast<TWebBrowserEventSink*>(self)->OnWebBrowserEvent(Sender, userContext, iEventType, name,
                                                                        aAppContext);
    } catch (const std::exception& e) {
        WriteAppLog("OnWebBrowserEvent[" + name + "]: " + e.what());
    } catch (...) {
        WriteAppLog("OnWebBrowserEvent[" + name + "]: unknown error");
    }
}
