// Linux: what runs inside a signal handler or an exit handler while the tool
// runs, the removal of the working folder and the clean-up armed around the
// run. Async-signal-safe: no allocation, no std::string, no stdio (but for
// the exit handler's flush); fixed buffers on the stack, directories read
// with getdents64 and emptied with unlinkat. Only the set-up (armRemoval,
// which installs the handlers) runs outside those contexts.
#pragma once

#include "platform/host.h"

namespace scrivel::platform {

// Whether a directory entry's name is "." or "..".
bool isDotEntry(const char* name);

// Removes whatever is at `path` as removeWorkFolder does: never through a
// symbolic link, never anything of another user, never below a mount point.
RemoveResult removeTree(const char* path);

// What armCleanup and disarmCleanup do, for a path of `length` bytes
// (without its NUL); a path longer than the buffer the handlers use is not
// armed.
void armRemoval(const char* path, std::size_t length);
void disarmRemoval();

}  // namespace scrivel::platform
