// The Linux OS layer: removal that never follows links nor touches what is
// not the user's, private creation and the check before loading, the choice
// of the temporary directory, the lock between launchers, and clean-up when
// the process ends early.

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"
#include "platform/host.h"

using namespace scrivel;
using test_support::exists;
using test_support::readFile;
using test_support::Scratch;
using test_support::writeFile;

namespace {

void makeDir(const std::string& path) {
    ASSERT_EQ(0, mkdir(path.c_str(), 0755)) << path;
}

// A folder as an earlier run might leave it: nested folders and files.
void fillTree(const std::string& root) {
    makeDir(root);
    makeDir(root + "/lib");
    makeDir(root + "/etc");
    makeDir(root + "/etc/mono");
    makeDir(root + "/etc/mono/deep");
    writeFile(root + "/Scrivel.exe", "tool");
    writeFile(root + "/lib/a.dll", "a");
    writeFile(root + "/etc/mono/deep/config", "c");
}

// A folder outside the working folder that must survive untouched.
void makeVictim(const std::string& path) {
    makeDir(path);
    writeFile(path + "/keep.txt", "precious");
}

void expectVictimIntact(const std::string& path) {
    EXPECT_TRUE(exists(path));
    EXPECT_EQ("precious", readFile(path + "/keep.txt"));
}

// Runs `body` in a forked child and returns its wait status.
template <typename Body>
int inChild(Body body) {
    const pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(99);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

class EnvironmentGuard {
public:
    EnvironmentGuard() : xdg_(save("XDG_RUNTIME_DIR")), tmp_(save("TMPDIR")), cache_(save("XDG_CACHE_HOME")) {}
    ~EnvironmentGuard() {
        restore("XDG_RUNTIME_DIR", xdg_);
        restore("TMPDIR", tmp_);
        restore("XDG_CACHE_HOME", cache_);
    }

private:
    struct Saved {
        bool set;
        std::string value;
    };
    static Saved save(const char* name) {
        const char* v = std::getenv(name);
        return Saved{v != nullptr, v != nullptr ? v : ""};
    }
    static void restore(const char* name, const Saved& s) {
        if (s.set)
            setenv(name, s.value.c_str(), 1);
        else
            unsetenv(name);
    }
    Saved xdg_;
    Saved tmp_;
    Saved cache_;
};

// The temporary directory the driver would take: the first candidate that opens.
std::string chosenTemporaryDirectory() {
    for (const platform::TempCandidate& candidate : platform::temporaryCandidates()) {
        platform::Folder dir;
        std::string reason;
        if (platform::openTemporaryDirectory(candidate, dir, reason))
            return dir.path();
    }
    return std::string();
}

std::string perUserTmp() {
    return "/tmp/scrivel-" + std::to_string(geteuid());
}

mode_t modeOf(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A working folder made as the driver makes it, holding a runtime library.
platform::Folder makeWorkFolder(const Scratch& s) {
    platform::Folder work;
    std::string error;
    EXPECT_TRUE(platform::createWorkFolder(platform::Folder(s.path()), "ScrivelTempFiles", work, error)) << error;
    writeFile(s / ("ScrivelTempFiles/" + std::string(platform::runtimeLibraryName())), "library");
    return work;
}

}  // namespace

TEST(RemoveWorkFolder, ReportsAbsentWhenNothingIsThere) {
    Scratch s;
    EXPECT_EQ(platform::RemoveResult::Absent, platform::removeWorkFolder(s / "ScrivelTempFiles"));
}

TEST(RemoveWorkFolder, RemovesANestedFolderWithAllItsContent) {
    Scratch s;
    fillTree(s / "ScrivelTempFiles");
    EXPECT_EQ(platform::RemoveResult::Removed, platform::removeWorkFolder(s / "ScrivelTempFiles"));
    EXPECT_FALSE(exists(s / "ScrivelTempFiles"));
}

TEST(RemoveWorkFolder, RemovesAFolderWithManyEntries) {
    // More entries than one directory read returns, removed while reading.
    Scratch s;
    const std::string root = s / "ScrivelTempFiles";
    makeDir(root);
    for (int i = 0; i < 600; ++i)
        writeFile(root + "/file-with-a-rather-long-name-" + std::to_string(i), "x");
    EXPECT_EQ(platform::RemoveResult::Removed, platform::removeWorkFolder(root));
    EXPECT_FALSE(exists(root));
}

TEST(RemoveWorkFolder, RemovesALinkButNeverWhatItPointsAt) {
    Scratch s;
    makeVictim(s / "victim");
    ASSERT_EQ(0, symlink((s / "victim").c_str(), (s / "ScrivelTempFiles").c_str()));
    EXPECT_EQ(platform::RemoveResult::Removed, platform::removeWorkFolder(s / "ScrivelTempFiles"));
    EXPECT_FALSE(exists(s / "ScrivelTempFiles"));
    expectVictimIntact(s / "victim");
}

TEST(RemoveWorkFolder, RemovesLinksInsideTheFolderButNotTheirTargets) {
    Scratch s;
    makeVictim(s / "victim");
    writeFile(s / "victim-file", "also precious");
    fillTree(s / "ScrivelTempFiles");
    ASSERT_EQ(0, symlink((s / "victim").c_str(), (s / "ScrivelTempFiles/lib/dirlink").c_str()));
    ASSERT_EQ(0, symlink((s / "victim-file").c_str(), (s / "ScrivelTempFiles/filelink").c_str()));
    EXPECT_EQ(platform::RemoveResult::Removed, platform::removeWorkFolder(s / "ScrivelTempFiles"));
    EXPECT_FALSE(exists(s / "ScrivelTempFiles"));
    expectVictimIntact(s / "victim");
    EXPECT_EQ("also precious", readFile(s / "victim-file"));
}

TEST(RemoveWorkFolder, RemovesAPlainFileOfThatName) {
    Scratch s;
    writeFile(s / "ScrivelTempFiles", "not a folder");
    EXPECT_EQ(platform::RemoveResult::Removed, platform::removeWorkFolder(s / "ScrivelTempFiles"));
    EXPECT_FALSE(exists(s / "ScrivelTempFiles"));
}

TEST(RemoveWorkFolder, LeavesWhatBelongsToAnotherUserUntouched) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    Scratch s;
    fillTree(s / "ScrivelTempFiles");
    ASSERT_EQ(0, lchown((s / "ScrivelTempFiles").c_str(), 65534, 65534));
    EXPECT_EQ(platform::RemoveResult::Foreign, platform::removeWorkFolder(s / "ScrivelTempFiles"));
    EXPECT_EQ("tool", readFile(s / "ScrivelTempFiles/Scrivel.exe"));

    makeVictim(s / "victim");
    ASSERT_EQ(0, symlink((s / "victim").c_str(), (s / "other-link").c_str()));
    ASSERT_EQ(0, lchown((s / "other-link").c_str(), 65534, 65534));
    EXPECT_EQ(platform::RemoveResult::Foreign, platform::removeWorkFolder(s / "other-link"));
    EXPECT_TRUE(exists(s / "other-link"));
}

TEST(CreateWorkFolder, CreatesAPrivateFolderWhateverTheUmask) {
    Scratch s;
    std::string error;
    platform::Folder work;
    const mode_t old = umask(0277);  // would leave the owner without write access
    const bool created = platform::createWorkFolder(platform::Folder(s.path()), "ScrivelTempFiles", work, error);
    umask(old);
    ASSERT_TRUE(created) << error;
    EXPECT_TRUE(work.isOpen());
    EXPECT_EQ(s / "ScrivelTempFiles", work.path());
    struct stat st;
    ASSERT_EQ(0, lstat((s / "ScrivelTempFiles").c_str(), &st));
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(0700u, st.st_mode & 07777);
    EXPECT_EQ(geteuid(), st.st_uid);
}

TEST(CreateWorkFolder, RefusesAPathThatIsAlreadyTaken) {
    Scratch s;
    makeVictim(s / "victim");
    ASSERT_EQ(0, symlink((s / "victim").c_str(), (s / "ScrivelTempFiles").c_str()));
    std::string error;
    platform::Folder work;
    EXPECT_FALSE(platform::createWorkFolder(platform::Folder(s.path()), "ScrivelTempFiles", work, error));
    EXPECT_NE(std::string::npos, error.find("ScrivelTempFiles")) << error;
    EXPECT_FALSE(work.isOpen());
    expectVictimIntact(s / "victim");
}

TEST(CreateWorkFolder, IsStillTheWorkFolderOnlyWhileNothingWasSwapped) {
    struct Case {
        const char* what;
        void (*change)(const Scratch&);
        bool still;
    };
    const Case cases[] = {
        {"untouched", [](const Scratch&) {}, true},
        {"renamed, another put in its place",
         [](const Scratch& s) {
             ASSERT_EQ(0, rename((s / "ScrivelTempFiles").c_str(), (s / "moved").c_str()));
             ASSERT_EQ(0, mkdir((s / "ScrivelTempFiles").c_str(), 0700));
             writeFile(s / "ScrivelTempFiles/libmonosgen-2.0.so.1", "foreign");
         },
         false},
        {"opened to others", [](const Scratch& s) { chmod((s / "ScrivelTempFiles").c_str(), 0777); }, false},
        {"library replaced by a link",
         [](const Scratch& s) {
             const std::string library = s / "ScrivelTempFiles/libmonosgen-2.0.so.1";
             unlink(library.c_str());
             ASSERT_EQ(0, symlink("/elsewhere.so", library.c_str()));
         },
         false},
    };
    for (const Case& c : cases) {
        Scratch s;
        const platform::Folder work = makeWorkFolder(s);
        c.change(s);
        std::string error;
        EXPECT_EQ(c.still, platform::isStillWorkFolder(work, error)) << c.what;
        EXPECT_EQ(c.still, error.empty()) << c.what << ": " << error;
    }
}

TEST(TemporaryDirectory, PrefersTheRuntimeDirectoryThenTmpdirThenAFolderOfTheUserInTmp) {
    EnvironmentGuard guard;
    Scratch xdg;
    Scratch tmp;
    setenv("XDG_RUNTIME_DIR", (xdg.path() + "/").c_str(), 1);
    setenv("TMPDIR", tmp.path().c_str(), 1);
    EXPECT_EQ(xdg.path(), chosenTemporaryDirectory());  // the trailing separator is dropped

    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(tmp.path(), chosenTemporaryDirectory());

    unsetenv("TMPDIR");
    EXPECT_EQ(perUserTmp(), chosenTemporaryDirectory());
    EXPECT_EQ(0700u, modeOf(perUserTmp()));
}

TEST(TemporaryDirectory, PassesOverRelativeEmptyAndMissingValues) {
    EnvironmentGuard guard;
    Scratch tmp;
    setenv("TMPDIR", tmp.path().c_str(), 1);
    for (const std::string& bad : {std::string("relative/dir"), std::string(""), tmp.path() + "/missing"}) {
        setenv("XDG_RUNTIME_DIR", bad.c_str(), 1);
        EXPECT_EQ(tmp.path(), chosenTemporaryDirectory()) << "XDG_RUNTIME_DIR=" << bad;
    }
}

TEST(TemporaryDirectory, TakesOnlyFoldersNoOtherUserCanChange) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give folders to another user";
    const uid_t other = 65534;
    struct Case {
        const char* what;
        mode_t mode;
        uid_t owner;
        const char* perUser;  // "" none made beforehand, "mine", "theirs"
        bool throughLink;
        std::string expected;  // below the candidate; "-" refused
        const char* reason;
    };
    const std::string mine = "scrivel-" + std::to_string(geteuid());
    const Case cases[] = {
        {"private", 0700, 0, "", false, "", nullptr},
        {"private, through a link", 0700, 0, "", true, "", nullptr},
        {"shared with the sticky bit", 01777, 0, "", false, "/" + mine, nullptr},
        {"shared, own folder opened to others", 01777, 0, "mine", false, "/" + mine, nullptr},
        {"writable by all, no sticky bit", 0777, 0, "", false, "-", "can be changed by other users"},
        {"writable by the group", 0770, 0, "", false, "-", "can be changed by other users"},
        {"another user's", 0700, other, "", false, "-", "belongs to another user"},
        {"shared, the user's folder made by another", 01777, 0, "theirs", false, "-", "belongs to another user"},
    };
    for (const Case& c : cases) {
        Scratch s;
        const std::string dir = s / "temp";
        ASSERT_EQ(0, mkdir(dir.c_str(), 0700));
        if (c.perUser[0] != '\0') {
            ASSERT_EQ(0, mkdir((dir + "/" + mine).c_str(), 0755));
            ASSERT_EQ(0, chown((dir + "/" + mine).c_str(), c.perUser[0] == 't' ? other : geteuid(), 0));
        }
        ASSERT_EQ(0, chmod(dir.c_str(), c.mode));
        ASSERT_EQ(0, chown(dir.c_str(), c.owner, 0));
        std::string given = dir;
        if (c.throughLink) {
            given = s / "link";
            ASSERT_EQ(0, symlink(dir.c_str(), given.c_str()));
        }
        platform::Folder opened;
        std::string reason;
        const platform::TempCandidate candidate{"$TMPDIR", given, false};
        const bool ok = platform::openTemporaryDirectory(candidate, opened, reason);
        if (c.expected == "-") {
            EXPECT_FALSE(ok) << c.what;
            EXPECT_NE(std::string::npos, reason.find(c.reason)) << c.what << ": " << reason;
            EXPECT_NE(std::string::npos, reason.find("$TMPDIR")) << c.what << ": " << reason;
        } else {
            ASSERT_TRUE(ok) << c.what << ": " << reason;
            EXPECT_EQ(dir + c.expected, opened.path()) << c.what;
            EXPECT_EQ(c.expected.empty() ? c.mode : 0700u, modeOf(opened.path())) << c.what;
        }
    }

