// Unpacking sound archives: what lands in the folder, and the object's life.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive_test_files.h"
#include "bundle_archive.h"

using namespace archive_test;
using scrivel::BundleArchive;

namespace {

const unsigned char* bytesOf(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

bool loadArchive(BundleArchive& archive, const std::string& bytes) {
    return archive.load(bytesOf(bytes), static_cast<int32_t>(bytes.size()));
}

// A small tree like the runtime's: nested folders, an empty file, names in
// mixed case.
struct SampleTree {
    std::string config = "<configuration>\r\n</configuration>\r\n";
    std::string library = mixedBytes(300000, 7);
    std::string browser = "browser caps";
    std::string tool = mixedBytes(20000, 9);
    std::string bytes = archive({record("etc\\mono\\2.0\\Browsers\\Compat.browser", browser),
                                 record("etc\\mono\\config", config),
                                 record("lib\\Empty.dll", ""),
                                 record("lib\\mscorlib.dll", library),
                                 record("Scrivel.exe", tool)});
};

}  // namespace

TEST(BundleArchiveUnpack, WritesEveryEntryByteForByteWithItsFolders) {
    ScratchFolder dest;
    SampleTree tree;
    BundleArchive archive;
    ASSERT_TRUE(loadArchive(archive, tree.bytes));
    archive.extractTo(dest.path().c_str());

    EXPECT_EQ(BundleArchive::Outcome::Complete, archive.lastOutcome());
    EXPECT_EQ(5, archive.entriesWritten());
    EXPECT_EQ(0, archive.entriesSkipped());
    const std::vector<std::string> expected = {
        "Scrivel.exe", "etc/", "etc/mono/", "etc/mono/2.0/", "etc/mono/2.0/Browsers/",
        "etc/mono/2.0/Browsers/Compat.browser", "etc/mono/config", "lib/", "lib/Empty.dll",
        "lib/mscorlib.dll"};
    EXPECT_EQ(expected, listTree(dest.path()));
    EXPECT_EQ(tree.browser, readFile(dest / "etc/mono/2.0/Browsers/Compat.browser"));
    EXPECT_EQ(tree.config, readFile(dest / "etc/mono/config"));
    EXPECT_EQ("", readFile(dest / "lib/Empty.dll"));
    EXPECT_EQ(tree.library, readFile(dest / "lib/mscorlib.dll"));
    EXPECT_EQ(tree.tool, readFile(dest / "Scrivel.exe"));
}

TEST(BundleArchiveUnpack, FolderGivenWithTrailingSeparatorWorksTheSame) {
    ScratchFolder dest;
    BundleArchive archive;
    ASSERT_TRUE(loadArchive(archive, archive_test::archive({record("a\\b.txt", "ab")})));
    archive.extractTo((dest.path() + "/").c_str());
    EXPECT_EQ("ab", readFile(dest / "a/b.txt"));
}

TEST(BundleArchiveUnpack, ZeroOrNegativeCountLeavesTheFolderUntouched) {
    for (int32_t count : {0, -1, INT32_MIN}) {
        ScratchFolder dest;
        writeFile(dest / "keep.txt", "kept");
        BundleArchive archive;
        // Records after the count are never looked at.
        ASSERT_TRUE(loadArchive(archive, archive_test::archive(count, {record("x.txt", "x")})));
        archive.extractTo(dest.path().c_str());
        EXPECT_EQ(std::vector<std::string>{"keep.txt"}, listTree(dest.path())) << count;
        EXPECT_EQ("kept", readFile(dest / "keep.txt"));
        EXPECT_EQ(BundleArchive::Outcome::Complete, archive.lastOutcome());
        EXPECT_EQ(0, archive.entriesWritten());
    }
}

TEST(BundleArchiveUnpack, AnythingButArchMagicWritesNothing) {
    const std::string body = int32Bytes(1) + record("x.txt", "x");
    for (const std::string& magic : {std::string("HCRA"), std::string("arch"), std::string("ARCX"),
                                     std::string("\0RCH", 4)}) {
        ScratchFolder dest;
        BundleArchive archive;
        ASSERT_TRUE(loadArchive(archive, magic + body));
        archive.extractTo(dest.path().c_str());
        EXPECT_TRUE(listTree(dest.path()).empty()) << magic;
        EXPECT_EQ(BundleArchive::Outcome::BadMagic, archive.lastOutcome());
    }
    // Fewer than four bytes cannot match.
    ScratchFolder dest;
    BundleArchive shortArchive;
    ASSERT_TRUE(loadArchive(shortArchive, "ARC"));
    shortArchive.extractTo(dest.path().c_str());
    EXPECT_EQ(BundleArchive::Outcome::BadMagic, shortArchive.lastOutcome());
    EXPECT_TRUE(listTree(dest.path()).empty());
}

TEST(BundleArchiveUnpack, MissingOrNonFolderDestinationCreatesNothing) {
    ScratchFolder sandbox;
    BundleArchive archive;
    ASSERT_TRUE(loadArchive(archive, archive_test::archive({record("lib\\a.dll", "a")})));

    const std::string missing = sandbox / "missing";
    archive.extractTo(missing.c_str());
    EXPECT_EQ(BundleArchive::Outcome::FolderUnusable, archive.lastOutcome());
    EXPECT_FALSE(exists(missing));

    writeFile(sandbox / "plain-file", "not a folder");
    archive.extractTo((sandbox / "plain-file").c_str());
    EXPECT_EQ(BundleArchive::Outcome::FolderUnusable, archive.lastOutcome());
    EXPECT_EQ("not a folder", readFile(sandbox / "plain-file"));
    EXPECT_EQ(std::vector<std::string>{"plain-file"}, listTree(sandbox.path()));

    archive.extractTo("");
    EXPECT_EQ(BundleArchive::Outcome::FolderUnusable, archive.lastOutcome());
}

TEST(BundleArchiveUnpack, ExistingTargetEndsWithExactlyTheEntryBytes) {
    ScratchFolder dest;
    writeFile(dest / "lib/a.dll", std::string(5000, 'o'));  // longer than the entry
    writeFile(dest / "lib/other.dll", "untouched");         // also shows the folder existed
    BundleArchive archive;
    ASSERT_TRUE(loadArchive(archive, archive_test::archive({record("lib\\a.dll", "new")})));
    archive.extractTo(dest.path().c_str());
    EXPECT_EQ("new", readFile(dest / "lib/a.dll"));
    EXPECT_EQ("untouched", readFile(dest / "lib/other.dll"));
}

TEST(BundleArchiveUnpack, EntryThatCannotBeOpenedIsPassedOverAndTheRestUnpacked) {
    ScratchFolder dest;
    writeFile(dest / "lib", "a file where a folder is needed");
    BundleArchive archive;
    ASSERT_TRUE(loadArchive(archive, archive_test::archive({record("a.txt", "first"),
                                                             record("lib\\b.dll", "blocked"),
                                                             record("z.txt", "last")})));
    archive.extractTo(dest.path().c_str());
    EXPECT_EQ(BundleArchive::Outcome::Complete, archive.lastOutcome());
    EXPECT_EQ(2, archive.entriesWritten());
    EXPECT_EQ(1, archive.entriesSkipped());
    EXPECT_EQ("first", readFile(dest / "a.txt"));
    EXPECT_EQ("last", readFile(dest / "z.txt"));
    EXPECT_EQ("a file where a folder is needed", readFile(dest / "lib"));
}

TEST(BundleArchiveLoad, EmptyBlockFailsAndLeavesNothingLoaded) {
    ScratchFolder dest;
    const std::string sound = archive_test::archive({record("a.txt", "a")});
    BundleArchive archive;
    EXPECT_FALSE(archive.load(bytesOf(sound), 0));
    EXPECT_FALSE(archive.load(nullptr, 0));
    EXPECT_FALSE(archive.load(bytesOf(sound), -5));
    archive.extractTo(dest.path().c_str());
    EXPECT_EQ(BundleArchive::Outcome::NotLoaded, archive.lastOutcome());

    // A failed load also drops a copy that was held before.
    ASSERT_TRUE(loadArchive(archive, sound));
    EXPECT_FALSE(archive.load(bytesOf(sound), 0));
    archive.extractTo(dest.path().c_str());
    EXPECT_EQ(BundleArchive::Outcome::NotLoaded, archive.lastOutcome());
    EXPECT_TRUE(listTree(dest.path()).empty());
}

TEST(BundleArchiveLoad, SecondLoadReplacesTheFirstCopy) {
    ScratchFolder dest;
    BundleArchive archive;
    ASSERT_TRUE(loadArchive(archive, archive_test::archive({record("first.txt", "1")})));
    ASSERT_TRUE(loadArchive(archive, archive_test::archive({record("second.txt", "2")})));
    archive.extractTo(dest.path().c_str());
    EXPECT_EQ(std::vector<std::string>{"second.txt"}, listTree(dest.path()));
}

TEST(BundleArchiveLoad, KeepsItsOwnCopyOfTheBlock) {
    ScratchFolder dest;
    std::string block = archive_test::archive({record("a.txt", "original")});
    BundleArchive archive;
    ASSERT_TRUE(loadArchive(archive, block));
    std::fill(block.begin(), block.end(), '\0');  // the caller releases its block
    archive.extractTo(dest.path().c_str());
    EXPECT_EQ("original", readFile(dest / "a.txt"));
}

TEST(BundleArchiveUnpack, ExtractingTwiceGivesTheSameResult) {
    ScratchFolder first;
    ScratchFolder second;
    SampleTree tree;
    BundleArchive archive;
    ASSERT_TRUE(loadArchive(archive, tree.bytes));
    archive.extractTo(first.path().c_str());
    writeFile(first / "lib/mscorlib.dll", "changed in between");
    archive.extractTo(first.path().c_str());
    archive.extractTo(second.path().c_str());
    EXPECT_EQ(5, archive.entriesWritten());
    EXPECT_EQ(tree.library, readFile(first / "lib/mscorlib.dll"));
    const std::vector<std::string> files = listTree(first.path());
    EXPECT_EQ(files, listTree(second.path()));
    for (const std::string& f : files)
        if (f.back() != '/') EXPECT_EQ(readFile(first / f), readFile(second / f)) << f;
}

TEST(BundleArchiveLoad, InPlaceUnpacksTheBlockWhereItLiesAndStopsWhereItIsCut) {
    SampleTree tree;
    const int32_t length = static_cast<int32_t>(tree.bytes.size());
    BundleArchive archive;
    EXPECT_FALSE(archive.loadInPlace(bytesOf(tree.bytes), 0));

    ScratchFolder whole;
    ASSERT_TRUE(archive.loadInPlace(bytesOf(tree.bytes), length));
    archive.extractTo(whole.path().c_str());
    EXPECT_EQ(5, archive.entriesWritten());
    EXPECT_EQ(tree.library, readFile(whole / "lib/mscorlib.dll"));
    EXPECT_EQ(tree.tool, readFile(whole / "Scrivel.exe"));

    // The block's last byte is not the archive's: the last entry's data ends
    // short, and no part of that entry is left behind.
    ScratchFolder cut;
    ASSERT_TRUE(archive.loadInPlace(bytesOf(tree.bytes), length - 1));
    archive.extractTo(cut.path().c_str());
    EXPECT_EQ(BundleArchive::Outcome::Damaged, archive.lastOutcome());
    EXPECT_EQ(4, archive.entriesWritten());
    EXPECT_EQ(tree.library, readFile(cut / "lib/mscorlib.dll"));
    EXPECT_FALSE(exists(cut / "Scrivel.exe"));
}
