// Starts a program without a console of its own (DETACHED_PROCESS), the way
// a desktop start leaves the launcher, waits for it and reports its exit code
// on this runner's console. A launcher in console mode then attaches to this
// console, so what it prints appears here.
//
//   detached_runner.exe [--temp DIR] [--own-console [--input-pipe]] PROGRAM [ARGUMENTS...]
//
// PROGRAM and ARGUMENTS are passed on exactly as they stand on the runner's
// own command line. --temp sets TMP and TEMP for the program.
//
// --own-console: the runner first gives up its own console, so the program
// finds none to attach to and has to create one, as after a drag and drop.
// The runner then watches that console from outside: once it shows
// "Press any key to close this window." the runner prints the screen, checks
// that the program still waits after a Shift press, presses a key and reports
// how the program ended. The runner's report goes to its standard output,
// which must then be a file or a pipe. --input-pipe hands the program an
// open pipe as its standard input.
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

// The rows of the attached console's screen up to the cursor's, blanks at
// their ends removed.
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
            std::wstring line = row.substr(0, read);
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
