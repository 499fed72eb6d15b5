/* The installation folder as FindInstallDir derives it from the registered
   OCR program: a folder is judged by what it is, however the path spells it,
   with the short names that Wine gives (asked for, never written down). */
#include "test.h"

#define Default "C:\\Program Files\\QuenmarT58"

static const char *Folders[] = {
    Default, "C:\\Apps", "C:\\Apps\\QuenmarT58",
    /* On a searched drive, names that only begin with the product's folder name. */
    "D:\\Tools", "D:\\Tools\\QuenmarT580", "D:\\Tools\\QuenmarT58 Extras",
};

static const struct {
    const char *shortOf, *registered; /* %s: the short form of shortOf; NULL: no entry */
    DWORD sibling;
    const char *wanted;
} Cases[] = {
    { NULL, "C:\\Apps\\QuenmarT58\\OCR\\Sprint.exe", 0, "C:\\Apps\\QuenmarT58" },
    { "C:\\Program Files", "%s\\Sprint\\SPRINT.EXE", 0, Default },
    { "C:\\Apps\\QuenmarT58", "%s\\OCR\\SPRINT.EXE", 0, "C:\\Apps\\QuenmarT58" },
    { "C:\\Apps\\QuenmarT58", "%s\\OCR\\SPRINT.EXE", 1, "C:\\Apps\\QuenmarT58" },
    { NULL, "C:\\Program Files\\.\\Sprint\\Sprint.exe", 0, Default },
    { NULL, "C:\\Program Files\\QuenmarT58\\..\\Sprint\\Sprint.exe", 0, Default },
    { NULL, "C:\\\\Program Files\\Sprint\\Sprint.exe", 0, Default },
    { NULL, "C:\\Program Files/\\Sprint\\Sprint.exe", 0, Default },
    { NULL, "C:\\WINDOWS/system32\\Sprint\\Sprint.exe", 0, Default },
    { NULL, "c:\\PROGRAM FILES\\Sprint\\Sprint.exe", 0, Default },
    { NULL, "C:\\.\\Sprint\\Sprint.exe", 0, Default },
    { NULL, "C:\\Apps\\Gone\\OCR\\Sprint.exe", 0, Default }, { NULL, "C:\\Apps\\Sprint.exe", 0, Default },
    { NULL, NULL, 0, Default },
};

int main(void)
{
    char shortForm[MAX_PATH] = "", registered[MAX_PATH];
    unsigned i;
    HKEY key;

    for (i = 0; i < ARRAY_SIZE(Folders); i++)
        CreateDirectoryA(Folders[i], NULL);
    for (i = 0; i < ARRAY_SIZE(Cases); i++) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, AppPathsKey OcrProgramName);
        if (Cases[i].shortOf != NULL)
            ok(GetShortPathNameA(Cases[i].shortOf, shortForm, MAX_PATH), "no short form of %s", Cases[i].shortOf);
        snprintf(registered, sizeof(registered), Cases[i].registered ? Cases[i].registered : "(none)", shortForm);
        if (Cases[i].registered != NULL && RegCreateKeyA(HKEY_LOCAL_MACHINE, AppPathsKey OcrProgramName, &key) == 0) {
            RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)registered, strlen(registered) + 1);
            RegCloseKey(key);
        }
        SiblingModelPresent = Cases[i].sibling;
        InstallDir[0] = '\0';
        FindInstallDir();
        ok(_stricmp(InstallDir, Cases[i].wanted) == 0, "App Paths " OcrProgramName " \"%s\"%s: InstallDir \"%s\", "
           "wanted \"%s\"", registered, Cases[i].sibling ? " beside a sibling" : "", InstallDir, Cases[i].wanted);
    }
    return Done("discovery");
}
