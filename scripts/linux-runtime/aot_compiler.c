/* The runtime library that the Linux archive carries, run as the runtime's
 * own command line (mono_main): so the precompiled images are made by the
 * very build that loads them, and bound to it (an image records the build
 * of the runtime that made it, and the runtime refuses one of another).
 *
 *   scrivel_aot_compiler <libmonosgen-2.0.so> <mono's arguments...>
 */
#include <dlfcn.h>
#include <stdio.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: scrivel_aot_compiler <runtime library> <arguments...>\n");
        return 2;
    }
    void* runtime = dlopen(argv[1], RTLD_NOW | RTLD_GLOBAL);
    if (runtime == NULL) {
        fprintf(stderr, "scrivel_aot_compiler: %s\n", dlerror());
        return 1;
    }
    int (*mono_main)(int, char**);
    *(void**)&mono_main = dlsym(runtime, "mono_main");
    if (mono_main == NULL) {
        fprintf(stderr, "scrivel_aot_compiler: %s has no mono_main\n", argv[1]);
        return 1;
    }
    /* mono_main takes argv[0] as the program's name. */
    argv[1] = argv[0];
    return mono_main(argc - 1, argv + 1);
}
