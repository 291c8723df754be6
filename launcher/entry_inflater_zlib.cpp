// EntryInflater on zlib (Windows, where there is no libdeflate).

#include "entry_inflater.h"

#include <zlib.h>

namespace scrivel {

EntryInflater::EntryInflater() : state_(nullptr) {}

EntryInflater::~EntryInflater() = default;

bool EntryInflater::inflate(const unsigned char* packed, int32_t packedSize, unsigned char* out,
                            int32_t size) {
    if (packedSize < 0 || size < 0) return false;
    uLongf produced = static_cast<uLongf>(size);
    return uncompress(out, &produced, packed, static_cast<uLong>(packedSize)) == Z_OK &&
           produced == static_cast<uLongf>(size);
}

uint32_t EntryInflater::adler32(uint32_t adler, const unsigned char* data, uint32_t length) {
    return static_cast<uint32_t>(::adler32(adler, data, length));
}

}  // namespace scrivel
