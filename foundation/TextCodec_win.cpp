#include "foundation/TextCodec.h"

#include <windows.h>

#include <atomic>

namespace {
std::atomic<unsigned> g_codePage{0};
}

unsigned AnsiCodePage() {
    const unsigned cp = g_codePage.load(std::memory_order_relaxed);
    return cp ? cp : GetACP();
}

void SetAnsiCodePage(unsigned codePage) {
    g_codePage.store(codePage, std::memory_order_relaxed);
}

std::string Utf16ToAnsi(std::u16string_view s) {
    if (s.empty()) return {};
    const auto* w = reinterpret_cast<const wchar_t*>(s.data());
    const int n =
        WideCharToMultiByte(AnsiCodePage(), 0, w, static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(AnsiCodePage(), 0, w, static_cast<int>(s.size()), out.data(), n, nullptr,
                            nullptr);
    return out;
}

std::u16string AnsiToUtf16(std::string_view s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(AnsiCodePage(), 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n > 0 ? n : 0), u'\0');
    if (n > 0)
        MultiByteToWideChar(AnsiCodePage(), 0, s.data(), static_cast<int>(s.size()),
                            reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
}

std::wstring Widen(std::string_view utf8) {
    const std::u16string u = Utf8ToUtf16(utf8);
    return std::wstring(u.begin(), u.end());
}

std::string Narrow(std::wstring_view wide) {
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}
