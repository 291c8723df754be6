// The file-system layer on Linux: stored "\" separators become "/".

#include "platform/fs.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace platform {

namespace {
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;
}

bool isDirectory(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    struct stat info;
    if (stat(path, &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    DIR* listing = opendir(path);
    if (listing == nullptr) return false;
    closedir(listing);
    return true;
}

bool joinPath(char* out, const char* folder, const char* name) {
    out[0] = '\0';
    const size_t folderLength = std::strlen(folder);
    const size_t nameLength = std::strlen(name);
    const bool needSeparator = folderLength > 0 && folder[folderLength - 1] != '/';
    const size_t total = folderLength + (needSeparator ? 1 : 0) + nameLength;
    if (total + 1 > static_cast<size_t>(kMaxPath)) return false;
    std::memcpy(out, folder, folderLength);
    size_t at = folderLength;
    if (needSeparator) out[at++] = '/';
    for (size_t i = 0; i < nameLength; ++i) out[at++] = name[i] == '\\' ? '/' : name[i];
    out[at] = '\0';
    return true;
}

void removeLastComponent(char* path) {
    char* slash = std::strrchr(path, '/');
    if (slash == nullptr) {
        path[0] = '\0';
    } else if (slash == path) {
        path[1] = '\0';  // the root stays
    } else {
        *slash = '\0';
    }
}

bool pathExists(const char* path) {
    struct stat info;
    return path != nullptr && path[0] != '\0' && lstat(path, &info) == 0;
}

bool createFolderTree(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    char partial[kMaxPath];
    const size_t length = std::strlen(path);
    if (length + 1 > sizeof partial) return false;
    std::memcpy(partial, path, length + 1);
    // Create each prefix that ends before a separator, then the whole path.
    for (size_t i = 1; i <= length; ++i) {
        if (i < length && partial[i] != '/') continue;
        const char saved = partial[i];
        partial[i] = '\0';
        if (mkdir(partial, kFolderMode) != 0 && errno != EEXIST) return false;
        partial[i] = saved;
    }
    return isDirectory(path);
}

std::FILE* openForWriting(const char* path) {
    // A symbolic link at the target is not followed: the file written is
    // always the one inside the destination folder.
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, kFileMode);
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) close(fd);
    return file;
}

}  // namespace platform
