// Linux implementation of the launcher's OS layer. The removal of the
// working folder and the clean-up when the process ends early, which must
// also work inside a signal handler, are in signal_safe_linux.cpp.

#include "host.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include "platform/signal_safe_linux.h"
#include "utf8_argument.h"

namespace scrivel::platform {

namespace {

OutputMode g_mode = OutputMode::Console;
int g_lockFd = -1;

std::string errorText(int code) {
    return std::strerror(code);
}

// ---- the temporary directory -----------------------------------------------

// Room kept below the temporary directory within kMaxPath: the working
// folder's spare name at its longest ("ScrivelTempFiles-<pid>-<n>") and one
// more name at the system's longest (NAME_MAX) for the paths the runtime
// forms inside it.
constexpr std::size_t kRoomBelow = 32 + 256;

// The per-user folder in a shared directory, and the one in the cache folder.
std::string perUserFolderName() {
    return "scrivel-" + std::to_string(geteuid());
}
constexpr const char* kCacheFolderName = "scrivel-launcher";

// Why an open folder may not be trusted with the working folder, as the
// rest of a clause that starts with its path (" belongs to another user"),
// or "".
std::string untrusted(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0)
        return ": " + errorText(errno);
    if (st.st_uid != 0 && st.st_uid != geteuid())
        return " belongs to another user";
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0)
        return " can be changed by other users";
    return std::string();
}

// How many links one path may pass through, as the kernel allows.
constexpr int kMaxLinks = 40;

// The components of `path` pushed so that the first is on top.
void pushComponents(const std::string& path, std::vector<std::string>& pending) {
    std::size_t end = path.size();
    while (end > 0) {
        const std::size_t slash = path.rfind('/', end - 1);
        const std::size_t begin = slash == std::string::npos ? 0 : slash + 1;
        if (end > begin)
            pending.push_back(path.substr(begin, end - begin));
        if (slash == std::string::npos)
            break;
        end = slash;
    }
}

bool onlyDots(const std::vector<std::string>& pending) {
    for (const std::string& name : pending)
        if (name != ".")
            return false;
    return true;
}

// Opens the folder `path` (absolute) one component at a time from the root,
// resolving links and ".." as the kernel would, but never through a link
// that belongs to a user other than root and this one (as
// fs.protected_symlinks refuses them), each link read through a handle of
// its own so that it cannot be swapped between its check and its reading;
// every folder entered must pass untrusted(). With `createLast`, a missing
// last folder is created (mode 0700) inside its checked parent, and nothing
// before. Returns an O_PATH descriptor and, in `resolved`, the path without
// links; -1 with a reason (the system's text alone where a call failed, as
// realpath would give it). Work and memory stay within the path, its links
// and kMaxPath.
int openChecked(const std::string& path, bool createLast, std::string& resolved, std::string& reason) {
    resolved = "/";
    int dir = path.size() < kMaxPath ? open("/", O_PATH | O_DIRECTORY | O_CLOEXEC) : -1;
    if (dir < 0) {
        reason = path.size() < kMaxPath ? "/: " + errorText(errno) : errorText(ENAMETOOLONG);
        return -1;
    }
    const std::string why = untrusted(dir);
    reason = why.empty() ? std::string() : "/" + why;
    const auto below = [&resolved](const std::string& name) {
        return (resolved.size() == 1 ? "/" : resolved + "/") + name;
    };
    std::vector<std::string> pending;
    pushComponents(path, pending);
    int links = 0;
    while (reason.empty() && !pending.empty()) {
        const std::string name = pending.back();
        pending.pop_back();
        if (name == ".")
            continue;
        int fd = openat(dir, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT && createLast && onlyDots(pending) &&
            (mkdirat(dir, name.c_str(), 0700) == 0 || errno == EEXIST))
            fd = openat(dir, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || fstat(fd, &st) != 0) {
            reason = errorText(errno);
        } else if (S_ISLNK(st.st_mode)) {
            char target[PATH_MAX];
            const ssize_t n = readlinkat(fd, "", target, sizeof target);
            if (st.st_uid != 0 && st.st_uid != geteuid())
                reason = below(name) + " is a link of another user";
            else if (++links > kMaxLinks)
                reason = errorText(ELOOP);
            else if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target)
                reason = errorText(n < 0 ? errno : ENAMETOOLONG);
            if (reason.empty() && target[0] == '/') {
                close(fd);
                fd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
                std::swap(fd, dir);
                resolved = "/";
            }
            if (reason.empty())
                pushComponents(std::string(target, static_cast<std::size_t>(n)), pending);
        } else if (!S_ISDIR(st.st_mode)) {
            reason = errorText(ENOTDIR);
        } else {
            const std::string whyNot = untrusted(fd);
            std::swap(fd, dir);
            if (name == "..")
                resolved.erase(std::max<std::size_t>(1, resolved.rfind('/')));
            else
                resolved += (resolved.size() == 1 ? "" : "/") + name;
            if (!whyNot.empty())
                reason = resolved + whyNot;
            else if (resolved.size() >= kMaxPath)
                reason = errorText(ENAMETOOLONG);
        }
        if (fd >= 0)
            close(fd);
    }
    if (!reason.empty() && dir >= 0) {
        close(dir);
        dir = -1;
    }
    return dir;
}

