#pragma once
// Inflates one archive entry, a whole zlib stream, in one call into a buffer
// of the entry's stated size. One implementation per library: libdeflate on
// Linux (entry_inflater_libdeflate.cpp), zlib on Windows
// (entry_inflater_zlib.cpp).

#include <cstdint>

namespace scrivel {

class EntryInflater {
public:
    EntryInflater();
    ~EntryInflater();
    EntryInflater(const EntryInflater&) = delete;
    EntryInflater& operator=(const EntryInflater&) = delete;

    // True when the packedSize bytes at `packed` begin with one sound zlib
    // stream that inflates to exactly `size` bytes, which are then in `out`.
    // Bytes after the stream are not looked at.
    bool inflate(const unsigned char* packed, int32_t packedSize, unsigned char* out, int32_t size);

    // Zlib's Adler-32 checksum of `length` bytes (at most 65535), continued
    // from `adler` (1 for the first bytes).
    static uint32_t adler32(uint32_t adler, const unsigned char* data, uint32_t length);

private:
    void* state_;
};

}  // namespace scrivel
