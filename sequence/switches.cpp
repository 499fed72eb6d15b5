/* The switches for administrators: /quiet, /log:FILE, /plan:FILE and /?,
   in any letter case, each beginning with "/" or "-"; a file name may stand
   in quotes, whole or in part. */
#include <string.h>
#include "uninstall.h"
#include "resource.h"

/* Takes the next word of the command line into word (MAX_PATH bytes): up to
   the next blank outside quotes, the quotes left out. Returns the rest of the
   line, or NULL when no word is left; *fits is 0 when the word was longer
   than the buffer (it is then cut). */
static const char *NextWord(const char *line, char *word, int *fits)
{
    size_t length = 0;
    int quoted = 0;

    while (*line == ' ' || *line == '\t')
        line++;
    if (*line == '\0')
        return NULL;
    *fits = 1;
    for (; *line != '\0' && (quoted || (*line != ' ' && *line != '\t')); line++) {
        if (*line == '"')
            quoted = !quoted;
        else if (length + 1 < MAX_PATH)
            word[length++] = *line;
        else
            *fits = 0;
    }
    word[length] = '\0';
    return line;
}

/* The file name that the switch word gives when it is "/name:FILE" (an empty
   one for "/name" or "/name:"); NULL when it is another switch. */
static const char *FileOfSwitch(const char *word, const char *name)
{
    size_t length = strlen(name);

    if (_strnicmp(word + 1, name, length) != 0)
        return NULL;
    if (word[length + 1] == '\0')
        return "";
    return word[length + 1] == ':' ? word + length + 2 : NULL;
}

/* Sets QuietRun, PlanOnly and ReportPath from the command line. Shows the
   usage (unless /quiet was given) for /?, then returns 0, and for an unknown
   switch, a file name that is missing or too long, or /plan beside /log,
   then returns ERROR_INVALID_PARAMETER; otherwise returns SwitchesRun. */
int ReadSwitches(const char *commandLine)
{
    char word[MAX_PATH];
    const char *file;
    int fits, valid = 1, help = 0, logged = 0;

    while ((commandLine = NextWord(commandLine, word, &fits)) != NULL) {
        file = NULL;
        if (word[0] != '/' && word[0] != '-')
            valid = 0;
        else if (_stricmp(word + 1, "quiet") == 0)
            QuietRun = 1;
        else if (strcmp(word + 1, "?") == 0)
            help = 1;
        else if ((file = FileOfSwitch(word, "plan")) != NULL)
            PlanOnly = 1;
        else if ((file = FileOfSwitch(word, "log")) != NULL)
            logged = 1;
        else
            valid = 0;
        if (file != NULL && (!fits || file[0] == '\0'))
            valid = 0;
        else if (file != NULL)
            memcpy(ReportPath, file, strlen(file) + 1);
    }
    if (PlanOnly && logged)
        valid = 0;
    if (!valid || help) {
        ShowStringMessage(IDS_TITLE, IDS_USAGE);
        return valid ? 0 : ERROR_INVALID_PARAMETER;
    }
    QuietRun |= PlanOnly;
    return SwitchesRun;
}
