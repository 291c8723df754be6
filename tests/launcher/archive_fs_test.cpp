// The Linux file-system layer under the unpacking.

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "archive_test_files.h"
#include "platform/fs.h"

using namespace archive_test;

TEST(PlatformFs, JoinMapsStoredBackslashesAndAddsOneSeparator) {
    char out[platform::kMaxPath];
    ASSERT_TRUE(platform::joinPath(out, "/tmp/w", "etc\\mono\\config"));
    EXPECT_STREQ("/tmp/w/etc/mono/config", out);
    ASSERT_TRUE(platform::joinPath(out, "/tmp/w/", "mono.dll"));
    EXPECT_STREQ("/tmp/w/mono.dll", out);
    const char stored[] = "lib\\a.dll";
    platform::joinPath(out, "/x", stored);
    EXPECT_STREQ("lib\\a.dll", stored);
}

TEST(PlatformFs, JoinRefusesWhatDoesNotFitIn260Bytes) {
    char out[platform::kMaxPath];
    const std::string folder(100, 'f');
    const std::string fits(260 - 100 - 2, 'n');  // folder + "/" + name + NUL == 260
    ASSERT_TRUE(platform::joinPath(out, folder.c_str(), fits.c_str()));
    EXPECT_EQ(259u, std::string(out).size());
    EXPECT_FALSE(platform::joinPath(out, folder.c_str(), (fits + "n").c_str()));
    EXPECT_STREQ("", out);
}

TEST(PlatformFs, RemoveLastComponent) {
    const std::pair<std::string, std::string> cases[] = {
        {"/tmp/w/etc/config", "/tmp/w/etc"}, {"/tmp", "/"}, {"name", ""}, {"a/b", "a"}};
    for (const auto& c : cases) {
        char path[platform::kMaxPath];
        std::snprintf(path, sizeof path, "%s", c.first.c_str());
        platform::removeLastComponent(path);
        EXPECT_EQ(c.second, path) << c.first;
    }
}

TEST(PlatformFs, DirectoryAndExistenceTests) {
    ScratchFolder root;
    writeFile(root / "file", "x");
    EXPECT_TRUE(platform::isDirectory(root.path().c_str()));
    EXPECT_FALSE(platform::isDirectory((root / "file").c_str()));
    EXPECT_FALSE(platform::isDirectory((root / "none").c_str()));
    EXPECT_FALSE(platform::isDirectory(""));
    EXPECT_TRUE(platform::pathExists((root / "file").c_str()));
    EXPECT_TRUE(platform::pathExists(root.path().c_str()));
    EXPECT_FALSE(platform::pathExists((root / "none").c_str()));

    // A folder that cannot be listed is no destination.
    const std::string locked = root / "locked";
    ASSERT_EQ(0, mkdir(locked.c_str(), 0300));
    if (geteuid() != 0) EXPECT_FALSE(platform::isDirectory(locked.c_str()));
}

TEST(PlatformFs, CreateFolderTreeMakesEveryMissingFolderPrivate) {
    ScratchFolder root;
    mkdir((root / "a").c_str(), 0700);
    chmod((root / "a").c_str(), 0755);
    const std::string deep = root / "a/b/c/d";
    ASSERT_TRUE(platform::createFolderTree(deep.c_str()));
    EXPECT_TRUE(platform::isDirectory(deep.c_str()));
    struct stat info;
    ASSERT_EQ(0, stat((root / "a/b").c_str(), &info));
    EXPECT_EQ(0700u, info.st_mode & 0777u);
    ASSERT_EQ(0, stat((root / "a").c_str(), &info));
    EXPECT_EQ(0755u, info.st_mode & 0777u);  // existing folders are left alone

    writeFile(root / "file", "x");
    EXPECT_FALSE(platform::createFolderTree((root / "file/sub").c_str()));
    EXPECT_TRUE(platform::createFolderTree(deep.c_str()));  // already there
}

TEST(PlatformFs, OpenForWritingTruncates) {
    ScratchFolder root;
    writeFile(root / "f", "long old content");
    std::FILE* f = platform::openForWriting((root / "f").c_str());
    ASSERT_NE(nullptr, f);
    std::fputs("new", f);
    std::fclose(f);
    EXPECT_EQ("new", readFile(root / "f"));
    EXPECT_EQ(nullptr, platform::openForWriting((root / "missing/f").c_str()));
}
