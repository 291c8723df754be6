// The Linux file layer under the unpacking: paths, and entries created
// through the destination folder's descriptor.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs.h"
#include "test_support.h"

using namespace test_support;
namespace platform = scrivel::platform;

namespace {

// Writes `bytes` as the entry `name` below `folder`; false when it cannot be opened.
bool writeEntry(const platform::Folder& folder, const std::string& name, const std::string& bytes) {
    std::FILE* f = platform::openEntry(folder, name);
    if (f == nullptr) return false;
    std::fputs(bytes.c_str(), f);
    std::fclose(f);
    return true;
}

}  // namespace

TEST(PlatformFs, JoinMapsStoredBackslashesAndAddsOneSeparator) {
    EXPECT_EQ("/tmp/w/etc/mono/config", platform::joinPath("/tmp/w", "etc\\mono\\config"));
    EXPECT_EQ("/tmp/w/mono.dll", platform::joinPath("/tmp/w/", "mono.dll"));
    EXPECT_EQ("/ScrivelTempFiles", platform::joinPath("/", "ScrivelTempFiles"));
    EXPECT_EQ("/odd\\dir/x", platform::joinPath("/odd\\dir", "x"));  // only the name is mapped
}

TEST(PlatformFs, AFolderIsOpenOnlyForAnExistingDirectory) {
    Scratch root;
    writeFile(root / "file", "x");
    EXPECT_TRUE(platform::Folder(root.path()).isOpen());
    EXPECT_FALSE(platform::Folder(root / "file").isOpen());
    EXPECT_FALSE(platform::Folder(root / "none").isOpen());
    EXPECT_FALSE(platform::Folder("").isOpen());
    EXPECT_EQ(nullptr, platform::openEntry(platform::Folder(root / "none"), "a"));
}

TEST(PlatformFs, EntriesCreateMissingFoldersPrivatelyAndTruncate) {
    Scratch root;
    mkdir((root / "a").c_str(), 0755);
    const platform::Folder folder(root.path());
    ASSERT_TRUE(writeEntry(folder, "a\\b\\c\\f", "long old content"));
    ASSERT_TRUE(writeEntry(folder, "a\\b\\c\\f", "new"));
    EXPECT_EQ("new", readFile(root / "a/b/c/f"));
    struct stat info;
    ASSERT_EQ(0, stat((root / "a/b").c_str(), &info));
    EXPECT_EQ(0700u, info.st_mode & 0777u);
    ASSERT_EQ(0, stat((root / "a").c_str(), &info));
    EXPECT_EQ(0755u, info.st_mode & 0777u);  // existing folders are left alone
    ASSERT_EQ(0, stat((root / "a/b/c/f").c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 0777u);

    platform::removeEntry(folder, "a\\b\\c\\f");
    EXPECT_FALSE(exists(root / "a/b/c/f"));
    writeFile(root / "plain", "x");
    EXPECT_FALSE(writeEntry(folder, "plain\\sub", "y"));  // a file on the way
}

TEST(PlatformFs, NoLinkIsFollowedOnTheWay) {
    Scratch root;
    mkdir((root / "dest").c_str(), 0700);
    mkdir((root / "outside").c_str(), 0700);
    ASSERT_EQ(0, symlink((root / "outside").c_str(), (root / "dest/lib").c_str()));
    EXPECT_FALSE(writeEntry(platform::Folder(root / "dest"), "lib\\a.dll", "evil"));
    EXPECT_TRUE(listTree(root / "outside").empty());
}

TEST(PlatformFs, AFolderReplacedAfterOpeningIsNeverWrittenInto) {
    Scratch root;
    mkdir((root / "dest").c_str(), 0700);
    const platform::Folder folder(root / "dest");
    ASSERT_EQ(0, rename((root / "dest").c_str(), (root / "moved").c_str()));
    mkdir((root / "dest").c_str(), 0777);
    ASSERT_TRUE(writeEntry(folder, "lib\\a.dll", "ours"));
    EXPECT_EQ("ours", readFile(root / "moved/lib/a.dll"));
    EXPECT_TRUE(listTree(root / "dest").empty());
}

TEST(PlatformFs, APathBeyondTheLimitIsRefused) {
    Scratch root;
    const platform::Folder folder(root.path());
    // Components of 200 bytes up to the limit: root + "/" + name + NUL.
    std::string name;
    while (platform::kMaxPath - root.path().size() - 2 - name.size() > 250)
        name += std::string(200, 'n') + "\\";
    const std::string fits = name + std::string(platform::kMaxPath - root.path().size() - 2 - name.size(), 'f');
    EXPECT_EQ(platform::kMaxPath - 1, platform::joinPath(root.path(), fits).size());
    EXPECT_TRUE(writeEntry(folder, fits, "fits"));
    EXPECT_FALSE(writeEntry(folder, fits + "g", "too long"));
}
