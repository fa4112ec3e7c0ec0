#pragma once
// TAppForm: one web form of the library, addressed by its window handle. The form object of a
// form is its top-level window (the library and the program share no component runtime).
#include "webbridge/AppFrameworkContract.h"

class TAppFramework;

class TAppForm {
public:
    // owner: the binding whose main window is told when the form closes.
    TAppForm(TFwHandle aHandle, TAppFramework& owner);
    ~TAppForm(); // closes the form
    TAppForm(const TAppForm&) = delete;
    TAppForm& operator=(const TAppForm&) = delete;

    // The form object's window when there is one, else the handle it was made with.
    TFwHandle Handle();
    TFwHandle Handle2() const { return Fhandle2; }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    void SetWidth(int32_t w);
    void SetHeight(int32_t h);
    TFwHandle CurForm() const { return FCurForm; }
    void SetCurForm(TFwHandle form) { FCurForm = form; }

    void Show();
    int32_t ShowModal();
    // Closes the form object (when there is one) and tells the library's main window.
    void Close();

private:
    int32_t FHeight = 0;
    int32_t FWidth = 0;
    TFwHandle Fhandle = 0;
    TFwHandle Fhandle2 = 0;
    TFwHandle FCurForm = 0;
    TAppFramework& FOwner;
};
