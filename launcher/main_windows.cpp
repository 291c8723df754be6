// Windows entry point of the single executable (GUI subsystem: no console of
// its own). The arguments are taken from the wide command line, split by the
// platform's usual rules and handed to the driver as UTF-8, so that letters
// outside the ANSI code page reach the tool intact.

#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "driver.h"
#include "platform/utf8_windows.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        // Cannot split the wide command line: fall back to the start-up
        // code's narrow vector.
        return scrivel::runLauncher(__argc, __argv);
    }
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) arguments.push_back(scrivel::platform::narrow(wide[i]));
    LocalFree(wide);
    return scrivel::runLauncher(std::move(arguments));
}
