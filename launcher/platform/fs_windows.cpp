// The file layer on Windows. Paths are UTF-8 and reach the system through
// the wide interfaces; stored entry names already use "\".

#include "platform/fs.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <share.h>
#include <string>
#include <utility>

#include "platform/utf8_windows.h"

namespace scrivel::platform {

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

bool isDirectory(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    const std::wstring wide = widen(path);
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
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool createFolderTree(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    const std::string text(path);
    if (text.size() + 1 > static_cast<std::size_t>(kMaxPath)) return false;
    // Create each prefix that ends before a separator, then the whole path;
    // prefixes that exist already (the root among them) simply fail.
    for (std::size_t i = rootLength(path) + 1; i <= text.size(); ++i) {
        if (i < text.size() && !isSeparator(text[i])) continue;
        CreateDirectoryW(widen(text.substr(0, i)).c_str(), nullptr);
    }
    return isDirectory(path);
}

// The full path of an entry, or "" when it does not fit in kMaxPath bytes.
std::string entryPath(const Folder& folder, const std::string& storedName) {
    const std::string path = joinPath(folder.path(), storedName);
    return folder.isOpen() && fitsPath(path) ? path : std::string();
}

}  // namespace

const std::size_t kMaxPath = MAX_PATH;

std::string joinPath(const std::string& dir, const std::string& name) {
    std::string joined = dir;
    if (joined.empty() || !isSeparator(joined.back())) joined += '\\';
    for (char c : name) joined += c == '/' ? '\\' : c;
    return joined;
}

Folder::Folder(const std::string& path) : path_(path), open_(isDirectory(path.c_str())) {}

Folder::Folder(const std::string& path, int) : Folder(path) {}

Folder::~Folder() = default;

Folder::Folder(Folder&& other) noexcept : path_(std::move(other.path_)), open_(other.open_) {
    other.open_ = false;
}

Folder& Folder::operator=(Folder&& other) noexcept {
    path_ = std::move(other.path_);
    open_ = other.open_;
    other.open_ = false;
    return *this;
}

std::FILE* openEntry(const Folder& folder, const std::string& storedName) {
    const std::string target = entryPath(folder, storedName);
    if (target.empty()) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    // The parent folder is created, with every missing one above it, only
    // when nothing exists there yet.
    std::string parent = target;
    removeLastComponent(&parent[0]);
    parent.resize(std::strlen(parent.c_str()));
    if (!pathExists(parent.c_str())) createFolderTree(parent.c_str());
    // Others may read and write the file while it is open.
    return _wfsopen(widen(target).c_str(), L"wb", _SH_DENYNO);
}

bool isOutOfSpace(const Folder& folder, int error, std::uint64_t needed) {
    // ENOSPC: the C runtime's errno for a full disk. The bytes available to
    // this user take a quota into account.
    ULARGE_INTEGER available;
    return error == ENOSPC || (GetDiskFreeSpaceExW(widen(folder.path()).c_str(), &available, nullptr, nullptr) &&
                               available.QuadPart < needed);
}

void removeEntry(const Folder& folder, const std::string& storedName) {
    const std::string target = entryPath(folder, storedName);
    if (!target.empty()) DeleteFileW(widen(target).c_str());
}

void adviseHugePages(unsigned char*, std::size_t) {}

}  // namespace scrivel::platform
