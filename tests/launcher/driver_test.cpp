// The driver run as a process: launchers built around the fake runtime (which
// records what it is asked to do), around a runtime library that does not
// load, and without any archive. Every test gives the launcher a temporary
// directory of its own.

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <regex>
#include <filesystem>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver.h"
#include "test_support.h"

using namespace test_support;

namespace {

const char* const kWork = "ScrivelTempFiles";

std::string realPath(const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) != nullptr ? buffer : path;
}

// A private temporary directory and a call log for one launcher run.
struct Sandbox {
    Scratch temp;
    Scratch logs;
    std::string log = logs / "calls.log";

    Environment env(const Environment& extra = {}) const {
        Environment e = {{"XDG_RUNTIME_DIR", temp.path()}, {"SCRIVEL_FAKE_LOG", log}};
        e.insert(e.end(), extra.begin(), extra.end());
        return e;
    }
    std::string work() const { return temp / kWork; }
    std::vector<std::string> calls() const { return lines(readFileIfAny(log)); }

    // The arguments the tool received, element 0 included.
    std::vector<std::string> toolArgs() const {
        std::vector<std::string> args;
        for (const std::string& line : calls())
            if (line.rfind("arg ", 0) == 0)
                args.push_back(line.substr(line.find(' ', 4) + 1));
        return args;
    }
    std::vector<std::string> folderEntries() const {
        std::vector<std::string> entries;
        for (const std::string& line : calls())
            if (line.rfind("entry ", 0) == 0)
                entries.push_back(line.substr(6));
        return entries;
    }
};

std::vector<std::string> withSelf(std::vector<std::string> userArgs) {
    userArgs.insert(userArgs.begin(), realPath(FAKE_LAUNCHER));
    return userArgs;
}

void expectCleanFinish(const Outcome& o, const Sandbox& s) {
    EXPECT_TRUE(o.exited) << "ended by signal " << o.signal;
    EXPECT_EQ(0, o.exitCode);
    EXPECT_FALSE(exists(s.work())) << "the working folder is left behind";
}

void expectConsoleOutput(const Outcome& o) {
    EXPECT_EQ("fake tool output\n", o.out);
    EXPECT_EQ("fake tool error\n", o.err);
}

void expectSilence(const Outcome& o) {
    EXPECT_EQ("", o.out);
    EXPECT_EQ("", o.err);
}


// Sets or clears a file's immutable flag, which even root cannot delete
// past. False where the file system or the process's rights do not allow it.
bool setImmutable(const std::string& path, bool on) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
    return done;
}

// A file made immutable for as long as the object lives.
class ImmutableFile {
public:
    explicit ImmutableFile(const std::string& path) : path_(path), held_(setImmutable(path, true)) {}
    ~ImmutableFile() { release(); }
    bool held() const { return held_; }
    void release() {
        if (held_)
            setImmutable(path_, false);
        held_ = false;
    }

private:
    std::string path_;
    bool held_;
};

std::vector<std::string> folderNames(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The working folder the runtime was given, from the fake runtime's log.
std::string folderGivenToTheRuntime(const Sandbox& s) {
    for (const std::string& line : s.calls())
        if (line.rfind("mono_set_dirs ", 0) == 0)
            return line.substr(14, line.find(' ', 14) - 14 - 4);  // cut "/lib"
    return std::string();
}
}  // namespace

// ---- the "/silent" switch, in-process ------------------------------------------

TEST(SilentSwitch, OnlyAnExactLastArgumentCounts) {
    struct Case {
        std::vector<std::string> args;  // element 0 included
        bool silent;
        int countAfter;
    };
    const std::vector<Case> cases = {
        {{"scrivel"}, false, 1},
        {{"scrivel", "/silent"}, true, 1},
        {{"scrivel", "a.upk", "/silent"}, true, 2},
        {{"scrivel", "/silent", "a.upk"}, false, 3},
        {{"scrivel", "a.upk", "/silent", "/silent"}, true, 3},
        {{"scrivel", "/SILENT"}, false, 2},
        {{"scrivel", "/silent "}, false, 2},
        {{"scrivel", "-silent"}, false, 2},
        {{"/silent"}, false, 1},  // the program itself is never the switch
    };
    for (const Case& c : cases) {
        std::vector<std::string> storage = c.args;
        std::vector<char*> argv;
        for (auto& a : storage)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        int argc = static_cast<int>(c.args.size());
        EXPECT_EQ(c.silent, scrivel::takeSilentSwitch(argc, argv.data())) << c.args.back();
        EXPECT_EQ(c.countAfter, argc) << c.args.back();
        EXPECT_EQ(nullptr, argv[argc]) << "the vector stays null-terminated";
    }
}

