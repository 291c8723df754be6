// Windows implementation of the launcher's OS layer.
//
// Paths are UTF-8 and go through the wide system interfaces (see
// utf8_windows.h). The working folder lives in the user's own temporary
// directory; its removal never follows a junction or symbolic link.
//
// The runtime stays loaded until the process ends, and Windows does not
// delete a loaded library or an assembly the runtime has mapped: the removal
// at the end of a run leaves those files (and the folders around them)
// behind, and the next start removes them.

#include "host.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/utf8_windows.h"

namespace scrivel::platform {

namespace {

OutputMode g_mode = OutputMode::Console;

// ---- console -------------------------------------------------------------------

// Makes the C runtime's standard output write to the console's output handle,
// unbuffered, so that what the launcher's code prints reaches the console.
void bindStandardOutput(HANDLE console) {
#if defined(_UCRT)
    // The universal C runtime's stream objects cannot be copied: reopen the
    // standard output stream on the console instead.
    (void)console;
    if (std::freopen("CONOUT$", "w", stdout) != nullptr) std::setvbuf(stdout, nullptr, _IONBF, 0);
#else
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(console), _O_TEXT);
    if (descriptor < 0) return;
    std::FILE* stream = _fdopen(descriptor, "w");
    if (stream == nullptr) {
        _close(descriptor);
        return;
    }
    std::setvbuf(stream, nullptr, _IONBF, 0);
    // The new stream's state replaces that of the standard output stream.
    *stdout = *stream;
#endif
}

// Whether this process created its console itself (no parent console to
// attach to: a start from the desktop or by drag and drop). Such a console
// closes with the process.
bool g_ownConsole = false;

// Attach to the console of the process that started us, or create one; only
// a usable output handle is bound.
void attachConsole() {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) g_ownConsole = AllocConsole() != 0;
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output != nullptr && output != INVALID_HANDLE_VALUE) bindStandardOutput(output);
}

void writeLine(HANDLE handle, const std::string& text) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring wide = widen(text + "\r\n");
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        const std::string line = text + "\r\n";
        WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
}

bool isModifierKey(WORD key) {
    return key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU || key == VK_LWIN ||
           key == VK_RWIN || key == VK_CAPITAL || key == VK_NUMLOCK || key == VK_SCROLL;
}

// A console of our own vanishes with the process, and every message with it:
// keep it open until the user presses a key, or until its input ends. Only
// when the standard input is that console; once per process.
void waitBeforeClosingOwnConsole() {
    if (!g_ownConsole) return;
    g_ownConsole = false;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD inputMode = 0;
    if (input == nullptr || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &inputMode))
        return;
    std::fflush(nullptr);
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (screen == INVALID_HANDLE_VALUE) return;
    // The prompt stands on a line of its own, wherever the tool left the cursor.
    CONSOLE_SCREEN_BUFFER_INFO info;
    std::string prompt = "Press any key to close this window.";
    if (GetConsoleScreenBufferInfo(screen, &info) && info.dwCursorPosition.X != 0)
        prompt = "\r\n" + prompt;
    writeLine(screen, prompt);
    CloseHandle(screen);
    // Keys pressed while the tool ran do not count.
    FlushConsoleInputBuffer(input);
    for (;;) {
        INPUT_RECORD record;
        DWORD read = 0;
        if (!ReadConsoleInputW(input, &record, 1, &read) || read == 0) return;
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
            !isModifierKey(record.Event.KeyEvent.wVirtualKeyCode))
            return;
    }
}

// ---- removal ---------------------------------------------------------------------

// The folder of the runtime library this process loaded. The runtime holds
// its library and the assemblies it opened until the process ends.
wchar_t g_runtimeFolder[MAX_PATH] = L"";

// Whether a deletion inside the runtime's folder failed because the entry is
// in use: the runtime's own files, or a folder that still holds them.
bool heldByRuntime(const std::wstring& path, DWORD error) {
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION && error != ERROR_DIR_NOT_EMPTY)
        return false;
    const size_t length = std::wcslen(g_runtimeFolder);
    return length > 0 && path.size() > length && path[length] == L'\\' &&
           _wcsnicmp(path.c_str(), g_runtimeFolder, length) == 0;
}

