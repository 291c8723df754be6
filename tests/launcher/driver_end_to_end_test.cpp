// The single executable with the real runtime it carries. What the tool
// prints and writes is compared with the same tool run directly by the
// system's runtime with the arguments the launcher should hand over, so these
// tests check the launcher's part whatever the tool's own state.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

using namespace test_support;
namespace fs = std::filesystem;

namespace {

const char* const kWork = "ScrivelTempFiles";

Environment privateTemp(const Scratch& temp) {
    return {{"XDG_RUNTIME_DIR", temp.path()}};
}

// The tool run directly by the system's runtime.
Outcome reference(const std::vector<std::string>& toolArgs) {
    Scratch temp;
    std::vector<std::string> args = {SCRIVEL_TOOL};
    args.insert(args.end(), toolArgs.begin(), toolArgs.end());
    return run(SCRIVEL_MONO, args, privateTemp(temp));
}

// Every file in a folder with its size and a digest of its bytes.
std::map<std::string, std::string> folderFiles(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string bytes = readFile(entry.path().string());
        uint64_t hash = 1469598103934665603ull;  // FNV-1a
        for (unsigned char c : bytes)
            hash = (hash ^ c) * 1099511628211ull;
        files[entry.path().filename().string()] = std::to_string(bytes.size()) + " bytes, " + std::to_string(hash);
    }
    return files;
}

void expectCleanFinish(const Outcome& o, const Scratch& temp) {
    EXPECT_TRUE(o.exited) << "ended by signal " << o.signal;
    EXPECT_EQ(0, o.exitCode);
    EXPECT_FALSE(exists(temp / kWork)) << "the working folder is left behind";
}

bool haveSamplePackage() {
    return exists(SCRIVEL_SAMPLE_PACKAGE);
}

// A folder holding a copy of the sample package under `name`.
std::string packageCopy(const Scratch& where, const std::string& name) {
    const std::string path = where / name;
    fs::copy_file(SCRIVEL_SAMPLE_PACKAGE, path);
    return path;
}

}  // namespace

TEST(EndToEnd, NoArgumentsPrintsWhatTheToolPrints) {
    Scratch temp;
    const Outcome o = run(SCRIVEL_EXECUTABLE, {}, privateTemp(temp));
    expectCleanFinish(o, temp);
    EXPECT_TRUE(contains(o.out, "..DONE..")) << o.out;
    EXPECT_EQ(reference({}).out, o.out);
    EXPECT_EQ("", o.err);
}

TEST(EndToEnd, SilentAloneShowsNothing) {
    Scratch temp;
    const Outcome o = run(SCRIVEL_EXECUTABLE, {"/silent"}, privateTemp(temp));
    expectCleanFinish(o, temp);
    EXPECT_EQ("", o.out);
    EXPECT_EQ("", o.err);
}

TEST(EndToEnd, ArgumentsWithBlanksAndNonAsciiLettersReachTheTool) {
    Scratch temp;
    Scratch files;
    const std::vector<std::string> args = {files / "my file.doc", "Ünïcødé ★.doc", "/SILENT"};
    const Outcome o = run(SCRIVEL_EXECUTABLE, args, privateTemp(temp));
    expectCleanFinish(o, temp);
    EXPECT_TRUE(contains(o.out, "The file my file.doc is not supported!")) << o.out;
    EXPECT_TRUE(contains(o.out, "The file Ünïcødé ★.doc is not supported!")) << o.out;
    EXPECT_EQ(reference(args).out, o.out);
}

TEST(EndToEnd, SilentFirstIsAnOrdinaryArgument) {
    Scratch temp;
    const Outcome o = run(SCRIVEL_EXECUTABLE, {"/silent", "x.doc"}, privateTemp(temp));
    expectCleanFinish(o, temp);
    EXPECT_TRUE(contains(o.out, "The file x.doc is not supported!")) << o.out;
    EXPECT_EQ(reference({"/silent", "x.doc"}).out, o.out);
}

