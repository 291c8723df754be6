// The driver in hostile surroundings: another user who can write where the
// working folder would go, temporary folders mounted noexec or with paths
// too long, a run that has to wait for another, and a reader that is gone.

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

using namespace test_support;

namespace {

const std::string kWork = "ScrivelTempFiles";

// The working folder the runtime was pointed at, from the fake's log.
std::string folderGivenToTheRuntime(const std::string& log) {
    for (const std::string& line : lines(readFileIfAny(log)))
        if (line.rfind("mono_set_dirs ", 0) == 0)
            return line.substr(14, line.find(' ', 14) - 14 - 4);  // cut "/lib"
    return std::string();
}

bool toolRan(const std::string& log) {
    return contains(readFileIfAny(log), "mono_jit_exec ");
}

std::string perUserTmp() {
    return "/tmp/scrivel-" + std::to_string(geteuid());
}

// A second user, made for the test and removed with the object.
class OtherUser {
public:
    OtherUser() : name_("scrvl" + std::to_string(getpid())) {
        const std::string add = "useradd -M -s /usr/sbin/nologin " + name_ + " >/dev/null 2>&1";
        if (geteuid() != 0 || std::system(add.c_str()) != 0)
            return;
        if (const struct passwd* pw = getpwnam(name_.c_str())) {
            uid_ = pw->pw_uid;
            gid_ = pw->pw_gid;
            home_ = pw->pw_dir;
            made_ = true;
        }
    }
    ~OtherUser() {
        if (made_) {
            std::error_code ignored;
            std::filesystem::remove_all("/tmp/scrivel-" + std::to_string(uid_), ignored);
            std::filesystem::remove_all(home_, ignored);
            std::system(("userdel " + name_ + " >/dev/null 2>&1").c_str());
        }
    }
    bool made() const { return made_; }
    uid_t uid() const { return uid_; }
    // The home folder the user database names; the user is made without it.
    const std::string& home() const { return home_; }
    void give(const std::string& path) const { ASSERT_EQ(0, lchown(path.c_str(), uid_, gid_)) << path; }

    // Runs `body` as this user in a forked child.
    template <typename Body>
    pid_t start(Body body) const {
        const pid_t pid = fork();
        if (pid == 0) {
            setpriority(PRIO_PROCESS, 0, -10);  // the attacker gets the processor first
            if (setgroups(0, nullptr) != 0 || setgid(gid_) != 0 || setuid(uid_) != 0)
                _exit(2);
            body();
            _exit(0);
        }
        return pid;
    }
    // The prefix that runs a launcher as this user.
    std::vector<std::string> asThisUser() const {
        return {"/usr/bin/setpriv", "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_),
                "--clear-groups", "--"};
    }

private:
    std::string name_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    std::string home_;
    bool made_ = false;
};

// Another user's attack on a folder they can change, in rounds: the
// victim's working folder, once it is being filled, is moved away and
// replaced by theirs; when the victim has written the runtime library into
// it and gone on, their own library takes that name; a moment later their
// folder goes again, so the next run can start. Never returns.
void attack(const std::string& dir, const std::string& library) {
    const std::string bytes = readFile(library);
    const std::string work = dir + "/" + kWork;
    const auto exists = [](const std::string& path, struct stat& st) { return lstat(path.c_str(), &st) == 0; };
    for (unsigned long n = 0;; ++n) {
        struct stat st;
        const std::string round = std::to_string(n);
        while (!exists(work, st) || st.st_uid == getuid() || st.st_nlink < 3) {
        }
        if (rename(work.c_str(), (dir + "/taken-" + round).c_str()) != 0 || mkdir(work.c_str(), 0777) != 0)
            continue;
        chmod(work.c_str(), 0777);
        const std::string ours = work + "/.lib-" + round;
        writeFile(ours, bytes);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
        while (!exists(work + "/Scrivel.exe", st) && std::chrono::steady_clock::now() < until) {
        }
        rename(ours.c_str(), (work + "/libmonosgen-2.0.so.1").c_str());
        usleep(1000);
        rename(work.c_str(), (dir + "/spent-" + round).c_str());
    }
}

// Where `dir` is mounted as `mounts` says, in a mount namespace of the run's
// own: the prefix for Child. The run ends with 77 where that is not allowed.
std::vector<std::string> inPrivateMounts(const std::string& mounts) {
    return {"/usr/bin/unshare", "-m", "/bin/sh", "-c",
            "{ " + mounts + "; } >/dev/null 2>&1 || exit 77; exec \"$0\" \"$@\""};
}

}  // namespace

