// The archive linked into an executable's read-only data. Built three times:
// with an archive (SCRIVEL_EXPECTED_ARCHIVE names its file), with an empty
// archive file, and with none at all.

#include <gtest/gtest.h>

#include <string>

#include "embedded_archive.h"
#include "test_support.h"

using namespace test_support;
using scrivel::BundleArchive;
using scrivel::EmbeddedArchive;
using scrivel::embeddedArchive;

#ifdef SCRIVEL_EXPECTED_ARCHIVE

TEST(EmbeddedArchive, IsTheArchiveFileByteForByte) {
    const std::string expected = readFile(SCRIVEL_EXPECTED_ARCHIVE);
    const EmbeddedArchive embedded = embeddedArchive();
    ASSERT_NE(nullptr, embedded.data);
    ASSERT_EQ(static_cast<int32_t>(expected.size()), embedded.length);
    EXPECT_TRUE(expected == std::string(reinterpret_cast<const char*>(embedded.data),
                                        static_cast<size_t>(embedded.length)));
}

TEST(EmbeddedArchive, UnpacksTheListedFiles) {
    const EmbeddedArchive embedded = embeddedArchive();
    Scratch dest;
    const Unpacked u = unpack(embedded.data, embedded.length, dest.path());
    ASSERT_TRUE(u.loaded);
    EXPECT_EQ(BundleArchive::Outcome::Complete, u.outcome);
    EXPECT_EQ(readFile(SCRIVEL_TEST_SOURCE_DIR "/archive_embed_test.cpp"), readFile(dest / "src/embed.cpp"));
    EXPECT_EQ(readFile(SCRIVEL_PROJECT_SOURCE_DIR "/launcher/embedded_archive.h"),
              readFile(dest / "include/embedded_archive.h"));
}

#else

TEST(EmbeddedArchive, MissingOrEmptyBlockHasLengthZero) {
    const EmbeddedArchive embedded = embeddedArchive();
    EXPECT_EQ(0, embedded.length);
    BundleArchive archive;
    EXPECT_FALSE(archive.loadInPlace(embedded.data, embedded.length));
}

#endif
