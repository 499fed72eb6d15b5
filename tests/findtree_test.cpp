/* The folder-tree walk on small trees below C:\walk: the order it visits
   folders in, more pending folders than its first list holds, a folder that
   cannot be listed, a path too long for InstallDir, and folder links that
   lead back up the tree or aside to the sought name (planted from the Linux
   side by tests/CMakeLists.txt: Wine makes no links itself). */
#include "test.h"

#define X40 "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
/* What is made below C:\walk\<root> (by ';': folders, files with a dot, "*": 1100 folders), the name
   sought in a mode, and the folder then in InstallDir (mode 0) or FoundFolder (mode 1); NULL: not found. */
static const struct {
    const char *root, *made, *name;
    int mode;
    const char *found;
} Cases[] = {
    { "order", "a;a\\QuenmarT58;b;b\\quenmart58", "QuenmarT58", 0, "b\\quenmart58" },
    { "files", "a;a\\Scan.lnk;b;b\\c;z;z\\QuenmarT58.lnk", "Scan.lnk", 1, "a" },
    { "files", "", "QuenmarT58.lnk", 0, NULL },
    { "many", "*;z;z\\QuenmarT58", "QuenmarT58", 0, "z\\QuenmarT58" },
    { "unlisted", "a;a\\QuenmarT58;locked;locked\\QuenmarT58", "QuenmarT58", 0, "a\\QuenmarT58" },
    /* 256 characters in all, one more than InstallDir holds. */
    { "long", "a;a\\QuenmarT58;" X40 X40 X40 X40 X40 "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx;" X40 X40 X40 X40 X40
      "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\\QuenmarT58", "QuenmarT58", 0, "a\\QuenmarT58" },
    /* Links: a\x\root to the root, a\x\up to a; zlink and QuenmarT58 to real. */
    { "loops", "", "QuenmarT58", 0, NULL },
    { "alias", "", "QuenmarT58", 0, "real\\QuenmarT58" },
    { "alias", "", "Scan.lnk", 1, "real" },
};

static decltype(&FindFirstFileA) ListFolder;

static HANDLE WINAPI RefuseLocked(const char *pattern, WIN32_FIND_DATAA *entry)
{
    return strstr(pattern, "\\locked\\") != NULL ? INVALID_HANDLE_VALUE : ListFolder(pattern, entry);
}

int main(void)
{
    char root[MAX_PATH], made[600], path[MAX_PATH], wanted[MAX_PATH], *part;
    unsigned i, n;
    int found;

    ListFolder = (decltype(ListFolder))PatchImport("KERNEL32.dll", "FindFirstFileA", (void *)RefuseLocked);
    CreateDirectoryA("C:\\walk", NULL);
    for (i = 0; i < ARRAY_SIZE(Cases); i++) {
        snprintf(root, sizeof(root), "C:\\walk\\%s", Cases[i].root);
        CreateDirectoryA(root, NULL);
        for (part = strtok(strcpy(made, Cases[i].made), ";"); part; part = strtok(NULL, ";")) {
            snprintf(path, sizeof(path), "%s\\%s", root, part);
            if (strchr(part, '.'))
                CloseHandle(CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
            else if (*part != '*')
                CreateDirectoryA(path, NULL);
            for (n = 0; *part == '*' && n < 1100; n++) {
                snprintf(path, sizeof(path), "%s\\a%04u", root, n);
                CreateDirectoryA(path, NULL);
            }
        }
        SetCurrentDirectoryA(root);
        InstallDir[0] = FoundFolder[0] = '\0';
        found = FindNameInTree(Cases[i].name, Cases[i].mode);
        snprintf(wanted, sizeof(wanted), "%s\\%s", root, Cases[i].found ? Cases[i].found : "");
        ok(found == (Cases[i].found != NULL) && (!found || !_stricmp(Cases[i].mode ? FoundFolder : InstallDir, wanted)),
           "%s: %s in mode %d gave %d, \"%s\", wanted %s", root, Cases[i].name, Cases[i].mode, found,
           Cases[i].mode ? FoundFolder : InstallDir, Cases[i].found ? wanted : "not found");
    }
    return Done("findtree");
}
