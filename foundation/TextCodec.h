#pragma once
// Text conversions at the program's boundaries. Inside the program every text is UTF-8 in a
// std::string; the web framework and most outside libraries take 8-bit text in the ANSI code
// page, a few take UTF-16. Conversions happen only where a text crosses such a boundary.
#include <string>
#include <string_view>

// The ANSI code page used by the conversions below. In the Win32 build it starts as the system's
// (GetACP); natively it starts as 936 so the portable tests see the same bytes as the program in
// a Chinese locale. SetAnsiCodePage lets tools and tests choose another one.
unsigned AnsiCodePage();
void SetAnsiCodePage(unsigned codePage);

// UTF-8 -> ANSI bytes; a character the code page cannot hold becomes the code page's
// substitute ('?'), as the system's own conversion does.
std::string Utf8ToAnsi(std::string_view utf8);
// ANSI bytes -> UTF-8; an invalid byte sequence becomes U+FFFD.
std::string AnsiToUtf8(std::string_view ansi);

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
std::string Utf16ToAnsi(std::u16string_view utf16);
std::u16string AnsiToUtf16(std::string_view ansi);

#ifdef _WIN32
// Win32 wide strings (wchar_t is 16-bit there).
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
#endif
