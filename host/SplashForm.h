#pragma once
// The splash form as the host context sees it: something shown during start-up and closed once,
// by the first page load or by the time-out, whichever comes first.
class ISplashForm {
public:
    virtual ~ISplashForm() = default;
    virtual void Close() = 0;
};