    // The same rule holds for every folder above the candidate.
    Scratch s;
    const std::string below = s / "open/private";
    ASSERT_EQ(0, mkdir((s / "open").c_str(), 0777));
    ASSERT_EQ(0, chmod((s / "open").c_str(), 0777));
    ASSERT_EQ(0, mkdir(below.c_str(), 0700));
    platform::Folder opened;
    std::string reason;
    EXPECT_FALSE(platform::openTemporaryDirectory(platform::TempCandidate{"$TMPDIR", below, false}, opened, reason));
    EXPECT_NE(std::string::npos, reason.find(s / "open can be changed")) << reason;
}

TEST(TemporaryDirectory, NoLinkOfAnotherUserIsFollowedAndNothingIsMadeBeforeTheCheck) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give links to another user";
    Scratch s;
    makeDir(s / "target");
    makeDir(s / "target/sub");
    ASSERT_EQ(0, chmod((s / "target").c_str(), 0700));
    makeDir(s / "open");
    ASSERT_EQ(0, chmod((s / "open").c_str(), 0777));
    ASSERT_EQ(0, symlink((s / "target").c_str(), (s / "theirs").c_str()));
    ASSERT_EQ(0, lchown((s / "theirs").c_str(), 65534, 65534));
    ASSERT_EQ(0, symlink("theirs", (s / "mine-to-theirs").c_str()));
    ASSERT_EQ(0, symlink((s / "target").c_str(), (s / "mine").c_str()));
    struct Case {
        const char* what;
        std::string path;
        bool cache;
        std::string expected;  // the directory opened, or "" when refused
        const char* reason;
        std::string neverMade;  // what the refusal must not have created
    };
    const Case cases[] = {
        {"a link of another user", s / "theirs", false, "", "theirs is a link of another user", ""},
        {"such a link on the way", s / "theirs/sub", false, "", "theirs is a link of another user", ""},
        {"such a link behind a link of the user", s / "mine-to-theirs/sub", false, "",
         "theirs is a link of another user", ""},
        {"the cache folder below such a link", s / "theirs/cache", true, "", "theirs is a link of another user",
         s / "target/cache"},
        {"the cache folder below a folder others can change", s / "open/cache", true, "",
         "open can be changed by other users", s / "open/cache"},
        {"the cache folder below a link of the user", s / "mine/cache", true, s / "target/cache/scrivel-launcher",
         nullptr, ""},
    };
    for (const Case& c : cases) {
        platform::Folder opened;
        std::string reason;
        const bool ok = platform::openTemporaryDirectory(platform::TempCandidate{"$TMPDIR", c.path, c.cache}, opened,
                                                         reason);
        EXPECT_EQ(!c.expected.empty(), ok) << c.what << ": " << reason;
        if (ok) {
            EXPECT_EQ(c.expected, opened.path()) << c.what;
            EXPECT_EQ(0700u, modeOf(s / "target/cache")) << c.what;
        } else {
            EXPECT_NE(std::string::npos, reason.find(c.reason)) << c.what << ": " << reason;
        }
        if (!c.neverMade.empty()) {
            EXPECT_FALSE(exists(c.neverMade)) << c.what;
        }
    }
}

