// Linux: the removal of the working folder and the clean-up when the process
// ends early (signal_safe_linux.h). The removal and the signal handler use
// async-signal-safe calls only; the exit handler also flushes the standard
// streams, which exit() allows, and the set-up at the end of this file runs
// in the launcher's ordinary course.

#include "platform/signal_safe_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace scrivel::platform {

bool isDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

namespace {

constexpr int kMaxDepth = 32;

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

}  // namespace

RemoveResult removeTree(const char* path) {
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

namespace {

char g_cleanupPath[PATH_MAX];
volatile sig_atomic_t g_armed = 0;
bool g_handlersInstalled = false;

void cleanUpNow() {
    if (g_armed) {
        g_armed = 0;
        removeTree(g_cleanupPath);
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
    // Every signal whose default action ends the process, but those the
    // runtime takes for itself: SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT and
    // SIGQUIT (its handlers), SIGPIPE (ignored), SIGKILL and SIGSTOP (which no
    // one can catch), and the real-time signals, from which it picks the free
    // ones (no handler) for suspending and resuming its threads.
    for (int signal : {SIGHUP, SIGINT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ,
                       SIGPWR, SIGSTKFLT, SIGIO, SIGTRAP, SIGSYS}) {
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

}  // namespace

void armRemoval(const char* path, std::size_t length) {
    if (length >= sizeof g_cleanupPath)
        return;
    g_armed = 0;
    std::memcpy(g_cleanupPath, path, length + 1);
    installHandlers();
    g_armed = 1;
}

void disarmRemoval() {
    g_armed = 0;
}

}  // namespace scrivel::platform
