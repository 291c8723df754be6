// The operating-system layer under the launcher driver and the runtime
// hosting: output mode, the working folder's place, its safe removal and
// creation, the lock that serialises launchers of one user, clean-up when the
// process ends early, and dynamic libraries. One implementation per platform
// (host_linux.cpp, host_windows.cpp); the driver itself stays platform-neutral.
//
// All paths are 8-bit strings. Functions that can fail return false (or an
// empty handle) and leave a one-line reason in `error` for the driver's
// console report; none of them prints anything.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace scrivel::host {

// Every path the launcher forms must fit, with its terminating NUL, in this
// many bytes.
constexpr std::size_t kMaxPath = 260;

// Name of the working folder inside the temporary directory.
constexpr const char* kWorkFolderName = "ScrivelTempFiles";

// ---- output -----------------------------------------------------------------

// Console mode: the tool's output reaches the user's console (Windows attaches
// to the parent's console or creates one; Linux keeps the inherited streams).
// Silent mode: nothing of the tool reaches a terminal or a redirected stream:
// standard output and standard error go to the null device.
enum class OutputMode { Console, Silent };

// Sets the process up for the chosen mode. Called once, first of all.
void beginOutput(OutputMode mode);

// Releases whatever beginOutput took (Windows: FreeConsole; a console created
// for this process first shows "Press any key to close this window." and
// waits for a key). Harmless twice.
void endOutput();

// One line about a launcher failure on standard error, in console mode only;
// silent mode drops it. `text` carries no line end.
void reportFailure(const std::string& text);

// ---- paths ------------------------------------------------------------------

// The directory for temporary files of this user, without a trailing
// separator (Linux: $XDG_RUNTIME_DIR when it is a directory of this user,
// else $TMPDIR, else /tmp; only absolute values count). False when none can
// be found.
bool temporaryDirectory(std::string& dir, std::string& error);

// `dir` and `name` joined with exactly one separator.
std::string joinPath(const std::string& dir, const std::string& name);

// The absolute path of the running executable (Linux: /proc/self/exe);
// `fallback` (the start-up code's element 0) when it cannot be determined.
std::string executablePath(const char* fallback);

// Prepares the process's locale before the runtime starts (Linux:
// setlocale(LC_ALL, "")); nothing where the platform needs nothing.
void prepareLocale();

// ---- the working folder -----------------------------------------------------

// Outcome of removing whatever is at the working folder's path.
enum class RemoveResult {
    Absent,    // nothing was there
    Removed,   // it was there and is gone (a link or file is removed itself,
               // never what a link points at)
    Foreign,   // it belongs to another user and was left untouched
    Failed     // it was ours but could not be removed completely
};

// Removes the working folder with all its content. Never follows a symbolic
// link and never touches anything that belongs to another user.
RemoveResult removeWorkFolder(const std::string& folder);

// Creates the working folder, private to the user, and accepts it only if it
// then is a real directory owned by the user.
bool createWorkFolder(const std::string& folder, std::string& error);

// Names of the entries in a directory, "." and ".." left out; empty when it
// cannot be read. The driver finds spare working folders of earlier runs
// with it.
std::vector<std::string> entryNames(const std::string& dir);

// This process's identifier, which makes the names of spare working folders
// unique among running launchers.
unsigned long processId();

// Takes an exclusive lock that serialises launchers of the same user on the
// working folder (a lock file beside it). Blocks while another launcher holds
// it. False, with a reason, when the lock cannot be taken at all.
bool lockWorkFolder(const std::string& folder, std::string& error);

// Gives the lock up. Harmless when it is not held.
void unlockWorkFolder();

// From now on, an early end of the process (exit() called by the runtime, a
// terminating signal such as SIGINT, SIGTERM or SIGHUP) removes `folder` as
// removeWorkFolder does. An exit() while armed also ends the process with
// exit code 0, like every other path of the launcher.
void armCleanup(const std::string& folder);

// Ends the above; called after the last deletion, before the lock goes.
void disarmCleanup();

// ---- dynamic libraries ------------------------------------------------------

// File name of the runtime library inside the working folder.
const char* runtimeLibraryName();

// Path handed to the runtime's configuration parser: <etc>/mono/config, named
// explicitly so that settings of the environment (MONO_CONFIG, a
// configuration in the user's home) cannot replace the bundled one.
std::string runtimeConfigFile(const std::string& etcFolder);

// Loads a library by full path, its symbols visible to libraries loaded after
// it (Linux: RTLD_NOW | RTLD_GLOBAL). Null on failure, with the system's text.
void* loadLibrary(const std::string& path, std::string& error);

// Address of an exported name, or null. Nothing is reported.
void* findSymbol(void* library, const char* name);

}  // namespace scrivel::host
