/*
 * Planted registries: the keys and values that the product's installer and
 * Windows create for it, with foreign keys and values beside them, written
 * into the test machine's registry, checked after a removal and taken away
 * again.
 */
#ifndef QUENMAR_PLANT_REGISTRY_H
#define QUENMAR_PLANT_REGISTRY_H

#include <functional>
#include <string>
#include <vector>
#include "harness.h"

/* low-level planting ------------------------------------------------------ */

/* Access lists a planted key can be given. */
enum KeyLock {
    LockDenyAllOwnedByAdmins,   /* no access at all, owner Administrators (who may rewrite the list) */
    LockDeleteOnlyOwnedBySystem /* only DELETE for Administrators, owner SYSTEM: the list stays */
};

/* Creates keys and values and takes them away again when it ends: every key
 * it had to create (missing parents included) and every value it wrote into a
 * key that existed before. Keys below HKEY_CURRENT_CONFIG are made volatile.
 * Planting over an existing key or value is reported as a test failure. */
class RegistryPlanter {
public:
    RegistryPlanter() = default;
    RegistryPlanter(const RegistryPlanter &) = delete;
    RegistryPlanter &operator=(const RegistryPlanter &) = delete;
    ~RegistryPlanter();

    void Key(HKEY root, const std::string &path);
    /* name "" is the default value; data is written with its terminator unless withTerminator is false. */
    void Value(HKEY root, const std::string &path, const std::string &name, const std::string &data,
               DWORD type = REG_SZ, bool withTerminator = true);
    void DwordValue(HKEY root, const std::string &path, const std::string &name, DWORD data);
    /* Replaces the key's access list (and owner) as the lock says; Wine keeps it on win2k/winxp only. */
    void Lock(HKEY root, const std::string &path, KeyLock lock);

private:
    void MakeKey(HKEY root, const std::string &path);
    void RecordValue(HKEY root, const std::string &path, const std::string &name);
    /* canonical: the key in one spelling, with "|" and the value's name for a value. */
    struct Made { HKEY root; std::string path, value; bool isValue; std::string canonical; };
    std::vector<Made> made;
};

/* Existence checks that see keys whose access list shuts the caller out. */
bool PlantedKeyExists(HKEY root, const std::string &path);
bool PlantedValueExists(HKEY root, const std::string &path, const std::string &name);
/* Deletes a key with everything below it, first giving back access where the
 * caller owns a key. */
void ForceDeleteKeyTree(HKEY root, const std::string &path);
/* "HKLM\...", "HKCU\...", "HKCR\..." or "HKCC\..." for messages. */
std::string KeyText(HKEY root, const std::string &path);

/* While it lives, RegDeleteKeyA called by the test executable deletes a key
 * with all its subkeys, as Windows 98 and Me do. Wine playing those versions
 * deletes only every second subkey of a key with several and then fails. */
struct Win9xKeyDeletion {
    Win9xKeyDeletion();
    ImportPatch patch;
};

/* Runs work on a thread of its own; false when it has not ended within the
 * time (a loop that never ends), the thread then being stopped. */
bool EndsWithin(DWORD milliseconds, const std::function<void()> &work);

/* the planted product registry -------------------------------------------- */

/* Other printers installed beside the product, as the start-up survey sees
 * them: none but another maker's, one more of this maker (other maker flag),
 * or one of the same model series (sibling: both flags). */
enum PlantPrinters { PlantNoOtherPrinter, PlantOtherMakerPrinter, PlantSiblingPrinter };

/* One planted key (value empty and isValue false) or value. The step names
 * the table or row of the removal that deletes it ("C4", "W9Maker", "N8",
 * "NT-A", "9x-1" ...); foreign entries have none. */
struct PlantedEntry {
    HKEY root;
    std::string key;
    std::string value;
    bool isValue;
    std::string step;
    std::string canonical; /* the key in one spelling whichever root names it */
};

/* Plants every key and value that the registry phase of the given family
 * ("win98", "winme", "win2k", "winxp") deletes under any flag combination,
 * the other families' entries, the printers of the combination, and foreign
 * keys and values beside them; everything is taken away by the destructor. */
class PlantedRegistry {
public:
    PlantedRegistry(const char *family, PlantPrinters printers);

    /* Every planted entry whose state after a complete registry phase is not
     * what the removal's conditions select, as readable lines; empty when all
     * is right. After a run of the whole program one more line is expected
     * with a sibling model: the hand-back of the companion applications
     * deletes App Paths\Sprint.exe when no copy of the OCR program is found
     * on the fixed drives. */
    std::vector<std::string> Differences() const;
    /* Whether the entry is to be gone after a complete registry phase. */
    bool ExpectedGone(const PlantedEntry &entry) const;
    /* The queue name the registry phase records: the first queue of the
     * product's driver in enumeration order on NT, the last deleted on 9x. */
    std::string ExpectedPrinterName() const;
    /* Sets OtherMakerPrinterPresent and SiblingModelPresent as the survey
     * would for these printers. */
    void SetPrinterFlags() const;

    std::vector<PlantedEntry> entries;
    std::string family;
    PlantPrinters printers;

private:
    bool StepRuns(const std::string &step) const;
    std::vector<const PlantedEntry *> RunningEntries() const;
    bool Covered(const PlantedEntry &entry, const std::vector<const PlantedEntry *> &running) const;
    void Add(HKEY root, const std::string &key, const std::string &step);
    void AddValue(HKEY root, const std::string &key, const std::string &value, const std::string &data,
                  const std::string &step);
    void AddCount(const std::string &value, DWORD count, const std::string &step); /* a SharedDLLs count */
    void AddTableSteps();
    void AddDevices();
    void AddForeign();
    RegistryPlanter planter;
    std::vector<std::string> productQueues;
};

/* The product's queues in every planted registry, of names of the user's choosing. */
extern const char *const PlantedProductQueues[3];

#endif
