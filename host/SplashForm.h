#pragma once
// The splash form as the host context sees it: something shown during start-up and closed once,
// by the first page load or by the time-out, whichever comes first.
class ISplashForm {
public:
    virtual ~ISplashForm() = default;
    virtual void Close() = 0;
};

// The splash form of the program. It has no picture yet, so showing and closing it change nothing
// on screen; the start-up sequence and the time-out already run through it.
class TfrmSplashFrm final : public ISplashForm {
public:
    void Show() {}
    void Close() override {}
};