// ---- another user ------------------------------------------------------------------

TEST(HostileTemp, NoFolderAnotherUserCanChangeIsUsedAndNoUserLocksOutAnother) {
    OtherUser attacker;
    if (!attacker.made())
        GTEST_SKIP() << "cannot create a second user here (needs root and useradd)";
    Scratch safe;
    Scratch logs;
    // A runtime directory anyone may rename entries in, and a TMPDIR that
    // belongs to the other user (as after sudo -E).
    Scratch shared;
    ASSERT_EQ(0, chmod(shared.path().c_str(), 0777));
    Scratch theirs;
    attacker.give(theirs.path());
    struct Case {
        const char* what;
        std::string hostile;
        Environment env;
        std::string expectedFolder;
    };
    const std::vector<Case> cases = {
        {"writable by all, no sticky bit", shared.path(), {{"XDG_RUNTIME_DIR", shared.path()}, {"TMPDIR", safe.path()}},
         safe / kWork},
        {"owned by the other user", theirs.path(), {{"TMPDIR", theirs.path()}}, perUserTmp() + "/" + kWork},
    };
    constexpr int kRuns = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string marker = logs / ("foreign-loads-" + std::to_string(&c - cases.data()));
        const pid_t pid = attacker.start([&] { attack(c.hostile, FOREIGN_RUNTIME); });
        int ran = 0;
        for (int i = 0; i < kRuns; ++i) {
            const std::string log = logs / ("calls-" + std::to_string(i));
            Environment env = c.env;
            env.push_back({"SCRIVEL_FAKE_LOG", log});
            env.push_back({"SCRIVEL_FAKE_FOREIGN_MARKER", marker});
            const Outcome o = run(FAKE_LAUNCHER, {}, env);
            EXPECT_EQ(0, o.exitCode) << o.err;
            ran += toolRan(log) && folderGivenToTheRuntime(log) == c.expectedFolder;
            std::filesystem::remove(log);
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        EXPECT_FALSE(exists(marker)) << lines(readFile(marker)).size() << " runs loaded the other user's library";
        EXPECT_EQ(kRuns, ran) << "runs that did not run the tool from " << c.expectedFolder;
    }
    // The lock file those runs left in /tmp keeps no other user out.
    ASSERT_EQ(0, chmod(logs.path().c_str(), 0777));
    Child other(FAKE_LAUNCHER, {}, {{"SCRIVEL_FAKE_LOG", logs / "theirs"}}, attacker.asThisUser());
    const Outcome o = other.wait();
    EXPECT_EQ(0, o.exitCode);
    EXPECT_EQ("/tmp/scrivel-" + std::to_string(attacker.uid()) + "/" + kWork, folderGivenToTheRuntime(logs / "theirs"))
        << o.err;
}

