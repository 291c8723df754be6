#include "byte_buffer.h"

#include <cstdint>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace scrivel {

namespace {

// Fresh storage of a few MB is first touched page by page as it is filled;
// on Linux the kernel is asked to back it with huge pages instead, which
// takes most of the cost of those first touches away. Only whole 2 MiB
// blocks inside the storage are advised; a refusal changes nothing.
void adviseHugePages(unsigned char* storage, int32_t n) {
#ifdef __linux__
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(storage) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(storage) + static_cast<uintptr_t>(n)) & ~(kHuge - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)storage;
    (void)n;
#endif
}

}  // namespace

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
        adviseHugePages(storage_, n);
    }
    size_ = n;
    return true;
}

}  // namespace scrivel
