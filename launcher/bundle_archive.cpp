#include "bundle_archive.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "byte_buffer.h"
#include "entry_inflater.h"
#include "entry_name.h"
#include "platform/fs.h"

namespace scrivel {

// The archive's bytes, the caller's block itself, read front to back.
struct BundleArchive::Stream {
    const unsigned char* bytes = nullptr;
    int32_t length = 0;
    int32_t readPos = 0;

    int32_t remaining() const { return length - readPos; }

    // Copies n bytes to out and advances; false (nothing consumed) when
    // fewer than n bytes remain.
    bool read(void* out, int32_t n) {
        if (n < 0 || n > remaining()) return false;
        if (n > 0) std::memcpy(out, bytes + readPos, static_cast<size_t>(n));
        readPos += n;
        return true;
    }

    bool readInt32(int32_t& value) {
        unsigned char b[4];
        if (!read(b, 4)) return false;
        const uint32_t u = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
        value = static_cast<int32_t>(u);
        return true;
    }

    // The next n bytes where they lie, or null (nothing consumed) when
    // fewer than n remain.
    const unsigned char* take(int32_t n) {
        if (n < 0 || n > remaining()) return nullptr;
        const unsigned char* at = bytes + readPos;
        readPos += n;
        return at;
    }

    bool skip(int32_t n) {
        if (n < 0 || n > remaining()) return false;
        readPos += n;
        return true;
    }
};

BundleArchive::BundleArchive() : outcome_(Outcome::NotRun), written_(0), skipped_(0) {}

BundleArchive::~BundleArchive() = default;

bool BundleArchive::loadInPlace(const unsigned char* block, int32_t length) {
    stream_.reset();
    if (block == nullptr || length <= 0) return false;
    std::unique_ptr<Stream> stream(new (std::nothrow) Stream);
    if (!stream) return false;
    stream->bytes = block;
    stream->length = length;
    stream_ = std::move(stream);
    return true;
}

namespace {

constexpr int64_t kMaxInflateRatio = 1032;

// Closes and deletes the target of an entry that could not be completed, so
// no partial file of it is left behind.
void discardTarget(std::FILE*& file, const platform::Folder& folder, const char* name) {
    if (file == nullptr) return;
    std::fclose(file);
    file = nullptr;
    platform::removeEntry(folder, name);
}

using Pieces = std::vector<std::pair<const unsigned char*, uint32_t>>;

// The runs of an entry's bytes inside a zlib stream of stored blocks only
// (as an archive built at level 0 has), found where they lie: the stream
// header, then blocks of a header byte (type "stored", no other bits), the
// length and its complement and that many bytes, the last block marked
// final, then the stream's Adler-32, which must match the runs and end the
// stream; the runs must add up to `size`. False for any other stream, which
// is then inflated (and so checked) as usual, and when the list of runs
// finds no memory.
bool storedPieces(const unsigned char* p, int32_t packedSize, int32_t size, Pieces& pieces) try {
    pieces.clear();
    const unsigned char* const end = p + packedSize;
    if (packedSize < 2 || (p[0] & 0x0F) != 8 || (p[0] >> 4) > 7 || (p[1] & 0x20) != 0 ||
        (p[0] * 256 + p[1]) % 31 != 0)
        return false;
    p += 2;
    int64_t total = 0;
    uint32_t adler = 1;
    for (bool last = false; !last;) {
        if (end - p < 5 || (p[0] & ~1u) != 0) return false;
        last = (p[0] & 1) != 0;
        const uint32_t length = p[1] | static_cast<uint32_t>(p[2]) << 8;
        const uint32_t complement = p[3] | static_cast<uint32_t>(p[4]) << 8;
        p += 5;
        if ((length ^ 0xFFFF) != complement || static_cast<uint32_t>(end - p) < length) return false;
        if (length > 0) pieces.emplace_back(p, length);
        adler = EntryInflater::adler32(adler, p, length);
        total += length;
        p += length;
    }
    if (end - p != 4 || total != size) return false;
    const uint32_t stated = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                            static_cast<uint32_t>(p[2]) << 8 | p[3];
    return stated == adler;
} catch (const std::bad_alloc&) {
    pieces.clear();
    return false;
}

}  // namespace

void BundleArchive::extractTo(const platform::Folder& folder) {
    written_ = 0;
    skipped_ = 0;
    if (!stream_) {
        outcome_ = Outcome::NotLoaded;
        return;
    }
    Stream& in = *stream_;
    in.readPos = 0;

    unsigned char magic[4];
    if (!in.read(magic, 4) || std::memcmp(magic, "ARCH", 4) != 0) {
        outcome_ = Outcome::BadMagic;
        return;
    }
    if (!folder.isOpen()) {
        outcome_ = Outcome::FolderUnusable;
        return;
    }
    int32_t count = 0;
    if (!in.readInt32(count)) {
        outcome_ = Outcome::Damaged;
        return;
    }
    outcome_ = Outcome::Complete;
    if (count <= 0) return;

    // The packed data is inflated where it lies, each entry in one call into
    // one buffer reused from entry to entry and written from there; stored
    // data is written from where it lies.
    ByteBuffer name;
    ByteBuffer uncompressed;
    EntryInflater inflater;
    Pieces pieces;

    for (int32_t entry = 0; entry < count; ++entry) {
        int32_t nameLength = 0;
        if (!in.readInt32(nameLength) || nameLength < 0 || nameLength > in.remaining()) {
            outcome_ = Outcome::Damaged;
            return;
        }
        if (!name.resize(nameLength + 1)) {
            outcome_ = Outcome::OutOfMemory;
            return;
        }
        in.read(name.data(), nameLength);
        name.data()[nameLength] = '\0';
        const char* entryName = reinterpret_cast<const char*>(name.data());

        // A name that would leave the folder, or a path that does not fit,
        // is passed over: its record is read past and nothing is written.
        const bool writable = isSafeEntryName(entryName, nameLength) &&
                              platform::fitsPath(platform::joinPath(folder.path(), entryName));
        // Opened before the sizes are read; a file that cannot be opened is
        // passed over, its data still read and inflated; for lack of space,
        // no later entry would fare better.
        std::FILE* file = writable ? platform::openEntry(folder, entryName) : nullptr;
        if (writable && file == nullptr && platform::isOutOfSpace(folder, errno, 1)) {
            outcome_ = Outcome::NoSpace;
            return;
        }

        int32_t size = 0;
        int32_t packedSize = 0;
        // Sizes a sound record cannot have: negative, data running past the
        // end, or more output than deflate can encode in that many bytes
        // (at best about 1032 bytes per input byte). This keeps a corrupt
        // header from asking for a huge allocation.
        if (!in.readInt32(size) || !in.readInt32(packedSize) || size < 0 || packedSize < 0 ||
            packedSize > in.remaining() ||
            static_cast<int64_t>(size) > static_cast<int64_t>(packedSize) * kMaxInflateRatio) {
            discardTarget(file, folder, entryName);
            outcome_ = Outcome::Damaged;
            return;
        }
        if (!writable) {
            in.skip(packedSize);
            ++skipped_;
            continue;
        }
        const unsigned char* packed = in.take(packedSize);
        if (!storedPieces(packed, packedSize, size, pieces)) {
            if (!uncompressed.resize(size)) {
                discardTarget(file, folder, entryName);
                outcome_ = Outcome::OutOfMemory;
                return;
            }
            // A stream that does not inflate to exactly the stated size is
            // damaged; the entry's file is not left behind half-made.
            if (!inflater.inflate(packed, packedSize, uncompressed.data(), size)) {
                discardTarget(file, folder, entryName);
                outcome_ = Outcome::Damaged;
                return;
            }
            pieces.assign(1, {uncompressed.data(), static_cast<uint32_t>(size)});
        }

        if (file == nullptr) {
            ++skipped_;
            continue;
        }
        const size_t produced = static_cast<size_t>(size);
        bool wrote = true;
        for (const auto& piece : pieces)
            wrote = wrote && std::fwrite(piece.first, 1, piece.second, file) == piece.second;
        const int writeError = wrote ? 0 : errno;
        const bool closed = std::fclose(file) == 0;
        const int closeError = closed ? 0 : errno;
        file = nullptr;
        if (wrote && closed) {
            ++written_;
            continue;
        }
        const bool noSpace = platform::isOutOfSpace(folder, writeError, produced) ||
                             platform::isOutOfSpace(folder, closeError, produced);
        // A short write leaves no truncated copy behind.
        platform::removeEntry(folder, entryName);
        ++skipped_;
        if (noSpace) {
            outcome_ = Outcome::NoSpace;
            return;
        }
    }
}

}  // namespace scrivel