TEST(HostileTemp, AUserWithoutAUsableHomeIsNotLockedOutOfTmp) {
    OtherUser user;
    if (!user.made())
        GTEST_SKIP() << "cannot create a second user here (needs root and useradd)";
    Scratch logs;
    ASSERT_EQ(0, chmod(logs.path().c_str(), 0777));
    // What another user (here: nobody) put where the user's folder in /tmp goes.
    const std::string perUser = "/tmp/scrivel-" + std::to_string(user.uid());
    const auto folder = [&] { ASSERT_EQ(0, mkdir(perUser.c_str(), 0700)); };
    const auto file = [&] { writeFile(perUser, "theirs"); };
    const auto link = [&] { ASSERT_EQ(0, symlink("/nonexistent", perUser.c_str())); };
    struct Case {
        const char* what;
        std::function<void()> taken;
        const char* home;
        bool databaseHome;  // whether the user database's home folder exists
        std::string expected;  // a pattern of the working folder
    };
    const std::string cache = user.home() + "/.cache/scrivel-launcher/" + kWork;
    const std::string fresh = perUser + "-[A-Za-z0-9]{6}/" + kWork;
    const std::vector<Case> cases = {
        {"a folder of another user, $HOME missing", folder, "/nonexistent", true, cache},
        {"a file of another user, $HOME the root folder", file, "/", true, cache},
        {"a link of another user, no home folder at all", link, "/nonexistent", false, fresh},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.taken();
        ASSERT_EQ(0, lchown(perUser.c_str(), 65534, 65534));
        if (c.databaseHome) {
            ASSERT_EQ(0, mkdir(user.home().c_str(), 0700));
            user.give(user.home());
        }
        const std::string log = logs / "calls";
        Child child(FAKE_LAUNCHER, {}, {{"HOME", c.home}, {"SCRIVEL_FAKE_LOG", log}}, user.asThisUser());
        const Outcome o = child.wait();
        EXPECT_EQ(0, o.exitCode);
        EXPECT_EQ("fake tool error\n", o.err);
        const std::string used = folderGivenToTheRuntime(log);
        EXPECT_TRUE(std::regex_match(used, std::regex(c.expected))) << used;
        EXPECT_FALSE(exists(used));
        for (const auto& entry : std::filesystem::directory_iterator("/tmp"))
            EXPECT_NE(0u, entry.path().string().rfind(perUser + "-", 0)) << entry.path() << " is left";
        std::error_code ignored;
        std::filesystem::remove_all(user.home(), ignored);
        std::filesystem::remove(perUser, ignored);
        std::filesystem::remove(log, ignored);
    }
}

// ---- noexec and long paths ---------------------------------------------------------