TEST(EndToEnd, APackageThenSilentDoesTheToolsWorkWithoutOutput) {
    if (!haveSamplePackage())
        GTEST_SKIP() << "no sample package at " << SCRIVEL_SAMPLE_PACKAGE;
    Scratch temp;
    Scratch viaLauncher;
    Scratch viaRuntime;
    const Outcome o = run(SCRIVEL_EXECUTABLE, {packageCopy(viaLauncher, "Demo.upk"), "/silent"}, privateTemp(temp));
    expectCleanFinish(o, temp);
    EXPECT_EQ("", o.out);
    EXPECT_EQ("", o.err);
    reference({packageCopy(viaRuntime, "Demo.upk")});
    EXPECT_EQ(folderFiles(viaRuntime.path()), folderFiles(viaLauncher.path()));
}

TEST(EndToEnd, SilentTwiceHandsOneSilentToTheTool) {
    if (!haveSamplePackage())
        GTEST_SKIP() << "no sample package at " << SCRIVEL_SAMPLE_PACKAGE;
    Scratch temp;
    Scratch viaLauncher;
    Scratch viaRuntime;
    const Outcome o = run(SCRIVEL_EXECUTABLE, {packageCopy(viaLauncher, "Demo.upk"), "/silent", "/silent"},
                          privateTemp(temp));
    expectCleanFinish(o, temp);
    EXPECT_EQ("", o.out);
    reference({packageCopy(viaRuntime, "Demo.upk"), "/silent"});
    EXPECT_EQ(folderFiles(viaRuntime.path()), folderFiles(viaLauncher.path()));
}

TEST(EndToEnd, RuntimeSettingsOfTheEnvironmentCannotReplaceTheBundledConfiguration) {
    // A configuration named by MONO_CONFIG, or one in the user's home, that
    // maps the native helpers elsewhere would break every file operation of
    // the tool if the runtime read it.
    if (!haveSamplePackage())
        GTEST_SKIP() << "no sample package at " << SCRIVEL_SAMPLE_PACKAGE;
    Scratch temp;
    Scratch home;
    Scratch viaLauncher;
    Scratch viaRuntime;
    const std::string broken =
        "<configuration>\n"
        "  <dllmap dll=\"System.Native\" target=\"/nonexistent/libnothing.so\" />\n"
        "  <dllmap dll=\"libc\" target=\"/nonexistent/libnothing.so\" />\n"
        "</configuration>\n";
    writeFile(home / "broken.config", broken);
    std::filesystem::create_directory(home / ".mono");
    writeFile(home / ".mono/config", broken);
    const Environment env = {{"XDG_RUNTIME_DIR", temp.path()}, {"HOME", home.path()},
                             {"MONO_CONFIG", home / "broken.config"}, {"MONO_CFG_DIR", home.path()}};
    const Outcome o = run(SCRIVEL_EXECUTABLE, {packageCopy(viaLauncher, "Demo.upk")}, env);
    expectCleanFinish(o, temp);
    const Outcome expected = reference({packageCopy(viaRuntime, "Demo.upk")});
    EXPECT_EQ(expected.out, o.out);
    EXPECT_EQ(folderFiles(viaRuntime.path()), folderFiles(viaLauncher.path()));
}

