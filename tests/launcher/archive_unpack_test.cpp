// Unpacking sound archives: what lands in the folder, and the object's life.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fs.h"
#include "test_support.h"

using namespace test_support;
using scrivel::BundleArchive;

namespace {

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
    Scratch dest;
    SampleTree tree;
    const Unpacked u = unpack(tree.bytes, dest.path());
    EXPECT_EQ(BundleArchive::Outcome::Complete, u.outcome);
    EXPECT_EQ(5, u.written);
    EXPECT_EQ(0, u.skipped);
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
    Scratch dest;
    unpack(archive({record("a\\b.txt", "ab")}), dest.path() + "/");
    EXPECT_EQ("ab", readFile(dest / "a/b.txt"));
}

TEST(BundleArchiveUnpack, ZeroOrNegativeCountLeavesTheFolderUntouched) {
    for (int32_t count : {0, -1, INT32_MIN}) {
        Scratch dest;
        writeFile(dest / "keep.txt", "kept");
        // Records after the count are never looked at.
        const Unpacked u = unpack(archive(count, {record("x.txt", "x")}), dest.path());
        EXPECT_EQ(std::vector<std::string>{"keep.txt"}, listTree(dest.path())) << count;
        EXPECT_EQ("kept", readFile(dest / "keep.txt"));
        EXPECT_EQ(BundleArchive::Outcome::Complete, u.outcome);
        EXPECT_EQ(0, u.written);
    }
}

TEST(BundleArchiveUnpack, AnythingButArchMagicWritesNothing) {
    const std::string body = int32Bytes(1) + record("x.txt", "x");
    // Fewer than four bytes cannot match.
    for (const std::string& bytes : {"HCRA" + body, "arch" + body, "ARCX" + body, std::string("\0RCH", 4) + body,
                                     std::string("ARC")}) {
        Scratch dest;
        EXPECT_EQ(BundleArchive::Outcome::BadMagic, unpack(bytes, dest.path()).outcome) << bytes;
        EXPECT_TRUE(listTree(dest.path()).empty()) << bytes;
    }
}

TEST(BundleArchiveUnpack, MissingOrNonFolderDestinationCreatesNothing) {
    Scratch sandbox;
    const std::string bytes = archive({record("lib\\a.dll", "a")});
    EXPECT_EQ(BundleArchive::Outcome::FolderUnusable, unpack(bytes, sandbox / "missing").outcome);
    EXPECT_FALSE(exists(sandbox / "missing"));

    writeFile(sandbox / "plain-file", "not a folder");
    EXPECT_EQ(BundleArchive::Outcome::FolderUnusable, unpack(bytes, sandbox / "plain-file").outcome);
    EXPECT_EQ("not a folder", readFile(sandbox / "plain-file"));
    EXPECT_EQ(std::vector<std::string>{"plain-file"}, listTree(sandbox.path()));

    EXPECT_EQ(BundleArchive::Outcome::FolderUnusable, unpack(bytes, "").outcome);
}

TEST(BundleArchiveUnpack, ExistingTargetEndsWithExactlyTheEntryBytes) {
    Scratch dest;
    writeFile(dest / "lib/a.dll", std::string(5000, 'o'));  // longer than the entry
    writeFile(dest / "lib/other.dll", "untouched");         // also shows the folder existed
    unpack(archive({record("lib\\a.dll", "new")}), dest.path());
    EXPECT_EQ("new", readFile(dest / "lib/a.dll"));
    EXPECT_EQ("untouched", readFile(dest / "lib/other.dll"));
}

TEST(BundleArchiveUnpack, EntryThatCannotBeOpenedIsPassedOverAndTheRestUnpacked) {
    Scratch dest;
    writeFile(dest / "lib", "a file where a folder is needed");
    const Unpacked u =
        unpack(archive({record("a.txt", "first"), record("lib\\b.dll", "blocked"), record("z.txt", "last")}),
               dest.path());
    EXPECT_EQ(BundleArchive::Outcome::Complete, u.outcome);
    EXPECT_EQ(2, u.written);
    EXPECT_EQ(1, u.skipped);
    EXPECT_EQ("first", readFile(dest / "a.txt"));
    EXPECT_EQ("last", readFile(dest / "z.txt"));
    EXPECT_EQ("a file where a folder is needed", readFile(dest / "lib"));
}

TEST(BundleArchiveLoad, EmptyBlockFailsAndLeavesNothingLoaded) {
    Scratch dest;
    const std::string sound = archive({record("a.txt", "a")});
    const auto* bytes = reinterpret_cast<const unsigned char*>(sound.data());
    const scrivel::platform::Folder folder(dest.path());
    BundleArchive reader;
    EXPECT_FALSE(reader.loadInPlace(bytes, 0));
    EXPECT_FALSE(reader.loadInPlace(nullptr, 0));
    EXPECT_FALSE(reader.loadInPlace(bytes, -5));
    reader.extractTo(folder);
    EXPECT_EQ(BundleArchive::Outcome::NotLoaded, reader.lastOutcome());

    // A failed load also drops the block that was held before.
    ASSERT_TRUE(reader.loadInPlace(bytes, static_cast<int32_t>(sound.size())));
    EXPECT_FALSE(reader.loadInPlace(bytes, 0));
    reader.extractTo(folder);
    EXPECT_EQ(BundleArchive::Outcome::NotLoaded, reader.lastOutcome());
    EXPECT_TRUE(listTree(dest.path()).empty());
}

TEST(BundleArchiveLoad, ASecondBlockReplacesTheFirstAndUnpacksAsOftenAsAsked) {
    Scratch first;
    Scratch second;
    const std::string one = archive({record("first.txt", "1")});
    SampleTree tree;
    BundleArchive reader;
    ASSERT_TRUE(reader.loadInPlace(reinterpret_cast<const unsigned char*>(one.data()),
                                   static_cast<int32_t>(one.size())));
    ASSERT_TRUE(reader.loadInPlace(reinterpret_cast<const unsigned char*>(tree.bytes.data()),
                                   static_cast<int32_t>(tree.bytes.size())));
    reader.extractTo(scrivel::platform::Folder(first.path()));
    writeFile(first / "lib/mscorlib.dll", "changed in between");
    reader.extractTo(scrivel::platform::Folder(first.path()));
    reader.extractTo(scrivel::platform::Folder(second.path()));
    EXPECT_EQ(5, reader.entriesWritten());
    EXPECT_EQ(tree.library, readFile(first / "lib/mscorlib.dll"));
    const std::vector<std::string> files = listTree(first.path());
    EXPECT_FALSE(exists(first / "first.txt"));
    EXPECT_EQ(files, listTree(second.path()));
    for (const std::string& f : files) {
        if (f.back() != '/') {
            EXPECT_EQ(readFile(first / f), readFile(second / f)) << f;
        }
    }
}

TEST(BundleArchiveLoad, ABlockCutShortStopsWhereItIsCut) {
    // The block's last byte is not the archive's: the last entry's data ends
    // short, and no part of that entry is left behind.
    SampleTree tree;
    Scratch cut;
    const Unpacked u = unpack(reinterpret_cast<const unsigned char*>(tree.bytes.data()),
                              static_cast<int32_t>(tree.bytes.size()) - 1, cut.path());
    EXPECT_EQ(BundleArchive::Outcome::Damaged, u.outcome);
    EXPECT_EQ(4, u.written);
    EXPECT_EQ(tree.library, readFile(cut / "lib/mscorlib.dll"));
    EXPECT_FALSE(exists(cut / "Scrivel.exe"));
}
