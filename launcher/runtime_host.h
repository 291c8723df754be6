// Starting the runtime from the working folder and having it execute the
// Text tool's entry point with the user's arguments, on the calling thread.
// The runtime is started at most once per process and never shut down; its
// library is never unloaded.
#pragma once

#include <string>

namespace scrivel {

// Name of the root domain and of the tool's assembly file alike.
constexpr const char* kToolAssemblyName = "Scrivel.exe";
// Version of the class libraries the runtime is initialised for.
constexpr const char* kRuntimeVersion = "v4.0.30319";

// Forms the paths of the folders "lib" and "etc" and of the runtime library
// inside `folder` and loads the library. False, with the loader's reason in
// `error`, when it cannot be loaded; nothing of the runtime is touched then.
bool loadRuntime(const std::string& folder, std::string& error);

enum class ToolRun {
    Ran,                // the tool's entry point ran and returned
    EntryPointsMissing, // the library lacks an entry point the launcher calls
    NoDomain,           // the runtime gave no root domain
    AssemblyNotOpened   // the tool's assembly could not be opened
};

// Requires a successful loadRuntime. Resolves the entry points, configures
// and initialises the runtime, opens `folder`/Scrivel.exe and executes its
// entry point with `argc`/`argv` (element 0 is the program, the rest reach
// the tool). Returns when the entry point has returned; anything but Ran
// leaves a one-line reason in `error`.
ToolRun runTool(const std::string& folder, int argc, char** argv, std::string& error);

}  // namespace scrivel
