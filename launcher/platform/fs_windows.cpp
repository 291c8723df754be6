// The file-system layer on Windows. Paths are UTF-8 and reach the system
// through the wide interfaces; stored entry names already use "\".

#include "platform/fs.h"

#include <windows.h>

#include <cstring>
#include <share.h>
#include <string>

#include "platform/utf8_windows.h"

namespace platform {

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// Length of the part of `path` that is a root and must not be cut or created:
// "C:\", "\" or "\\server\share\".
std::size_t rootLength(const char* path) {
    const std::size_t length = std::strlen(path);
    if (length >= 2 && path[1] == ':') return length >= 3 && isSeparator(path[2]) ? 3 : 2;
    if (length >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        // \\server\share\ : skip two components after the leading pair.
        std::size_t at = 2;
        for (int component = 0; component < 2 && at < length; ++component) {
            while (at < length && !isSeparator(path[at])) ++at;
            if (at < length) ++at;
        }
        return at;
    }
    return length >= 1 && isSeparator(path[0]) ? 1 : 0;
}

}  // namespace

bool isDirectory(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    const std::wstring wide = scrivel::win::widen(path);
    wchar_t full[MAX_PATH];
    const DWORD n = GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH) return false;
    std::wstring pattern(full, n);
    const wchar_t last = pattern.back();
    if (last != L'\\' && last != L'/' && last != L':') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

bool joinPath(char* out, const char* folder, const char* name) {
    out[0] = '\0';
    const std::size_t folderLength = std::strlen(folder);
    const std::size_t nameLength = std::strlen(name);
    const bool needSeparator = folderLength > 0 && !isSeparator(folder[folderLength - 1]);
    const std::size_t total = folderLength + (needSeparator ? 1 : 0) + nameLength;
    if (total + 1 > static_cast<std::size_t>(kMaxPath)) return false;
    std::memcpy(out, folder, folderLength);
    std::size_t at = folderLength;
    if (needSeparator) out[at++] = '\\';
    for (std::size_t i = 0; i < nameLength; ++i) out[at++] = name[i] == '/' ? '\\' : name[i];
    out[at] = '\0';
    return true;
}

void removeLastComponent(char* path) {
    const std::size_t root = rootLength(path);
    std::size_t cut = std::strlen(path);
    while (cut > root && !isSeparator(path[cut - 1])) --cut;
    // Drop the separator before the last component, unless it ends the root.
    if (cut > root) --cut;
    path[cut] = '\0';
}

bool pathExists(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    return GetFileAttributesW(scrivel::win::widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool createFolderTree(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    const std::string text(path);
    if (text.size() + 1 > static_cast<std::size_t>(kMaxPath)) return false;
    // Create each prefix that ends before a separator, then the whole path;
    // prefixes that exist already (the root among them) simply fail.
    for (std::size_t i = rootLength(path) + 1; i <= text.size(); ++i) {
        if (i < text.size() && !isSeparator(text[i])) continue;
        CreateDirectoryW(scrivel::win::widen(text.substr(0, i)).c_str(), nullptr);
    }
    return isDirectory(path);
}

std::FILE* openForWriting(const char* path) {
    if (path == nullptr || path[0] == '\0') return nullptr;
    // Others may read and write the file while it is open.
    return _wfsopen(scrivel::win::widen(path).c_str(), L"wb", _SH_DENYNO);
}

}  // namespace platform
