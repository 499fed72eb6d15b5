/* OEM INF cleanup on Windows 2000 and XP: the copies that Windows keeps of
   the product's printer INF in its INF folder, under names of its own, are
   found through the Setup API and deleted with their precompiled twins. */
#include "uninstall.h"
#include <string.h>
#include <setupapi.h>

/* The printer driver's own INF, removed by the NT sweep and never here. */
#define DriverInfName "QMTR.INF"

/* Puts the Windows INF folder into a buffer of MAX_PATH bytes; 0 when it
   cannot be had. */
static int GetInfFolder(char *buffer)
{
    char windows[256];

    return GetWindowsFolder(windows) && JoinPath(buffer, MAX_PATH, windows, "inf");
}

/* Characters needed for a list of every "*.inf" name of a folder, each with
   its terminator: the Setup API lists only some of them, so this bounds its
   list from above even where its own sizing call reports nothing. */
static DWORD MeasureInfNames(const char *folder)
{
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA entry;
    HANDLE find;
    DWORD total = 0;

    if (!JoinPath(pattern, sizeof(pattern), folder, "*.inf"))
        return 0;
    find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        total += (DWORD)strlen(entry.cFileName) + 1;
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return total;
}

/* Lists the Windows-4 style INF files of a folder (NULL: the Windows INF
   folder) into a block of names, each ended by a NUL, the list by an empty
   name. The block (stored in *list, NULL when none) is sized to hold the
   whole list, also where the Setup API's sizing call reports too little, and
   has two NULs behind the part the listing may fill, so that the list always
   ends. A folder without INF files, or none at all, is not listed (the Setup
   API may then report success with text that names nothing) and gives an
   empty list. Nonzero when the listing succeeded. */
int ListInfFiles(char **list, const char *folder)
{
    char infFolder[MAX_PATH];
    DWORD needed = 0;
    DWORD measured;

    *list = NULL;
    if (folder == NULL) {
        if (!GetInfFolder(infFolder))
            return 0;
        folder = infFolder;
    }
    SetupGetInfFileListA(folder, INF_STYLE_WIN4, NULL, 0, &needed);
    measured = MeasureInfNames(folder);
    if (measured + 1 > needed)
        needed = measured + 1;
    *list = (char *)AllocBlock(needed + 2);
    if (*list == NULL || measured == 0)
        return 0;
    return SetupGetInfFileListA(folder, INF_STYLE_WIN4, *list, needed, NULL);
}

/* 1 when the INF's own "Version" section gives the class "Printer". */
static int HasPrinterClass(HINF inf, INFCONTEXT *context)
{
    char className[64];

    return SetupFindFirstLineA(inf, "Version", "Class", context)
        && SetupGetStringFieldA(context, 1, className, sizeof(className), NULL)
        && _stricmp(className, "Printer") == 0;
}

/* Reads the text of the line at context into a new block; NULL when the line
   cannot be read. */
static char *ReadLineText(HINF inf, INFCONTEXT *context)
{
    DWORD size = 0;
    char *text;

    SetupGetLineTextA(context, inf, "Strings", NULL, NULL, 0, &size);
    if (size == 0)
        return NULL;
    text = (char *)AllocBlock(size * 2);
    if (text == NULL)
        return NULL;
    if (!SetupGetLineTextA(context, inf, "Strings", NULL, text, size, NULL)) {
        FreeBlock(text);
        return NULL;
    }
    return text;
}

/* 1 when the text names the driver of another installed printer, in any
   letter case (as Windows names drivers), and when the survey's list of
   those drivers is full, so that it may have left out the one that the text
   names. */
static int NamesOtherPrinterDriver(const char *text, size_t length)
{
    unsigned row;

    for (row = 0; row < ARRAY_SIZE(OtherPrinterDrivers) && OtherPrinterDrivers[row][0] != '\0'; row++)
        if (NamesModel(text, length, OtherPrinterDrivers[row], 1))
            return 1;
    return row == ARRAY_SIZE(OtherPrinterDrivers);
}

