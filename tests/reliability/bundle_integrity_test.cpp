// The archive the Linux executable carries, checked after every build: it
// unpacks into exactly the files of its list, each byte for byte its source,
// and the executable holds that very archive.
//
// SCRIVEL_ARCHIVE       the archive as built
// SCRIVEL_ARCHIVE_LIST  its list, configured (absolute source<TAB>entry name)
// SCRIVEL_EXECUTABLE    the single executable

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "test_support.h"

using namespace test_support;
using scrivel::BundleArchive;

namespace {

struct ListedFile {
    std::string source;  // absolute path
    std::string name;    // relative path with "/" separators
};

std::vector<ListedFile> readList() {
    std::vector<ListedFile> files;
    std::ifstream in(SCRIVEL_ARCHIVE_LIST);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#' || line.find_first_not_of(" \t") == std::string::npos)
            continue;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0)
            continue;
        ListedFile file;
        file.source = line.substr(0, tab);
        file.name = line.substr(tab + 1);
        std::replace(file.name.begin(), file.name.end(), '\\', '/');
        files.push_back(file);
    }
    return files;
}

// The files of a tree (not its folders), as listTree gives them.
std::vector<std::string> filesOf(const std::string& root) {
    std::vector<std::string> files;
    for (const std::string& entry : listTree(root))
        if (entry.back() != '/')
            files.push_back(entry);
    return files;
}

}  // namespace

TEST(BundleIntegrity, TheArchiveUnpacksIntoExactlyItsListedFilesByteForByte) {
    const std::vector<ListedFile> listed = readList();
    ASSERT_GE(listed.size(), 2u) << "no list at " << SCRIVEL_ARCHIVE_LIST;
    Scratch dest;
    const Unpacked u = unpack(readFile(SCRIVEL_ARCHIVE), dest.path());
    ASSERT_EQ(BundleArchive::Outcome::Complete, u.outcome);
    EXPECT_EQ(0, u.skipped);
    EXPECT_EQ(static_cast<int32_t>(listed.size()), u.written);

    std::vector<std::string> expectedNames;
    for (const ListedFile& file : listed) {
        expectedNames.push_back(file.name);
        ASSERT_TRUE(exists(dest / file.name)) << file.name << " was not unpacked";
        const std::string source = readFile(file.source);
        const std::string unpacked = readFile(dest / file.name);
        EXPECT_EQ(source.size(), unpacked.size()) << file.name;
        EXPECT_TRUE(source == unpacked) << file.name << " differs from " << file.source;
    }
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(expectedNames, filesOf(dest.path())) << "files beyond the list were unpacked";
}

TEST(BundleIntegrity, TheExecutableCarriesThatArchive) {
    const std::string archive = readFile(SCRIVEL_ARCHIVE);
    const std::string executable = readFile(SCRIVEL_EXECUTABLE);
    ASSERT_GT(archive.size(), 8u);
    EXPECT_NE(std::string::npos, executable.find(archive)) << SCRIVEL_EXECUTABLE << " does not hold " << SCRIVEL_ARCHIVE;
}