TEST(EndToEnd, AnArgumentThatIsNotUtf8IsNamedOnItsLineAndTheOthersAreHandled) {
    // The runtime would refuse the whole run for it; the tool gets the
    // argument with U+FFFD for each bad stretch, and the tool's launcher
    // path too when that is not UTF-8.
    if (!haveSamplePackage())
        GTEST_SKIP() << "no sample package at " << SCRIVEL_SAMPLE_PACKAGE;
    Scratch temp;
    Scratch files;
    const std::string badFolder = files / "launcher in \xff";
    std::filesystem::create_directory(badFolder);
    std::filesystem::copy_file(SCRIVEL_EXECUTABLE, badFolder + "/scrivel");
    const std::string ok = packageCopy(files, "Demo.upk");
    const Outcome o = run(badFolder + "/scrivel", {"bad\xff\xfename.upk", ok, "x\xc3.doc"}, privateTemp(temp));
    expectCleanFinish(o, temp);
    const std::string expected = reference({"bad\xef\xbf\xbd\xef\xbf\xbdname.upk", ok, "x\xef\xbf\xbd.doc"}).out;
    EXPECT_TRUE(contains(expected, "File bad\xef\xbf\xbd\xef\xbf\xbdname.upk was not found!")) << expected;
    EXPECT_TRUE(contains(expected, "Text File Demo.upk successfully extracted!")) << expected;
    EXPECT_TRUE(contains(expected, "..DONE..")) << expected;
    EXPECT_EQ(expected, o.out);
    EXPECT_EQ("", o.err);
}

TEST(EndToEnd, LeftoversInTheFoldersPlaceAreHandled) {
    const std::vector<std::string> kinds = {"stale folder", "file", "link"};
    const std::string expected = reference({}).out;
    for (const std::string& kind : kinds) {
        Scratch temp;
        Scratch elsewhere;
        const std::string work = temp / kWork;
        if (kind == "stale folder") {
            ASSERT_EQ(0, mkdir(work.c_str(), 0700));
            ASSERT_EQ(0, mkdir((work + "/lib").c_str(), 0700));
            writeFile(work + "/lib/mscorlib.dll", "not an assembly");
            writeFile(work + "/stale.txt", "old");
        } else if (kind == "file") {
            writeFile(work, "a file, not a folder");
        } else {
            writeFile(elsewhere / "keep.txt", "precious");
            ASSERT_EQ(0, symlink(elsewhere.path().c_str(), work.c_str()));
        }
        const Outcome o = run(SCRIVEL_EXECUTABLE, {}, privateTemp(temp));
        expectCleanFinish(o, temp);
        EXPECT_EQ(expected, o.out) << kind;
        if (kind == "link") {
            const std::vector<std::string> untouched = {"keep.txt"};
            std::vector<std::string> names;
            for (const auto& entry : fs::directory_iterator(elsewhere.path()))
                names.push_back(entry.path().filename().string());
            EXPECT_EQ(untouched, names);
            EXPECT_EQ("precious", readFile(elsewhere / "keep.txt"));
        }
    }
}

TEST(EndToEnd, TwoLaunchersAtOnceOnTwoPackagesBothSucceed) {
    if (!haveSamplePackage())
        GTEST_SKIP() << "no sample package at " << SCRIVEL_SAMPLE_PACKAGE;
    Scratch temp;
    Scratch first;
    Scratch second;
    Scratch reference1;
    Scratch reference2;
    Child a(SCRIVEL_EXECUTABLE, {packageCopy(first, "One.upk")}, privateTemp(temp));
    Child b(SCRIVEL_EXECUTABLE, {packageCopy(second, "Two.upk")}, privateTemp(temp));
    const Outcome oa = a.wait();
    const Outcome ob = b.wait();
    expectCleanFinish(oa, temp);
    expectCleanFinish(ob, temp);
    EXPECT_EQ(reference({packageCopy(reference1, "One.upk")}).out, oa.out);
    EXPECT_EQ(reference({packageCopy(reference2, "Two.upk")}).out, ob.out);
    EXPECT_EQ(folderFiles(reference1.path()), folderFiles(first.path()));
    EXPECT_EQ(folderFiles(reference2.path()), folderFiles(second.path()));
}