/* Walks the "Strings" section: 1 when a line names the product and no line
   names the driver of another installed printer (a multi-model INF of the
   maker that the other printer still needs). */
static int StringsNameProductOnly(HINF inf, INFCONTEXT *context)
{
    int product = 0;
    int other = 0;
    char *text;
    size_t length;

    if (!SetupFindFirstLineA(inf, "Strings", NULL, context))
        return 0;
    do {
        text = ReadLineText(inf, context);
        if (text == NULL)
            return 0;
        length = strlen(text);
        if (NamesModel(text, length, ProductDisplayName, 0))
            product = 1;
        other = NamesOtherPrinterDriver(text, length);
        FreeBlock(text);
    } while (!other && SetupFindNextLine(context, context));
    return product && !other;
}

/* 1 when the INF name in folder is a copy of the product's printer INF: not
   the driver's own INF, Windows-4 style, of class "Printer" by its own
   "Version" section (the Setup API may open other classes too), and naming
   the product in its "Strings". */
int IsProductPrinterInf(const char *name, const char *folder)
{
    char path[MAX_PATH];
    UINT errorLine;
    HINF inf;
    INFCONTEXT *context;
    int match = 0;

    if (_stricmp(name, DriverInfName) == 0 || !JoinPath(path, sizeof(path), folder, name))
        return 0;
    inf = SetupOpenInfFileA(path, "Printer", INF_STYLE_WIN4, &errorLine);
    if (inf == INVALID_HANDLE_VALUE)
        return 0;
    context = (INFCONTEXT *)AllocBlock(sizeof(INFCONTEXT));
    if (context != NULL) {
        match = HasPrinterClass(inf, context) && StringsNameProductOnly(inf, context);
        FreeBlock(context);
    }
    SetupCloseInfFile(inf);
    return match;
}

/* Deletes an INF file or its twin at once, read-only or not; one that
   cannot be deleted is traced and stays. */
static void DeleteInfFile(const char *path)
{
    if (!RemoveFile(path, 1))
        TraceFailure(GetLastError(), "Cannot delete %s", path);
}

/* Deletes the precompiled twin of the INF at path (a buffer of MAX_PATH
   bytes, rewritten in place): the same name with the extension ".PNF". A
   file name without an extension has no twin. Always nonzero. */
int DeletePnfTwin(char *path)
{
    char *name = strrchr(path, '\\');
    char *dot;

    name = name != NULL ? name + 1 : path;
    dot = strrchr(name, '.');
    if (dot == NULL || (size_t)(dot - path) + sizeof(".PNF") > MAX_PATH)
        return 1;
    memcpy(dot, ".PNF", sizeof(".PNF"));
    DeleteInfFile(path);
    return 1;
}

/* Deletes every copy of the product's printer INF in the Windows INF folder,
   and its twin, at once and whatever the results. Always nonzero. */
int CleanOemInfFiles(void)
{
    char infFolder[MAX_PATH];
    char name[100];
    char path[MAX_PATH];
    char *list;
    const char *entry;
    size_t length;

    if (!GetInfFolder(infFolder))
        return 1;
    /* A listing that failed may have stopped inside a name: nothing of it is used. */
    if (!ListInfFiles(&list, infFolder) && list != NULL)
        list[0] = '\0';
    if (list == NULL)
        return 1;
    for (entry = list; *entry != '\0'; entry += length + 1) {
        length = strlen(entry);
        if (length >= sizeof(name))
            continue;
        memcpy(name, entry, length + 1);
        if (IsProductPrinterInf(name, infFolder) && JoinPath(path, sizeof(path), infFolder, name)) {
            DeleteInfFile(path);
            DeletePnfTwin(path);
        }
    }
    FreeBlock(list);
    return 1;
}
