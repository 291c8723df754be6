#include "entry_name.h"

namespace scrivel {

bool isSafeEntryName(const char* name, int32_t length) {
    if (name == nullptr || length <= 0) return false;
    int32_t componentStart = 0;
    bool onlyDotsAndSpaces = true;
    for (int32_t i = 0; i <= length; ++i) {
        const char c = i == length ? '\\' : name[i];
        if (c == '\0' || c == ':') return false;
        if (c == '\\' || c == '/') {
            // Empty: a leading, doubled or trailing separator.
            if (i == componentStart || onlyDotsAndSpaces) return false;
            componentStart = i + 1;
            onlyDotsAndSpaces = true;
        } else if (c != '.' && c != ' ') {
            onlyDotsAndSpaces = false;
        }
    }
    return true;
}

}  // namespace scrivel
