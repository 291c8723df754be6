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

}  // namespace scrivel
