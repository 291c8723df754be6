#pragma once

#include <string>

namespace scrivel {

// The bytes of a command-line argument as well-formed UTF-8: every maximal
// ill-formed subsequence (a stray continuation byte, a sequence cut short,
// an overlong form, a surrogate, a value beyond U+10FFFF) becomes U+FFFD,
// everything else stays byte for byte. The runtime refuses to start a
// program at all when one argument is not UTF-8.
std::string wellFormedUtf8(const char* bytes);

}  // namespace scrivel