TEST(EndToEnd, TheRuntimeComesFromTheWorkingFolder) {
    // The system's runtime, its class libraries and its configuration are
    // hidden in a private mount namespace; the system's runtime must then
    // fail while the launcher still runs the tool.
    Scratch probe;
    const Outcome allowed = run("/usr/bin/unshare", {"-m", "/bin/true"}, {});
    if (!allowed.exited || allowed.exitCode != 0)
        GTEST_SKIP() << "unshare -m is not permitted here: " << allowed.err;

    Scratch temp;
    Scratch empty;
    Scratch files;
    std::vector<std::string> args = {files / "x.doc"};
    if (haveSamplePackage())
        args.push_back(packageCopy(files, "Demo.upk"));
    Scratch referenceFiles;
    std::vector<std::string> referenceArgs = {referenceFiles / "x.doc"};
    if (haveSamplePackage())
        referenceArgs.push_back(packageCopy(referenceFiles, "Demo.upk"));
    const Outcome expected = reference(referenceArgs);

    const std::string script =
        "set -e\n"
        "mount --bind \"$EMPTY\" /usr/lib/mono\n"
        "mount --bind \"$EMPTY\" /etc/mono\n"
        "for f in /usr/lib/libmono*; do mount --bind /dev/null \"$f\"; done\n"
        "if [ -s /usr/lib/mono/4.5/mscorlib.dll ] || [ -s /usr/lib/libmonosgen-2.0.so.1 ]; then exit 97; fi\n"
        "if \"$MONO\" \"$TOOL\" >/dev/null 2>&1; then exit 98; fi\n"
        "exec \"$@\"\n";
    const Environment env = {{"XDG_RUNTIME_DIR", temp.path()}, {"EMPTY", empty.path()},
                             {"MONO", SCRIVEL_MONO}, {"TOOL", SCRIVEL_TOOL}};
    Child child(SCRIVEL_EXECUTABLE, args, env, {"/usr/bin/unshare", "-m", "/bin/sh", "-c", script, "sh"});
    const Outcome o = child.wait();
    ASSERT_NE(97, o.exitCode) << "the system's runtime could not be hidden";
    ASSERT_NE(98, o.exitCode) << "the system's runtime still runs the tool";
    expectCleanFinish(o, temp);
    EXPECT_EQ("", o.err);
    EXPECT_TRUE(contains(o.out, "The file x.doc is not supported!")) << o.out;
    EXPECT_EQ(expected.out, o.out);
    if (haveSamplePackage()) {
        EXPECT_EQ(folderFiles(referenceFiles.path()), folderFiles(files.path()));
    }
}

TEST(EndToEnd, ClosedStandardStreamsDoNotLeakOutputIntoFiles) {
    // With its standard output and error closed by the parent, the launcher's
    // lock file and the tool's outputs would take their numbers: whatever is
    // printed must not end up inside them.
    if (!haveSamplePackage())
        GTEST_SKIP() << "no sample package";
    Scratch temp;
    Scratch work;
    const std::string package = packageCopy(work, "Closed.upk");
    Child child(SCRIVEL_EXECUTABLE, {package}, privateTemp(temp),
                {"/bin/sh", "-c", "exec \"$0\" \"$@\" 1>&- 2>&-"});
    const Outcome o = child.wait();
    expectCleanFinish(o, temp);
    EXPECT_EQ("", readFile(temp / "ScrivelTempFiles.lock"));
    const std::string text = readFile(work / "Closed.txt");
    ASSERT_FALSE(text.empty()) << "the text file was not written";
    EXPECT_FALSE(contains(text, "DONE")) << "console output landed in the text file";

    Scratch referenceTemp;
    Scratch referenceWork;
    const std::string referencePackage = packageCopy(referenceWork, "Closed.upk");
    const Outcome r = run(SCRIVEL_EXECUTABLE, {referencePackage}, privateTemp(referenceTemp));
    EXPECT_TRUE(contains(r.out, "..DONE..")) << r.out;
    EXPECT_EQ(readFile(referenceWork / "Closed.txt"), text);
}
