#pragma once
// TAppForm: one web form of the library, addressed by its window handle. The library's form
// object (message 6030) is kept opaque: the program does not share the library's component
// runtime, so it works on the form through the form's window.
#include "webbridge/AppFrameworkContract.h"

#include <string>

class TAppFramework;

class TAppForm {
public:
    // owner: the binding whose main window is told when the form closes.
    TAppForm(TFwHandle aHandle, TAppFramework& owner);
    ~TAppForm(); // closes the form
    TAppForm(const TAppForm&) = delete;
    TAppForm& operator=(const TAppForm&) = delete;

    // The form's window (the handle it was made with).
    TFwHandle Handle() const { return Fhandle; }
    TFwHandle Handle2() const { return Fhandle2; }
    void SetHandle2(TFwHandle h) { Fhandle2 = h; }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    void SetWidth(int32_t w);
    void SetHeight(int32_t h);
    void* CurForm() const { return FCurForm; }
    void SetCurForm(void* form) { FCurForm = form; }

    void Show();
    int32_t ShowModal();
    // With a form object: hides the form's window, detaches it from its parent, closes it and tells
    // the library's main window; without one, only tells the main window (with Handle2).
    void Close();
    // The object's JSON form: its fields by name ({"FHeight":..,"FWidth":..,"Fhandle":..,
    // "Fhandle2":..,"FCurForm":null}); the library's form object is not ours to print.
    std::string ToJson() const;

private:
    int32_t FHeight = 0;
    int32_t FWidth = 0;
    TFwHandle Fhandle = 0;
    TFwHandle Fhandle2 = 0;
    void* FCurForm = nullptr; // the library's form object: opaque, never dereferenced
    TAppFramework& FOwner;
};
