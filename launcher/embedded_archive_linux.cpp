// Linux: the archive is assembled into read-only data by the generated file
// that scrivel_embed_archive adds to the executable. The symbols are weak
// here, so an executable linked without an archive sees an empty one.

#include "embedded_archive.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

extern "C" {
extern const unsigned char scrivel_archive_data[] __attribute__((weak));
extern const int32_t scrivel_archive_length __attribute__((weak));
}

namespace scrivel {

EmbeddedArchive embeddedArchive() {
    if (&scrivel_archive_length == nullptr || scrivel_archive_data == nullptr ||
        scrivel_archive_length <= 0)
        return EmbeddedArchive{nullptr, 0};
    return EmbeddedArchive{scrivel_archive_data, scrivel_archive_length};
}

void releaseEmbeddedArchive(const EmbeddedArchive& archive) {
    if (archive.data == nullptr || archive.length <= 0)
        return;
    // Whole pages inside the block only: the read-only data around it stays.
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(archive.data) + page - 1) / page * page;
    const uintptr_t end = (reinterpret_cast<uintptr_t>(archive.data) + static_cast<uintptr_t>(archive.length)) / page * page;
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

}  // namespace scrivel
