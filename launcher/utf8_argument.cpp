#include "utf8_argument.h"

#include <cstring>

namespace scrivel {

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";

// The length of the well-formed sequence starting at p (at most `left`
// bytes), or the length of the maximal ill-formed subsequence there as a
// negative number.
int sequenceAt(const unsigned char* p, std::size_t left) {
    const unsigned char lead = p[0];
    if (lead < 0x80)
        return 1;
    int length;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return -1;
    }
    for (int i = 1; i < length; ++i) {
        if (static_cast<std::size_t>(i) >= left)
            return -i;
        const unsigned char lowHere = i == 1 ? low : 0x80, highHere = i == 1 ? high : 0xBF;
        if (p[i] < lowHere || p[i] > highHere)
            return -i;
    }
    return length;
}

}  // namespace

std::string wellFormedUtf8(const char* bytes) {
    std::string result;
    if (bytes == nullptr)
        return result;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    std::size_t left = std::strlen(bytes);
    result.reserve(left);
    while (left > 0) {
        const int n = sequenceAt(p, left);
        if (n > 0)
            result.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
        else
            result += kReplacement;
        const std::size_t used = static_cast<std::size_t>(n > 0 ? n : -n);
        p += used;
        left -= used;
    }
    return result;
}

}  // namespace scrivel
