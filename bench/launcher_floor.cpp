// The floor a launcher run is measured against: everything the launcher must
// do that no implementation can avoid, in one process. The embedded archive
// is copied and every entry inflated in memory (no files written, nothing
// deleted), then the same hosting code runs the tool from a folder that is
// already unpacked.
//   launcher_floor <unpacked folder> [tool arguments...]

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "embedded_archive.h"
#include "platform/host.h"
#include "runtime_host.h"

using scrivel::EmbeddedArchive;
using scrivel::embeddedArchive;

namespace {

int32_t readInt(const unsigned char* at) {
    uint32_t v = static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                 static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
    return static_cast<int32_t>(v);
}

// Inflates every entry into buffers reused from entry to entry. Returns the
// number of bytes produced, so the work cannot be optimised away.
uint64_t inflateAll(const EmbeddedArchive& block) {
    if (block.length < 8)
        return 0;
    std::unique_ptr<unsigned char[]> copy(new unsigned char[static_cast<size_t>(block.length)]);
    std::memcpy(copy.get(), block.data, static_cast<size_t>(block.length));
    const unsigned char* p = copy.get() + 4;
    const unsigned char* end = copy.get() + block.length;
    const int32_t count = readInt(p);
    p += 4;
    std::unique_ptr<unsigned char[]> out;
    int32_t capacity = 0;
    uint64_t produced = 0;
    for (int32_t i = 0; i < count && p + 4 <= end; ++i) {
        const int32_t nameLength = readInt(p);
        p += 4 + nameLength;
        const int32_t size = readInt(p);
        const int32_t packed = readInt(p + 4);
        p += 8;
        if (size > capacity) {
            out.reset(new unsigned char[static_cast<size_t>(size)]);
            capacity = size;
        }
        uLongf length = static_cast<uLongf>(size);
        uncompress(out.get(), &length, p, static_cast<uLong>(packed));
        produced += length;
        p += packed;
    }
    return produced;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const uint64_t produced = inflateAll(embeddedArchive());
    if (produced == 0)
        return 3;

    const std::string folder = argv[1];
    std::string self = scrivel::platform::executablePath(argv[0]);
    std::vector<char*> args = {&self[0]};
    for (int i = 2; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);

    std::string error;
    scrivel::platform::prepareLocale();
    if (!scrivel::loadRuntime(folder, error))
        return 4;
    scrivel::runTool(folder, static_cast<int>(args.size()) - 1, args.data(), error);
    return 0;
}
