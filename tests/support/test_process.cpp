#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "test_support.h"

extern char** environ;

namespace test_support {

namespace {

bool isClearedVariable(const char* entry) {
    static const char* const prefixes[] = {"XDG_RUNTIME_DIR=", "TMPDIR=", "XDG_CACHE_HOME=", "SCRIVEL_FAKE_",
                                           "MONO_"};
    for (const char* prefix : prefixes)
        if (std::strncmp(entry, prefix, std::strlen(prefix)) == 0)
            return true;
    return false;
}

std::string captureFile() {
    char pattern[] = "/tmp/scrivel-driver-capture-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    close(fd);
    return pattern;
}

}  // namespace

Child::Child(const std::string& program, const std::vector<std::string>& args, const Environment& env,
             const std::vector<std::string>& prefix) {
    outPath_ = captureFile();
    errPath_ = captureFile();

    // Everything the child needs is prepared before fork.
    std::vector<std::string> argStrings = prefix;
    argStrings.push_back(program);
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e)
        if (!isClearedVariable(*e))
            envStrings.push_back(*e);
    for (const auto& [name, value] : env)
        envStrings.push_back(name + "=" + value);
    std::vector<char*> argv;
    for (auto& a : argStrings)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envStrings)
        envp.push_back(&e[0]);
    envp.push_back(nullptr);

    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath_.c_str(), O_WRONLY | O_TRUNC);
        const int err = open(errPath_.c_str(), O_WRONLY | O_TRUNC);
        if (in < 0 || out < 0 || err < 0)
            _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
}

Child::~Child() {
    if (!waited_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    unlink(outPath_.c_str());
    unlink(errPath_.c_str());
}

Outcome Child::wait() {
    Outcome outcome;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::runtime_error("waitpid failed");
    }
    waited_ = true;
    if (WIFEXITED(status)) {
        outcome.exited = true;
        outcome.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    }
    outcome.out = readFile(outPath_);
    outcome.err = readFile(errPath_);
    return outcome;
}

Outcome run(const std::string& program, const std::vector<std::string>& args, const Environment& env) {
    Child child(program, args, env);
    return child.wait();
}

}  // namespace test_support
