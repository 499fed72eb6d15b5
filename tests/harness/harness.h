/*
 * Test harness: runs the program's code and the real program on the Wine test
 * machine, with real files, registry keys and message boxes.
 */
#ifndef QUENMAR_TEST_HARNESS_H
#define QUENMAR_TEST_HARNESS_H

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "uninstall.h"

/* program state ---------------------------------------------------------- */

/* Puts every process-wide value of the program back to its start-up state,
 * sets hInstance to the test executable (which carries the program's
 * resources) and sets the flag of one family: "winxp", "win2k", "win98",
 * "winme", or "" for none. */
void ResetProgramState(const char *family);

/* files ------------------------------------------------------------------- */

/* A scratch folder "C:\qt58scratch\<test name>", empty at first; removed with
 * everything in it by the destructor. */
struct ScratchDir {
    std::string path;
    ScratchDir();
    ~ScratchDir();
    std::string operator/(const std::string &name) const { return path + "\\" + name; }
};

void MakeDirs(const std::string &path);                 /* creates every missing folder */
void WriteTextFile(const std::string &path, const std::string &text); /* parents too */
std::string ReadTextFile(const std::string &path);      /* whole file, bytes as they are */
bool PathExists(const std::string &path);
void RemoveTree(const std::string &path);               /* clears attributes, recursive */
std::string ShortPathOf(const std::string &path);       /* "" when it does not exist */
std::string WindowsDir();
std::string SystemDir();
std::string TempDir();                                  /* without trailing backslash */

/* An open handle on an existing file, closed by the destructor; with share
 * mode 0 the file cannot be deleted or renamed while it is held. */
struct HeldFile {
    HANDLE handle;
    HeldFile(const std::string &path, DWORD shareMode = 0);
    ~HeldFile();
};

/* A copy of a small test program (tools/holder.exe) running from the given
 * path, so that the file is the image of a running process; ended by the
 * destructor. */
struct RunningProgram {
    PROCESS_INFORMATION process;
    RunningProgram(const std::string &path);
    ~RunningProgram();
};

/* registry ---------------------------------------------------------------- */

/* name NULL or "" is the default value. */
void RegPut(HKEY root, const std::string &path, const char *name, const std::string &data);
void RegPutDword(HKEY root, const std::string &path, const char *name, DWORD data);
bool RegKeyExists(HKEY root, const std::string &path);
bool RegValueExists(HKEY root, const std::string &path, const char *name);
std::string RegGet(HKEY root, const std::string &path, const char *name);
void RegRemoveTree(HKEY root, const std::string &path);
std::vector<std::string> RegSubkeys(HKEY root, const std::string &path);

/* restart-time work ------------------------------------------------------- */

/* Pairs (source, target) of PendingFileRenameOperations, without the "\??\"
 * prefix; an empty target is a deletion. */
std::vector<std::pair<std::string, std::string>> PendingRenames();
bool IsPendingDeletion(const std::string &path);        /* case-insensitive */
void ClearPendingRenames();

/* Plays the restart of the test machine (wineboot -r) and waits for it:
 * WININIT.INI, pending renames and HKLM RunOnce are processed. */
void PlayRestart();

/* system functions -------------------------------------------------------- */

/* Replaces the test executable's import of dll!function by replacement and
 * returns the previous address; the destructor of ImportPatch puts it back. */
void *PatchImport(const char *dll, const char *function, void *replacement);
struct ImportPatch {
    const char *dll, *function;
    void *previous;
    ImportPatch(const char *dll, const char *function, void *replacement);
    ~ImportPatch();
};

/* Records every message the program passes to OutputDebugStringA (each
 * removal's trace) while it lives. */
struct TraceRecorder {
    TraceRecorder();
    ~TraceRecorder();
    std::vector<std::string> Messages() const;
    bool Contains(const std::string &message) const;
};

#include "boxes.h"

#endif
