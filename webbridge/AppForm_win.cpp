#include "webbridge/AppForm.h"

#include "webbridge/AppFramework.h"
#include "webbridge/BoundaryGuard.h"
#include "foundation/Json.h"

#include <windows.h>

namespace {
HWND Wnd(TFwHandle h) {
    return reinterpret_cast<HWND>(h);
}
} // namespace

TAppForm::TAppForm(TFwHandle aHandle, TAppFramework& owner)
    : Fhandle(aHandle), Fhandle2(aHandle), FOwner(owner) {}

TAppForm::~TAppForm() {
    GuardedCall("TAppForm.Destroy", [&] { Close(); });
}

void TAppForm::SetWidth(int32_t w) {
    FWidth = w;
    SendMessageA(Wnd(Handle()), kFwMsgSizeForm, static_cast<WPARAM>(w), 0);
}

void TAppForm::SetHeight(int32_t h) {
    FHeight = h;
    SendMessageA(Wnd(Handle()), kFwMsgSizeForm, 0, static_cast<LPARAM>(h));
}

void TAppForm::Show() {
    SendMessageA(Wnd(Handle()), kFwMsgShowForm, kFwShowNormal, kFwShowNormal);
}

int32_t TAppForm::ShowModal() {
    return static_cast<int32_t>(SendMessageA(Wnd(Handle()), kFwMsgShowForm, kFwShowModal, kFwShowModal));
}

void TAppForm::Close() {
    if (FCurForm != nullptr) {
        const HWND form = Wnd(Fhandle);
        ShowWindow(form, SW_HIDE);
        SetParent(form, nullptr);
        SendMessageA(form, WM_CLOSE, 0, 0);
        SendMessageA(Wnd(FOwner.GetMainHandle()), kFwMsgFormClosed, 0, reinterpret_cast<LPARAM>(form));
        FCurForm = nullptr;
        return;
    }
    SendMessageA(Wnd(FOwner.GetMainHandle()), kFwMsgFormClosed, 0, static_cast<LPARAM>(Fhandle2));
}

std::string TAppForm::ToJson() const {
    const JsonRef json = NewJsonObject();
    json->PutI("FHeight", FHeight);
    json->PutI("FWidth", FWidth);
    json->PutI("Fhandle", static_cast<int64_t>(Fhandle));
    json->PutI("Fhandle2", static_cast<int64_t>(Fhandle2));
    json->PutO("FCurForm", nullptr);
    return PrintJson(json);
}
