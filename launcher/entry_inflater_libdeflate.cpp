#include "entry_inflater.h"

#ifdef SCRIVEL_INFLATE_LIBDEFLATE
#include <libdeflate.h>
#else
#include <zlib.h>
#endif

namespace scrivel {

#ifdef SCRIVEL_INFLATE_LIBDEFLATE

EntryInflater::EntryInflater() : state_(libdeflate_alloc_decompressor()) {}

EntryInflater::~EntryInflater() {
    libdeflate_free_decompressor(static_cast<libdeflate_decompressor*>(state_));
}

bool EntryInflater::inflate(const unsigned char* packed, int32_t packedSize, unsigned char* out,
                            int32_t size) {
    if (state_ == nullptr || packedSize < 0 || size < 0) return false;
    // Without a place for the actual length, anything but exactly `size`
    // bytes fails; the stream's checksum is verified.
    return libdeflate_zlib_decompress(static_cast<libdeflate_decompressor*>(state_), packed,
                                      static_cast<size_t>(packedSize), out, static_cast<size_t>(size),
                                      nullptr) == LIBDEFLATE_SUCCESS;
}

#else

EntryInflater::EntryInflater() : state_(nullptr) {}

EntryInflater::~EntryInflater() = default;

bool EntryInflater::inflate(const unsigned char* packed, int32_t packedSize, unsigned char* out,
                            int32_t size) {
    if (packedSize < 0 || size < 0) return false;
    uLongf produced = static_cast<uLongf>(size);
    return uncompress(out, &produced, packed, static_cast<uLong>(packedSize)) == Z_OK &&
           produced == static_cast<uLongf>(size);
}

#endif

}  // namespace scrivel
