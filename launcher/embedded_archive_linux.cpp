// Linux: the archive is assembled into read-only data by the generated file
// that scrivel_embed_archive adds to the executable. The symbols are weak
// here, so an executable linked without an archive sees an empty one.

#include "embedded_archive.h"

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

}  // namespace scrivel
