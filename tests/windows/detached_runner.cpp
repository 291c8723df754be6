// Starts a program without a console of its own (DETACHED_PROCESS), the way
// a desktop start leaves the launcher, waits for it and reports its exit code
// on this runner's console. A launcher in console mode then attaches to this
// console, so what it prints appears here.
//
//   detached_runner.exe [--temp DIR] [--own-console [--input-pipe]] PROGRAM [ARGUMENTS...]
//   detached_runner.exe [--temp DIR] --in-console CODEPAGE COMMAND...
//
// PROGRAM and ARGUMENTS are passed on exactly as they stand on the runner's
// own command line. --temp sets TMP and TEMP for the program.
//
// --own-console: the runner first gives up its own console, so the program
// finds none to attach to and has to create one, as after a drag and drop.
// The runner then watches that console from outside: once it shows
// "Press any key to close this window." the runner prints the console's
// output code page and its screen, checks that the program still waits after
// a Shift press, presses a key and reports how the program ended. The
// runner's report goes to its standard output, which must then be a file or
// a pipe. --input-pipe hands the program an open pipe as its standard input.
//
// --in-console: the runner creates a console of its own with the given output
// code page and runs COMMAND in it (for example cmd /c start /wait PROGRAM),
// as from a command prompt; once it has ended, the screen is printed.
//
// The screen is printed row by row with blanks at the ends removed; a
// double-width character is printed once where the console keeps it in two
// cells.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

const wchar_t* const kPrompt = L"Press any key to close this window.";

HANDLE g_report = INVALID_HANDLE_VALUE;

void report(const std::string& line) {
    const std::string text = "runner: " + line + "\n";
    DWORD written = 0;
    WriteFile(g_report, text.data(), (DWORD)text.size(), &written, nullptr);
}

std::string narrow(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &out[0], n, nullptr, nullptr);
    return out;
}

// Skips one command-line token (quoted or not) and the blanks after it.
const wchar_t* skipToken(const wchar_t* p) {
    bool quoted = false;
    for (; *p; ++p) {
        if (*p == L'"') quoted = !quoted;
        else if (!quoted && (*p == L' ' || *p == L'\t')) break;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

// Characters that take two cells of a console (East Asian wide and
// full-width forms; the ranges the test texts use and their neighbours).
bool isWide(wchar_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6);
}

// One row as cells, with the second cell of each double-width character
// dropped where the console keeps the character there again.
std::wstring withoutPadding(const std::wstring& cells) {
    std::wstring row;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        row += cells[i];
        if (isWide(cells[i]) && i + 1 < cells.size() && cells[i + 1] == cells[i]) ++i;
    }
    return row;
}

// The rows of the attached console's screen up to the cursor's, blanks at
// their ends and double-width padding removed.
std::wstring screenText() {
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (screen == INVALID_HANDLE_VALUE) return std::wstring();
    std::wstring text;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(screen, &info)) {
        std::wstring row(info.dwSize.X, L' ');
        for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
            DWORD read = 0;
            ReadConsoleOutputCharacterW(screen, &row[0], (DWORD)row.size(), COORD{0, y}, &read);
            std::wstring line = withoutPadding(row.substr(0, read));
            line.erase(line.find_last_not_of(L' ') + 1);
            text += line + L"\n";
        }
    }
    CloseHandle(screen);
    return text;
}

void pressKey(WORD key, wchar_t character) {
    HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE) return;
    INPUT_RECORD records[2] = {};
    for (int i = 0; i < 2; ++i) {
        records[i].EventType = KEY_EVENT;
        records[i].Event.KeyEvent.bKeyDown = i == 0;
        records[i].Event.KeyEvent.wRepeatCount = 1;
        records[i].Event.KeyEvent.wVirtualKeyCode = key;
        records[i].Event.KeyEvent.uChar.UnicodeChar = character;
    }
    DWORD written = 0;
    WriteConsoleInputW(input, records, 2, &written);
    CloseHandle(input);
}

bool stillRunning(HANDLE process, DWORD milliseconds) {
    return WaitForSingleObject(process, milliseconds) == WAIT_TIMEOUT;
}

