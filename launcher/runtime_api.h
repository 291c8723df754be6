// The table of runtime entry points the launcher uses. The signatures are
// declared here, so building the launcher needs nothing of the runtime's own
// headers (two of the names are exported but missing from them anyway). The
// runtime's handle types stay opaque.
#pragma once

#include <cstdint>

namespace scrivel {

struct RuntimeApi {
    using Domain = void;    // the runtime's application domain
    using Assembly = void;  // a loaded assembly
    using Image = void;
    using MethodDesc = void;
    using Method = void;
    using Object = void;
    using String = void;

    // In lookup order; the first nine and the fifteenth are what the
    // runtime's embedding interface calls them.
    void (*set_dirs)(const char* assemblyDir, const char* configDir);
    void (*set_assemblies_path)(const char* path);
    void (*config_parse)(const char* fileName);
    void (*set_defaults)(int verboseLevel, std::uint32_t optimizations);
    Domain* (*jit_init_version)(const char* rootDomainName, const char* runtimeVersion);
    std::uint32_t (*parse_default_optimizations)(const char* options);
    Assembly* (*domain_assembly_open)(Domain* domain, const char* path);
    void (*jit_cleanup)(Domain* domain);
    int (*jit_exec)(Domain* domain, Assembly* assembly, int argc, char** argv);
    Image* (*assembly_get_image)(Assembly* assembly);
    MethodDesc* (*method_desc_new)(const char* name, int includeNamespace);
    Method* (*method_desc_search_in_image)(MethodDesc* desc, Image* image);
    void (*method_desc_free)(MethodDesc* desc);
    Object* (*runtime_invoke)(Method* method, void* object, void** params, Object** exception);
    String* (*string_new)(Domain* domain, const char* text);

    static constexpr int kCount = 15;
    // The exported names, in lookup order.
    static const char* const kNames[kCount];

    // How a name is turned into an address (the library handle is passed
    // through as `context`).
    using Lookup = void* (*)(void* context, const char* name);

    // Looks up all fifteen names in table order on a loaded library and
    // stores the addresses. Returns true when every entry point that the
    // launcher calls was found; otherwise `missing` names the first absent
    // one. The seven that are never called may be absent.
    bool resolve(void* library, const char** missing = nullptr);
    bool resolve(Lookup lookup, void* context, const char** missing = nullptr);
};

}  // namespace scrivel
