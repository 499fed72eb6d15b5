/* Text edits and checks over byte buffers read from the machine: the
   "[rename]" section of WININIT.INI and the lines of an INF file. They make
   no Windows calls and compare plain ASCII, so that they behave the same
   whatever the code page, and any bytes at all, of any length, are safe. */
#include <string.h>
#include "uninstall.h"

#define RenameSection "[rename]"
#define RenameSectionLength (sizeof(RenameSection) - 1)
#define RenameHeader RenameSection "\r\n"
#define RenameHeaderLength (sizeof(RenameHeader) - 1)
#define LineBreakLength 2
static_assert(RenameLineRoom == LineBreakLength + RenameHeaderLength, "room for a line break and the header");

static int IsAsciiLetterOrDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

static char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

/* True when count bytes at a and at b are the same, ASCII letters in any
   case when ignoreCase. */
static int SameBytes(const char *a, const char *b, size_t count, int ignoreCase)
{
    size_t i;

    for (i = 0; i < count; i++)
        if (a[i] != b[i] && (!ignoreCase || AsciiLower(a[i]) != AsciiLower(b[i])))
            return 0;
    return 1;
}

/* True when the text begins with the section name "[rename]" in any letter case. */
static int IsRenameSectionAt(const char *text)
{
    return SameBytes(text, RenameSection, RenameSectionLength, 1);
}

/* Finds the "[rename]" header (any letter case) at the start of a line and
   ended by "\r\n", a bare "\n" or the end of the text; *insertAt receives the
   offset just behind the header line. */
static int FindRenameSection(const char *text, size_t size, size_t *insertAt)
{
    size_t line = 0, end;

    while (line + RenameSectionLength <= size) {
        if (IsRenameSectionAt(text + line)) {
            end = line + RenameSectionLength;
            if (end == size) {
                *insertAt = end;
                return 1;
            }
            if (text[end] == '\r' && end + 1 < size && text[end + 1] == '\n')
                end++;
            if (text[end] == '\n') {
                *insertAt = end + 1;
                return 1;
            }
        }
        while (line < size && text[line] != '\n')
            line++;
        line++;
    }
    return 0;
}

/* Ends a last line that lacks its line break with "\r\n"; returns the size. */
static size_t EndLastLine(char *text, size_t size)
{
    if (size == 0 || text[size - 1] == '\n')
        return size;
    memcpy(text + size, "\r\n", LineBreakLength);
    return size + LineBreakLength;
}

/* Puts the line first into the "[rename]" section of the text, adding the
   section at the end when there is none; every byte that was there before
   stays. The buffer holds RenameLineRoom bytes and the line behind the text.
   Returns the new size of the text. */
size_t InsertRenameLine(char *text, size_t size, const char *line, size_t length)
{
    size_t insertAt;

    if (!FindRenameSection(text, size, &insertAt)) {
        size = EndLastLine(text, size);
        memcpy(text + size, RenameHeader, RenameHeaderLength);
        size += RenameHeaderLength;
        insertAt = size;
    } else if (insertAt == size) {
        size = insertAt = EndLastLine(text, size);
    }
    memmove(text + insertAt + length, text + insertAt, size - insertAt);
    memcpy(text + insertAt, line, length);
    return size + length;
}

/* True when the text names the model: it holds the model name (case counts
   unless ignoreCase) and the byte behind it is no ASCII letter or digit, so
   that a longer model number is not taken for it. */
int NamesModel(const char *text, size_t length, const char *model, int ignoreCase)
{
    size_t modelLength = strlen(model);
    size_t at;

    if (modelLength == 0 || modelLength > length)
        return 0;
    for (at = 0; at <= length - modelLength; at++)
        if (SameBytes(text + at, model, modelLength, ignoreCase)
            && (at + modelLength == length || !IsAsciiLetterOrDigit(text[at + modelLength])))
            return 1;
    return 0;
}
