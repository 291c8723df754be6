// hide_libraries <list> <command> [arguments...]
//
// Runs <command> in a mount namespace of its own in which every file named
// in <list> (one path a line) reads as empty (/dev/null bound over it) and
// every folder named there is an empty read-only tmpfs. The mounts are made
// with system calls, not with mount(8): that needs libraries of its own,
// which are hidden as soon as the first of them is.
//
// Exit code: the command's (it replaces this process); 77 where mount
// namespaces are not permitted; 1 when a path cannot be hidden; 127 when
// the command cannot be started.

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

bool writeFile(const char* path, const std::string& text) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return ok;
}

// A mount namespace: directly as root, else inside a user namespace in
// which the caller is root.
bool enterMountNamespace() {
    if (unshare(CLONE_NEWNS) == 0)
        return true;
    const std::string uid = std::to_string(getuid()), gid = std::to_string(getgid());
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        return false;
    writeFile("/proc/self/setgroups", "deny");
    return writeFile("/proc/self/uid_map", "0 " + uid + " 1\n")
        && writeFile("/proc/self/gid_map", "0 " + gid + " 1\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <list> <command> [arguments...]\n", argv[0]);
        return 2;
    }
    std::ifstream list(argv[1]);
    if (!list) {
        std::fprintf(stderr, "hide_libraries: cannot read %s\n", argv[1]);
        return 1;
    }
    if (!enterMountNamespace() || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        std::fprintf(stderr, "hide_libraries: no mount namespace here: %s\n", std::strerror(errno));
        return 77;
    }
    std::string path;
    while (std::getline(list, path)) {
        struct stat st;
        if (path.empty() || stat(path.c_str(), &st) != 0)
            continue;  // gone since the list was made: nothing to hide
        const int rc = S_ISDIR(st.st_mode)
            ? mount("tmpfs", path.c_str(), "tmpfs", MS_RDONLY | MS_NOSUID | MS_NODEV, "size=4k")
            : mount("/dev/null", path.c_str(), nullptr, MS_BIND, nullptr);
        if (rc != 0) {
            std::fprintf(stderr, "hide_libraries: cannot hide %s: %s\n", path.c_str(), std::strerror(errno));
            return 1;
        }
    }
    execvp(argv[2], argv + 2);
    std::fprintf(stderr, "hide_libraries: cannot start %s: %s\n", argv[2], std::strerror(errno));
    return 127;
}
