/*
 * The table tests, in the manner of Wine's conformance tests: each case is a
 * row of a table, each check an ok() whose message names what failed.
 */
#ifndef QUENMAR_TEST_H
#define QUENMAR_TEST_H

#include <stdio.h>
#include <string.h>
#include "uninstall.h"

static int Failures;

#define ok(condition, ...) \
    ((condition) ? 1 : (printf("%s:%d: ", __FILE__, __LINE__), printf(__VA_ARGS__), printf("\n"), Failures++, 0))

/* Ends a test: its exit code and one line of summary. */
static inline int Done(const char *name)
{
    printf("%s: %s\n", name, Failures ? "FAILED" : "passed");
    return Failures != 0;
}

/* Replaces a function that this executable imports (the program's code
   linked into it calls through the same slot); returns the one it replaced.
   This is how a test brings about what Wine cannot: a service that never
   settles, a user who is no administrator. */
static inline void *PatchImport(const char *dll, const char *function, void *replacement)
{
    BYTE *base = (BYTE *)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS *headers = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_IMPORT_DESCRIPTOR *import = (IMAGE_IMPORT_DESCRIPTOR *)(
        base + headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    IMAGE_THUNK_DATA *names, *slots;
    DWORD protection;
    void *previous;

    for (; import->Name != 0; import++) {
        if (_stricmp((const char *)(base + import->Name), dll) != 0)
            continue;
        names = (IMAGE_THUNK_DATA *)(base + import->OriginalFirstThunk);
        slots = (IMAGE_THUNK_DATA *)(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)
                || strcmp((const char *)((IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData))->Name, function))
                continue;
            VirtualProtect(&slots->u1.Function, sizeof(void *), PAGE_READWRITE, &protection);
            previous = (void *)slots->u1.Function;
            slots->u1.Function = (ULONG_PTR)replacement;
            VirtualProtect(&slots->u1.Function, sizeof(void *), protection, &protection);
            return previous;
        }
    }
    ok(0, "this test does not import %s!%s", dll, function);
    return NULL;
}

#endif
