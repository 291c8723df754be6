#pragma once
// The archive block carried inside the running executable, found without
// reading the executable file. A missing or empty block has length 0.

#include <cstdint>

namespace scrivel {

struct EmbeddedArchive {
    const unsigned char* data;
    int32_t length;
};

EmbeddedArchive embeddedArchive();

// Tells the system that the block's pages are no longer needed once it has
// been unpacked, so the process's resident memory no longer counts them
// (Linux: they stay in the page cache and would be read back if touched).
// Nothing on Windows.
void releaseEmbeddedArchive(const EmbeddedArchive& archive);

}  // namespace scrivel
