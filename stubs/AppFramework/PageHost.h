#pragma once
// Page-host mode of the stand-in framework (internal): with APPFRAME_PAGEHOST=1 in the client's
// environment every form is a page of the system's browser, served over HTTP on 127.0.0.1 (see
// README, "Page-host mode"). Sockets and threads live in PageHost_win.cpp; the HTTP rules in
// PageHostHttp.cpp.
#include <windows.h>

#include <cstdint>
#include <string>

bool PageHostEnabled();
// Starts the listener once, on the user-interface thread (the thread page events are raised on).
void PageHostStart();
// A form came or went.
void PageHostFormAdded(HWND form, HWND page, bool isMain, const std::string& urlAnsi);
// A shown form is opened by the main page once it has an address of the program folder.
void PageHostFormShown(HWND page);
void PageHostFormNavigated(HWND page, const std::string& urlAnsi);
void PageHostFormGone(HWND page);
// 2029: false when the form is not served.
bool PageHostAnswer(HWND page, int32_t callerNo, const std::string& textAnsi);
// 2025 and 6036: waits until the page ran the script; errorAnsi is the page's error text.
bool PageHostRunScript(HWND page, const std::string& scriptAnsi, std::string& errorAnsi);
// CallRegisterFun: false when no page registered the function.
bool PageHostCallFunction(const std::string& nameAnsi, const std::string& paramsJsonUtf8);
void PageHostStop();
