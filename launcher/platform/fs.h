// The file layer the archive is unpacked through: a destination folder held
// open, and the entries created below it by their stored names.
#pragma once

#include <cstdio>
#include <string>

#include "platform/paths.h"

namespace scrivel::platform {

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
// its full path does not fit in kMaxPath bytes.
std::FILE* openEntry(const Folder& folder, const std::string& storedName);

// Removes the entry's file again (one that could not be completed).
void removeEntry(const Folder& folder, const std::string& storedName);

}  // namespace scrivel::platform