TEST(HostileTemp, NoexecAndOverlongFoldersGiveWayToTheNextCandidate) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to mount file systems";
    // Nested names: a path of about 3,900 bytes, beyond what leaves room for
    // the files inside the working folder within the system's 4,096.
    Scratch deep;
    std::string overlong = deep.path();
    while (overlong.size() < 3900)
        overlong += "/" + std::string(200, 'd');
    std::filesystem::create_directories(overlong);
    Scratch longish;  // about 300 bytes: fine on Linux
    const std::string fine = longish.path() + "/" + std::string(250, 'l');
    ASSERT_TRUE(std::filesystem::create_directory(fine));

    Scratch xdg;
    Scratch tmpdir;
    Scratch cache;
    Scratch logs;
    const std::string log = logs / "calls";
    // When the build tree itself is under /tmp, its folder of the launcher
    // gets exec back, or the launcher could not be started at all.
    const std::string launcherFolder = std::filesystem::path(FAKE_LAUNCHER).parent_path().string();
    const std::string noexecTmp =
        "mount --bind /tmp /tmp && mount -o remount,bind,noexec /tmp && case '" + launcherFolder +
        "' in /tmp/*) mount --bind '" + launcherFolder + "' '" + launcherFolder + "' && mount -o remount,bind,exec '" +
        launcherFolder + "' ;; esac";
    struct Case {
        const char* what;
        std::string mounts;
        Environment env;
        std::string expectedFolder;  // "" when every candidate fails
        std::vector<std::string> named;
    };
    const std::vector<Case> cases = {
        {"runtime directory noexec", "mount -t tmpfs -o noexec,mode=0700 tmpfs " + xdg.path(),
         {{"XDG_RUNTIME_DIR", xdg.path()}, {"TMPDIR", tmpdir.path()}}, tmpdir / kWork, {}},
        {"a TMPDIR of 300 bytes", "true", {{"TMPDIR", fine}}, fine + "/" + kWork, {}},
        {"runtime directory too long", "true", {{"XDG_RUNTIME_DIR", overlong}, {"TMPDIR", tmpdir.path()}},
         tmpdir / kWork, {}},
        {"all but the cache folder noexec", noexecTmp + " && mount -t tmpfs -o mode=0700 tmpfs " + cache.path(),
         {{"XDG_RUNTIME_DIR", xdg.path()}, {"TMPDIR", tmpdir.path()}, {"XDG_CACHE_HOME", cache.path()}},
         cache.path() + "/scrivel-launcher/" + kWork, {}},
        {"every candidate unusable", noexecTmp,
         {{"XDG_RUNTIME_DIR", overlong}, {"TMPDIR", tmpdir.path()}, {"XDG_CACHE_HOME", cache.path()}}, "",
         {"4096", tmpdir.path() + " is on a file system mounted noexec", "/tmp is on a file system mounted noexec",
          cache.path() + " is on a file system mounted noexec"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(log);
        Environment env = c.env;
        env.push_back({"SCRIVEL_FAKE_LOG", log});
        Child child(FAKE_LAUNCHER, {"a.upk"}, env, inPrivateMounts(c.mounts));
        const Outcome o = child.wait();
        if (o.exitCode == 77)
            GTEST_SKIP() << "mounting in a private mount namespace is not permitted here";
        EXPECT_EQ(0, o.exitCode);
        EXPECT_EQ(c.expectedFolder, folderGivenToTheRuntime(log)) << o.err;
        if (c.expectedFolder.empty()) {
            EXPECT_EQ("", o.out);
            ASSERT_EQ(1u, lines(o.err).size()) << o.err;
            EXPECT_EQ(0u, o.err.rfind("Scrivel: ", 0)) << o.err;
            for (const std::string& part : c.named)
                EXPECT_TRUE(contains(o.err, part)) << part << " not in: " << o.err;
        } else {
            EXPECT_EQ("fake tool error\n", o.err);
            EXPECT_FALSE(exists(c.expectedFolder));
        }
    }
}

// ---- full places ----------------------------------------------------------------------

TEST(HostileTemp, AFullPlaceIsLeftAsItWasAndTheNextOneUsed) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to mount file systems";
    Scratch xdg;
    Scratch tmpdir;
    Scratch logs;
    const std::string log = logs / "calls";
    const std::string perUser = "/tmp/scrivel-" + std::to_string(geteuid());
    // Room for the small stand-ins but not for the runtime library. What the
    // places hold after the run is listed on standard output, from inside
    // the run's own mount namespace.
    struct Case {
        const char* what;
        std::string mounts;
        Environment env;
        std::string listed;
        std::string expectedFolder;  // "" when no place has room
        std::string out;
    };
    const std::string lock = std::string(kWork) + ".lock\n";
    const std::vector<Case> cases = {
        {"the runtime directory full", "mount -t tmpfs -o size=32k,mode=0700 tmpfs " + xdg.path(),
         {{"XDG_RUNTIME_DIR", xdg.path()}, {"TMPDIR", tmpdir.path()}}, xdg.path(), tmpdir / kWork,
         "fake tool output\n" + lock},
        // Every place on one small /tmp; the fresh folder of the last goes.
        {"every place full",
         "mount -t tmpfs -o size=32k,mode=1777 tmpfs /tmp && mkdir -m 700 /tmp/xdg /tmp/tmpdir /tmp/cache",
         {{"XDG_RUNTIME_DIR", "/tmp/xdg"}, {"TMPDIR", "/tmp/tmpdir"}, {"XDG_CACHE_HOME", "/tmp/cache"}},
         "/tmp /tmp/cache/scrivel-launcher " + perUser + " /tmp/tmpdir /tmp/xdg", "",
         "/tmp:\ncache\n" + perUser.substr(5) + "\ntmpdir\nxdg\n\n/tmp/cache/scrivel-launcher:\n" + lock + "\n" +
             perUser + ":\n" + lock + "\n/tmp/tmpdir:\n" + lock + "\n/tmp/xdg:\n" + lock},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(log);
        Environment env = c.env;
        env.push_back({"SCRIVEL_FAKE_LOG", log});
        // The launcher is opened before the mounts and run through that
        // descriptor: a build tree under /tmp is hidden by the small /tmp.
        Child child(FAKE_LAUNCHER, {"a.upk"}, env,
                    {"/usr/bin/unshare", "-m", "/bin/sh", "-c",
                     "exec 3<\"$0\" || exit 1; { " + c.mounts +
                         "; } >/dev/null 2>&1 || exit 77; /proc/self/fd/3 \"$@\"; ls -A " + c.listed});
        const Outcome o = child.wait();
        if (o.exitCode == 77)
            GTEST_SKIP() << "mounting in a private mount namespace is not permitted here";
        EXPECT_EQ(0, o.exitCode);
        EXPECT_EQ(c.expectedFolder, folderGivenToTheRuntime(log)) << o.err;
        EXPECT_EQ(c.out, o.out);
        if (c.expectedFolder.empty()) {
            ASSERT_EQ(1u, lines(o.err).size()) << o.err;
            EXPECT_EQ(0u, o.err.rfind("Scrivel: no usable place for the working folder: ", 0)) << o.err;
            for (const std::string& place :
                 {std::string("$XDG_RUNTIME_DIR: no space left in /tmp/xdg"), std::string("$TMPDIR: no space left in /tmp/tmpdir"),
                  "/tmp: no space left in " + perUser, std::string("$XDG_CACHE_HOME: no space left in /tmp/cache/scrivel-launcher"),
                  std::string("a new folder in /tmp: no space left in /tmp for")})
                EXPECT_TRUE(contains(o.err, place)) << place << " not in: " << o.err;
        } else {
            EXPECT_EQ("fake tool error\n", o.err);
        }
    }
}

