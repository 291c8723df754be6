#pragma once
// A growable block of bytes that the unpacking reuses from entry to entry.
//
// A new buffer owns an allocation of zero bytes, with capacity 0 and size 0.
// resize(n) replaces the storage by exactly n fresh bytes (the old content is
// not kept) when there is no storage or n exceeds the capacity; the size
// becomes n in every case, so the buffer never shrinks its storage.

#include <cstdint>

namespace scrivel {

class ByteBuffer {
public:
    ByteBuffer();
    ~ByteBuffer();
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;

    // Returns false, leaving no storage and size 0, when n is negative or the
    // storage cannot be allocated; the result may be ignored by callers that
    // check data() themselves.
    bool resize(int32_t n);

    unsigned char* data() { return storage_; }
    const unsigned char* data() const { return storage_; }
    int32_t size() const { return size_; }
    int32_t capacity() const { return capacity_; }

private:
    unsigned char* storage_;
    int32_t capacity_;
    int32_t size_;
};

}  // namespace scrivel
