// Windows: the archive is the resource of type RT_RCDATA with identifier 129
// in the executable's own module, found by type and identifier whatever its
// language. The bytes stay mapped with the module for the whole process, so
// there is nothing to release: FreeResource has no effect on a resource of a
// module's own image.

#include "embedded_archive.h"

#include <windows.h>

#include <cstdint>

namespace scrivel {

namespace {
constexpr WORD kArchiveResourceId = 129;
}

EmbeddedArchive embeddedArchive() {
    HRSRC info = FindResourceA(nullptr, MAKEINTRESOURCEA(kArchiveResourceId), MAKEINTRESOURCEA(10));
    if (info == nullptr) return EmbeddedArchive{nullptr, 0};
    const DWORD size = SizeofResource(nullptr, info);
    HGLOBAL loaded = LoadResource(nullptr, info);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0 || size > static_cast<DWORD>(INT32_MAX))
        return EmbeddedArchive{nullptr, 0};
    return EmbeddedArchive{static_cast<const unsigned char*>(bytes), static_cast<int32_t>(size)};
}

void releaseEmbeddedArchive(const EmbeddedArchive&) {}

}  // namespace scrivel
