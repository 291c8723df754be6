#pragma once
// Which archive entry names may be written below a destination folder.

#include <cstdint>

namespace scrivel {

// A stored name is safe when it is non-empty, relative (no leading separator,
// no drive or stream colon), free of NUL bytes, and every component between
// "\" or "/" separators is non-empty and not made of dots and spaces only
// (which covers "." and ".." and the spellings Windows trims down to them).
bool isSafeEntryName(const char* name, int32_t length);

}  // namespace scrivel
