#include "runtime_api.h"

#include <cstddef>

#include "platform/host.h"

namespace scrivel {

const char* const RuntimeApi::kNames[RuntimeApi::kCount] = {
    "mono_set_dirs",
    "mono_set_assemblies_path",
    "mono_config_parse",
    "mono_set_defaults",
    "mono_jit_init_version",
    "mono_parse_default_optimizations",
    "mono_domain_assembly_open",
    "mono_jit_exec",
};

namespace {

void* lookupInLibrary(void* library, const char* name) {
    return platform::findSymbol(library, name);
}

// Stores an address into a function-pointer member. The conversion from an
// object pointer to a function pointer is what dynamic loading rests on.
template <typename Fn>
void store(Fn& slot, void* address) {
    static_assert(sizeof(Fn) == sizeof(void*), "function pointers must be pointer-sized");
    slot = reinterpret_cast<Fn>(address);
}

}  // namespace

bool RuntimeApi::resolve(void* library, const char** missing) {
    return resolve(&lookupInLibrary, library, missing);
}

bool RuntimeApi::resolve(Lookup lookup, void* context, const char** missing) {
    void* found[kCount];
    for (int i = 0; i < kCount; ++i)
        found[i] = lookup(context, kNames[i]);

    store(set_dirs, found[0]);
    store(set_assemblies_path, found[1]);
    store(config_parse, found[2]);
    store(set_defaults, found[3]);
    store(jit_init_version, found[4]);
    store(parse_default_optimizations, found[5]);
    store(domain_assembly_open, found[6]);
    store(jit_exec, found[7]);

    for (int i = 0; i < kCount; ++i) {
        if (found[i] == nullptr) {
            if (missing != nullptr)
                *missing = kNames[i];
            return false;
        }
    }
    if (missing != nullptr)
        *missing = nullptr;
    return true;
}

}  // namespace scrivel
