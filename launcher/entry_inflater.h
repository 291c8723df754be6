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

private:
    void* state_;
};

}  // namespace scrivel
