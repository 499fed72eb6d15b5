/* The file that /log and /plan write. It begins with what the start-up
   found (the Windows family, the printers, the installation folder and the
   conditions they set); then the log takes every line the run traces, and
   the plan every line that a changing call writes in place of acting
   (PlanOnly). The plan remembers what it reported as gone, so that the later
   steps find the machine as the run would have left it. */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include "uninstall.h"

static HANDLE ReportFile = INVALID_HANDLE_VALUE;

/* What the plan reported as gone: full paths of files and folders, and keys
   as "<root>\<path>", each ended by a NUL. */
static char PlannedNames[262144];
static size_t PlannedLength;

/* Writes one line to the report, when there is one. Each line break of the
   text, with the blanks around it, becomes one blank; a text too long for the
   line is dropped whole. A line that cannot be written is lost, and the run
   goes on. */
void ReportLine(const char *format, ...)
{
    char text[1024], line[sizeof(text) + 2];
    va_list arguments;
    size_t in, out = 0;
    DWORD written;
    int length;

    if (ReportFile == INVALID_HANDLE_VALUE)
        return;
    va_start(arguments, format);
    length = vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    if (length < 0 || length >= (int)sizeof(text))
        return;
    for (in = 0; text[in] != '\0'; in++) {
        if (text[in] != '\r' && text[in] != '\n') {
            line[out++] = text[in];
            continue;
        }
        while (out > 0 && line[out - 1] == ' ')
            out--;
        line[out++] = ' ';
        while (text[in + 1] == '\r' || text[in + 1] == '\n' || text[in + 1] == ' ')
            in++;
    }
    memcpy(line + out, "\r\n", 2);
    WriteFile(ReportFile, line, (DWORD)out + 2, &written, NULL);
}

static const char *FamilyName(void)
{
    return IsWinXP ? "Windows XP" : IsWin2000 ? "Windows 2000" : IsWin98 ? "Windows 98" : "Windows Me";
}

/* Opens the file that a switch named, a plan afresh and a log to append to,
   and writes its first lines. 0 only for a plan that cannot be written; a
   log that cannot be opened is not kept, and the removal goes on. */
int StartReport(void)
{
    SYSTEMTIME now;

    if (ReportPath[0] == '\0')
        return 1;
    ReportFile = CreateFileA(ReportPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, PlanOnly ? CREATE_ALWAYS : OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (ReportFile == INVALID_HANDLE_VALUE)
        return !PlanOnly;
    SetFilePointer(ReportFile, 0, NULL, FILE_END);
    GetLocalTime(&now);
    ReportLine("%s removal%s, %04u-%02u-%02u %02u:%02u:%02u", ProductDisplayName, PlanOnly ? " plan" : "",
               now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    if (PlanOnly)
        ReportLine("What a removal run would do on this machine; nothing has been changed.");
    ReportLine("Windows family: %s", FamilyName());
    return 1;
}

/* Writes which of the conditions that decide how much goes hold. */
void ReportConditions(void)
{
    ReportLine("Another printer of the maker: %s", OtherMakerPrinterPresent
               ? "yes; the maker's shared drivers, components and keys stay" : "no");
    if (SiblingModelPresent)
        ReportLine("Sibling model of the series: yes, driver \"%s\"; the scan, copy and OCR applications and their "
                   "libraries stay, and are handed over to it", SiblingDriverName);
    else
        ReportLine("Sibling model of the series: no");
    ReportLine("%s", PlanOnly ? "What a removal run would do, in its order:" : "What the run does, in its order:");
}

/* 1 when the plan reported name, or a folder or key that holds it, as gone. */
int IsPlannedAway(const char *name)
{
    const char *entry;
    size_t length;

    for (entry = PlannedNames; entry < PlannedNames + PlannedLength; entry += length + 1) {
        length = strlen(entry);
        if (_strnicmp(entry, name, length) == 0 && (name[length] == '\0' || name[length] == '\\'))
            return 1;
    }
    return 0;
}

/* Writes "<action><tab><item>" and remembers the item as gone. When the
   memory is full, nothing is written, and the item counts as one that cannot
   go: ERROR_NOT_ENOUGH_MEMORY, else ERROR_SUCCESS. */
DWORD PlanRemoval(const char *action, const char *item)
{
    size_t length = strlen(item);

    if (length + 1 > sizeof(PlannedNames) - PlannedLength)
        return ERROR_NOT_ENOUGH_MEMORY;
    memcpy(PlannedNames + PlannedLength, item, length + 1);
    PlannedLength += length + 1;
    ReportLine("%s\t%s", action, item);
    return ERROR_SUCCESS;
}
