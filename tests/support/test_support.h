#pragma once
// Helpers for the tests that run launchers as processes: scratch folders,
// whole files, and child processes with a controlled environment whose
// standard output and error are captured.

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace driver_test {

// A fresh folder under `parent`, removed with its content (links are
// removed, never followed) when the object goes.
class Scratch {
public:
    explicit Scratch(const std::string& parent = "/tmp");
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);  // "" when missing
bool exists(const std::string& path);           // without following a link
std::vector<std::string> lines(const std::string& text);  // split at "\n", "\r" dropped
bool contains(const std::string& text, const std::string& part);

struct Outcome {
    bool exited = false;
    int exitCode = -1;
    int signal = 0;   // the signal that ended the process, or 0
    std::string out;  // standard output
    std::string err;  // standard error
};

// Environment changes for a child: the launcher-relevant variables
// (XDG_RUNTIME_DIR, TMPDIR, XDG_CACHE_HOME, SCRIVEL_FAKE_*, MONO_*) are
// cleared first,
// then these are set.
using Environment = std::vector<std::pair<std::string, std::string>>;

// A child process running `program` with `args` (element 0 is added).
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

}  // namespace driver_test
