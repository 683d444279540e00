/* A host written in C: it loads the module at run time, finds its exports by name and calls them,
 * with nobody signed in. Exit status 0 when every check holds. */

#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>

typedef void (*SlotExport)(uint16_t **);
typedef uint8_t (*CloseExport)(int32_t);
typedef void (*ClearExport)(void);
typedef int32_t (*LengthFn)(const uint16_t *);
typedef void (*FreeFn)(uint16_t *);

static int failures = 0;

static void check(int holds, const char *what)
{
    if (!holds) {
        fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: dlopen_program path/to/libLumekoAchieve.so\n");
        return 2;
    }
    void *module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    SlotExport title = (SlotExport)dlsym(module, "GetDLLTitle");
    SlotExport actions = (SlotExport)dlsym(module, "GetDLLActions");
    CloseExport closePage = (CloseExport)dlsym(module, "ClosePage");
    ClearExport clearAll = (ClearExport)dlsym(module, "ClearAllRes");
    LengthFn length = (LengthFn)dlsym(module, "LumekoWideStringLength");
    FreeFn release = (FreeFn)dlsym(module, "LumekoFreeWideString");
    check(title && actions && closePage && clearAll, "the exports are found by their plain names");
    check(length && release, "the wide-string functions of LumekoPub come with the module");
    if (failures) return 1;

    uint16_t *slot = NULL;
    title(&slot);
    /* "更多" is U+66F4 U+591A. */
    check(slot && length(slot) == 2 && slot[0] == 0x66F4 && slot[1] == 0x591A && slot[2] == 0, "the title is 更多");
    actions(&slot);
    check(slot && length(slot) == 0, "no actions without a signed-in user");
    release(slot);
    check(closePage(0) == 0 && closePage(-5) == 0, "bad handles close nothing");
    clearAll();
    dlclose(module);
    return failures ? 1 : 0;
}
