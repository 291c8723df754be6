// Linux implementation of the launcher's OS layer.
//
// Removal of the working folder must also work from a signal handler and
// from an exit handler while the runtime is running, so it is written with
// async-signal-safe calls only: no allocation, no stdio, fixed buffers on the
// stack, directories read with getdents64 and emptied with unlinkat.

#include "host.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace scrivel::host {

namespace {

OutputMode g_mode = OutputMode::Console;

// ---- removal (async-signal-safe) --------------------------------------------

constexpr int kMaxDepth = 32;

bool isDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Removes everything inside the open directory `dir`, never following a
// symbolic link and never leaving the file system `device`. True when the
// directory ends up empty.
bool emptyDirectory(int dir, dev_t device, int depth) {
    if (depth > kMaxDepth)
        return false;
    alignas(8) char buffer[2048];
    // Entries are removed while the directory is read, which may make a
    // reading pass skip some; passes repeat until one finds nothing left or
    // removes nothing more.
    for (;;) {
        if (lseek(dir, 0, SEEK_SET) != 0)
            return false;
        bool sawEntry = false;
        bool removedAny = false;
        for (;;) {
            const ssize_t n = getdents64(dir, buffer, sizeof buffer);
            if (n < 0)
                return false;
            if (n == 0)
                break;
            for (ssize_t at = 0; at < n;) {
                const struct dirent64* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
                at += entry->d_reclen;
                const char* name = entry->d_name;
                if (isDotEntry(name))
                    continue;
                sawEntry = true;
                struct stat st;
                if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    if (errno == ENOENT)
                        removedAny = true;
                    continue;
                }
                if (S_ISDIR(st.st_mode)) {
                    if (st.st_dev != device)
                        continue;  // a mount point: leave it alone
                    const int sub = openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                    if (sub < 0)
                        continue;
                    emptyDirectory(sub, device, depth + 1);
                    close(sub);
                    // Gone already counts too: the main thread may be removing
                    // the same folder while a signal handler runs on another.
                    if (unlinkat(dir, name, AT_REMOVEDIR) == 0 || errno == ENOENT)
                        removedAny = true;
                } else if (unlinkat(dir, name, 0) == 0 || errno == ENOENT) {
                    removedAny = true;
                }
            }
        }
        if (!sawEntry)
            return true;
        if (!removedAny)
            return false;
    }
}

RemoveResult removePath(const char* path) {
    struct stat st;
    if (lstat(path, &st) != 0)
        return errno == ENOENT ? RemoveResult::Absent : RemoveResult::Failed;
    if (st.st_uid != geteuid())
        return RemoveResult::Foreign;
    if (!S_ISDIR(st.st_mode)) {
        // A file or a symbolic link: the name goes, a link's target stays.
        if (unlink(path) == 0 || errno == ENOENT)
            return RemoveResult::Removed;
        return RemoveResult::Failed;
    }
    const int dir = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0)
        return RemoveResult::Failed;
    struct stat opened;
    // The name must still lead to the directory that was examined.
    if (fstat(dir, &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
        close(dir);
        return RemoveResult::Failed;
    }
    emptyDirectory(dir, st.st_dev, 0);
    close(dir);
    if (rmdir(path) == 0 || errno == ENOENT)
        return RemoveResult::Removed;
    return RemoveResult::Failed;
}

// ---- clean-up when the process ends early ------------------------------------

char g_cleanupPath[kMaxPath];
volatile sig_atomic_t g_armed = 0;
bool g_handlersInstalled = false;
int g_lockFd = -1;

void cleanUpNow() {
    if (g_armed) {
        g_armed = 0;
        removePath(g_cleanupPath);
    }
}

// Runs when anything calls exit() (the runtime does so on several paths)
// while the tool is running: the folder is removed and the process ends with
// exit code 0 like every other path of the launcher.
void cleanUpAtExit() {
    if (!g_armed)
        return;
    cleanUpNow();
    std::fflush(nullptr);
    _exit(0);
}

void cleanUpOnSignal(int signal) {
    const int savedErrno = errno;
    cleanUpNow();
    // The handler was installed with SA_RESETHAND, so the default action is
    // back in place: unblock the signal and raise it again to end as the
    // signal would have ended the process.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    errno = savedErrno;
}

void installHandlers() {
    if (g_handlersInstalled)
        return;
    g_handlersInstalled = true;
    std::atexit(&cleanUpAtExit);
    // Only the terminating signals a user or session sends; the runtime's own
    // signals (SEGV, BUS, FPE, ILL, ABRT, QUIT, real-time ones) stay its own.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current;
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;  // started with the signal ignored (nohup): keep it so
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = &cleanUpOnSignal;
        sigfillset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(signal, &action, nullptr);
    }
}

std::string errorText(int code) {
    return std::strerror(code);
}

bool isAbsoluteDirectory(const char* value, bool ownedByUser) {
    if (value == nullptr || value[0] != '/')
        return false;
    struct stat st;
    return stat(value, &st) == 0 && S_ISDIR(st.st_mode) && (!ownedByUser || st.st_uid == geteuid());
}

}  // namespace

