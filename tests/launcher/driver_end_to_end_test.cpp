// The single executable with the real runtime it carries, one table of
// cases run through one helper. What the tool prints and writes is compared
// with the same tool run directly by the system's runtime with the arguments
// the launcher should hand over, so these tests check the launcher's part
// whatever the tool's own state.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

using namespace test_support;
namespace fs = std::filesystem;

namespace {

const std::string kWork = "ScrivelTempFiles";

// The folders of one run: the launcher's temporary directory, a home, and
// the folder of the files it works on. In a case's arguments and
// environment, "{temp}", "{home}" and "{files}" stand for their paths.
struct Folders {
    Scratch temp;
    Scratch home;
    Scratch files;

    std::string expand(std::string text) const {
        for (const auto& [name, path] : {std::pair<std::string, std::string>{"{temp}", temp.path()},
                                         {"{home}", home.path()}, {"{files}", files.path()}})
            for (std::size_t at; (at = text.find(name)) != std::string::npos;)
                text.replace(at, name.size(), path);
        return text;
    }
    std::vector<std::string> expand(const std::vector<std::string>& texts) const {
        std::vector<std::string> expanded;
        for (const std::string& text : texts)
            expanded.push_back(expand(text));
        return expanded;
    }
};

struct Case {
    const char* name;
    std::vector<std::string> args;      // the launcher's
    std::vector<std::string> toolArgs;  // what the tool must receive
    bool silent = false;                // nothing on standard output
    Environment env = {};               // besides XDG_RUNTIME_DIR={temp}
    // Before the run: what the folders hold besides the packages; may name
    // another program to start (a copy of the launcher elsewhere).
    std::function<void(const Folders&, std::string& program)> setup = nullptr;
    std::vector<std::string> prefix = {};  // a command that runs the launcher
    std::vector<std::string> mentions = {};  // lines the tool's output holds
    // Why the case cannot run here, or "".
    std::function<std::string()> unavailable = nullptr;
};

// Everything below a folder, each file with its size and a digest of its bytes.
std::map<std::string, std::string> treeDigest(const std::string& folder) {
    std::map<std::string, std::string> tree;
    for (const std::string& entry : listTree(folder)) {
        if (entry.back() == '/' || fs::is_symlink(folder + "/" + entry)) {
            tree[entry] = "";
            continue;
        }
        const std::string bytes = readFile(folder + "/" + entry);
        uint64_t hash = 1469598103934665603ull;  // FNV-1a
        for (unsigned char c : bytes)
            hash = (hash ^ c) * 1099511628211ull;
        tree[entry] = std::to_string(bytes.size()) + " bytes, " + std::to_string(hash);
    }
    return tree;
}

std::string withoutSamplePackage() {
    return exists(SCRIVEL_SAMPLE_PACKAGE) ? "" : std::string("no sample package at ") + SCRIVEL_SAMPLE_PACKAGE;
}

// The files folder holds the sample package as Demo.upk, where there is one.
void copyPackage(const Folders& f) {
    if (withoutSamplePackage().empty())
        fs::copy_file(SCRIVEL_SAMPLE_PACKAGE, f.files / "Demo.upk");
}

// The tool run directly by the system's runtime, in folders of its own.
Outcome reference(const Case& c, const Folders& f) {
    std::vector<std::string> args = {SCRIVEL_TOOL};
    for (const std::string& arg : f.expand(c.toolArgs))
        args.push_back(arg);
    return run(SCRIVEL_MONO, args, {{"XDG_RUNTIME_DIR", f.temp.path()}});
}

// Runs the launcher and the reference and compares all they left; nothing
// of the home folder may change.
void check(const Case& c) {
    SCOPED_TRACE(c.name);
    const std::string why = c.unavailable ? c.unavailable() : std::string();
    if (!why.empty()) {
        std::cout << "[  SKIPPED ] " << c.name << ": " << why << "\n";
        return;
    }
    Folders launcher;
    Folders direct;
    std::string program = SCRIVEL_EXECUTABLE;
    copyPackage(launcher);
    copyPackage(direct);
    if (c.setup)
        c.setup(launcher, program);
    const std::map<std::string, std::string> home = treeDigest(launcher.home.path());
    Environment env = {{"XDG_RUNTIME_DIR", launcher.temp.path()}};
    for (const auto& [name, value] : c.env)
        env.push_back({name, launcher.expand(value)});
    Child child(program, launcher.expand(c.args), env, launcher.expand(c.prefix));
    const Outcome o = child.wait();
    const Outcome expected = reference(c, direct);

    EXPECT_TRUE(o.exited) << "ended by signal " << o.signal;
    EXPECT_EQ(0, o.exitCode);
    EXPECT_EQ("", o.err);
    EXPECT_EQ(c.silent ? "" : expected.out, o.out);
    EXPECT_FALSE(exists(launcher.temp / kWork)) << "the working folder is left behind";
    EXPECT_EQ("", readFileIfAny(launcher.temp / (kWork + ".lock"))) << "output landed in the lock file";
    EXPECT_EQ(treeDigest(direct.files.path()), treeDigest(launcher.files.path()));
    EXPECT_EQ(home, treeDigest(launcher.home.path())) << "the home folder changed";
    EXPECT_TRUE(contains(expected.out, "..DONE..")) << expected.out;
    for (const std::string& line : c.mentions)
        EXPECT_TRUE(contains(expected.out, direct.expand(line))) << line << " not in: " << expected.out;
}

// What an earlier run may leave where the working folder goes.
void staleFolder(const Folders& f, std::string&) {
    writeFile(f.temp / (kWork + "/lib/mscorlib.dll"), "not an assembly");
    writeFile(f.temp / (kWork + "/stale.txt"), "old");
}
void fileInItsPlace(const Folders& f, std::string&) {
    writeFile(f.temp / kWork, "a file, not a folder");
}
// The folder the link points at must stay as it is.
void linkInItsPlace(const Folders& f, std::string&) {
    writeFile(f.home / "keep.txt", "precious");
    ASSERT_EQ(0, symlink(f.home.path().c_str(), (f.temp / kWork).c_str()));
}

// A configuration named by MONO_CONFIG, or one in the user's home, that maps
// the native helpers elsewhere would break every file operation of the
// tool if the runtime read it.
void brokenRuntimeSettings(const Folders& f, std::string&) {
    const std::string broken =
        "<configuration>\n"
        "  <dllmap dll=\"System.Native\" target=\"/nonexistent/libnothing.so\" />\n"
        "  <dllmap dll=\"libc\" target=\"/nonexistent/libnothing.so\" />\n"
        "</configuration>\n";
    writeFile(f.home / "broken.config", broken);
    writeFile(f.home / ".mono/config", broken);
}

// The launcher started from a folder whose name is not UTF-8.
void launcherInAFolderNotUtf8(const Folders& f, std::string& program) {
    program = f.home / "launcher in \xff/scrivel";
    fs::create_directory(f.home / "launcher in \xff");
    fs::copy_file(SCRIVEL_EXECUTABLE, program);
}

std::string withoutPrivateMounts() {
    const Outcome allowed = run("/usr/bin/unshare", {"-m", "/bin/true"}, {});
    return allowed.exited && allowed.exitCode == 0 ? "" : "unshare -m is not permitted here: " + allowed.err;
}

// The system's runtime, its class libraries and its configuration hidden in
// a private mount namespace, where the system's runtime fails to run the tool.
const char* const kHideTheSystemsRuntime =
    "set -e\n"
    "mount --bind \"$EMPTY\" /usr/lib/mono\n"
    "mount --bind \"$EMPTY\" /etc/mono\n"
    "for f in /usr/lib/libmono*; do mount --bind /dev/null \"$f\"; done\n"
    "if [ -s /usr/lib/mono/4.5/mscorlib.dll ] || [ -s /usr/lib/libmonosgen-2.0.so.1 ]; then\n"
    "  echo 'the system runtime could not be hidden' >&2; exit 97; fi\n"
    "if \"$MONO\" \"$TOOL\" >/dev/null 2>&1; then echo 'the system runtime still runs the tool' >&2; exit 98; fi\n"
    "exec \"$@\"\n";

}  // namespace

