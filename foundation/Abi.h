#pragma once
// Calling convention of every export and interface slot shared with outside libraries. On the
// 32-bit Windows target it is __stdcall; native builds (tests of portable code) have only one.
#if defined(_WIN32) && !defined(_WIN64)
#define APPFRAME_STDCALL __stdcall
#else
#define APPFRAME_STDCALL
#endif