// ---- waiting, and a reader that is gone ----------------------------------------------

TEST(HostileTemp, ARunThatWaitsForAnotherSaysSoOnceInConsoleModeOnly) {
    Scratch temp;
    Scratch logs;
    const int lock = open((temp / (kWork + ".lock")).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_LE(0, lock);
    ASSERT_EQ(0, flock(lock, LOCK_EX));
    const Environment env = {{"XDG_RUNTIME_DIR", temp.path()}, {"SCRIVEL_FAKE_LOG", logs / "calls"}};
    Child console(FAKE_LAUNCHER, {"a.upk"}, env);
    Child silent(FAKE_LAUNCHER, {"b.upk", "/silent"}, env);
    usleep(1500 * 1000);
    close(lock);
    const Outcome c = console.wait();
    const Outcome s = silent.wait();
    EXPECT_EQ("fake tool output\n", c.out);
    EXPECT_EQ("Scrivel: waiting for another run to finish\nfake tool error\n", c.err);
    EXPECT_EQ("", s.out + s.err);
    EXPECT_EQ(0, c.exitCode + s.exitCode);
    EXPECT_FALSE(exists(temp / kWork));
}

TEST(HostileTemp, AFailureLineToAClosedPipeEndsWithCodeZeroAndNoFolder) {
    Scratch temp;
    int ends[2];
    ASSERT_EQ(0, pipe(ends));
    close(ends[0]);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(ends[1], STDOUT_FILENO);
        dup2(ends[1], STDERR_FILENO);
        setenv("XDG_RUNTIME_DIR", temp.path().c_str(), 1);
        signal(SIGPIPE, SIG_DFL);
        execl(BROKEN_LAUNCHER, BROKEN_LAUNCHER, "a.upk", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[1]);
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(0, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    EXPECT_FALSE(exists(temp / kWork));
}
