/* Hand-back of the companion applications: when another model of the series
   stays installed, the copy application's document type, the App Paths
   entries of the copy application and the OCR program, and the copy
   application's product value are pointed at the copies that remain on the
   disks and at the sibling model. */
#include <direct.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include "uninstall.h"

#define CopyAppName "Rudorid55.exe"
#define DocumentKey "Quenmar.Document"
#define CopyAppSettingsKey "Software\\ZudAdov\\DevOred5.5"

/* Program paths and written values hold at most 255 characters. */
#define PathSize 256
/* Characters of the sibling's driver name that its folder name may be formed from. */
#define SiblingNameLimit 99

/* Formats into a PathSize buffer; 0 when the text does not fit. */
static int __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3))) FormatPath(char *buffer, const char *format, ...)
{
    va_list arguments;
    int written;

    va_start(arguments, format);
    written = vsnprintf(buffer, PathSize, format, arguments);
    va_end(arguments);
    return written >= 0 && written < PathSize;
}

/* Replaces a path by its short or long form; it stays as it is when that fails. */
static void ConvertPathForm(char *path, int shortForm)
{
    char converted[PathSize];
    DWORD length;

    length = shortForm ? GetShortPathNameA(path, converted, PathSize)
                       : GetLongPathNameA(path, converted, PathSize);
    if (length > 0 && length < PathSize)
        memcpy(path, converted, length + 1);
}

/* Searches the fixed drives in order for a program outside the product's folders and forms
   its full path; the current drive and folder and FoundFolder are the same afterwards. */
static int FindProgramOnFixedDrives(const char *name, char *path)
{
    char currentDir[MAX_PATH], drives[PathSize];
    char keptFound[sizeof(FoundFolder)];
    const char *root, *separator;
    DWORD length;
    int drive, found;

    length = GetCurrentDirectoryA(sizeof(currentDir), currentDir);
    if (length == 0 || length >= sizeof(currentDir))
        return 0;
    drive = _getdrive();
    memcpy(keptFound, FoundFolder, sizeof(keptFound));
    length = GetLogicalDriveStringsA(sizeof(drives), drives);
    if (length == 0 || length >= sizeof(drives))
        drives[0] = '\0';
    found = 0;
    for (root = drives; *root != '\0' && !found; root += strlen(root) + 1) {
        if (GetDriveTypeA(root) != DRIVE_FIXED || !SetCurrentDirectoryA(root))
            continue;
        found = FindNameInTree(name, 2);
        if (found) {
            length = (DWORD)strlen(FoundFolder);
            separator = (length > 0 && FoundFolder[length - 1] == '\\') ? "" : "\\";
            found = FormatPath(path, "%s%s%s", FoundFolder, separator, name);
        }
    }
    _chdrive(drive);
    SetCurrentDirectoryA(currentDir);
    memcpy(FoundFolder, keptFound, sizeof(FoundFolder));
    return found;
}

/* Forms where the sibling model's installation holds the copy application: the folder
   named after its driver (the text before the driver name's last blank joined to the
   text after its first blank) in the Program Files folder; 0 when the names do not fit. */
static int FormSiblingCopyAppPath(char *path)
{
    char programFiles[PathSize];
    const char *firstBlank, *lastBlank, *tail;
    char *lastSlash;
    size_t length;
    int head;

    length = strnlen(SiblingDriverName, sizeof(SiblingDriverName));
    if (length > SiblingNameLimit || !FormatPath(programFiles, "%s", DefaultInstallDir))
        return 0;
    lastSlash = strrchr(programFiles, '\\');
    if (lastSlash == NULL)
        return 0;
    *lastSlash = '\0';
    firstBlank = strchr(SiblingDriverName, ' ');
    lastBlank = strrchr(SiblingDriverName, ' ');
    head = lastBlank ? (int)(lastBlank - SiblingDriverName) : (int)length;
    tail = firstBlank ? firstBlank + 1 : "";
    return FormatPath(path, "%s\\%.*s%s\\%s", programFiles, head, SiblingDriverName, tail, CopyAppName);
}

/* Writes one value into an existing key; a key that does not open is left alone. */
static void SetExistingValue(HKEY root, const char *path, const char *name, const char *data)
{
    WriteStringValue(root, path, name, data, 0);
}

/* Points the icon and the open, print and print-to commands of the document type at
   the copy application; a path with a blank goes in quotes so that it stays whole.
   The print-to command is the longest: when it does not fit, none is written, and
   the document type is never left half handed over. */
static void SetDocumentCommands(const char *path)
{
    char program[PathSize], value[PathSize], printTo[PathSize];
    const char *quote = strchr(path, ' ') ? "\"" : "";

    if (!FormatPath(program, "%s%s%s", quote, path, quote) ||
        !FormatPath(printTo, "%s /pt \"%%%d \"  \"%%%d\"  \"%%%d\"  \"%%%d\" ", program, 1, 2, 3, 4))
        return;
    if (FormatPath(value, "%s,%d", program, 1))
        SetExistingValue(HKEY_CLASSES_ROOT, DocumentKey "\\DefaultIcon", NULL, value);
    if (FormatPath(value, "%s \"%%%d\"", program, 1))
        SetExistingValue(HKEY_CLASSES_ROOT, DocumentKey "\\shell\\open\\command", NULL, value);
    if (FormatPath(value, "%s /p \"%%%d\"", program, 1))
        SetExistingValue(HKEY_CLASSES_ROOT, DocumentKey "\\shell\\print\\command", NULL, value);
    SetExistingValue(HKEY_CLASSES_ROOT, DocumentKey "\\shell\\printto\\command", NULL, printTo);
}

/* Writes the copy application's App Paths entry: its long path and its folder. */
static void SetCopyAppPaths(char *path)
{
    char *lastSlash;

    ConvertPathForm(path, 0);
    if (WriteStringValue(HKEY_LOCAL_MACHINE, AppPathsKey CopyAppName, NULL, path, 0) != ERROR_SUCCESS)
        return;
    lastSlash = strrchr(path, '\\');
    if (lastSlash != NULL) {
        *lastSlash = '\0';
        WriteStringValue(HKEY_LOCAL_MACHINE, AppPathsKey CopyAppName, "Path", path, 0);
    }
}

/* Hands the companion applications to the sibling model; 0 when there is none. */
int HandBackCompanionApps(void)
{
    char path[PathSize];
    int known;
    LONG status;

    if (!SiblingModelPresent)
        return 0;
    if (FindProgramOnFixedDrives(CopyAppName, path)) {
        ConvertPathForm(path, 1);
        known = 1;
    } else {
        known = FormSiblingCopyAppPath(path);
    }
    if (known) {
        SetDocumentCommands(path);
        SetCopyAppPaths(path);
    }
    if (FindProgramOnFixedDrives(OcrProgramName, path)) {
        ConvertPathForm(path, 0);
        SetExistingValue(HKEY_LOCAL_MACHINE, AppPathsKey OcrProgramName, NULL, path);
    } else {
        status = DeleteKeyWithSubkeys(HKEY_LOCAL_MACHINE, AppPathsKey OcrProgramName);
        if (status != ERROR_SUCCESS)
            TraceFailure((DWORD)status, "Cannot delete key HKLM\\" AppPathsKey OcrProgramName);
    }
    SetExistingValue(HKEY_LOCAL_MACHINE, CopyAppSettingsKey, "Product", SiblingDriverName);
    return 1;
}
