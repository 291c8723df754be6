// A stand-in for the runtime library, built as mono.dll for the Wine tests.
//
// It exports the eight entry points the launcher looks up and writes one
// line per event to the file named by SCRIVEL_FAKE_MONO_LOG (UTF-8, LF):
//
//   attach <folder of this library>
//   codepage <the process's ANSI code page>
//   lookup <name>                   each GetProcAddress on this library
//   file <relative path> <size> <crc>   at the first call, every file below
//   dir <relative path>                 this library's folder (crc as cksum)
//   env process|crt NAME=VALUE      at the first call, each MONO_* variable (in
//                                   any case) of the process's environment
//                                   and of the C runtime's copy
//   call <entry point> <arguments>  each call, arguments as received
//   argv[<i>]=<bytes>               the vector handed to mono_jit_exec
//
// The look-ups are seen by replacing the launcher's import of
// GetProcAddress when the library is loaded. At mono_jit_exec it prints the
// arguments through the standard output handle and through the C runtime's
// stdout, as the tool would on the console, and then "..DONE.." without a
// line break, as the tool ends a run. SCRIVEL_FAKE_MONO_EXIT=<n> makes
// mono_jit_exec end the process with exit(n) instead of returning.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

HMODULE g_self = nullptr;
bool g_listed = false;
int g_domain = 0;    // the addresses of these two are the handles
int g_assembly = 0;  // given out for the root domain and the assembly
const std::uint32_t kOptimizationFlags = 0x5eed1234u;

using GetProcAddressFn = FARPROC(WINAPI*)(HMODULE, LPCSTR);
GetProcAddressFn g_realGetProcAddress = nullptr;

std::wstring widen(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}

std::string narrow(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0,
                                nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr,
                        nullptr);
    return s;
}

// Appends one line to the log; opened and closed each time so that nothing
// is lost when the process ends abruptly.
void logLine(const std::string& line) {
    wchar_t path[1024];
    DWORD n = GetEnvironmentVariableW(L"SCRIVEL_FAKE_MONO_LOG", path, 1024);
    if (n == 0 || n >= 1024) return;
    HANDLE h = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(h, text.data(), (DWORD)text.size(), &written, nullptr);
    CloseHandle(h);
}

std::string show(const char* s) { return s ? std::string("\"") + s + "\"" : "(null)"; }

std::wstring selfFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(g_self, path, MAX_PATH);
    std::wstring p(path, n);
    std::size_t cut = p.find_last_of(L"\\/");
    return cut == std::wstring::npos ? p : p.substr(0, cut);
}

// The checksum of the POSIX cksum utility, so that the tests can compare
// with `cksum` on the source files.
std::uint32_t posixChecksum(const std::vector<unsigned char>& data) {
    static std::uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i << 24;
            for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
            table[i] = c;
        }
        ready = true;
    }
    std::uint32_t crc = 0;
    for (unsigned char b : data) crc = (crc << 8) ^ table[(crc >> 24) ^ b];
    for (std::uint64_t n = data.size(); n != 0; n >>= 8)
        crc = (crc << 8) ^ table[(crc >> 24) ^ (unsigned char)(n & 0xff)];
    return ~crc;
}

bool readWhole(const std::wstring& path, std::vector<unsigned char>& out) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    GetFileSizeEx(h, &size);
    out.resize((std::size_t)size.QuadPart);
    DWORD got = 0;
    bool ok = out.empty() ||
              (ReadFile(h, out.data(), (DWORD)out.size(), &got, nullptr) && got == out.size());
    CloseHandle(h);
    return ok;
}

// Every file and folder below `folder`, as sorted log lines.
void listTree(const std::wstring& folder, const std::wstring& prefix,
              std::vector<std::string>& lines) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring rel = prefix.empty() ? name : prefix + L"\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            lines.push_back("dir " + narrow(rel));
            listTree(folder + L"\\" + name, rel, lines);
        } else {
            std::vector<unsigned char> data;
            char tail[64];
            if (readWhole(folder + L"\\" + name, data))
                std::snprintf(tail, sizeof tail, " %u %u", (unsigned)data.size(),
                              (unsigned)posixChecksum(data));
            else
                std::snprintf(tail, sizeof tail, " unreadable");
            lines.push_back("file " + narrow(rel) + tail);
        }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

bool isRuntimeVariable(const std::string& entry) {
    return entry.size() >= 5 && _strnicmp(entry.c_str(), "MONO_", 5) == 0;
}

// The MONO_* variables the runtime would see, through either copy.
void logRuntimeVariables() {
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1)
            if (isRuntimeVariable(narrow(entry))) logLine("env process " + narrow(entry));
        FreeEnvironmentStringsW(block);
    }
    for (char** entry = _environ; entry != nullptr && *entry != nullptr; ++entry)
        if (isRuntimeVariable(*entry)) logLine(std::string("env crt ") + *entry);
}

