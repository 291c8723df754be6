// The build step: archive layout, round trip through the reader, refusals.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <zlib.h>

#include "test_support.h"

using namespace test_support;
using scrivel::BundleArchive;

namespace {

struct BuildResult {
    int status;
    std::string errors;
};

BuildResult runBuilder(const Scratch& work, const std::string& list, const std::string& output,
                       const std::string& base = "", const std::string& options = "") {
    writeFile(work / "list.txt", list);
    const std::string errors = work / "errors.txt";
    std::string command = std::string("'") + SCRIVEL_ARCHIVE_BUILDER + "'";
    if (!base.empty()) command += " --base '" + base + "'";
    command += options;
    command += " '" + (work / "list.txt") + "' '" + output + "' 2>'" + errors + "'";
    const int raw = std::system(command.c_str());
    return BuildResult{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(errors)};
}

int32_t int32At(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes.at(at + i));
    return static_cast<int32_t>(v);
}

struct ParsedEntry {
    std::string name;
    int32_t size;
    std::string stream;
};

std::vector<ParsedEntry> parse(const std::string& bytes) {
    EXPECT_EQ("ARCH", bytes.substr(0, 4));
    std::vector<ParsedEntry> entries;
    const int32_t count = int32At(bytes, 4);
    size_t at = 8;
    for (int32_t i = 0; i < count; ++i) {
        ParsedEntry e;
        const int32_t nameLength = int32At(bytes, at);
        e.name = bytes.substr(at + 4, nameLength);
        at += 4 + nameLength;
        e.size = int32At(bytes, at);
        const int32_t packed = int32At(bytes, at + 4);
        e.stream = bytes.substr(at + 8, packed);
        at += 8 + packed;
        entries.push_back(e);
    }
    EXPECT_EQ(bytes.size(), at) << "no trailer after the last record";
    return entries;
}

std::string inflate(const std::string& stream, int32_t size) {
    std::string out(static_cast<size_t>(size), '\0');
    uLongf length = static_cast<uLongf>(size);
    const int status = uncompress(reinterpret_cast<Bytef*>(&out[0]), &length,
                                  reinterpret_cast<const Bytef*>(stream.data()), stream.size());
    EXPECT_EQ(Z_OK, status);
    out.resize(length);
    return out;
}

}  // namespace

TEST(ArchiveBuilder, TreeOfFilesUnpacksByteIdentical) {
    Scratch work;
    Scratch dest;
    const std::string big = mixedBytes(6 * 1024 * 1024 + 123, 11);
    writeFile(work / "src/mono.dll", big);
    writeFile(work / "src/empty.txt", "");
    writeFile(work / "src/deep/er/still/config", "<config/>\n");
    writeFile(work / "src/tool.exe", mixedBytes(40000, 12));
    const std::string list =
        "# runtime and tool\n"
        "\n"
        + (work / "src/mono.dll") + "\tmono.dll\n"
        "   \n"
        "src/empty.txt\tetc\\empty.txt\r\n"
        "src/deep/er/still/config\tetc\\mono\\4.5\\config\n"
        + (work / "src/tool.exe") + "\tScrivel.exe";  // no final line break
    const BuildResult result = runBuilder(work, list, work / "out.arch", work.path());
    ASSERT_EQ(0, result.status) << result.errors;

    EXPECT_EQ(BundleArchive::Outcome::Complete, unpack(readFile(work / "out.arch"), dest.path()).outcome);
    const std::vector<std::string> expected = {"Scrivel.exe", "etc/", "etc/empty.txt", "etc/mono/",
                                               "etc/mono/4.5/", "etc/mono/4.5/config", "mono.dll"};
    EXPECT_EQ(expected, listTree(dest.path()));
    EXPECT_TRUE(big == readFile(dest / "mono.dll"));
    EXPECT_EQ("", readFile(dest / "etc/empty.txt"));
    EXPECT_EQ("<config/>\n", readFile(dest / "etc/mono/4.5/config"));
    EXPECT_TRUE(readFile(work / "src/tool.exe") == readFile(dest / "Scrivel.exe"));
}

TEST(ArchiveBuilder, RecordsAreSortedIgnoringCaseWithDefaultLevelStreams) {
    Scratch work;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"Scrivel.exe", "tool"}, {"lib\\System.dll", "sys"}, {"mono.dll", "runtime runtime runtime"},
        {"lib\\mscorlib.dll", "corlib"}, {"etc\\mono\\config", "cfg"}, {"lib\\Accessibility.dll", ""},
        {"lib\\System.Drawing.dll", "draw"}, {"lib\\System.DirectoryServices.dll", "dir"}};
    std::string list;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string source = work / ("f" + std::to_string(i));
        writeFile(source, files[i].second);
        list += source + "\t" + files[i].first + "\n";
    }
    ASSERT_EQ(0, runBuilder(work, list, work / "out.arch").status);

    const std::vector<ParsedEntry> entries = parse(readFile(work / "out.arch"));
    const std::vector<std::string> order = {"etc\\mono\\config", "lib\\Accessibility.dll",
                                            "lib\\mscorlib.dll", "lib\\System.DirectoryServices.dll",
                                            "lib\\System.dll", "lib\\System.Drawing.dll", "mono.dll",
                                            "Scrivel.exe"};
    ASSERT_EQ(order.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(order[i], entries[i].name);
        ASSERT_GE(entries[i].stream.size(), 2u);
        EXPECT_EQ('\x78', entries[i].stream[0]) << entries[i].name;
        EXPECT_EQ('\x9C', entries[i].stream[1]) << entries[i].name;
        for (const auto& f : files)
            if (f.first == entries[i].name) {
                EXPECT_EQ(static_cast<int32_t>(f.second.size()), entries[i].size);
                EXPECT_EQ(f.second, inflate(entries[i].stream, entries[i].size));
            }
    }
}

