/* Preloaded into the runtime while it compiles the precompiled images, so
 * that their bytes do not depend on what happened to be in memory: every
 * block malloc and its kin hand out, and every part by which realloc
 * grows one, starts zeroed. The code generator leaves the alignment gaps
 * before the constants it places after a method's code unwritten, and
 * these gaps would otherwise carry leftovers of earlier allocations
 * (pointers among them, so they change from run to run). */
#define _GNU_SOURCE
#include <errno.h>
#include <malloc.h>
#include <stdlib.h>
#include <string.h>

extern void* __libc_malloc(size_t size);
extern void* __libc_realloc(void* block, size_t size);
extern void* __libc_memalign(size_t alignment, size_t size);

static void* zeroed(void* block, size_t size) {
    if (block != NULL)
        memset(block, 0, size);
    return block;
}

void* malloc(size_t size) {
    return zeroed(__libc_malloc(size), size);
}

void* realloc(void* block, size_t size) {
    const size_t had = block != NULL ? malloc_usable_size(block) : 0;
    char* grown = __libc_realloc(block, size);
    if (grown != NULL && size > had)
        memset(grown + had, 0, size - had);
    return grown;
}

void* memalign(size_t alignment, size_t size) {
    return zeroed(__libc_memalign(alignment, size), size);
}

void* aligned_alloc(size_t alignment, size_t size) {
    return memalign(alignment, size);
}

int posix_memalign(void** result, size_t alignment, size_t size) {
    void* block = memalign(alignment, size);
    if (block == NULL)
        return ENOMEM;
    *result = block;
    return 0;
}
