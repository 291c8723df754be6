#include <gtest/gtest.h>

#include <string>

#include "entry_name.h"

using scrivel::isSafeEntryName;

namespace {
bool safe(const std::string& name) {
    return isSafeEntryName(name.data(), static_cast<int32_t>(name.size()));
}
}  // namespace

TEST(EntryName, AcceptsRelativeNamesWithBackslashes) {
    EXPECT_TRUE(safe("mono.dll"));
    EXPECT_TRUE(safe("etc\\mono\\2.0\\Browsers\\Compat.browser"));
    EXPECT_TRUE(safe("lib\\System.Runtime.Serialization.Formatters.Soap.dll"));
    EXPECT_TRUE(safe("a..b\\.hidden\\x."));  // dots inside names are ordinary
}

TEST(EntryName, RefusesNamesThatCouldLeaveTheFolder) {
    for (const std::string name :
         {"", "..", ".", "..\\x", "a\\..\\b", "a\\..", "a/../b", "\\x", "/x", "C:\\x", "C:x",
          "x:stream", "a\\\\b", "a\\", "a//b", "...", ". .", ".. \\x", "a\\. \\b"})
        EXPECT_FALSE(safe(name)) << name;
    EXPECT_FALSE(safe(std::string("a\0b", 3)));
    EXPECT_FALSE(isSafeEntryName(nullptr, 3));
    EXPECT_FALSE(isSafeEntryName("abc", -1));
}

TEST(EntryName, LooksOnlyAtTheGivenLength) {
    EXPECT_TRUE(isSafeEntryName("abc\\..", 3));
    EXPECT_FALSE(isSafeEntryName("..\\abc", 2));
}