// Creates (if missing) and opens the private folder `name` inside the open
// folder `base`: it must be a directory of the user; its mode is made 0700.
int openPrivateFolder(int base, const std::string& name, const std::string& path, std::string& reason) {
    if (mkdirat(base, name.c_str(), 0700) != 0 && errno != EEXIST) {
        reason = "cannot create " + path + ": " + errorText(errno);
        return -1;
    }
    const int fd = openat(base, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_uid != geteuid()) {
        reason = fd < 0 ? path + " is not a folder of this user: " + errorText(errno)
                        : path + " belongs to another user";
        if (fd >= 0)
            close(fd);
        return -1;
    }
    if ((st.st_mode & 07777) != 0700 && fchmod(fd, 0700) != 0) {
        reason = "cannot make " + path + " private: " + errorText(errno);
        close(fd);
        return -1;
    }
    return fd;
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
    // A reader that has gone must not end the launcher by SIGPIPE before it
    // has cleaned up: the signal is held back while writing and a pending
    // one taken away, so the write simply fails.
    sigset_t pipe;
    sigset_t previous;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &previous);
    std::fflush(stdout);
    ssize_t ignored = write(STDERR_FILENO, line.data(), line.size());
    (void)ignored;
    const struct timespec none = {0, 0};
    while (sigtimedwait(&pipe, nullptr, &none) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

// ---- paths -------------------------------------------------------------------

// The user's home folder in the user database, or "".
std::string databaseHome() {
    std::vector<char> buffer(16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    int error;
    while ((error = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    return error == 0 && found != nullptr && found->pw_dir != nullptr ? found->pw_dir : "";
}

std::vector<TempCandidate> temporaryCandidates() {
    std::vector<TempCandidate> candidates;
    const auto add = [&](const char* origin, const std::string& value, bool cache) {
        if (!value.empty())
            candidates.push_back(TempCandidate{origin, value, cache});
    };
    const auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value != nullptr ? value : "");
    };
    add("$XDG_RUNTIME_DIR", variable("XDG_RUNTIME_DIR"), false);
    add("$TMPDIR", variable("TMPDIR"), false);
    add("/tmp", "/tmp", false);
    const std::string cache = variable("XDG_CACHE_HOME");
    if (!cache.empty() && cache[0] == '/') {
        add("$XDG_CACHE_HOME", cache, true);
    } else {
        // $HOME first; when it is unset or unusable (/nonexistent, /), the
        // home folder the user database names, which is looked up only then
        // (it may take a network service).
        const std::string home = variable("HOME");
        if (!home.empty() && home[0] == '/')
            add("~/.cache", joinPath(home, ".cache"), true);
        if (home.empty() || home[0] != '/' || home == "/" || access(home.c_str(), W_OK | X_OK) != 0) {
            const std::string database = databaseHome();
            if (!database.empty() && database[0] == '/' && database != home)
                add("~/.cache of the user database", joinPath(database, ".cache"), true);
        }
    }
    // Last, a folder of this run alone, under a name no one can guess.
    TempCandidate fresh{"a new folder in /tmp", "/tmp", false};
    fresh.fresh = true;
    candidates.push_back(fresh);
    return candidates;
}

bool openTemporaryDirectory(const TempCandidate& candidate, Folder& dir, std::string& reason) {
    const std::string named = candidate.origin == candidate.path || candidate.fresh
                                  ? candidate.origin
                                  : candidate.origin + " " + candidate.path;
    if (candidate.path.empty() || candidate.path[0] != '/') {
        reason = named + " is not an absolute path";
        return false;
    }
    // The cache folder may not exist yet: it is made only once the folders
    // above it have passed the checks.
    std::string resolved;
    std::string why;
    const int base = openChecked(candidate.path, candidate.cache, resolved, why);
    if (base < 0) {
        reason = named + ": " + why;
        return false;
    }
    struct stat st;
    struct statvfs fs;
    const bool statted = fstat(base, &st) == 0 && fstatvfs(base, &fs) == 0;
    // Shared folders (writable by others) and the cache folder get a folder
    // of their own for this user, a fresh one a folder made for this run
    // alone; a private folder of the user is used as it is.
    const bool own = statted && !candidate.cache && !candidate.fresh && st.st_uid == geteuid() &&
                     (st.st_mode & 022) == 0;
    std::string sub = own                ? std::string()
                      : candidate.cache ? kCacheFolderName
                      : candidate.fresh ? perUserFolderName() + "-XXXXXX"
                                        : perUserFolderName();
    std::string path = sub.empty() ? resolved : joinPath(resolved, sub);
    if (!statted)
        reason = named + ": " + errorText(errno);
    else if (path.size() + kRoomBelow >= kMaxPath)
        reason = named + ": the working folder's paths in " + path + " would exceed the system's limit of " +
                 std::to_string(kMaxPath) + " bytes";
    else if ((fs.f_flag & ST_NOEXEC) != 0)
        reason = named + " is on a file system mounted noexec";
    int fd = -1;
    if (reason.empty() && own) {
        fd = openat(base, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        why = fd < 0 ? errorText(errno) : std::string();
    } else if (reason.empty() && candidate.fresh && mkdtemp(&path[0]) == nullptr) {
        why = "cannot create a folder in " + resolved + ": " + errorText(errno);
    } else if (reason.empty()) {
        if (candidate.fresh)
            sub = path.substr(path.rfind('/') + 1);
        fd = openPrivateFolder(base, sub, path, why);
    }
    close(base);
    if (reason.empty() && fd < 0)
        reason = named + ": " + why;
    if (!reason.empty())
        return false;
    dir = Folder(path, fd);
    return true;
}

bool isExecutionRefused(const std::string& loaderError) {
    // What the loader says when mmap refuses executable pages: a noexec
    // mount the statvfs test did not see, or a policy of the system.
    return loaderError.find("failed to map segment") != std::string::npos;
}

std::string executablePath(const char* fallback) {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n > 0 && static_cast<size_t>(n) < sizeof buffer)
        return wellFormedUtf8(std::string(buffer, static_cast<size_t>(n)).c_str());
    return fallback != nullptr ? fallback : "";
}

void prepareLocale() {
    std::setlocale(LC_ALL, "");
}

void removeEnvironmentVariables(const char* prefix) {
    // Names first, then removal: unsetenv changes the array being read.
    const std::size_t length = std::strlen(prefix);
    std::vector<std::string> names;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
        if (std::strncmp(*entry, prefix, length) == 0)
            names.emplace_back(*entry, std::strcspn(*entry, "="));
    for (const std::string& name : names)
        unsetenv(name.c_str());
}

// ---- the working folder ------------------------------------------------------

RemoveResult removeWorkFolder(const std::string& folder) {
    return removeTree(folder.c_str());
}

bool createWorkFolder(const Folder& parent, const std::string& name, Folder& created, std::string& error,
                      bool* outOfSpace) {
    const std::string folder = joinPath(parent.path(), name);
    if (mkdirat(parent.descriptor(), name.c_str(), 0700) != 0) {
        const int code = errno;
        if (outOfSpace != nullptr)
            *outOfSpace = isOutOfSpace(parent, code, 0);
        error = "cannot create the working folder " + folder + ": " + errorText(code);
        return false;
    }
    const int dir = openat(parent.descriptor(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
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
    created = Folder(folder, dir);
    return true;
}

bool isStillWorkFolder(const Folder& folder, std::string& error) {
    struct stat held;
    struct stat named;
    struct stat library;
    const bool same = folder.isOpen() && fstat(folder.descriptor(), &held) == 0 && S_ISDIR(held.st_mode) &&
                      held.st_uid == geteuid() && (held.st_mode & 07777) == 0700 &&
                      lstat(folder.path().c_str(), &named) == 0 && named.st_dev == held.st_dev &&
                      named.st_ino == held.st_ino;
    if (!same) {
        error = "the working folder " + folder.path() + " was replaced while unpacking; the runtime is not started";
        return false;
    }
    if (fstatat(folder.descriptor(), runtimeLibraryName(), &library, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(library.st_mode) || library.st_uid != geteuid()) {
        error = "the runtime library in " + folder.path() + " is not the one unpacked; the runtime is not started";
        return false;
    }
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

// How long a launcher tries the lock quietly: 20 times 50 ms.
constexpr int kLockPolls = 20;
constexpr long kLockPollNanoseconds = 50L * 1000 * 1000;

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
    // Tried without waiting for about a second, then said once and waited for.
    int flags = LOCK_EX | LOCK_NB;
    for (int attempt = 0; flock(fd, flags) != 0; ++attempt) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            const int code = errno;
            close(fd);
            error = "cannot lock " + path + ": " + errorText(code);
            return false;
        }
        if (attempt < kLockPolls) {
            const struct timespec pause = {0, kLockPollNanoseconds};
            nanosleep(&pause, nullptr);
        } else {
            reportFailure("waiting for another run to finish");
            flags = LOCK_EX;
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
    armRemoval(folder.c_str(), folder.size());
}

void disarmCleanup() {
    disarmRemoval();
}

// ---- dynamic libraries -------------------------------------------------------

const char* runtimeLibraryName() {
    return "libmonosgen-2.0.so.1";
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

}  // namespace scrivel::platform
