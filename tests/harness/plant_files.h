/*
 * The product's files planted on the test machine: every row of the file
 * phase's name tables in its base folder, the program group, the desktop
 * shortcuts and the OEM INF copy, together with files and folders of other
 * products in the same folders, for one Windows family and one combination
 * of the start-up flags. The planted set knows what the file phase must
 * remove and what must stay, and puts the machine back afterwards.
 */
#ifndef QUENMAR_PLANT_FILES_H
#define QUENMAR_PLANT_FILES_H

#include <string>
#include <vector>

struct PlantedItem {
    std::string path;        /* full path */
    bool folder;
    bool product;            /* the product's own (false: another product's) */
    bool removable;          /* a file the phase deletes, or a folder it removes when empty */
    bool expectGone;         /* gone after the file phase (folders: removable and emptied) */
};

struct PlantedFiles {
    std::string family;      /* "win98", "winme", "win2k" or "winxp" */
    bool otherMaker, sibling;
    std::string installDir, defaultInstallDir;
    std::vector<PlantedItem> items;
    std::vector<std::string> createdFolders;   /* folders the planting had to create, outermost first */
    std::vector<std::string> keptFolders;      /* existing folders the phase may remove when empty */

    /* The item of a path (case-insensitive), or NULL. */
    const PlantedItem *Find(const std::string &path) const;
    /* Full path of the planted item named by a row of a base folder. */
    std::string In(const std::string &base, const std::string &row) const { return base + "\\" + row; }
};

/* Plants the set for the family and flags. The installation folder and the
 * default installation folder may be the same folder. */
PlantedFiles PlantProductFiles(const char *family, bool otherMaker, bool sibling, const std::string &installDir,
                               const std::string &defaultInstallDir);

/* The items whose presence differs from what the file phase must leave, one
 * line each ("still there: <path>" or "gone: <path>"); empty when all is as
 * expected. */
std::vector<std::string> UnexpectedItems(const PlantedFiles &files);

/* Removes whatever is left of the planted set and the folders the planting
 * created, and puts back existing folders that the phase removed. */
void RemovePlantedFiles(const PlantedFiles &files);

/* Removes the restart-time work that removals leave on the test machine:
 * pending renames, RunOnce "command /c rd" values and WININIT.INI (with its
 * processed copy WININIT.BAK). */
void ClearScheduledRemovals();

/* Shell folders of the test machine (CSIDL_...), "" when unknown. */
std::string ShellFolder(int csidl);

#endif