// --level: zlib's level of every stream (its header says which), 0 storing
// the bytes as they are; anything but one digit is refused.
TEST(ArchiveBuilder, LevelSetsTheStreamsCompression) {
    Scratch work;
    const std::string text(4000, 'a');
    writeFile(work / "f", text);
    const std::string list = (work / "f") + "\tf.txt\n";
    for (const auto& [level, second] : {std::pair<const char*, char>{"0", '\x01'}, {"9", '\xDA'}}) {
        ASSERT_EQ(0, runBuilder(work, list, work / "out.arch", "", std::string(" --level ") + level).status);
        const std::vector<ParsedEntry> entries = parse(readFile(work / "out.arch"));
        ASSERT_EQ(1u, entries.size());
        EXPECT_EQ(second, entries[0].stream.at(1)) << level;
        EXPECT_EQ(text, inflate(entries[0].stream, entries[0].size)) << level;
        EXPECT_EQ(level[0] == '0', entries[0].stream.find(text) != std::string::npos) << level;
    }
    for (const char* bad : {" --level 10", " --level x", " --level ''"})
        EXPECT_EQ(2, runBuilder(work, list, work / "bad.arch", "", bad).status) << bad;
    EXPECT_FALSE(exists(work / "bad.arch"));
}

TEST(ArchiveBuilder, RefusesBadListsAndLeavesNoArchive) {
    Scratch work;
    writeFile(work / "a.txt", "a");
    const std::string a = work / "a.txt";
    struct Case {
        std::string list;
        std::string complaint;
    };
    const std::vector<Case> cases = {
        {a + "\tx.txt\n" + (work / "missing.txt") + "\ty.txt\n", "not found"},
        {a + "\tlib\\x.dll\n" + a + "\tlib\\x.dll\n", "duplicate"},
        {a + "\tlib\\X.dll\n" + a + "\tLIB\\x.dll\n", "duplicate"},
        {a + "\t\\abs.txt\n", "relative"},
        {a + "\tC:\\abs.txt\n", "relative"},
        {a + "\tlib\\..\\..\\up.txt\n", "relative"},
        {a + "\t..\n", "relative"},
        {a + "\tlib/x.dll\n", "\\"},
        {a + "\t\n", "relative"},
        {a + " x.txt\n", "TAB"},
        {(work.path()) + "\tfolder\n", "not found"},
    };
    for (const Case& c : cases) {
        const BuildResult result = runBuilder(work, c.list, work / "out.arch");
        EXPECT_NE(0, result.status) << c.list;
        EXPECT_NE(std::string::npos, result.errors.find(c.complaint)) << c.list << " -> " << result.errors;
        EXPECT_NE(std::string::npos, result.errors.find("list.txt:")) << result.errors;
        EXPECT_FALSE(exists(work / "out.arch")) << c.list;
        EXPECT_FALSE(exists(work / "out.arch.part")) << c.list;
    }
}

TEST(ArchiveBuilder, RefusedListKeepsThePreviousArchive) {
    Scratch work;
    writeFile(work / "out.arch", "previous");
    const BuildResult result = runBuilder(work, (work / "nothing") + "\tx\n", work / "out.arch");
    EXPECT_NE(0, result.status);
    EXPECT_EQ("previous", readFile(work / "out.arch"));
}

TEST(ArchiveBuilder, RefusesFilesOver2GiB) {
    Scratch work;
    const std::string huge = work / "huge.bin";
    writeFile(huge, "");
    ASSERT_EQ(0, truncate(huge.c_str(), 2147483648LL));  // sparse: takes no disk space
    const BuildResult result = runBuilder(work, huge + "\thuge.bin\n", work / "out.arch");
    EXPECT_NE(0, result.status);
    EXPECT_NE(std::string::npos, result.errors.find("larger than 2147483647")) << result.errors;
    EXPECT_FALSE(exists(work / "out.arch"));
}

TEST(ArchiveBuilder, EmptyListGivesAnArchiveWithNoEntries) {
    Scratch work;
    ASSERT_EQ(0, runBuilder(work, "# nothing yet\n", work / "out.arch").status);
    EXPECT_EQ(std::string("ARCH\0\0\0\0", 8), readFile(work / "out.arch"));
}