TEST(EndToEnd, TheToolGetsTheUsersArgumentsAndTheRunLeavesNothingBehind) {
    const std::string package = "{files}/Demo.upk";
    const std::vector<Case> cases = {
        {"no arguments", {}, {}},
        {"/silent alone shows nothing", {"/silent"}, {}, true},
        {"blanks, letters beyond ASCII, a capitalised /SILENT",
         {"{files}/my file.doc", "Ünïcødé ★.doc", "/SILENT"},
         {"{files}/my file.doc", "Ünïcødé ★.doc", "/SILENT"},
         false, {}, nullptr, {},
         {"The file my file.doc is not supported!", "The file Ünïcødé ★.doc is not supported!"}},
        {"/silent first is an ordinary argument", {"/silent", "x.doc"}, {"/silent", "x.doc"}, false, {}, nullptr, {},
         {"The file x.doc is not supported!"}},
        {"a package, then /silent", {package, "/silent"}, {package}, true, {}, nullptr, {},
         {"Text File Demo.upk successfully extracted!"}, withoutSamplePackage},
        {"/silent twice hands one to the tool", {package, "/silent", "/silent"}, {package, "/silent"}, true, {},
         nullptr, {}, {}, withoutSamplePackage},
        {"a stale working folder", {}, {}, false, {}, staleFolder},
        {"a file where the working folder goes", {}, {}, false, {}, fileInItsPlace},
        {"a link where the working folder goes", {}, {}, false, {}, linkInItsPlace},
        {"runtime settings of the environment cannot replace the bundled ones", {package}, {package}, false,
         {{"HOME", "{home}"}, {"MONO_CONFIG", "{home}/broken.config"}, {"MONO_CFG_DIR", "{home}"}},
         brokenRuntimeSettings, {}, {"Text File Demo.upk successfully extracted!"}, withoutSamplePackage},
        // Settings of the runtime from the environment would print its
        // option list instead of running the tool, log its work on the
        // console, or abort with the working folder left behind.
        {"MONO_DEBUG=bogus changes nothing", {package}, {package}, false, {{"MONO_DEBUG", "bogus"}}, nullptr, {},
         {"Text File Demo.upk successfully extracted!"}, withoutSamplePackage},
        {"MONO_LOG_LEVEL=debug changes nothing", {package}, {package}, false, {{"MONO_LOG_LEVEL", "debug"}},
         nullptr, {}, {"Text File Demo.upk successfully extracted!"}, withoutSamplePackage},
        {"MONO_THREADS_SUSPEND=bogus changes nothing", {package}, {package}, false,
         {{"MONO_THREADS_SUSPEND", "bogus"}}, nullptr, {}, {"Text File Demo.upk successfully extracted!"},
         withoutSamplePackage},
        // The runtime would refuse the whole run for such an argument; the
        // tool gets it with U+FFFD for each bad stretch, and the launcher's
        // own path too.
        {"arguments that are not UTF-8", {"bad\xff\xfename.upk", package, "x\xc3.doc"},
         {"bad\xef\xbf\xbd\xef\xbf\xbdname.upk", package, "x\xef\xbf\xbd.doc"}, false, {},
         launcherInAFolderNotUtf8, {},
         {"File bad\xef\xbf\xbd\xef\xbf\xbdname.upk was not found!", "Text File Demo.upk successfully extracted!"},
         withoutSamplePackage},
        // With their numbers free, the lock file and the tool's outputs would
        // take them, and what is printed would land inside.
        {"standard output and error closed", {package}, {package}, true, {}, nullptr,
         {"/bin/sh", "-c", "exec \"$0\" \"$@\" 1>&- 2>&-"}, {}, withoutSamplePackage},
        {"the runtime comes from the working folder", {"{files}/x.doc", package}, {"{files}/x.doc", package}, false,
         {{"EMPTY", "{home}"}, {"MONO", SCRIVEL_MONO}, {"TOOL", SCRIVEL_TOOL}}, nullptr,
         {"/usr/bin/unshare", "-m", "/bin/sh", "-c", kHideTheSystemsRuntime, "sh"},
         {"The file x.doc is not supported!", "Text File Demo.upk successfully extracted!"},
         [] { return withoutSamplePackage() + withoutPrivateMounts(); }},
    };
    for (const Case& c : cases)
        check(c);
}