bool isLink(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Deletes one file or link, clearing a read-only mark first.
bool deleteEntry(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    // A link to a folder is itself a (reparse-point) folder: removing the
    // folder entry removes the link, never what it points at.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryW(path.c_str()) != 0;
    return DeleteFileW(path.c_str()) != 0;
}

struct Removal {
    bool failed = false;      // something the runtime does not hold stayed
    bool keptRuntime = false;  // files the runtime holds stayed
};

constexpr int kMaxDepth = 32;

// Removes everything inside `folder` (a real folder, not a link). Returns
// whether files the runtime holds are among what stayed.
bool emptyFolder(const std::wstring& folder, int depth, Removal& removal) {
    if (depth > kMaxDepth) {
        removal.failed = true;
        return false;
    }
    bool keptRuntime = false;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
        const wchar_t* name = found.cFileName;
        if (std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0) continue;
        const std::wstring path = folder + L"\\" + name;
        const DWORD attributes = found.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !isLink(attributes)) {
            const bool keptInside = emptyFolder(path, depth + 1, removal);
            keptRuntime = keptRuntime || keptInside;
            if (!deleteEntry(path, attributes)) {
                if (keptInside || heldByRuntime(path, GetLastError())) keptRuntime = removal.keptRuntime = true;
                else removal.failed = true;
            }
        } else if (!deleteEntry(path, attributes)) {
            if (heldByRuntime(path, GetLastError())) keptRuntime = removal.keptRuntime = true;
            else removal.failed = true;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return keptRuntime;
}

RemoveResult removePath(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? RemoveResult::Absent
                   : RemoveResult::Failed;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || isLink(attributes))
        return deleteEntry(path, attributes) ? RemoveResult::Removed : RemoveResult::Failed;
    Removal removal;
    emptyFolder(path, 0, removal);
    if (deleteEntry(path, attributes)) return RemoveResult::Removed;
    // Only what the runtime of this process holds stays; it goes at the next
    // start, which is all that can be done while it is in use.
    return removal.keptRuntime && !removal.failed ? RemoveResult::Removed : RemoveResult::Failed;
}

// ---- clean-up when the process ends early ------------------------------------------

wchar_t g_cleanupPath[MAX_PATH] = L"";
volatile LONG g_armed = 0;
bool g_handlersInstalled = false;

void cleanUpNow() {
    if (InterlockedExchange(&g_armed, 0) != 0) removePath(g_cleanupPath);
}

// Runs when anything calls exit() while the tool runs: the folder goes and
// the process ends at once with exit code 0, like every other path.
void cleanUpAtExit() {
    if (g_armed == 0) return;
    cleanUpNow();
    std::fflush(nullptr);
    // What the runtime printed before it ended the process stays readable;
    // another launcher need not wait for that key.
    unlockWorkFolder();
    waitBeforeClosingOwnConsole();
    TerminateProcess(GetCurrentProcess(), 0);
}

// Ctrl+C, Ctrl+Break, closing the console, log-off and shut-down: the folder
// goes, then the next handler (in the end the system's) ends the process.
BOOL WINAPI cleanUpOnConsoleEvent(DWORD) {
    cleanUpNow();
    return FALSE;
}

void installHandlers() {
    if (g_handlersInstalled) return;
    g_handlersInstalled = true;
    std::atexit(&cleanUpAtExit);
    SetConsoleCtrlHandler(&cleanUpOnConsoleEvent, TRUE);
}

HANDLE g_lock = INVALID_HANDLE_VALUE;

// Silent mode: standard handles inherited from a parent that redirected them
// (a script's "> log") would still carry the tool's output; they are pointed
// at the null device instead, as on Linux.
void silenceStandardHandles() {
    HANDLE null = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (null == INVALID_HANDLE_VALUE) return;
    SetStdHandle(STD_OUTPUT_HANDLE, null);
    SetStdHandle(STD_ERROR_HANDLE, null);
}

}  // namespace

// ---- output ------------------------------------------------------------------

void beginOutput(OutputMode mode) {
    g_mode = mode;
    if (mode == OutputMode::Console) attachConsole();
    else silenceStandardHandles();
}

void endOutput() {
    std::fflush(nullptr);
    waitBeforeClosingOwnConsole();
    FreeConsole();
}

void reportFailure(const std::string& text) {
    if (g_mode == OutputMode::Silent) return;
    std::fflush(stdout);
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) error = GetStdHandle(STD_OUTPUT_HANDLE);
    writeLine(error, "Scrivel: " + text);
}

// ---- paths -------------------------------------------------------------------

std::vector<TempCandidate> temporaryCandidates() {
    // One place only: the user's own temporary directory.
    return {TempCandidate{"%TEMP%", std::string(), false}};
}

bool openTemporaryDirectory(const TempCandidate&, Folder& dir, std::string& error) {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH) {
        error = "no temporary directory: " + systemMessage(GetLastError());
        return false;
    }
    std::wstring path(buffer, n);
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = "the temporary directory " + narrow(path) + " does not exist";
        return false;
    }
    dir = Folder(narrow(path));
    return true;
}

bool isExecutionRefused(const std::string&) {
    return false;
}