// ---- output ------------------------------------------------------------------

// A standard stream that the parent closed would hand its number to the next
// file opened (the lock file, an output of the tool), and whatever is printed
// would land in that file: such a stream is pointed at /dev/null instead.
static void openClosedStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int null = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
}

void beginOutput(OutputMode mode) {
    g_mode = mode;
    openClosedStandardStreams();
    if (mode != OutputMode::Silent)
        return;  // console mode: the inherited streams are the console
    std::fflush(nullptr);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0)
        return;
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    if (null != STDOUT_FILENO && null != STDERR_FILENO)
        close(null);
}

void endOutput() {
    std::fflush(nullptr);
}

void reportFailure(const std::string& text) {
    if (g_mode == OutputMode::Silent)
        return;
    const std::string line = "Scrivel: " + text + "\n";
    std::fflush(stdout);
    ssize_t ignored = write(STDERR_FILENO, line.data(), line.size());
    (void)ignored;
}

// ---- paths -------------------------------------------------------------------

bool temporaryDirectory(std::string& dir, std::string& error) {
    // The runtime directory is the user's own; one that belongs to someone
    // else (kept in the environment after switching users) is passed over.
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    const char* tmpdir = std::getenv("TMPDIR");
    const char* chosen = nullptr;
    if (isAbsoluteDirectory(runtimeDir, true))
        chosen = runtimeDir;
    else if (isAbsoluteDirectory(tmpdir, false))
        chosen = tmpdir;
    else if (isAbsoluteDirectory("/tmp", false))
        chosen = "/tmp";
    if (chosen != nullptr) {
        dir = chosen;
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        return true;
    }
    error = "no temporary directory: neither $XDG_RUNTIME_DIR, $TMPDIR nor /tmp is a directory";
    return false;
}

std::string joinPath(const std::string& dir, const std::string& name) {
    if (!dir.empty() && dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}

std::string executablePath(const char* fallback) {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n > 0 && static_cast<size_t>(n) < sizeof buffer)
        return std::string(buffer, static_cast<size_t>(n));
    return fallback != nullptr ? fallback : "";
}

void prepareLocale() {
    std::setlocale(LC_ALL, "");
}

// ---- the working folder ------------------------------------------------------

RemoveResult removeWorkFolder(const std::string& folder) {
    return removePath(folder.c_str());
}

bool createWorkFolder(const std::string& folder, std::string& error) {
    if (mkdir(folder.c_str(), 0700) != 0) {
        error = "cannot create the working folder " + folder + ": " + errorText(errno);
        return false;
    }
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (dir < 0 || fstat(dir, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
        if (dir >= 0)
            close(dir);
        error = "the working folder " + folder + " is not a private directory of this user";
        return false;
    }
    // Private whatever the umask made of it.
    if ((st.st_mode & 07777) != 0700)
        fchmod(dir, 0700);
    close(dir);
    return true;
}

std::vector<std::string> entryNames(const std::string& dir) {
    std::vector<std::string> names;
    DIR* listing = opendir(dir.c_str());
    if (listing == nullptr)
        return names;
    while (const struct dirent* entry = readdir(listing))
        if (!isDotEntry(entry->d_name))
            names.push_back(entry->d_name);
    closedir(listing);
    return names;
}

unsigned long processId() {
    return static_cast<unsigned long>(getpid());
}

bool lockWorkFolder(const std::string& folder, std::string& error) {
    if (g_lockFd >= 0)
        return true;
    const std::string path = folder + ".lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot open the lock file " + path + ": " + errorText(errno);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        close(fd);
        error = "the lock file " + path + " does not belong to this user";
        return false;
    }
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            const int code = errno;
            close(fd);
            error = "cannot lock " + path + ": " + errorText(code);
            return false;
        }
    }
    g_lockFd = fd;
    return true;
}

void unlockWorkFolder() {
    if (g_lockFd < 0)
        return;
    flock(g_lockFd, LOCK_UN);
    close(g_lockFd);
    g_lockFd = -1;
}

void armCleanup(const std::string& folder) {
    if (folder.size() >= sizeof g_cleanupPath)
        return;
    g_armed = 0;
    std::memcpy(g_cleanupPath, folder.c_str(), folder.size() + 1);
    installHandlers();
    g_armed = 1;
}

void disarmCleanup() {
    g_armed = 0;
}

// ---- dynamic libraries -------------------------------------------------------

const char* runtimeLibraryName() {
    return "libmonosgen-2.0.so.1";
}

std::string runtimeConfigFile(const std::string& etcFolder) {
    return joinPath(joinPath(etcFolder, "mono"), "config");
}

void* loadLibrary(const std::string& path, std::string& error) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr) {
        const char* text = dlerror();
        error = text != nullptr ? text : "cannot load " + path;
    }
    return library;
}

void* findSymbol(void* library, const char* name) {
    return library != nullptr ? dlsym(library, name) : nullptr;
}

}  // namespace scrivel::host
