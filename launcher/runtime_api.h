// The table of the runtime entry points the launcher calls. The signatures
// are declared here, so building the launcher needs nothing of the runtime's
// own headers. The runtime's handle types stay opaque.
#pragma once

#include <cstdint>

namespace scrivel {

struct RuntimeApi {
    using Domain = void;    // the runtime's application domain
    using Assembly = void;  // a loaded assembly

    // In lookup order, each named as the runtime's embedding interface names
    // it with the prefix "mono_".
    void (*set_dirs)(const char* assemblyDir, const char* configDir);
    void (*set_assemblies_path)(const char* path);
    void (*config_parse)(const char* fileName);
    void (*set_defaults)(int verboseLevel, std::uint32_t optimizations);
    Domain* (*jit_init_version)(const char* rootDomainName, const char* runtimeVersion);
    std::uint32_t (*parse_default_optimizations)(const char* options);
    Assembly* (*domain_assembly_open)(Domain* domain, const char* path);
    int (*jit_exec)(Domain* domain, Assembly* assembly, int argc, char** argv);

    static constexpr int kCount = 8;
    // The exported names, in lookup order.
    static const char* const kNames[kCount];

    // How a name is turned into an address (the library handle is passed
    // through as `context`).
    using Lookup = void* (*)(void* context, const char* name);

    // Looks up all eight names in table order on a loaded library and stores
    // the addresses. Returns true when every one was found; otherwise
    // `missing` names the first absent one.
    bool resolve(void* library, const char** missing = nullptr);
    bool resolve(Lookup lookup, void* context, const char** missing = nullptr);
};

}  // namespace scrivel