TEST(WorkFolderLock, ASecondHolderWaitsUntilTheFirstLetsGo) {
    Scratch s;
    const std::string folder = s / "ScrivelTempFiles";
    int go[2];
    int locked[2];
    ASSERT_EQ(0, pipe(go));
    ASSERT_EQ(0, pipe(locked));
    // The second holder is forked before the first takes the lock, so it
    // shares nothing of it and must take a lock of its own.
    const pid_t pid = fork();
    if (pid == 0) {
        char c;
        if (read(go[0], &c, 1) != 1)
            _exit(2);
        std::string childError;
        const bool ok = platform::lockWorkFolder(folder, childError);
        ssize_t ignored = write(locked[1], "L", 1);
        (void)ignored;
        _exit(ok ? 0 : 1);
    }
    close(go[0]);
    close(locked[1]);
    std::string error;
    ASSERT_TRUE(platform::lockWorkFolder(folder, error)) << error;
    ASSERT_EQ(1, write(go[1], "G", 1));

    struct pollfd waitFor = {locked[0], POLLIN, 0};
    EXPECT_EQ(0, poll(&waitFor, 1, 300)) << "the second holder did not wait";
    platform::unlockWorkFolder();
    EXPECT_EQ(1, poll(&waitFor, 1, 5000)) << "the second holder never got the lock";
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(go[1]);
    close(locked[0]);
}

