// The Linux OS layer: removal that never follows links nor touches what is
// not the user's, private creation, the choice of the temporary directory,
// the lock between launchers, and clean-up when the process ends early.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "driver_test_support.h"
#include "platform/host.h"

using namespace scrivel;
using driver_test::exists;
using driver_test::readFile;
using driver_test::Scratch;
using driver_test::writeFile;

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
    EnvironmentGuard() : xdg_(save("XDG_RUNTIME_DIR")), tmp_(save("TMPDIR")) {}
    ~EnvironmentGuard() {
        restore("XDG_RUNTIME_DIR", xdg_);
        restore("TMPDIR", tmp_);
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
};

}  // namespace

TEST(RemoveWorkFolder, ReportsAbsentWhenNothingIsThere) {
    Scratch s;
    EXPECT_EQ(host::RemoveResult::Absent, host::removeWorkFolder(s / "ScrivelTempFiles"));
}

TEST(RemoveWorkFolder, RemovesANestedFolderWithAllItsContent) {
    Scratch s;
    fillTree(s / "ScrivelTempFiles");
    EXPECT_EQ(host::RemoveResult::Removed, host::removeWorkFolder(s / "ScrivelTempFiles"));
    EXPECT_FALSE(exists(s / "ScrivelTempFiles"));
}

TEST(RemoveWorkFolder, RemovesAFolderWithManyEntries) {
    // More entries than one directory read returns, removed while reading.
    Scratch s;
    const std::string root = s / "ScrivelTempFiles";
    makeDir(root);
    for (int i = 0; i < 600; ++i)
        writeFile(root + "/file-with-a-rather-long-name-" + std::to_string(i), "x");
    EXPECT_EQ(host::RemoveResult::Removed, host::removeWorkFolder(root));
    EXPECT_FALSE(exists(root));
}

TEST(RemoveWorkFolder, RemovesALinkButNeverWhatItPointsAt) {
    Scratch s;
    makeVictim(s / "victim");
    ASSERT_EQ(0, symlink((s / "victim").c_str(), (s / "ScrivelTempFiles").c_str()));
    EXPECT_EQ(host::RemoveResult::Removed, host::removeWorkFolder(s / "ScrivelTempFiles"));
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
    EXPECT_EQ(host::RemoveResult::Removed, host::removeWorkFolder(s / "ScrivelTempFiles"));
    EXPECT_FALSE(exists(s / "ScrivelTempFiles"));
    expectVictimIntact(s / "victim");
    EXPECT_EQ("also precious", readFile(s / "victim-file"));
}

TEST(RemoveWorkFolder, RemovesAPlainFileOfThatName) {
    Scratch s;
    writeFile(s / "ScrivelTempFiles", "not a folder");
    EXPECT_EQ(host::RemoveResult::Removed, host::removeWorkFolder(s / "ScrivelTempFiles"));
    EXPECT_FALSE(exists(s / "ScrivelTempFiles"));
}

TEST(RemoveWorkFolder, LeavesWhatBelongsToAnotherUserUntouched) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    Scratch s;
    fillTree(s / "ScrivelTempFiles");
    ASSERT_EQ(0, lchown((s / "ScrivelTempFiles").c_str(), 65534, 65534));
    EXPECT_EQ(host::RemoveResult::Foreign, host::removeWorkFolder(s / "ScrivelTempFiles"));
    EXPECT_EQ("tool", readFile(s / "ScrivelTempFiles/Scrivel.exe"));

    makeVictim(s / "victim");
    ASSERT_EQ(0, symlink((s / "victim").c_str(), (s / "other-link").c_str()));
    ASSERT_EQ(0, lchown((s / "other-link").c_str(), 65534, 65534));
    EXPECT_EQ(host::RemoveResult::Foreign, host::removeWorkFolder(s / "other-link"));
    EXPECT_TRUE(exists(s / "other-link"));
}

TEST(CreateWorkFolder, CreatesAPrivateFolderWhateverTheUmask) {
    Scratch s;
    std::string error;
    const mode_t old = umask(0277);  // would leave the owner without write access
    const bool created = host::createWorkFolder(s / "ScrivelTempFiles", error);
    umask(old);
    ASSERT_TRUE(created) << error;
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
    EXPECT_FALSE(host::createWorkFolder(s / "ScrivelTempFiles", error));
    EXPECT_NE(std::string::npos, error.find("ScrivelTempFiles")) << error;
    expectVictimIntact(s / "victim");
}

