// Reads an executable's version resource the way the file's properties do,
// through the version library, and prints it, one item per line:
//
//   version_probe.exe FILE
//
//   FILEVERSION a.b.c.d
//   PRODUCTVERSION a.b.c.d
//   FILETYPE <n>
//   Translation <language> <code page>     (hexadecimal, four digits each)
//   <name>=<value>                         the strings of the first translation
//
// The strings asked for are the usual ones; those missing are left out.
// Without a version resource it prints "no version resource" and ends with 1.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void print(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], size, nullptr, nullptr);
    std::fputs(utf8.c_str(), stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: version_probe.exe FILE\n", stderr);
        return 2;
    }
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    std::string block(size, '\0');
    if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, &block[0])) {
        std::puts("no version resource");
        return 1;
    }

    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(&block[0], L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        std::printf("FILEVERSION %u.%u.%u.%u\n", unsigned(HIWORD(fixed->dwFileVersionMS)),
                    unsigned(LOWORD(fixed->dwFileVersionMS)), unsigned(HIWORD(fixed->dwFileVersionLS)),
                    unsigned(LOWORD(fixed->dwFileVersionLS)));
        std::printf("PRODUCTVERSION %u.%u.%u.%u\n", unsigned(HIWORD(fixed->dwProductVersionMS)),
                    unsigned(LOWORD(fixed->dwProductVersionMS)),
                    unsigned(HIWORD(fixed->dwProductVersionLS)),
                    unsigned(LOWORD(fixed->dwProductVersionLS)));
        std::printf("FILETYPE %u\n", unsigned(fixed->dwFileType));
    }

    if (!VerQueryValueW(&block[0], L"\\VarFileInfo\\Translation", &value, &length) || length < 4) {
        std::puts("no translation");
        return 0;
    }
    const WORD* translation = static_cast<const WORD*>(value);
    std::printf("Translation %04x %04x\n", translation[0], translation[1]);

    const wchar_t* const names[] = {L"CompanyName",      L"FileDescription", L"FileVersion",
                                    L"InternalName",     L"LegalCopyright",  L"OriginalFilename",
                                    L"ProductName",      L"ProductVersion"};
    for (const wchar_t* name : names) {
        wchar_t path[128];
        swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], name);
        if (VerQueryValueW(&block[0], path, &value, &length) && length > 0) {
            print(name);
            std::fputs("=", stdout);
            print(static_cast<const wchar_t*>(value));
            std::fputs("\n", stdout);
        }
    }
    return 0;
}
