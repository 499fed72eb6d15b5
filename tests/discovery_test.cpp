/* The installation folder from the registered OCR program, however the path spells it. */
#include "test.h"

#define PF "C:\\Program Files"
#define Default PF "\\QuenmarT58"
#define Apps "C:\\Apps\\QuenmarT58"
#define Ocr "\\Sprint\\Sprint.exe"
#define X40 "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"

/* On the searched drive D:, folders whose names only begin with the product's folder name. */
static const char *Folders[] = { Default, "C:\\Apps", Apps, "D:\\T", "D:\\T\\QuenmarT580", "D:\\T\\QuenmarT58 Extras" };

/* registered: the App Paths value (REG_EXPAND_SZ with a variable), "%s" the short form Wine gives shortOf; NULL: none. */
static const struct { const char *shortOf, *registered; DWORD sibling; const char *wanted; } Cases[] = {
    { NULL, Apps Ocr, 0, Apps }, { Apps, "%s" Ocr, 0, Apps }, { Apps, "%s" Ocr, 1, Apps }, { PF, "%s" Ocr, 0, Default },
    { NULL, PF "\\." Ocr, 0, Default }, { NULL, Default "\\.." Ocr, 0, Default }, { NULL, "C:\\." Ocr, 0, Default },
    { NULL, "C:\\\\Program Files" Ocr, 0, Default }, { NULL, PF "/" Ocr, 0, Default }, { NULL, NULL, 0, Default },
    { NULL, "C:\\WINDOWS/system32" Ocr, 0, Default }, { NULL, "c:\\PROGRAM FILES" Ocr, 0, Default },
    { NULL, "C:\\Apps\\Gone" Ocr, 0, Default }, { NULL, "C:\\Apps\\Sprint.exe", 0, Default },
    { NULL, "%%SystemDrive%%\\Apps\\QuenmarT58" Ocr, 0, Apps }, { NULL, "%%SystemDrive%%\\Apps" Ocr, 0, Default },
    /* Expanded to 255 characters, and to 256: refused, not cut back into Apps. */
    { NULL, Apps "\\Sprint\\%%Pad%%.ex", 0, Apps }, { NULL, Apps "\\Sprint\\%%Pad%%.exe", 0, Default },
};

int main(void)
{
    char shortForm[MAX_PATH] = "", registered[MAX_PATH];
    unsigned i;

    for (i = 0; i < ARRAY_SIZE(Folders); i++)
        CreateDirectoryA(Folders[i], NULL);
    /* Only Apps holds one of the product's installed programs; Pad stands for 226 characters. */
    SetEnvironmentVariableA("Pad", X40 X40 X40 X40 X40 "xxxxxxxxxxxxxxxxxxxxxxxxxx");
    CloseHandle(CreateFileA(Apps "\\QnmPrnChkXP.exe", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    for (i = 0; i < ARRAY_SIZE(Cases); i++) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, AppPathsKey OcrProgramName);
        if (Cases[i].shortOf != NULL)
            ok(GetShortPathNameA(Cases[i].shortOf, shortForm, MAX_PATH), "no short form of %s", Cases[i].shortOf);
        snprintf(registered, sizeof(registered), Cases[i].registered ? Cases[i].registered : "(none)", shortForm);
        if (Cases[i].registered != NULL)
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, AppPathsKey OcrProgramName, NULL, strchr(registered, '%') ? REG_EXPAND_SZ
                            : REG_SZ, registered, strlen(registered) + 1);
        SiblingModelPresent = Cases[i].sibling;
        InstallDir[0] = '\0';
        FindInstallDir();
        ok(_stricmp(InstallDir, Cases[i].wanted) == 0, "App Paths " OcrProgramName " \"%s\"%s: InstallDir \"%s\", "
           "wanted \"%s\"", registered, Cases[i].sibling ? " beside a sibling" : "", InstallDir, Cases[i].wanted);
    }
    return Done("discovery");
}
