// The least a launcher run must do, in one process: unpack the archive it
// carries into a new folder by the cheapest means at hand (the block read in
// place; an entry of stored blocks, its checksum checked, written from
// where it lies with one call; any other inflated in one call into one
// reused buffer and written with one write), start the runtime from there
// through the same hosting code as the launcher, run the tool, and remove
// the folder again.
//   start_floor FOLDER [tool arguments...]     (FOLDER must not exist)

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <libdeflate.h>

#include "embedded_archive.h"
#include "platform/host.h"
#include "runtime_host.h"

namespace {

int32_t readInt(const unsigned char* at) {
    return static_cast<int32_t>(static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                                static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24);
}

// Storage for the largest entry, asked of the kernel in huge pages.
unsigned char* outputBuffer(size_t size) {
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    madvise(p, size, MADV_HUGEPAGE);
    return static_cast<unsigned char*>(p);
}

bool inflateEntry(unsigned char* out, int32_t size, const unsigned char* in, int32_t packed) {
    static libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    return libdeflate_zlib_decompress(d, in, static_cast<size_t>(packed), out, static_cast<size_t>(size),
                                      nullptr) == LIBDEFLATE_SUCCESS;
}

// The runs of a zlib stream of stored blocks only, where they lie, and
// whether its checksum matches them; false for any other stream.
bool storedRuns(const unsigned char* p, int32_t packed, int32_t size, std::vector<iovec>& runs) {
    runs.clear();
    const unsigned char* end = p + packed;
    if (packed < 6 || p[0] != 0x78) return false;
    p += 2;
    uint32_t adler = 1;
    int64_t total = 0;
    for (bool last = false; !last;) {
        if (end - p < 5 || (p[0] & ~1u) != 0) return false;
        last = p[0] & 1;
        const uint32_t length = p[1] | static_cast<uint32_t>(p[2]) << 8;
        p += 5;
        if (static_cast<uint32_t>(end - p) < length) return false;
        runs.push_back(iovec{const_cast<unsigned char*>(p), length});
        adler = libdeflate_adler32(adler, p, length);
        total += length;
        p += length;
    }
    return end - p == 4 && total == size &&
           (static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3]) == adler;
}

bool unpack(const scrivel::EmbeddedArchive& block, const std::string& folder) {
    if (block.length < 8 || std::memcmp(block.data, "ARCH", 4) != 0) return false;
    const unsigned char* p = block.data + 8;
    const unsigned char* end = block.data + block.length;
    const int32_t count = readInt(block.data + 4);
    // First pass: the largest entry sizes the one output buffer.
    int32_t largest = 0;
    for (int32_t i = 0; i < count && end - p >= 4; ++i) {
        p += 4 + readInt(p);
        largest = std::max(largest, readInt(p));
        p += 8 + readInt(p + 4);
    }
    unsigned char* out = outputBuffer(static_cast<size_t>(largest) + 1);
    if (out == nullptr || mkdir(folder.c_str(), 0700) != 0) return false;
    p = block.data + 8;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t nameLength = readInt(p);
        std::string name(reinterpret_cast<const char*>(p + 4), static_cast<size_t>(nameLength));
        p += 4 + nameLength;
        const int32_t size = readInt(p);
        const int32_t packed = readInt(p + 4);
        p += 8;
        for (char& c : name)
            if (c == '\\') {
                c = '\0';
                mkdir((folder + "/" + name.c_str()).c_str(), 0700);  // exists already: fine
                c = '/';
            }
        static std::vector<iovec> runs;
        const bool stored = storedRuns(p, packed, size, runs);
        if (!stored && !inflateEntry(out, size, p, packed)) return false;
        p += packed;
        const int fd = open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        const ssize_t wrote = stored ? writev(fd, runs.data(), static_cast<int>(runs.size()))
                                     : write(fd, out, static_cast<size_t>(size));
        if (fd < 0 || wrote != size || close(fd) != 0) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string folder = argv[1];
    if (!unpack(scrivel::embeddedArchive(), folder)) {
        std::fprintf(stderr, "start_floor: cannot unpack into %s\n", folder.c_str());
        return 3;
    }
    std::string self = scrivel::platform::executablePath(argv[0]);
    std::vector<char*> args = {&self[0]};
    for (int i = 2; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);

    std::string error;
    scrivel::platform::prepareLocale();
    if (!scrivel::loadRuntime(folder, error)) return 4;
    scrivel::runTool(folder, static_cast<int>(args.size()) - 1, args.data(), error);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