TEST(EndToEnd, TwoLaunchersAtOnceOnTwoPackagesBothSucceed) {
    if (!withoutSamplePackage().empty())
        GTEST_SKIP() << withoutSamplePackage();
    Folders launcher;
    Folders direct;
    for (const Folders* f : {&launcher, &direct}) {
        fs::copy_file(SCRIVEL_SAMPLE_PACKAGE, f->files / "One.upk");
        fs::copy_file(SCRIVEL_SAMPLE_PACKAGE, f->files / "Two.upk");
    }
    const Environment env = {{"XDG_RUNTIME_DIR", launcher.temp.path()}};
    Child a(SCRIVEL_EXECUTABLE, {launcher.files / "One.upk"}, env);
    Child b(SCRIVEL_EXECUTABLE, {launcher.files / "Two.upk"}, env);
    const Outcome oa = a.wait();
    const Outcome ob = b.wait();
    for (const char* name : {"One.upk", "Two.upk"}) {
        const Outcome& o = std::string(name) == "One.upk" ? oa : ob;
        EXPECT_EQ(0, o.exitCode) << name;
        EXPECT_EQ(run(SCRIVEL_MONO, {SCRIVEL_TOOL, direct.files / name}, {}).out, o.out) << name;
    }
    EXPECT_FALSE(exists(launcher.temp / kWork));
    EXPECT_EQ(treeDigest(direct.files.path()), treeDigest(launcher.files.path()));
}
