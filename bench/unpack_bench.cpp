// Times BundleArchive (loadInPlace + extractTo) against the bare limit for the same
// archive: every entry inflated in memory with one call of the reader's own
// inflater into a reused buffer and its raw bytes written to a fresh file.
// The reader reads the archive in place, as the launcher does.
//
//   unpack_bench [archive] [rounds]
//
// Each round unpacks into a fresh folder, alternating which of the two goes
// first; folders are removed between rounds, outside the timing.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "bundle_archive.h"
#include "entry_inflater.h"
#include "platform/fs.h"

using scrivel::BundleArchive;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

int32_t int32At(const unsigned char* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

void makeParents(std::string path) {
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] != '/') continue;
        path[i] = '\0';
        mkdir(path.c_str(), 0700);
        path[i] = '/';
    }
}

// The limit: no copy of the archive, no checks, one reused output buffer.
bool unpackBare(const std::vector<unsigned char>& archive, const std::string& folder) {
    const unsigned char* p = archive.data() + 4;
    const int32_t count = int32At(p);
    p += 4;
    std::vector<unsigned char> out;
    scrivel::EntryInflater inflater;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t nameLength = int32At(p);
        std::string path = folder + "/" + std::string(reinterpret_cast<const char*>(p + 4), nameLength);
        std::replace(path.begin(), path.end(), '\\', '/');
        p += 4 + nameLength;
        const int32_t size = int32At(p);
        const int32_t packed = int32At(p + 4);
        p += 8;
        if (out.size() < static_cast<size_t>(size)) out.resize(size);
        const size_t produced = static_cast<size_t>(size);
        if (!inflater.inflate(p, packed, out.data(), size)) return false;
        p += packed;
        makeParents(path);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || write(fd, out.data(), produced) != static_cast<ssize_t>(produced)) return false;
        close(fd);
    }
    return true;
}

bool unpackWithReader(const std::vector<unsigned char>& archive, const std::string& folder) {
    BundleArchive reader;
    if (!reader.loadInPlace(archive.data(), static_cast<int32_t>(archive.size()))) return false;
    reader.extractTo(scrivel::platform::Folder(folder));
    return reader.lastOutcome() == BundleArchive::Outcome::Complete;
}

double secondsOf(bool (*unpack)(const std::vector<unsigned char>&, const std::string&),
                 const std::vector<unsigned char>& archive, const std::string& folder) {
    mkdir(folder.c_str(), 0700);
    const auto start = Clock::now();
    if (!unpack(archive, folder)) {
        std::fprintf(stderr, "unpacking into %s failed\n", folder.c_str());
        std::exit(1);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return seconds;
}

// Both ways must have produced the same files.
bool sameTree(const std::string& a, const std::string& b) {
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(a)) {
        if (!entry.is_regular_file()) continue;
        ++files;
        const fs::path other = b / fs::relative(entry.path(), a);
        if (!fs::is_regular_file(other) || fs::file_size(other) != entry.file_size()) return false;
    }
    size_t otherFiles = 0;
    for (const auto& entry : fs::recursive_directory_iterator(b))
        if (entry.is_regular_file()) ++otherFiles;
    return files == otherFiles && files > 0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : SCRIVEL_BENCH_ARCHIVE;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<unsigned char> archive((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (archive.size() < 8 || std::memcmp(archive.data(), "ARCH", 4) != 0) {
        std::fprintf(stderr, "%s is not an archive\n", path.c_str());
        return 1;
    }

    std::string root = (fs::temp_directory_path() / "scrivel-unpack-bench-XXXXXX").string();
    if (mkdtemp(&root[0]) == nullptr) return 1;

    // One warm-up of each, also used to check that both give the same files.
    secondsOf(unpackWithReader, archive, root + "/reader");
    secondsOf(unpackBare, archive, root + "/bare");
    if (!sameTree(root + "/reader", root + "/bare")) {
        std::fprintf(stderr, "the reader and the bare unpacking gave different files\n");
        return 1;
    }
    uintmax_t rawBytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root + "/bare"))
        if (entry.is_regular_file()) rawBytes += entry.file_size();

    std::vector<double> reader;
    std::vector<double> bare;
    for (int r = 0; r < rounds; ++r) {
        fs::remove_all(root + "/reader");
        fs::remove_all(root + "/bare");
        if (r % 2 == 0) {
            reader.push_back(secondsOf(unpackWithReader, archive, root + "/reader"));
            bare.push_back(secondsOf(unpackBare, archive, root + "/bare"));
        } else {
            bare.push_back(secondsOf(unpackBare, archive, root + "/bare"));
            reader.push_back(secondsOf(unpackWithReader, archive, root + "/reader"));
        }
    }
    fs::remove_all(root);

    const double readerMedian = median(reader);
    const double bareMedian = median(bare);
    std::printf("archive        %s (%zu bytes packed, %ju bytes unpacked)\n", path.c_str(), archive.size(),
                rawBytes);
    std::printf("rounds         %d\n", rounds);
    std::printf("BundleArchive  median %.2f ms, best %.2f ms\n", readerMedian * 1e3,
                *std::min_element(reader.begin(), reader.end()) * 1e3);
    std::printf("bare limit     median %.2f ms, best %.2f ms\n", bareMedian * 1e3,
                *std::min_element(bare.begin(), bare.end()) * 1e3);
    const double ratio = readerMedian / bareMedian;
    std::printf("ratio          %.3f (target <= 1.15): %s\n", ratio, ratio <= 1.15 ? "met" : "NOT met");
    return 0;
}
