#include "archive_test_files.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <zlib.h>

namespace fs = std::filesystem;

namespace archive_test {

ScratchFolder::ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "scrivel-archive-test-XXXXXX").string();
    if (mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    // Folders a test made read-only must be writable again to be removed.
    for (auto it = fs::recursive_directory_iterator(path_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(path_, ignored);
}

void writeFile(const std::string& path, const std::string& bytes) {
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty()) fs::create_directories(parent);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

std::vector<std::string> listTree(const std::string& root) {
    std::vector<std::string> found;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        std::string relative = fs::relative(it->path(), root).generic_string();
        if (it->is_directory() && !it->is_symlink()) relative += "/";
        found.push_back(relative);
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string mixedBytes(size_t length, uint32_t seed) {
    std::string bytes(length, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < length; ++i) {
        state = state * 1664525u + 1013904223u;
        // Runs of repeated text between noise, so deflate has work of both kinds.
        bytes[i] = (i / 4096) % 2 == 0 ? static_cast<char>(state >> 24) : "scrivel "[i % 8];
    }
    return bytes;
}

std::string int32Bytes(int32_t value) {
    const uint32_t u = static_cast<uint32_t>(value);
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(u >> (8 * i));
    return bytes;
}

std::string zlibStream(const std::string& raw) {
    uLongf length = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(length, '\0');
    if (compress(reinterpret_cast<Bytef*>(&packed[0]), &length,
                 reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size())) != Z_OK)
        throw std::runtime_error("compress failed");
    packed.resize(length);
    return packed;
}

std::string rawRecord(const std::string& name, int32_t size, int32_t packedSize, const std::string& data) {
    return int32Bytes(static_cast<int32_t>(name.size())) + name + int32Bytes(size) +
           int32Bytes(packedSize) + data;
}

std::string record(const std::string& name, const std::string& raw) {
    const std::string packed = zlibStream(raw);
    return rawRecord(name, static_cast<int32_t>(raw.size()), static_cast<int32_t>(packed.size()), packed);
}

std::string archive(int32_t count, const std::vector<std::string>& records) {
    std::string bytes = "ARCH" + int32Bytes(count);
    for (const std::string& r : records) bytes += r;
    return bytes;
}

std::string archive(const std::vector<std::string>& records) {
    return archive(static_cast<int32_t>(records.size()), records);
}

}  // namespace archive_test
