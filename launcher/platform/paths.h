// Paths as the launcher forms them: 8-bit strings (UTF-8 on Windows), the
// longest one allowed, and joining a folder with a name.
#pragma once

#include <cstddef>
#include <string>

namespace scrivel::platform {

// The longest path, terminating NUL included, that the launcher forms or
// hands to the runtime. Windows: MAX_PATH, the limit of the system calls
// the launcher and the runtime make with plain paths. Linux: PATH_MAX, the
// kernel's limit for one path given to a system call; nothing smaller is
// imposed, and the temporary-directory choice (host_linux.cpp) keeps room
// below the working folder for the files inside it.
#ifdef _WIN32
constexpr std::size_t kMaxPath = 260;
#else
constexpr std::size_t kMaxPath = 4096;
#endif

// Whether `path` fits in kMaxPath bytes with its NUL.
inline bool fitsPath(const std::string& path) {
    return path.size() < kMaxPath;
}

// `dir` and `name` joined with exactly one separator. The separators inside
// `name`, "\" as archive entries store them or "/", become the platform's
// own; `dir` is taken as it is.
std::string joinPath(const std::string& dir, const std::string& name);

}  // namespace scrivel::platform
