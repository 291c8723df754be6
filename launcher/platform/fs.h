#pragma once
// The thin file-system layer the archive unpacking runs on. Paths are 8-bit
// strings in buffers of kMaxPath bytes, terminating NUL included.

#include <cstdio>

namespace platform {

constexpr int kMaxPath = 260;

// True exactly when path names an existing directory that can be listed.
bool isDirectory(const char* path);

// Joins folder and a stored entry name (components separated by "\") into
// out, a buffer of kMaxPath bytes, using the platform's separator. The stored
// name itself is not changed. False, with out holding an empty string, when
// the result does not fit in kMaxPath bytes with its NUL.
bool joinPath(char* out, const char* folder, const char* name);

// Cuts the last component (and the separator before it) off path, in place.
void removeLastComponent(char* path);

// True when anything (file or folder) exists at path.
bool pathExists(const char* path);

// Creates the folder path together with every missing folder above it.
bool createFolderTree(const char* path);

// Opens path for writing in binary mode, creating it or cutting it to length
// 0. Null on failure. The caller writes with std::fwrite and closes with
// std::fclose.
std::FILE* openForWriting(const char* path);

}  // namespace platform