// ---- argument hand-over and output modes ------------------------------------------

TEST(Driver, TheSilentSwitchChoosesTheModeAndWhatTheToolReceives) {
    struct Case {
        std::vector<std::string> args;
        bool silent;
        std::vector<std::string> toolArgs;
    };
    const std::vector<Case> cases = {
        {{}, false, {}},
        {{"/silent"}, true, {}},
        {{"/data/Foo.upk", "/silent"}, true, {"/data/Foo.upk"}},
        {{"/silent", "/data/Foo.upk"}, false, {"/silent", "/data/Foo.upk"}},
        {{"/data/Foo.upk", "/silent", "/silent"}, true, {"/data/Foo.upk", "/silent"}},
        {{"/SILENT"}, false, {"/SILENT"}},
    };
    for (const Case& c : cases) {
        Sandbox s;
        const Outcome o = run(FAKE_LAUNCHER, c.args, s.env());
        const std::string label = c.args.empty() ? "(no arguments)" : c.args.front() + " ... " + c.args.back();
        SCOPED_TRACE(label);
        expectCleanFinish(o, s);
        if (c.silent) {
            expectSilence(o);
        } else {
            expectConsoleOutput(o);
        }
        EXPECT_EQ(withSelf(c.toolArgs), s.toolArgs());
    }
}

TEST(Driver, BlanksAndNonAsciiLettersArriveUnchanged) {
    Sandbox s;
    const std::vector<std::string> args = {"/home/ana/My Mods/Großes Paket.upk", "  ", "Ünïcødé ★.txt", ""};
    const Outcome o = run(FAKE_LAUNCHER, args, s.env());
    expectCleanFinish(o, s);
    EXPECT_EQ(withSelf(args), s.toolArgs());
    EXPECT_TRUE(std::find(s.calls().begin(), s.calls().end(), "argv-terminated yes") != s.calls().end());
}

TEST(Driver, ArgumentZeroIsTheLaunchersOwnAbsolutePath) {
    // Started through a link, element 0 of the start-up vector names the
    // link; the tool is given the executable itself.
    Sandbox s;
    Scratch links;
    const std::string link = links / "scrivel-link";
    ASSERT_EQ(0, symlink(FAKE_LAUNCHER, link.c_str()));
    const Outcome o = run(link, {"a.upk"}, s.env());
    expectCleanFinish(o, s);
    EXPECT_EQ(withSelf({"a.upk"}), s.toolArgs());
}

// ---- the working folder -------------------------------------------------------------

TEST(Driver, TheToolSeesExactlyTheUnpackedArchive) {
    Sandbox s;
    const Outcome o = run(FAKE_LAUNCHER, {}, s.env());
    expectCleanFinish(o, s);
    const std::vector<std::string> expected = {"Scrivel.exe", "etc", "lib", "libmonosgen-2.0.so.1"};
    EXPECT_EQ(expected, s.folderEntries());
    const std::vector<std::string> calls = s.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ("mono_set_dirs " + s.work() + "/lib " + s.work() + "/etc", calls.front());
}

TEST(Driver, AStaleFolderIsEmptiedBeforeUnpacking) {
    Sandbox s;
    ASSERT_EQ(0, mkdir(s.work().c_str(), 0755));
    ASSERT_EQ(0, mkdir((s.work() + "/lib").c_str(), 0755));
    writeFile(s.work() + "/stale.txt", "old");
    writeFile(s.work() + "/lib/stale.dll", "old");
    const Outcome o = run(FAKE_LAUNCHER, {}, s.env());
    expectCleanFinish(o, s);
    const std::vector<std::string> expected = {"Scrivel.exe", "etc", "lib", "libmonosgen-2.0.so.1"};
    EXPECT_EQ(expected, s.folderEntries());
}

