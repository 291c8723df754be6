#include "utf8_windows.h"

#include <windows.h>

#include <cwchar>

namespace scrivel::platform {

namespace {

std::wstring widen(const char* text, std::size_t length) {
    if (length == 0) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), &wide[0], n);
    return wide;
}

std::string narrow(const wchar_t* text, std::size_t length) {
    if (length == 0) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &utf8[0], n, nullptr,
                        nullptr);
    return utf8;
}

}  // namespace

std::wstring widen(const char* text) {
    return text ? widen(text, std::char_traits<char>::length(text)) : std::wstring();
}

std::wstring widen(const std::string& text) {
    return widen(text.data(), text.size());
}

std::string narrow(const wchar_t* text) {
    return text ? narrow(text, std::wcslen(text)) : std::string();
}

std::string narrow(const std::wstring& text) {
    return narrow(text.data(), text.size());
}

std::string systemMessage(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n ? std::wstring(buffer, n) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) return "system error " + std::to_string(code);
    return narrow(text);
}

}  // namespace scrivel::platform
