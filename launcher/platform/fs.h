// The platform layer the archive is unpacked through: paths as the launcher
// forms them (8-bit strings, UTF-8 on Windows), a destination folder held
// open, the entries created below it by their stored names, and the memory
// the entries are inflated into. One implementation per platform
// (fs_linux.cpp, fs_windows.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace scrivel::platform {

// The longest path, terminating NUL included, that the launcher forms or
// hands to the runtime. Windows: MAX_PATH, the limit of the system calls
// the launcher and the runtime make with plain paths. Linux: PATH_MAX, the
// kernel's limit for one path given to a system call; nothing smaller is
// imposed, and the temporary-directory choice (host_linux.cpp) keeps room
// below the working folder for the files inside it.
extern const std::size_t kMaxPath;

// Whether `path` fits in kMaxPath bytes with its NUL.
inline bool fitsPath(const std::string& path) {
    return path.size() < kMaxPath;
}

// `dir` and `name` joined with exactly one separator. The separators inside
// `name`, "\" as archive entries store them or "/", become the platform's
// own; `dir` is taken as it is.
std::string joinPath(const std::string& dir, const std::string& name);

// A destination folder, open for as long as the object lives. On Linux it
// holds a directory descriptor through which every entry is created, so a
// folder renamed or put in its place meanwhile is never written into; on
// Windows it holds the folder's path.
class Folder {
public:
    Folder() = default;
    // Opens the existing directory at `path` (links followed). isOpen() is
    // false when it is none or cannot be listed.
    explicit Folder(const std::string& path);
    // Takes over `descriptor`, a directory opened at `path` (Linux only).
    Folder(const std::string& path, int descriptor);
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    bool isOpen() const { return open_; }
    const std::string& path() const { return path_; }
    // The directory descriptor on Linux; -1 elsewhere or when not open.
    int descriptor() const { return descriptor_; }

private:
    std::string path_;
    int descriptor_ = -1;
    bool open_ = false;
};

// Opens the entry `storedName` (relative, "\"-separated) below `folder` for
// writing in binary mode, creating it or cutting it to length 0. Missing
// folders on the way are created, private to the user; a folder that exists
// is not created again. A link is never followed, neither on the way nor at
// the entry itself. Null when the entry cannot be opened, including when
// its full path does not fit in kMaxPath bytes; errno then says why.
std::FILE* openEntry(const Folder& folder, const std::string& storedName);

// Whether a file operation below `folder` that failed with `error` (an errno
// value) failed for lack of room: no space, no inode, or the user's quota
// spent. Windows also asks the volume, as Wine reports a write cut short by a
// full disk without an error: fewer bytes free there than `needed` count too.
bool isOutOfSpace(const Folder& folder, int error, std::uint64_t needed);

// Removes the entry's file again (one that could not be completed).
void removeEntry(const Folder& folder, const std::string& storedName);

// Fresh storage of a few MB is first touched page by page as it is filled;
// Linux is asked to back the whole 2 MiB blocks inside it with huge pages
// instead, which takes most of the cost of those first touches away. A
// refusal changes nothing; nothing is done where there is no such advice.
void adviseHugePages(unsigned char* storage, std::size_t size);

}  // namespace scrivel::platform