TEST(TemporaryDirectory, PrefersTheRuntimeDirectoryThenTmpdirThenTmp) {
    EnvironmentGuard guard;
    Scratch xdg;
    Scratch tmp;
    std::string dir;
    std::string error;

    setenv("XDG_RUNTIME_DIR", (xdg.path() + "/").c_str(), 1);
    setenv("TMPDIR", tmp.path().c_str(), 1);
    ASSERT_TRUE(host::temporaryDirectory(dir, error));
    EXPECT_EQ(xdg.path(), dir);  // the trailing separator is dropped

    unsetenv("XDG_RUNTIME_DIR");
    ASSERT_TRUE(host::temporaryDirectory(dir, error));
    EXPECT_EQ(tmp.path(), dir);

    unsetenv("TMPDIR");
    ASSERT_TRUE(host::temporaryDirectory(dir, error));
    EXPECT_EQ("/tmp", dir);
}

TEST(TemporaryDirectory, PassesOverRelativeEmptyAndMissingValues) {
    EnvironmentGuard guard;
    Scratch tmp;
    std::string dir;
    std::string error;
    setenv("TMPDIR", tmp.path().c_str(), 1);

    for (const std::string& bad : {std::string("relative/dir"), std::string(""), tmp.path() + "/missing"}) {
        setenv("XDG_RUNTIME_DIR", bad.c_str(), 1);
        ASSERT_TRUE(host::temporaryDirectory(dir, error));
        EXPECT_EQ(tmp.path(), dir) << "XDG_RUNTIME_DIR=" << bad;
    }
}

TEST(TemporaryDirectory, PassesOverARuntimeDirectoryOfAnotherUser) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    EnvironmentGuard guard;
    Scratch xdg;
    Scratch tmp;
    ASSERT_EQ(0, chown(xdg.path().c_str(), 65534, 65534));
    setenv("XDG_RUNTIME_DIR", xdg.path().c_str(), 1);
    setenv("TMPDIR", tmp.path().c_str(), 1);
    std::string dir;
    std::string error;
    ASSERT_TRUE(host::temporaryDirectory(dir, error));
    EXPECT_EQ(tmp.path(), dir);
}

TEST(JoinPath, InsertsExactlyOneSeparator) {
    EXPECT_EQ("/tmp/ScrivelTempFiles", host::joinPath("/tmp", "ScrivelTempFiles"));
    EXPECT_EQ("/ScrivelTempFiles", host::joinPath("/", "ScrivelTempFiles"));
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
        const bool ok = host::lockWorkFolder(folder, childError);
        ssize_t ignored = write(locked[1], "L", 1);
        (void)ignored;
        _exit(ok ? 0 : 1);
    }
    close(go[0]);
    close(locked[1]);
    std::string error;
    ASSERT_TRUE(host::lockWorkFolder(folder, error)) << error;
    ASSERT_EQ(1, write(go[1], "G", 1));

    struct pollfd waitFor = {locked[0], POLLIN, 0};
    EXPECT_EQ(0, poll(&waitFor, 1, 300)) << "the second holder did not wait";
    host::unlockWorkFolder();
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
    EXPECT_FALSE(host::lockWorkFolder(s / "ScrivelTempFiles", error));
    EXPECT_FALSE(error.empty());
}

TEST(Cleanup, AnExitWhileArmedRemovesTheFolderAndEndsWithCodeZero) {
    Scratch s;
    const std::string folder = s / "ScrivelTempFiles";
    fillTree(folder);
    const int status = inChild([&] {
        host::armCleanup(folder);
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
        host::armCleanup(folder);
        host::disarmCleanup();
        std::exit(7);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(7, WEXITSTATUS(status));
    EXPECT_TRUE(exists(folder + "/Scrivel.exe"));
}

TEST(Cleanup, TerminatingSignalsRemoveTheFolderAndStillEndTheProcess) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        Scratch s;
        const std::string folder = s / "ScrivelTempFiles";
        fillTree(folder);
        const int status = inChild([&] {
            host::armCleanup(folder);
            raise(signal);
            _exit(50);  // not reached: the signal ends the process
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << signal;
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
        host::armCleanup(folder);
        raise(SIGHUP);
        host::disarmCleanup();
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
        host::armCleanup(folder);
        std::exit(7);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_TRUE(exists(folder + "/Scrivel.exe"));
}

TEST(DynamicLibrary, AMissingLibraryGivesTheLoadersReason) {
    Scratch s;
    std::string error;
    EXPECT_EQ(nullptr, host::loadLibrary(s / "libmissing.so", error));
    EXPECT_NE(std::string::npos, error.find("libmissing.so")) << error;
}

TEST(DynamicLibrary, FindsExportedNamesAndNothingElse) {
    std::string error;
    void* library = host::loadLibrary(FAKE_RUNTIME, error);
    ASSERT_NE(nullptr, library) << error;
    EXPECT_NE(nullptr, host::findSymbol(library, "mono_jit_exec"));
    EXPECT_EQ(nullptr, host::findSymbol(library, "mono_no_such_entry"));
}
