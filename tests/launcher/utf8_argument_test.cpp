// Arguments handed to the runtime: well-formed UTF-8 passes byte for byte,
// each maximal ill-formed subsequence becomes one U+FFFD.

#include <string>

#include <gtest/gtest.h>

#include "utf8_argument.h"

TEST(Utf8Argument, IllFormedSequencesBecomeOneReplacementEachAndTheRestStays) {
    const std::string R = "\xEF\xBF\xBD";
    const struct {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"plain.upk", "plain.upk"},
        {"\xC3\xBC \xE2\x98\x85 \xF0\x9F\x98\x80", "\xC3\xBC \xE2\x98\x85 \xF0\x9F\x98\x80"},  // 2, 3, 4 bytes
        {"bad\xFF\xFEname.upk", "bad" + R + R + "name.upk"},
        {"\x80x", R + "x"},                      // stray continuation byte
        {"\xC3", R},                             // cut short at the end
        {"\xE2\x98x", R + "x"},                  // cut short before another character
        {"\xC0\xAF", R + R},                     // overlong
        {"\xE0\x80\xAF", R + R + R},             // overlong of three bytes
        {"\xED\xA0\x80", R + R + R},             // a surrogate
        {"\xF4\x90\x80\x80", R + R + R + R},     // beyond U+10FFFF
        {"\xF0\x9F\x98", R},                     // four-byte sequence cut short
        {"\xEF\xBF\xBD", R},                     // U+FFFD itself stays
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.out, scrivel::wellFormedUtf8(c.in.c_str())) << c.in;
    EXPECT_EQ("", scrivel::wellFormedUtf8(nullptr));
}