TEST(Driver, AnUndeletableStaleFolderGivesWayToASpareOneUntilItCanGo) {
    Sandbox s;
    ASSERT_EQ(0, mkdir(s.work().c_str(), 0700));
    ASSERT_EQ(0, mkdir((s.work() + "/lib").c_str(), 0700));
    writeFile(s.work() + "/lib/held.dll", "held");
    ImmutableFile held(s.work() + "/lib/held.dll");
    if (!held.held())
        GTEST_SKIP() << "cannot make a file immutable on " << s.temp.path();
    // What earlier runs may leave beside it: a spare folder (which goes), and
    // names that only look like one (which stay).
    const std::string oldSpare = s.temp / (std::string(kWork) + "-99999-1");
    ASSERT_EQ(0, mkdir(oldSpare.c_str(), 0700));
    writeFile(oldSpare + "/Scrivel.exe", "old");
    for (const char* lookalike : {"-keep", "-12-3x", "-12", "-1-2-3"})
        writeFile(s.temp / (kWork + std::string(lookalike)), "not a spare folder");

    const Outcome first = run(FAKE_LAUNCHER, {"a.upk"}, s.env());
    EXPECT_TRUE(first.exited);
    EXPECT_EQ(0, first.exitCode);
    expectConsoleOutput(first);
    EXPECT_EQ(withSelf({"a.upk"}), s.toolArgs());
    const std::string spare = folderGivenToTheRuntime(s);
    EXPECT_TRUE(std::regex_match(spare, std::regex(s.work() + "-[0-9]+-1"))) << spare;
    const std::vector<std::string> afterFirst = {
        kWork, std::string(kWork) + "-1-2-3", std::string(kWork) + "-12", std::string(kWork) + "-12-3x",
        std::string(kWork) + "-keep", std::string(kWork) + ".lock"};
    EXPECT_EQ(afterFirst, folderNames(s.temp.path())) << "the spare folders are not all gone";
    EXPECT_EQ("held", readFile(s.work() + "/lib/held.dll"));

    held.release();
    std::filesystem::remove(s.logs / "calls.log");
    const Outcome second = run(FAKE_LAUNCHER, {"b.upk"}, s.env());
    expectCleanFinish(second, s);
    EXPECT_EQ(s.work(), folderGivenToTheRuntime(s));
}

TEST(Driver, ASpareFolderOfAnotherUserIsLeftAlone) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    Sandbox s;
    const std::string theirs = s.temp / (std::string(kWork) + "-7-1");
    ASSERT_EQ(0, mkdir(theirs.c_str(), 0700));
    writeFile(theirs + "/theirs.txt", "theirs");
    ASSERT_EQ(0, chown(theirs.c_str(), 65534, 65534));
    const Outcome o = run(FAKE_LAUNCHER, {}, s.env());
    expectCleanFinish(o, s);
    EXPECT_EQ("theirs", readFile(theirs + "/theirs.txt"));
}

TEST(Driver, AFolderOfAnotherUserIsNeitherUsedNorDeleted) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    Sandbox s;
    ASSERT_EQ(0, mkdir(s.work().c_str(), 0755));
    writeFile(s.work() + "/theirs.txt", "theirs");
    ASSERT_EQ(0, chown(s.work().c_str(), 65534, 65534));

    const Outcome consoleRun = run(FAKE_LAUNCHER, {}, s.env());
    EXPECT_EQ(0, consoleRun.exitCode);
    EXPECT_TRUE(s.calls().empty()) << "the tool ran";
    EXPECT_EQ("theirs", readFile(s.work() + "/theirs.txt"));
    EXPECT_EQ(1u, lines(consoleRun.err).size()) << consoleRun.err;
    EXPECT_TRUE(contains(consoleRun.err, s.work())) << consoleRun.err;

    const Outcome silentRun = run(FAKE_LAUNCHER, {"/silent"}, s.env());
    EXPECT_EQ(0, silentRun.exitCode);
    expectSilence(silentRun);
}

TEST(Driver, TheTemporaryDirectoryFallsBackToTmpdir) {
    Sandbox s;
    Scratch tmpdir;
    const Outcome o = run(FAKE_LAUNCHER, {}, {{"TMPDIR", tmpdir.path()}, {"SCRIVEL_FAKE_LOG", s.log}});
    EXPECT_EQ(0, o.exitCode);
    const std::vector<std::string> calls = s.calls();
    ASSERT_FALSE(calls.empty());
    const std::string work = tmpdir / kWork;
    EXPECT_EQ("mono_set_dirs " + work + "/lib " + work + "/etc", calls.front());
    EXPECT_FALSE(exists(work));
}

TEST(Driver, TheRuntimeSeesNoMonoVariablesUnlessAskedToKeepThem) {
    const Environment mono = {{"MONO_DEBUG", "bogus"}, {"MONO_LOG_LEVEL", "debug"}, {"MONO_THREADS_SUSPEND", "bogus"}};
    const std::vector<std::string> all = {"env MONO_DEBUG=bogus", "env MONO_LOG_LEVEL=debug",
                                          "env MONO_THREADS_SUSPEND=bogus"};
    struct Case {
        const char* keep;  // SCRIVEL_KEEP_MONO_ENV, or null
        std::vector<std::string> seen;
    };
    for (const Case& c : {Case{nullptr, {}}, Case{"1", all}, Case{"0", {}}, Case{"yes", {}}}) {
        SCOPED_TRACE(c.keep != nullptr ? c.keep : "(unset)");
        Sandbox s;
        Environment env = mono;
        if (c.keep != nullptr)
            env.push_back({"SCRIVEL_KEEP_MONO_ENV", c.keep});
        expectCleanFinish(run(FAKE_LAUNCHER, {}, s.env(env)), s);
        std::vector<std::string> seen;
        for (const std::string& line : s.calls())
            if (line.rfind("env ", 0) == 0)
                seen.push_back(line);
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(c.seen, seen);
    }
}