// Waits for the program's own console to show the prompt, then checks that
// it waits for a key and ends on one.
void watchOwnConsole(const PROCESS_INFORMATION& process) {
    for (int tries = 0; tries < 300; ++tries) {
        if (!stillRunning(process.hProcess, 100)) {
            report("ended without a prompt");
            return;
        }
        if (!AttachConsole(process.dwProcessId)) continue;
        const std::wstring screen = screenText();
        if (screen.find(kPrompt) == std::wstring::npos) {
            FreeConsole();
            continue;
        }
        report("code page " + std::to_string(GetConsoleOutputCP()));
        report("the console shows:");
        std::string shown = narrow(screen);
        DWORD written = 0;
        WriteFile(g_report, shown.data(), (DWORD)shown.size(), &written, nullptr);
        pressKey(VK_SHIFT, 0);
        report(stillRunning(process.hProcess, 1000) ? "still waiting after Shift"
                                                    : "ended on Shift");
        pressKey('X', L'x');
        FreeConsole();
        report(stillRunning(process.hProcess, 10000) ? "still running 10 s after a key"
                                                     : "ended on a key");
        return;
    }
    report("no prompt within 30 s");
}

// Runs a command in a console of the runner's own, as typed at a command
// prompt, and prints that console's screen once the command has ended.
int runInConsole(UINT codePage, const wchar_t* command) {
    FreeConsole();
    if (!AllocConsole()) {
        report("cannot create a console (error " + std::to_string(GetLastError()) + ")");
        return 2;
    }
    SetConsoleOutputCP(codePage);
    SetConsoleCP(codePage);
    // The command's standard handles are the console's, as at a prompt.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, OPEN_EXISTING, 0, nullptr);
    HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::wstring commandLine(command);
    PROCESS_INFORMATION process = {};
    report("begin");
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        report("cannot start the command (error " + std::to_string(GetLastError()) + ")");
        return 2;
    }
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 99);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    report("code page " + std::to_string(GetConsoleOutputCP()));
    report("the console shows:");
    const std::string shown = narrow(screenText());
    DWORD written = 0;
    WriteFile(g_report, shown.data(), (DWORD)shown.size(), &written, nullptr);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    report("exit code " + std::to_string(code));
    return (int)code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    g_report = GetStdHandle(STD_OUTPUT_HANDLE);
    const wchar_t* rest = skipToken(GetCommandLineW());
    int next = 1;
    if (argc >= next + 2 && std::wcscmp(argv[next], L"--temp") == 0) {
        SetEnvironmentVariableW(L"TMP", argv[next + 1]);
        SetEnvironmentVariableW(L"TEMP", argv[next + 1]);
        rest = skipToken(skipToken(rest));
        next += 2;
    }
    if (argc >= next + 3 && std::wcscmp(argv[next], L"--in-console") == 0) {
        const UINT codePage = (UINT)std::wcstoul(argv[next + 1], nullptr, 10);
        return runInConsole(codePage, skipToken(skipToken(rest)));
    }
    const bool ownConsole = argc > next && std::wcscmp(argv[next], L"--own-console") == 0;
    if (ownConsole) {
        rest = skipToken(rest);
        // A desktop start hands over no standard handles either.
        FreeConsole();
        SetStdHandle(STD_INPUT_HANDLE, nullptr);
        SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
        SetStdHandle(STD_ERROR_HANDLE, nullptr);
    }
    // --input-pipe (after --own-console): the program's standard input is a
    // pipe that stays open and silent, as a parent with redirections may
    // hand over; a program that waited on it would never end.
    HANDLE input = nullptr;
    HANDLE inputWriter = nullptr;
    if (ownConsole && argc > next + 1 && std::wcscmp(argv[next + 1], L"--input-pipe") == 0) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        if (CreatePipe(&input, &inputWriter, &inherit, 0))
            SetHandleInformation(inputWriter, HANDLE_FLAG_INHERIT, 0);
        rest = skipToken(rest);
    }
    if (*rest == L'\0') {
        report("usage: detached_runner [--temp DIR] [--own-console [--input-pipe]] PROGRAM [ARGUMENTS...]");
        return 2;
    }
    std::wstring commandLine(rest);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (input != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
    }
    PROCESS_INFORMATION process = {};
    report("begin");
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, startup.dwFlags != 0, DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &process)) {
        report("cannot start the program (error " + std::to_string(GetLastError()) + ")");
        return 2;
    }
    if (ownConsole) {
        watchOwnConsole(process);
        if (stillRunning(process.hProcess, 10000)) TerminateProcess(process.hProcess, 99);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    report("exit code " + std::to_string(code));
    return (int)code;
}