TEST(WorkFolderLock, RefusesALockFileThatIsALink) {
    Scratch s;
    writeFile(s / "elsewhere", "x");
    ASSERT_EQ(0, symlink((s / "elsewhere").c_str(), (s / "ScrivelTempFiles.lock").c_str()));
    std::string error;
    EXPECT_FALSE(platform::lockWorkFolder(s / "ScrivelTempFiles", error));
    EXPECT_FALSE(error.empty());
}

TEST(Cleanup, AnExitWhileArmedRemovesTheFolderAndEndsWithCodeZero) {
    Scratch s;
    const std::string folder = s / "ScrivelTempFiles";
    fillTree(folder);
    const int status = inChild([&] {
        platform::armCleanup(folder);
        std::exit(7);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_FALSE(exists(folder));
}

TEST(Cleanup, AnExitAfterDisarmingKeepsTheFolderAndTheCode) {
    Scratch s;
    const std::string folder = s / "ScrivelTempFiles";
    fillTree(folder);
    const int status = inChild([&] {
        platform::armCleanup(folder);
        platform::disarmCleanup();
        std::exit(7);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(7, WEXITSTATUS(status));
    EXPECT_TRUE(exists(folder + "/Scrivel.exe"));
}

// Every signal whose default action ends the process, but those the runtime
// takes for itself (fault signals, SIGABRT, SIGQUIT, SIGPIPE) and the
// real-time ones: it picks the first without a handler for its threads, and
// aborts when it finds none.
const int kCleaningSignals[] = {SIGHUP,  SIGINT,  SIGTERM, SIGUSR1,   SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
                                SIGXCPU, SIGXFSZ, SIGPWR,  SIGSTKFLT, SIGIO,   SIGTRAP, SIGSYS};

TEST(Cleanup, TerminatingSignalsRemoveTheFolderAndStillEndTheProcess) {
    for (int signal : kCleaningSignals) {
        Scratch s;
        const std::string folder = s / "ScrivelTempFiles";
        fillTree(folder);
        const int status = inChild([&] {
            const struct rlimit noCore = {0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            platform::armCleanup(folder);
            for (int free = SIGRTMIN; free <= SIGRTMAX; ++free) {
                struct sigaction action;
                if (sigaction(free, nullptr, &action) != 0 || action.sa_handler != SIG_DFL)
                    _exit(free);
            }
            raise(signal);
            _exit(0);  // not reached: the signal ends the process
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << signal << ", or a handler on real-time signal "
                                         << WEXITSTATUS(status);
        EXPECT_EQ(signal, WTERMSIG(status));
        EXPECT_FALSE(exists(folder)) << "signal " << signal;
    }
}

TEST(Cleanup, ASignalTheProcessIgnoresStaysIgnored) {
    Scratch s;
    const std::string folder = s / "ScrivelTempFiles";
    fillTree(folder);
    const int status = inChild([&] {
        signal(SIGHUP, SIG_IGN);
        platform::armCleanup(folder);
        raise(SIGHUP);
        platform::disarmCleanup();
        _exit(42);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(42, WEXITSTATUS(status));
    EXPECT_TRUE(exists(folder + "/Scrivel.exe"));
}

TEST(Cleanup, NeverRemovesAFolderOfAnotherUser) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    Scratch s;
    const std::string folder = s / "ScrivelTempFiles";
    fillTree(folder);
    ASSERT_EQ(0, lchown(folder.c_str(), 65534, 65534));
    const int status = inChild([&] {
        platform::armCleanup(folder);
        std::exit(7);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_TRUE(exists(folder + "/Scrivel.exe"));
}

TEST(DynamicLibrary, AMissingLibraryGivesTheLoadersReason) {
    Scratch s;
    std::string error;
    EXPECT_EQ(nullptr, platform::loadLibrary(s / "libmissing.so", error));
    EXPECT_NE(std::string::npos, error.find("libmissing.so")) << error;
}

TEST(DynamicLibrary, FindsExportedNamesAndNothingElse) {
    std::string error;
    void* library = platform::loadLibrary(FAKE_RUNTIME, error);
    ASSERT_NE(nullptr, library) << error;
    EXPECT_NE(nullptr, platform::findSymbol(library, "mono_jit_exec"));
    EXPECT_EQ(nullptr, platform::findSymbol(library, "mono_no_such_entry"));
}
