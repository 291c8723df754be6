// The least file work that extraction and import can do, as one native
// process each: the bench/ratios.sh jobs are measured against it.
//
//   io_floor extract PACKAGE TEXT_BYTES OUTPUT
//     reads PACKAGE once through one reused 1 MiB buffer, touching every
//     byte, and writes a text file of TEXT_BYTES bytes: one write per MiB,
//     flushed to disk, then renamed into place.
//   io_floor import PACKAGE TEXTFILE OUTPUT_BYTES OUTPUT
//     reads PACKAGE and TEXTFILE the same way and writes OUTPUT_BYTES bytes
//     (the package's bytes as they are read, then the rest), flushed and
//     renamed.
// The output is written to OUTPUT.floor-<pid> first, with writeback started
// every 8 MiB (sync_file_range), the cheapest way found to a flushed file.
// Prints the sum of the bytes read, so that no read can be skipped.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kChunk = 1 << 20;
constexpr off_t kWriteback = 8 << 20;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "io_floor: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

class Output {
public:
    explicit Output(const std::string& path) : path_(path), temp_(path + ".floor-" + std::to_string(getpid())) {
        fd_ = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ < 0) fail(temp_);
    }

    void write(const unsigned char* bytes, size_t n) {
        while (n > 0) {
            const ssize_t done = ::write(fd_, bytes, n);
            if (done <= 0) fail("write " + temp_);
            bytes += done;
            n -= static_cast<size_t>(done);
            written_ += done;
        }
        if (written_ - started_ >= kWriteback) {
            sync_file_range(fd_, started_, written_ - started_, SYNC_FILE_RANGE_WRITE);
            started_ = written_;
        }
    }

    void commit() {
        if (fsync(fd_) != 0 || close(fd_) != 0) fail("flush " + temp_);
        if (rename(temp_.c_str(), path_.c_str()) != 0) fail("rename " + temp_);
    }

private:
    std::string path_;
    std::string temp_;
    int fd_ = -1;
    off_t written_ = 0;
    off_t started_ = 0;
};

uint64_t sum(const unsigned char* bytes, size_t n) {
    uint64_t total = 0;
    for (size_t i = 0; i < n; ++i) total += bytes[i];
    return total;
}

// Reads the file through `buffer`, handing every chunk to `each`.
template <typename Each>
uint64_t readThrough(const char* path, std::vector<unsigned char>& buffer, Each each) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(path);
    uint64_t total = 0;
    for (;;) {
        const ssize_t got = read(fd, buffer.data(), buffer.size());
        if (got < 0) fail(path);
        if (got == 0) break;
        total += sum(buffer.data(), static_cast<size_t>(got));
        each(static_cast<size_t>(got));
    }
    close(fd);
    return total;
}

// Writes `length` more bytes of whatever the buffer holds.
void fill(Output& out, const std::vector<unsigned char>& buffer, uint64_t length) {
    while (length > 0) {
        const size_t n = length < buffer.size() ? static_cast<size_t>(length) : buffer.size();
        out.write(buffer.data(), n);
        length -= n;
    }
}

uint64_t count(const char* text) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0') {
        std::fprintf(stderr, "io_floor: not a byte count: %s\n", text);
        std::exit(2);
    }
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<unsigned char> buffer(kChunk, 0xFF);
    uint64_t total = 0;
    if (argc == 5 && std::strcmp(argv[1], "extract") == 0) {
        const uint64_t textBytes = count(argv[3]);
        total = readThrough(argv[2], buffer, [](size_t) {});
        Output out(argv[4]);
        fill(out, buffer, textBytes);
        out.commit();
    } else if (argc == 6 && std::strcmp(argv[1], "import") == 0) {
        uint64_t left = count(argv[4]);
        Output out(argv[5]);
        total = readThrough(argv[2], buffer, [&](size_t n) {
            const size_t put = n < left ? n : static_cast<size_t>(left);
            out.write(buffer.data(), put);
            left -= put;
        });
        total += readThrough(argv[3], buffer, [](size_t) {});
        fill(out, buffer, left);
        out.commit();
    } else {
        std::fprintf(stderr,
                     "usage: io_floor extract PACKAGE TEXT_BYTES OUTPUT\n"
                     "       io_floor import PACKAGE TEXTFILE OUTPUT_BYTES OUTPUT\n");
        return 2;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(total));
    return 0;
}
