#include "byte_buffer.h"

#include <new>

#include "platform/fs.h"

namespace scrivel {

ByteBuffer::ByteBuffer()
    : storage_(new (std::nothrow) unsigned char[0]), capacity_(0), size_(0) {}

ByteBuffer::~ByteBuffer() { delete[] storage_; }

bool ByteBuffer::resize(int32_t n) {
    if (n < 0) {
        // A negative size has no storage to describe; drop to empty rather
        // than report a size that data() cannot back.
        size_ = 0;
        return false;
    }
    if (storage_ == nullptr || n > capacity_) {
        delete[] storage_;
        storage_ = new (std::nothrow) unsigned char[n];
        if (storage_ == nullptr) {
            capacity_ = 0;
            size_ = 0;
            return false;
        }
        capacity_ = n;
        platform::adviseHugePages(storage_, static_cast<std::size_t>(n));
    }
    size_ = n;
    return true;
}

}  // namespace scrivel
