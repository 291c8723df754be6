// The file layer on Linux: everything below a destination folder is reached
// through its directory descriptor with openat and mkdirat, one component at
// a time and never through a link; stored "\" separators become "/".

#include "platform/fs.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>
#include <vector>

namespace scrivel::platform {

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

std::vector<std::string> components(const std::string& storedName) {
    std::vector<std::string> parts(1);
    for (char c : storedName) {
        if (c == '\\' || c == '/')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

// Opens the folder that holds the entry's file, creating what is missing
// when `create` is set. -1 on failure, errno saying why; the caller closes
// the result.
int openEntryParent(const Folder& folder, const std::vector<std::string>& parts, bool create) {
    int dir = dup(folder.descriptor());
    for (std::size_t i = 0; dir >= 0 && i + 1 < parts.size(); ++i) {
        const char* name = parts[i].c_str();
        int next = openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && create && mkdirat(dir, name, kFolderMode) == 0)
            next = openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;
        close(dir);
        errno = error;
        dir = next;
    }
    return dir;
}

}  // namespace

const std::size_t kMaxPath = PATH_MAX;

std::string joinPath(const std::string& dir, const std::string& name) {
    std::string joined = dir;
    if (joined.empty() || joined.back() != '/')
        joined += '/';
    for (char c : name)
        joined += c == '\\' ? '/' : c;
    return joined;
}

Folder::Folder(const std::string& path) : path_(path) {
    if (!path.empty())
        descriptor_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    open_ = descriptor_ >= 0;
}

Folder::Folder(const std::string& path, int descriptor)
    : path_(path), descriptor_(descriptor), open_(descriptor >= 0) {}

Folder::~Folder() {
    if (descriptor_ >= 0)
        close(descriptor_);
}

Folder::Folder(Folder&& other) noexcept
    : path_(std::move(other.path_)), descriptor_(other.descriptor_), open_(other.open_) {
    other.descriptor_ = -1;
    other.open_ = false;
}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0)
            close(descriptor_);
        path_ = std::move(other.path_);
        descriptor_ = other.descriptor_;
        open_ = other.open_;
        other.descriptor_ = -1;
        other.open_ = false;
    }
    return *this;
}

std::FILE* openEntry(const Folder& folder, const std::string& storedName) {
    if (!folder.isOpen() || !fitsPath(joinPath(folder.path(), storedName))) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    const std::vector<std::string> parts = components(storedName);
    const int dir = openEntryParent(folder, parts, true);
    if (dir < 0)
        return nullptr;
    const int fd = openat(dir, parts.back().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                          kFileMode);
    const int openError = errno;
    close(dir);
    errno = openError;
    if (fd < 0)
        return nullptr;
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        const int fdopenError = errno;
        close(fd);
        errno = fdopenError;
    }
    return file;
}

bool isOutOfSpace(const Folder&, int error, std::uint64_t) {
    return error == ENOSPC || error == EDQUOT;
}

void removeEntry(const Folder& folder, const std::string& storedName) {
    if (!folder.isOpen())
        return;
    const std::vector<std::string> parts = components(storedName);
    const int dir = openEntryParent(folder, parts, false);
    if (dir < 0)
        return;
    unlinkat(dir, parts.back().c_str(), 0);
    close(dir);
}

void adviseHugePages(unsigned char* storage, std::size_t size) {
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(storage) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(storage) + size) & ~(kHuge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace scrivel::platform
