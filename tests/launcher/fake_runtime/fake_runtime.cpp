// A stand-in for the runtime library: exports the eight entry points the
// launcher looks up and records every call with its arguments, one line each,
// in the file named by $SCRIVEL_FAKE_LOG. $SCRIVEL_FAKE_EXEC chooses what the
// "tool" does inside mono_jit_exec:
//   (unset)  print a line on standard output and one on standard error
//   exit     call exit(7), as the runtime does on several paths
//   signal N raise signal number N
//   hold     like the default, but stay inside for 300 ms (concurrency tests)
// Inside mono_jit_exec it also records the entries of the folder that holds
// the opened assembly, i.e. what the working folder holds while the tool runs.
// After its first line it records every MONO_* variable of the environment
// the runtime would see ("env NAME=VALUE").
// $SCRIVEL_FAKE_NO_DOMAIN makes mono_jit_init_version return null.
// Built without FAKE_RUNTIME_WITHOUT_EXEC it exports all eight names;
// with it, mono_jit_exec is missing. Built with FAKE_RUNTIME_FOREIGN it is
// the library another user would slip in: loading it appends the process id
// to the file named by $SCRIVEL_FAKE_FOREIGN_MARKER.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <string>

namespace {

int g_domain;    // the address of these two is what the fake hands out
int g_assembly;
std::string g_assemblyFolder;  // where the opened assembly lies

void record(const std::string& line) {
    const char* path = std::getenv("SCRIVEL_FAKE_LOG");
    if (path == nullptr)
        return;
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    ssize_t ignored = write(fd, text.data(), text.size());
    (void)ignored;
    close(fd);
}

std::string str(const char* s) {
    return s == nullptr ? "(null)" : s;
}

std::string domainName(void* domain) {
    return domain == &g_domain ? "domain" : "other-domain";
}

#ifndef FAKE_RUNTIME_WITHOUT_EXEC
void pause(int milliseconds) {
    struct timespec t = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    nanosleep(&t, nullptr);
}
#endif


#ifdef FAKE_RUNTIME_FOREIGN
__attribute__((constructor)) void markForeignLoad() {
    const char* path = std::getenv("SCRIVEL_FAKE_FOREIGN_MARKER");
    if (path == nullptr)
        return;
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0)
        return;
    const std::string text = std::to_string(getpid()) + "\n";
    ssize_t ignored = write(fd, text.data(), text.size());
    (void)ignored;
    close(fd);
}
#endif

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void mono_set_dirs(const char* assemblyDir, const char* configDir) {
    record("mono_set_dirs " + str(assemblyDir) + " " + str(configDir));
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (std::strncmp(*entry, "MONO_", 5) == 0)
            record(std::string("env ") + *entry);
}

__attribute__((visibility("default"))) void mono_set_assemblies_path(const char* path) {
    record("mono_set_assemblies_path " + str(path));
}

__attribute__((visibility("default"))) void mono_config_parse(const char* fileName) {
    record("mono_config_parse " + str(fileName));
}

__attribute__((visibility("default"))) void mono_set_defaults(int verbose, std::uint32_t optimizations) {
    char text[64];
    std::snprintf(text, sizeof text, "mono_set_defaults %d 0x%x", verbose, optimizations);
    record(text);
}

__attribute__((visibility("default"))) void* mono_jit_init_version(const char* name, const char* version) {
    record("mono_jit_init_version " + str(name) + " " + str(version));
    return std::getenv("SCRIVEL_FAKE_NO_DOMAIN") != nullptr ? nullptr : &g_domain;
}

__attribute__((visibility("default"))) std::uint32_t mono_parse_default_optimizations(const char* options) {
    record("mono_parse_default_optimizations " + str(options));
    return 0x5eed;
}

__attribute__((visibility("default"))) void* mono_domain_assembly_open(void* domain, const char* path) {
    record("mono_domain_assembly_open " + domainName(domain) + " " + str(path));
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0)
        return nullptr;
    const std::string p = path;
    g_assemblyFolder = p.substr(0, p.rfind('/'));
    return &g_assembly;
}

#ifndef FAKE_RUNTIME_WITHOUT_EXEC
__attribute__((visibility("default"))) int mono_jit_exec(void* domain, void* assembly, int argc, char** argv) {
    record("mono_jit_exec " + domainName(domain) + " " +
           (assembly == &g_assembly ? "assembly" : "other-assembly") + " " + std::to_string(argc));
    for (int i = 0; i < argc; ++i)
        record("arg " + std::to_string(i) + " " + str(argv[i]));
    record(std::string("argv-terminated ") + (argv[argc] == nullptr ? "yes" : "no"));
    // What the working folder holds while the tool runs.
    std::set<std::string> names;
    if (DIR* dir = opendir(g_assemblyFolder.c_str())) {
        while (const struct dirent* entry = readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.insert(entry->d_name);
        closedir(dir);
    }
    for (const std::string& name : names)
        record("entry " + name);

    const char* behaviour = std::getenv("SCRIVEL_FAKE_EXEC");
    const std::string what = behaviour != nullptr ? behaviour : "";
    if (what == "exit")
        std::exit(7);
    if (what.rfind("signal ", 0) == 0)
        std::raise(std::atoi(what.c_str() + 7));
    std::fputs("fake tool output\n", stdout);
    std::fflush(stdout);
    std::fputs("fake tool error\n", stderr);
    if (what == "hold") {
        record("hold begin");
        pause(300);
        record("hold end");
    }
    return 3;
}
#endif

}  // extern "C"
