#include "runtime_host.h"

#include "platform/host.h"
#include "runtime_api.h"

namespace scrivel {

namespace {

// Module state: written once, before the tool runs, and kept for the rest of
// the process (the runtime holds on to what it was given).
struct RuntimeState {
    void* library = nullptr;
    std::string libFolder;
    std::string etcFolder;
    RuntimeApi api{};
    RuntimeApi::Domain* domain = nullptr;
    RuntimeApi::Assembly* assembly = nullptr;
};

RuntimeState& state() {
    static RuntimeState s;
    return s;
}

}  // namespace

bool loadRuntime(const std::string& folder, std::string& error) {
    RuntimeState& s = state();
    const std::string lib = platform::joinPath(folder, "lib");
    const std::string etc = platform::joinPath(folder, "etc");
    const std::string libraryPath = platform::joinPath(folder, platform::runtimeLibraryName());
    if (!platform::fitsPath(lib) || !platform::fitsPath(etc) || !platform::fitsPath(libraryPath)) {
        error = "the runtime's path is too long: " + libraryPath;
        return false;
    }
    void* library = platform::loadLibrary(libraryPath, error);
    if (library == nullptr)
        return false;
    s.library = library;
    s.libFolder = lib;
    s.etcFolder = etc;
    return true;
}

ToolRun runTool(const std::string& folder, int argc, char** argv, std::string& error) {
    RuntimeState& s = state();
    const std::string toolPath = platform::joinPath(folder, kToolAssemblyName);

    const char* missing = nullptr;
    if (!s.api.resolve(s.library, &missing)) {
        error = std::string("the runtime library lacks the entry point ") + missing;
        return ToolRun::EntryPointsMissing;
    }
    const RuntimeApi& api = s.api;

    api.set_dirs(s.libFolder.c_str(), s.etcFolder.c_str());
    api.set_assemblies_path(s.libFolder.c_str());
    // <etc>/mono/config, named so that settings of the environment
    // (MONO_CONFIG, a configuration in the user's home) cannot replace the
    // bundled one.
    const std::string config = platform::joinPath(platform::joinPath(s.etcFolder, "mono"), "config");
    api.config_parse(config.c_str());
    const std::uint32_t optimizations = api.parse_default_optimizations(nullptr);
    api.set_defaults(0, optimizations);

    s.domain = api.jit_init_version(kToolAssemblyName, kRuntimeVersion);
    if (s.domain == nullptr) {
        error = "the runtime could not be initialised";
        return ToolRun::NoDomain;
    }
    s.assembly = api.domain_assembly_open(s.domain, toolPath.c_str());
    if (s.assembly == nullptr) {
        error = "the tool's assembly could not be opened: " + toolPath;
        return ToolRun::AssemblyNotOpened;
    }
    // The entry point's result is of no interest: the launcher always ends
    // with exit code 0.
    api.jit_exec(s.domain, s.assembly, argc, argv);
    return ToolRun::Ran;
}

}  // namespace scrivel
