#pragma once
// Identifies the window control a module passes (TWinControlRef) without ever reading through it.
#include "webbridge/AppFrameworkIntf.h"

#include <string>

// Asks a live web control of the program for its page window (GetWebID).
inline constexpr unsigned kMsgWebControlWebID = 1125;

// The program's web controls register the pointer they hand out while they live.
void RegisterLiveControl(const void* object, TFwHandle window);
void UnregisterLiveControl(const void* object);
// True for the window of a live web control of the program.
bool IsLiveControlWindow(TFwHandle window);

// The window a control reference names, tried in this order: a live web control of the program;
// a component-runtime object marking a window of the calling thread (or a child of one); a window
// handle. 0 when it names none of these.
TFwHandle WindowOfControl(TWinControlRef control);

// The window's class name (UTF-8); empty for no window.
std::string WindowClassName(TFwHandle window);