void listFolderOnce() {
    if (g_listed) return;
    g_listed = true;
    logRuntimeVariables();
    std::vector<std::string> lines;
    listTree(selfFolder(), L"", lines);
    std::sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
        return a.substr(a.find(' ') + 1) < b.substr(b.find(' ') + 1);
    });
    for (const std::string& l : lines) logLine(l);
}

FARPROC WINAPI recordingGetProcAddress(HMODULE module, LPCSTR name) {
    if (module == g_self) {
        if (reinterpret_cast<std::uintptr_t>(name) >> 16)
            logLine(std::string("lookup ") + name);
        else
            logLine("lookup #" + std::to_string(reinterpret_cast<std::uintptr_t>(name)));
    }
    return g_realGetProcAddress(module, name);
}

// Points the executable's import of GetProcAddress at the recorder.
void hookGetProcAddress() {
    auto base = reinterpret_cast<unsigned char*>(GetModuleHandleW(nullptr));
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return;
    auto desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
    for (; desc->Name != 0; ++desc) {
        if (desc->OriginalFirstThunk == 0) continue;
        auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "GetProcAddress") != 0)
                continue;
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            g_realGetProcAddress = reinterpret_cast<GetProcAddressFn>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<std::uintptr_t>(&recordingGetProcAddress);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            logLine("hooked GetProcAddress");
        }
    }
}

void printToConsole(int argc, char** argv) {
    std::string text = "fake runtime: " + std::to_string(argc - 1) + " argument(s)\r\n";
    for (int i = 1; i < argc; ++i) text += std::string("  [") + argv[i] + "]\r\n";
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (out != nullptr && out != INVALID_HANDLE_VALUE)
        WriteFile(out, text.data(), (DWORD)text.size(), &written, nullptr);
    std::printf("fake runtime: C stdout reaches the console\n");
    std::fflush(stdout);
    if (out != nullptr && out != INVALID_HANDLE_VALUE) WriteFile(out, "..DONE..", 8, &written, nullptr);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
        logLine("attach " + narrow(selfFolder()));
        logLine("codepage " + std::to_string(GetACP()));
        hookGetProcAddress();
    }
    return TRUE;
}

__declspec(dllexport) void mono_set_dirs(const char* assemblyDir, const char* configDir) {
    listFolderOnce();
    logLine("call mono_set_dirs " + show(assemblyDir) + " " + show(configDir));
}

__declspec(dllexport) void mono_set_assemblies_path(const char* path) {
    listFolderOnce();
    logLine("call mono_set_assemblies_path " + show(path));
}

__declspec(dllexport) void mono_config_parse(const char* file) {
    logLine("call mono_config_parse " + show(file));
}

__declspec(dllexport) std::uint32_t mono_parse_default_optimizations(const char* p) {
    logLine("call mono_parse_default_optimizations " + show(p));
    return kOptimizationFlags;
}

__declspec(dllexport) void mono_set_defaults(int verbosity, std::uint32_t flags) {
    char text[96];
    std::snprintf(text, sizeof text, "call mono_set_defaults %d %s", verbosity,
                  flags == kOptimizationFlags ? "default-flags" : "other-flags");
    logLine(text);
}

__declspec(dllexport) void* mono_jit_init_version(const char* domainName, const char* version) {
    logLine("call mono_jit_init_version " + show(domainName) + " " + show(version));
    return &g_domain;
}

__declspec(dllexport) void* mono_domain_assembly_open(void* domain, const char* path) {
    bool exists = path && GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    logLine(std::string("call mono_domain_assembly_open ") +
            (domain == &g_domain ? "domain " : "other-domain ") + show(path) +
            (exists ? " found" : " missing"));
    return exists ? &g_assembly : nullptr;
}

__declspec(dllexport) int mono_jit_exec(void* domain, void* assembly, int argc, char** argv) {
    logLine(std::string("call mono_jit_exec ") + (domain == &g_domain ? "domain " : "other-domain ") +
            (assembly == &g_assembly ? "assembly " : "other-assembly ") + std::to_string(argc));
    for (int i = 0; i < argc; ++i) logLine("argv[" + std::to_string(i) + "]=" + (argv[i] ? argv[i] : "(null)"));
    logLine(std::string("argv[") + std::to_string(argc) + "]" + (argv[argc] ? " not null" : " null"));
    printToConsole(argc, argv);
    char code[16];
    DWORD n = GetEnvironmentVariableA("SCRIVEL_FAKE_MONO_EXIT", code, sizeof code);
    if (n > 0 && n < sizeof code) {
        logLine(std::string("exit ") + code);
        std::exit(std::atoi(code));
    }
    return 42;
}

}  // extern "C"
