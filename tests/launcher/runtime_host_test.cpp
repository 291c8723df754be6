// The runtime's entry points and its start sequence, against the fake
// runtime library, which records every call it receives.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"
#include "runtime_api.h"
#include "runtime_host.h"

using namespace scrivel;
using test_support::lines;
using test_support::readFileIfAny;
using test_support::Scratch;
using test_support::writeFile;

namespace {

const std::vector<std::string> kTableOrder = {
    "mono_set_dirs", "mono_set_assemblies_path", "mono_config_parse", "mono_set_defaults",
    "mono_jit_init_version", "mono_parse_default_optimizations", "mono_domain_assembly_open",
    "mono_jit_exec"};

struct Recorder {
    std::vector<std::string> asked;
    std::string absent;  // a name to report as not exported
    int token = 0;
};

void* recordingLookup(void* context, const char* name) {
    Recorder* r = static_cast<Recorder*>(context);
    r->asked.push_back(name);
    return name == r->absent ? nullptr : &r->token;
}

// A working folder holding the fake runtime under the runtime's name, and
// (unless told otherwise) a file in the tool's place.
struct FakeFolder {
    Scratch scratch;
    std::string folder;
    std::string log;

    explicit FakeFolder(const char* library = FAKE_RUNTIME, bool withTool = true) {
        folder = scratch / "ScrivelTempFiles";
        std::filesystem::create_directory(folder);
        std::filesystem::copy_file(library, folder + "/libmonosgen-2.0.so.1");
        if (withTool)
            writeFile(folder + "/Scrivel.exe", "stand-in");
        log = scratch / "calls.log";
        setenv("SCRIVEL_FAKE_LOG", log.c_str(), 1);
    }
    ~FakeFolder() { unsetenv("SCRIVEL_FAKE_LOG"); }

    std::vector<std::string> calls() const { return lines(readFileIfAny(log)); }
};

}  // namespace

TEST(RuntimeApi, LooksUpAllEightNamesInTableOrder) {
    Recorder r;
    RuntimeApi api{};
    const char* missing = "unset";
    EXPECT_TRUE(api.resolve(&recordingLookup, &r, &missing));
    EXPECT_EQ(kTableOrder, r.asked);
    EXPECT_EQ(nullptr, missing);
    // Each slot holds what its own name resolved to.
    EXPECT_EQ(reinterpret_cast<void*>(api.set_dirs), static_cast<void*>(&r.token));
    EXPECT_EQ(reinterpret_cast<void*>(api.jit_exec), static_cast<void*>(&r.token));
}

TEST(RuntimeApi, AMissingEntryPointFailsTheLookup) {
    for (const char* name : {"mono_set_dirs", "mono_parse_default_optimizations", "mono_jit_exec"}) {
        Recorder r;
        r.absent = name;
        RuntimeApi api{};
        const char* missing = nullptr;
        EXPECT_FALSE(api.resolve(&recordingLookup, &r, &missing)) << name;
        ASSERT_NE(nullptr, missing);
        EXPECT_STREQ(name, missing);
        EXPECT_EQ(kTableOrder, r.asked) << "all names are still looked up";
    }
}

TEST(RuntimeHost, AMissingRuntimeLibraryIsReportedAndNothingIsCalled) {
    Scratch s;
    std::string error;
    EXPECT_FALSE(loadRuntime(s.path(), error));
    EXPECT_NE(std::string::npos, error.find("libmonosgen-2.0.so.1")) << error;
}

TEST(RuntimeHost, ConfiguresStartsAndRunsTheToolInOrder) {
    FakeFolder f;
    std::string error;
    ASSERT_TRUE(loadRuntime(f.folder, error)) << error;
    std::string self = "/opt/scrivel";
    std::string first = "a b.upk";
    std::string second = "Über.txt";
    char* argv[] = {&self[0], &first[0], &second[0], nullptr};
    EXPECT_EQ(ToolRun::Ran, runTool(f.folder, 3, argv, error)) << error;

    const std::string w = f.folder;
    const std::vector<std::string> expected = {
        "mono_set_dirs " + w + "/lib " + w + "/etc",
        "mono_set_assemblies_path " + w + "/lib",
        "mono_config_parse " + w + "/etc/mono/config",
        "mono_parse_default_optimizations (null)",
        "mono_set_defaults 0 0x5eed",
        "mono_jit_init_version Scrivel.exe v4.0.30319",
        "mono_domain_assembly_open domain " + w + "/Scrivel.exe",
        "mono_jit_exec domain assembly 3",
        "arg 0 /opt/scrivel",
        "arg 1 a b.upk",
        "arg 2 Über.txt",
        "argv-terminated yes",
        "entry Scrivel.exe",
        "entry libmonosgen-2.0.so.1",
    };
    EXPECT_EQ(expected, f.calls());
}

TEST(RuntimeHost, AMissingToolAssemblyStopsBeforeExecuting) {
    FakeFolder f(FAKE_RUNTIME, false);
    std::string error;
    ASSERT_TRUE(loadRuntime(f.folder, error)) << error;
    std::string self = "/opt/scrivel";
    char* argv[] = {&self[0], nullptr};
    EXPECT_EQ(ToolRun::AssemblyNotOpened, runTool(f.folder, 1, argv, error));
    EXPECT_NE(std::string::npos, error.find(f.folder + "/Scrivel.exe")) << error;
    const std::vector<std::string> calls = f.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ("mono_domain_assembly_open domain " + f.folder + "/Scrivel.exe", calls.back());
    EXPECT_EQ(7u, calls.size());
}

TEST(RuntimeHost, ALibraryWithoutTheExecEntryPointIsNeverStarted) {
    FakeFolder f(FAKE_RUNTIME_PARTIAL);
    std::string error;
    ASSERT_TRUE(loadRuntime(f.folder, error)) << error;
    std::string self = "/opt/scrivel";
    char* argv[] = {&self[0], nullptr};
    EXPECT_EQ(ToolRun::EntryPointsMissing, runTool(f.folder, 1, argv, error));
    EXPECT_NE(std::string::npos, error.find("mono_jit_exec")) << error;
    EXPECT_TRUE(f.calls().empty()) << "nothing of the runtime may be called";
}

TEST(RuntimeHost, NoRootDomainMeansNoAssemblyIsOpened) {
    FakeFolder f;
    setenv("SCRIVEL_FAKE_NO_DOMAIN", "1", 1);
    std::string error;
    ASSERT_TRUE(loadRuntime(f.folder, error)) << error;
    std::string self = "/opt/scrivel";
    char* argv[] = {&self[0], nullptr};
    const ToolRun result = runTool(f.folder, 1, argv, error);
    unsetenv("SCRIVEL_FAKE_NO_DOMAIN");
    EXPECT_EQ(ToolRun::NoDomain, result);
    const std::vector<std::string> calls = f.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ("mono_jit_init_version Scrivel.exe v4.0.30319", calls.back());
}
