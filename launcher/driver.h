// The launcher driver: decides the output mode, recreates the working folder,
// unpacks the embedded archive into it, has the runtime execute the Text tool
// with the user's arguments and removes the folder again. Platform-neutral;
// each platform's entry point (main_linux.cpp, main_windows.cpp) only hands
// its arguments over as UTF-8, the form the runtime takes them in.
#pragma once

#include <string>
#include <vector>

namespace scrivel {

// Removes a last argument that is exactly "/silent" (case-sensitive): the
// count is lowered by one and that element set to null. Returns whether it
// did. Element 0, the program itself, is never taken for the switch, so with
// no user arguments the mode stays console mode.
bool takeSilentSwitch(int& argc, char** argv);

// The whole launcher. `argv` is the start-up code's vector (element 0 the
// program, null-terminated); it may be modified. Always returns 0, the
// process's exit code.
int runLauncher(int argc, char** argv);
// The same over the arguments themselves (element 0 the program).
int runLauncher(std::vector<std::string> arguments);

}  // namespace scrivel
