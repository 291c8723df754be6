// Starts a program without a console of its own (DETACHED_PROCESS), the way
// a desktop start leaves the launcher, waits for it and reports its exit code
// on this runner's console. A launcher in console mode then attaches to this
// console, so what it prints appears here.
//
//   detached_runner.exe [--temp DIR] PROGRAM [ARGUMENTS...]
//
// PROGRAM and ARGUMENTS are passed on exactly as they stand on the runner's
// own command line. --temp sets TMP and TEMP for the program.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* rest = skipToken(GetCommandLineW());
    if (argc >= 3 && std::wcscmp(argv[1], L"--temp") == 0) {
        SetEnvironmentVariableW(L"TMP", argv[2]);
        SetEnvironmentVariableW(L"TEMP", argv[2]);
        rest = skipToken(skipToken(rest));
    }
    if (*rest == L'\0') {
        std::fprintf(stderr, "usage: detached_runner [--temp DIR] PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    std::wstring commandLine(rest);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::printf("runner: begin\n");
    std::fflush(stdout);
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &process)) {
        std::printf("runner: cannot start the program (error %lu)\n", GetLastError());
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("runner: exit code %lu\n", code);
    std::fflush(stdout);
    return (int)code;
}
