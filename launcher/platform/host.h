// The operating-system layer under the launcher driver and the runtime
// hosting: output mode, the working folder's place, its safe removal and
// creation, the lock that serialises launchers of one user, clean-up when the
// process ends early, and dynamic libraries. One implementation per platform
// (host_linux.cpp with signal_safe_linux.cpp, host_windows.cpp); the driver
// itself stays platform-neutral.
//
// All paths are 8-bit strings (fs.h). Functions that can fail return false
// (or an empty handle) and leave a one-line reason in `error` for the
// driver's console report; none of them prints anything, except that a
// launcher kept waiting for the lock says so (lockWorkFolder).
#pragma once

#include <string>
#include <vector>

#include "platform/fs.h"

namespace scrivel::platform {

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

// A place where the temporary directory of this run may be: where it comes
// from (for messages) and the path as given.
struct TempCandidate {
    std::string origin;  // "$TMPDIR", "/tmp", ...
    std::string path;
    bool cache = false;  // the user's cache folder (Linux)
    bool fresh = false;  // a new folder for this run alone, made inside
                         // `path` and removed after the run (Linux)
};

// The places for the temporary directory, best first. Linux:
// $XDG_RUNTIME_DIR, $TMPDIR, /tmp, then the user's cache folder
// ($XDG_CACHE_HOME, or ~/.cache of $HOME and then of the home folder the
// user database names), last a fresh folder in /tmp. Windows: the user's
// temporary directory.
std::vector<TempCandidate> temporaryCandidates();

// Checks a candidate and opens the directory in which the working folder
// and its lock will live, without a trailing separator. Linux: its path is
// followed from the root, and no link on it may belong to a user other than
// root and this one; every folder on the way must belong to root or the user
// and, unless it has the sticky bit, be writable by nobody else; a shared
// folder (/tmp) gets a private folder of the user inside it, "scrivel-<uid>",
// mode 0700, the cache folder one named "scrivel-launcher" (the cache folder
// itself is created if missing, but only once the folders above it passed),
// and a fresh candidate a new folder "scrivel-<uid>-<6 random characters>";
// the directory must allow running programs (not mounted noexec) and leave
// room below it within kMaxPath. False with a one-clause reason naming the
// candidate, or with an empty reason when the candidate is not set at all.
bool openTemporaryDirectory(const TempCandidate& candidate, Folder& dir, std::string& reason);

// Whether a failure to load the runtime library says that the folder does
// not allow running programs, so another place may do (Linux: the loader
// could not map the library). Never on Windows.
bool isExecutionRefused(const std::string& loaderError);

// The absolute path of the running executable (Linux: /proc/self/exe), as
// the runtime takes an argument: UTF-8 (Linux: made well-formed, see
// utf8_argument.h); `fallback` (the start-up code's element 0) when it
// cannot be determined.
std::string executablePath(const char* fallback);

// Prepares the process's locale before the runtime starts (Linux:
// setlocale(LC_ALL, "")); nothing where the platform needs nothing.
void prepareLocale();

// Removes every variable whose name starts with `prefix` from the process's
// environment (Windows: names compared without regard to case, and the C
// runtime's copy of the environment as well as the process's own).
void removeEnvironmentVariables(const char* prefix);

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

// Creates the folder `name` inside `parent`, private to the user, and
// accepts it only if it then is a real directory owned by the user; `created`
// holds it open (Linux: created and opened through the parent's descriptor,
// never through a link). `outOfSpace`, where given, tells whether it could
// not be created for lack of space.
bool createWorkFolder(const Folder& parent, const std::string& name, Folder& created, std::string& error,
                      bool* outOfSpace = nullptr);

// Whether `folder` is still the working folder this run created, checked
// right before the runtime is loaded from it: its path leads to the very
// directory held open (same device and inode), which belongs to the user,
// has mode 0700 and holds the runtime library as a plain file of the user.
// Always true on Windows.
bool isStillWorkFolder(const Folder& folder, std::string& error);

// Names of the entries in a directory, "." and ".." left out; empty when it
// cannot be read. The driver finds spare working folders of earlier runs
// with it.
std::vector<std::string> entryNames(const std::string& dir);

// This process's identifier, which makes the names of spare working folders
// unique among running launchers.
unsigned long processId();

// Takes an exclusive lock that serialises launchers of the same user on the
// working folder (a lock file beside it). Blocks while another launcher holds
// it; on Linux, after about a second of that, a line in console mode says
// so. False, with a reason, when the lock cannot be taken at all.
bool lockWorkFolder(const std::string& folder, std::string& error);

// Gives the lock up. Harmless when it is not held.
void unlockWorkFolder();

// From now on, an early end of the process (exit() called by the runtime, a
// signal whose default action ends the process and that the runtime does not
// take for itself: SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGALRM, SIGXCPU, ...;
// Windows: Ctrl+C, closing the console, log-off) removes `folder` as
// removeWorkFolder does; the signal then ends the process as it would have.
// An exit() while armed also ends the process with exit code 0, like every
// other path of the launcher.
void armCleanup(const std::string& folder);

// Ends the above; called after the last deletion, before the lock goes.
void disarmCleanup();

// ---- dynamic libraries ------------------------------------------------------

// File name of the runtime library inside the working folder.
const char* runtimeLibraryName();

// Loads a library by full path, its symbols visible to libraries loaded after
// it (Linux: RTLD_NOW | RTLD_GLOBAL). Null on failure, with the system's text.
void* loadLibrary(const std::string& path, std::string& error);

// Address of an exported name, or null. Nothing is reported.
void* findSymbol(void* library, const char* name);

}  // namespace scrivel::platform
