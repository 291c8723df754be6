#include <stdexcept>

#include <zlib.h>

#include "platform/fs.h"
#include "test_support.h"

namespace test_support {

std::string mixedBytes(size_t length, uint32_t seed) {
    std::string bytes(length, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < length; ++i) {
        state = state * 1664525u + 1013904223u;
        // Runs of repeated text between noise, so deflate has work of both kinds.
        bytes[i] = (i / 4096) % 2 == 0 ? static_cast<char>(state >> 24) : "scrivel "[i % 8];
    }
    return bytes;
}

std::string int32Bytes(int32_t value) {
    const uint32_t u = static_cast<uint32_t>(value);
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(u >> (8 * i));
    return bytes;
}

std::string zlibStream(const std::string& raw, int level) {
    uLongf length = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(length, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &length,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), level) != Z_OK)
        throw std::runtime_error("compress failed");
    packed.resize(length);
    return packed;
}

std::string rawRecord(const std::string& name, int32_t size, int32_t packedSize, const std::string& data) {
    return int32Bytes(static_cast<int32_t>(name.size())) + name + int32Bytes(size) +
           int32Bytes(packedSize) + data;
}

std::string record(const std::string& name, const std::string& raw) {
    const std::string packed = zlibStream(raw);
    return rawRecord(name, static_cast<int32_t>(raw.size()), static_cast<int32_t>(packed.size()), packed);
}

std::string archive(int32_t count, const std::vector<std::string>& records) {
    std::string bytes = "ARCH" + int32Bytes(count);
    for (const std::string& r : records) bytes += r;
    return bytes;
}

std::string archive(const std::vector<std::string>& records) {
    return archive(static_cast<int32_t>(records.size()), records);
}

Unpacked unpack(const unsigned char* block, int32_t length, const std::string& folder) {
    Unpacked result;
    scrivel::BundleArchive reader;
    result.loaded = reader.loadInPlace(block, length);
    reader.extractTo(scrivel::platform::Folder(folder));
    result.outcome = reader.lastOutcome();
    result.written = reader.entriesWritten();
    result.skipped = reader.entriesSkipped();
    return result;
}

Unpacked unpack(const std::string& bytes, const std::string& folder) {
    return unpack(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int32_t>(bytes.size()), folder);
}

}  // namespace test_support
