#pragma once
// Helpers for the archive tests: scratch folders, whole-file I/O, and
// archives assembled record by record (including deliberately broken ones).

#include <cstdint>
#include <string>
#include <vector>

namespace archive_test {

// A fresh, empty folder under the system's temporary folder, removed with
// everything in it when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& bytes);  // creates parent folders
std::string readFile(const std::string& path);                      // throws when unreadable
bool exists(const std::string& path);

// Every file and folder below root, as sorted relative paths with "/"
// separators; folders end with "/".
std::vector<std::string> listTree(const std::string& root);

// Bytes that compress only in part, reproducible from seed.
std::string mixedBytes(size_t length, uint32_t seed);

std::string int32Bytes(int32_t value);
std::string zlibStream(const std::string& raw);

// One entry record with the sizes that belong to raw.
std::string record(const std::string& name, const std::string& raw);
// One entry record with the given fields as they are.
std::string rawRecord(const std::string& name, int32_t size, int32_t packedSize, const std::string& data);

// "ARCH", the count, then the records.
std::string archive(int32_t count, const std::vector<std::string>& records);
std::string archive(const std::vector<std::string>& records);

}  // namespace archive_test
