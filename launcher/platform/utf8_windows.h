// Windows: the launcher's 8-bit strings (paths, arguments) are UTF-8, and
// every system call takes them through the wide (UTF-16) interfaces, so that
// letters outside the ANSI code page survive. The runtime expects UTF-8 too.
#pragma once

#include <string>

namespace scrivel::platform {

// UTF-8 to UTF-16; ill-formed input becomes U+FFFD.
std::wstring widen(const char* text);
std::wstring widen(const std::string& text);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string narrow(const wchar_t* text);
std::string narrow(const std::wstring& text);

// The system's message for an error code, without the trailing line break.
std::string systemMessage(unsigned long code);

}  // namespace scrivel::platform
