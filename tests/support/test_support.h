#pragma once
// What the launcher's tests share: scratch folders and whole files, child
// processes with a controlled environment and captured output, and archives
// assembled record by record (sound or deliberately broken) and unpacked the
// way the launcher unpacks its own.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "bundle_archive.h"

namespace test_support {

// ---- files (test_files.cpp) ----------------------------------------------------

// A fresh folder in /tmp (where the driver tests' private mounts expect it),
// removed with everything in it when the object goes: links are removed,
// never followed, and folders a test made read-only are opened up first.
class Scratch {
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

// Writes the whole file, creating the folders above it; throws on failure.
void writeFile(const std::string& path, const std::string& bytes);
// The whole file; throws when it cannot be read.
std::string readFile(const std::string& path);
// The same, but "" when there is no such file (a log nobody wrote to).
std::string readFileIfAny(const std::string& path);
// Whether anything is at `path`, without following a link.
bool exists(const std::string& path);
// Every file and folder below root, as sorted relative paths with "/"
// separators; folders end with "/".
std::vector<std::string> listTree(const std::string& root);
// `text` split at "\n", every "\r" dropped; no empty last line.
std::vector<std::string> lines(const std::string& text);
bool contains(const std::string& text, const std::string& part);

// ---- child processes (test_process.cpp) ------------------------------------------

struct Outcome {
    bool exited = false;
    int exitCode = -1;
    int signal = 0;   // the signal that ended the process, or 0
    std::string out;  // standard output
    std::string err;  // standard error
};

// Environment changes for a child: the launcher-relevant variables
// (XDG_RUNTIME_DIR, TMPDIR, XDG_CACHE_HOME, SCRIVEL_FAKE_*, MONO_*) are
// cleared first, then these are set.
using Environment = std::vector<std::pair<std::string, std::string>>;

// A child process running `program` with `args` (element 0 is added), after
// the words of `prefix` (a command that runs the rest, such as unshare).
// Standard input is the null device.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& args, const Environment& env,
          const std::vector<std::string>& prefix = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    Outcome wait();
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    std::string outPath_;
    std::string errPath_;
    bool waited_ = false;
};

// Starts and waits in one go.
Outcome run(const std::string& program, const std::vector<std::string>& args, const Environment& env);

// ---- archives (test_archive.cpp) ---------------------------------------------------

// Bytes that compress only in part, reproducible from seed.
std::string mixedBytes(size_t length, uint32_t seed);

std::string int32Bytes(int32_t value);
// zlib's one-call compression at `level` (0: stored blocks only).
std::string zlibStream(const std::string& raw, int level = -1);

// One entry record with the sizes that belong to raw.
std::string record(const std::string& name, const std::string& raw);
// One entry record with the given fields as they are.
std::string rawRecord(const std::string& name, int32_t size, int32_t packedSize, const std::string& data);

// "ARCH", the count, then the records.
std::string archive(int32_t count, const std::vector<std::string>& records);
std::string archive(const std::vector<std::string>& records);

// What unpacking did.
struct Unpacked {
    bool loaded = false;
    scrivel::BundleArchive::Outcome outcome = scrivel::BundleArchive::Outcome::NotRun;
    int32_t written = 0;
    int32_t skipped = 0;
};

// Unpacks the block into `folder` as the launcher unpacks the archive it
// carries: read in place, into the folder held open.
Unpacked unpack(const unsigned char* block, int32_t length, const std::string& folder);
Unpacked unpack(const std::string& bytes, const std::string& folder);

}  // namespace test_support