// ---- early ends of the runtime --------------------------------------------------------

TEST(Driver, AnExitInsideTheRuntimeStillCleansUpWithCodeZero) {
    Sandbox s;
    const Outcome o = run(FAKE_LAUNCHER, {"a.upk"}, s.env({{"SCRIVEL_FAKE_EXEC", "exit"}}));
    expectCleanFinish(o, s);
    EXPECT_EQ(withSelf({"a.upk"}), s.toolArgs());
}

TEST(Driver, ATerminatingSignalCleansUpAndEndsTheProcessBySignal) {
    for (int number : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ,
                       SIGPWR, SIGSTKFLT, SIGIO, SIGTRAP, SIGSYS}) {
        Sandbox s;
        Child child(FAKE_LAUNCHER, {}, s.env({{"SCRIVEL_FAKE_EXEC", "signal " + std::to_string(number)}}),
                    {"/bin/sh", "-c", "ulimit -c 0; exec \"$0\" \"$@\""});
        const Outcome o = child.wait();
        EXPECT_FALSE(o.exited) << strsignal(number);
        EXPECT_EQ(number, o.signal) << strsignal(number);
        EXPECT_FALSE(exists(s.work())) << strsignal(number);
    }
}

// ---- two launchers at once --------------------------------------------------------------

TEST(Driver, TwoLaunchersAtOnceTakeTurnsAndBothSucceed) {
    Sandbox s;
    const Environment env = s.env({{"SCRIVEL_FAKE_EXEC", "hold"}});
    Child first(FAKE_LAUNCHER, {"first.upk"}, env);
    Child second(FAKE_LAUNCHER, {"second.upk"}, env);
    const Outcome a = first.wait();
    const Outcome b = second.wait();
    expectCleanFinish(a, s);
    expectCleanFinish(b, s);

    // Each run must have had the folder to itself from unpacking to the end.
    std::vector<std::string> holds;
    std::vector<std::string> handedOver;
    for (const std::string& line : s.calls()) {
        if (line.rfind("hold ", 0) == 0)
            holds.push_back(line);
        if (line == "arg 1 first.upk" || line == "arg 1 second.upk")
            handedOver.push_back(line);
    }
    const std::vector<std::string> turns = {"hold begin", "hold end", "hold begin", "hold end"};
    EXPECT_EQ(turns, holds);
    EXPECT_EQ(2u, handedOver.size());
    for (const std::string& line : s.calls()) {
        if (line.rfind("mono_set_dirs", 0) == 0) {
            EXPECT_EQ("mono_set_dirs " + s.work() + "/lib " + s.work() + "/etc", line);
        }
    }
}

// ---- launcher failures -------------------------------------------------------------------

TEST(Driver, ARuntimeLibraryThatDoesNotLoadIsReportedInOneLine) {
    Sandbox s;
    const Outcome o = run(BROKEN_LAUNCHER, {"a.upk"}, s.env());
    expectCleanFinish(o, s);
    EXPECT_EQ("", o.out);
    ASSERT_EQ(1u, lines(o.err).size()) << o.err;
    EXPECT_TRUE(contains(o.err, "libmonosgen-2.0.so.1")) << o.err;

    const Outcome silent = run(BROKEN_LAUNCHER, {"a.upk", "/silent"}, s.env());
    expectCleanFinish(silent, s);
    expectSilence(silent);
}

TEST(Driver, AMissingArchiveIsReportedAndLeavesTheEmptyFolder) {
    Sandbox s;
    const Outcome o = run(BARE_LAUNCHER, {}, s.env());
    EXPECT_TRUE(o.exited);
    EXPECT_EQ(0, o.exitCode);
    EXPECT_EQ("", o.out);
    EXPECT_EQ(1u, lines(o.err).size()) << o.err;
    EXPECT_TRUE(exists(s.work()));
    EXPECT_TRUE(std::filesystem::is_empty(s.work()));

    const Outcome silent = run(BARE_LAUNCHER, {"/silent"}, s.env());
    EXPECT_EQ(0, silent.exitCode);
    expectSilence(silent);
}