std::string executablePath(const char* fallback) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
        if (n == 0) break;
        if (n < buffer.size()) return narrow(buffer.substr(0, n));
        if (buffer.size() >= 32768) break;
        buffer.resize(buffer.size() * 2);
    }
    return fallback != nullptr ? fallback : "";
}

void prepareLocale() {
    // The runtime takes its strings as UTF-8 and sets up its own console
    // encoding; nothing to prepare.
}

void removeEnvironmentVariables(const char* prefix) {
    const std::wstring wanted = widen(prefix);
    std::vector<std::wstring> names;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
            // A name may itself begin with "=" (the current folder of a drive).
            const wchar_t* equals = std::wcschr(entry + 1, L'=');
            const std::size_t length = equals != nullptr ? equals - entry : std::wcslen(entry);
            if (length >= wanted.size() && _wcsnicmp(entry, wanted.c_str(), wanted.size()) == 0)
                names.emplace_back(entry, length);
        }
        FreeEnvironmentStringsW(block);
    }
    // The runtime reads the process's environment, and parts of it the C
    // runtime's copy, taken when the process started: both lose the name.
    for (const std::wstring& name : names) {
        _wputenv((name + L"=").c_str());
        SetEnvironmentVariableW(name.c_str(), nullptr);
    }
}

// ---- the working folder ------------------------------------------------------

RemoveResult removeWorkFolder(const std::string& folder) {
    // Another user's folder cannot sit in this user's own temporary
    // directory, so Foreign is never the answer here; what the system does
    // not let us delete counts as Failed.
    return removePath(widen(folder));
}

bool createWorkFolder(const Folder& parent, const std::string& name, Folder& created, std::string& error,
                      bool* outOfSpace) {
    const std::string folder = joinPath(parent.path(), name);
    const std::wstring path = widen(folder);
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
        const DWORD code = GetLastError();
        if (outOfSpace != nullptr)
            *outOfSpace = code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL;
        error = "cannot create the working folder " + folder + ": " + systemMessage(code);
        return false;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        isLink(attributes)) {
        error = "the working folder " + folder + " is not a real folder";
        return false;
    }
    created = Folder(folder);
    return true;
}

bool isStillWorkFolder(const Folder&, std::string&) {
    // The folder lies in the user's own temporary directory, which no other
    // user can change.
    return true;
}

std::vector<std::string> entryNames(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW((widen(dir) + L"\\*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0)
            names.push_back(narrow(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

unsigned long processId() {
    return static_cast<unsigned long>(GetCurrentProcessId());
}

bool lockWorkFolder(const std::string& folder, std::string& error) {
    if (g_lock != INVALID_HANDLE_VALUE) return true;
    const std::string path = folder + ".lock";
    HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot open the lock file " + path + ": " + systemMessage(GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        CloseHandle(file);
        error = "the lock file " + path + " is not a plain file";
        return false;
    }
    // Blocks while another launcher holds the lock.
    OVERLAPPED at = {};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
        const DWORD code = GetLastError();
        CloseHandle(file);
        error = "cannot lock " + path + ": " + systemMessage(code);
        return false;
    }
    g_lock = file;
    return true;
}

void unlockWorkFolder() {
    if (g_lock == INVALID_HANDLE_VALUE) return;
    OVERLAPPED at = {};
    UnlockFileEx(g_lock, 0, 1, 0, &at);
    CloseHandle(g_lock);
    g_lock = INVALID_HANDLE_VALUE;
}

void armCleanup(const std::string& folder) {
    const std::wstring path = widen(folder);
    if (path.empty() || path.size() >= MAX_PATH) return;
    g_armed = 0;
    std::wmemcpy(g_cleanupPath, path.c_str(), path.size() + 1);
    installHandlers();
    InterlockedExchange(&g_armed, 1);
}

void disarmCleanup() {
    InterlockedExchange(&g_armed, 0);
}

// ---- dynamic libraries -------------------------------------------------------

const char* runtimeLibraryName() {
    return "mono.dll";
}

void* loadLibrary(const std::string& path, std::string& error) {
    const std::wstring wide = widen(path);
    // No error dialog from the loader; dependencies of the library are
    // looked for beside it first.
    DWORD previousMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE library = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD code = GetLastError();
    SetThreadErrorMode(previousMode, nullptr);
    if (library == nullptr) {
        error = path + ": " + systemMessage(code);
        return nullptr;
    }
    const size_t slash = wide.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash < MAX_PATH) {
        std::wmemcpy(g_runtimeFolder, wide.c_str(), slash);
        g_runtimeFolder[slash] = L'\0';
    }
    return library;
}

void* findSymbol(void* library, const char* name) {
    if (library == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace scrivel::platform
