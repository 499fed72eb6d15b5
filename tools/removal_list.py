#!/usr/bin/env python3
"""Writes docs/removal-list.md: everything the removal program removes,
schedules or writes, per Windows family and per printer condition, from the
steps of its file and registry phases as their tables in files/sweeps.cpp
and registry/sweeps.cpp name them, and from the name tables that the build
compiles into it (<folder>/tables/*.tbl), each held to the shape that
uninstall.h declares for it.

  tools/removal_list.py            writes docs/removal-list.md
  tools/removal_list.py --check    exits 1 when docs/removal-list.md is not current
"""

import functools
import glob
import os
import re
import sys

TOP = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
DOC = os.path.join(TOP, "docs", "removal-list.md")

FAMILIES = ["98", "Me", "2000", "XP"]
NT, NINE_X, ALL = ["2000", "XP"], ["98", "Me"], FAMILIES
CONDITIONS = ["alone", "other maker", "sibling"]
ALWAYS = CONDITIONS
NO_OTHER_MAKER = ["alone"]            # a sibling model is also a printer of the maker
NO_SIBLING = ["alone", "other maker"]
OTHER_MAKER = ["other maker", "sibling"]
# Tables in which a root key that other products share follows the rows of the product's keys in it.
SHARED = ("key deleted with its subkeys; a row that follows a key below it (a vendor's or the maker's root key) "
          "only when nothing else is left in it, its access list never replaced")
OWN_QUEUE = " when it names a queue whose Printer Driver is \"Quenmar T58\""
OCR_APP_PATH = ("; the App Paths entry of Sprint.exe only when it names a place in <InstallDir> or <DefaultInstallDir> "
                "(other scanner packages bundle that program)")
# The words of the step tables' columns, and the sources of the string macros their rows use.
SOURCES = ["uninstall.h", "files/sweeps.cpp", "registry/sweeps.cpp"]
FAMILY = {"OnWin98": ["98"], "OnWinMe": ["Me"], "OnWin2000": ["2000"], "OnWinXP": ["XP"], "On9x": NINE_X, "OnNt": NT,
          "OnAll": ALL}
CONDITION = {"Always": ALWAYS, "IfNoOtherMaker": NO_OTHER_MAKER, "IfOtherMaker": OTHER_MAKER,
             "IfNoSibling": NO_SIBLING, "IfNoSiblingOcrEntryIsProducts": NO_SIBLING}
FOLDERS = {"WindowsFolder": "<Windows>", "SystemFolder": "<System>", "InstallFolder": "<InstallDir>",
           "DefaultInstallFolder": "<DefaultInstallDir>", "ProgramFilesFolder": "<ProgramFiles>",
           "DesktopFolder": "<Desktop>"}
FILE_HOW = {"DeleteNames": "deleted, or at the restart when in use", "RemoveEmpty": "removed when empty",
            "RemoveOrSchedule": "removed, or at the restart"}
REGISTRY_HOW = {"DeleteKeys": "key deleted with its subkeys",
                "DeleteKeyTrees": "key deleted with its subkeys, access lists replaced first",
                "DeleteValues": "value deleted",
                "DeleteQueueValue": "value deleted, for the first queue whose Printer Driver is \"Quenmar T58\"",
                "DeleteDefaultPrinter": "value deleted" + OWN_QUEUE, "DeleteByDescription": "every match deleted"}


@functools.lru_cache(maxsize=None)
def declared_shapes():
    """Each name table's shape, {name: (rows, record width)}, from its one
    declaration in uninstall.h ("Table<name>[rows][width]")."""
    with open(os.path.join(TOP, "uninstall.h"), encoding="utf-8") as f:
        return {m.group(1): (int(m.group(2)), int(m.group(3)))
                for m in re.finditer(r"\bTable(\w+)\[(\d+)\]\[(\d+)\]", f.read())}


def table(path):
    """The rows of a name table, as the build turns them into C strings. The
    compiler refuses a row too many or a row too long for the declared shape,
    but a row too few would become an empty name, which names the base folder
    or key itself: a table that does not fill its shape is refused here."""
    with open(os.path.join(TOP, path), encoding="utf-8") as f:
        found = [line.rstrip("\n") for line in f if line.strip() and not line.startswith("#")]
    name = os.path.splitext(os.path.basename(path))[0]
    if name not in declared_shapes():
        raise ValueError("%s: uninstall.h declares no Table%s" % (path, name))
    count, width = declared_shapes()[name]
    if len(found) != count:
        raise ValueError("%s: %d rows, but uninstall.h declares Table%s[%d][%d]" % (path, len(found), name, count,
                                                                                     width))
    for row in found:
        if len(row.encode("cp1252", "replace")) >= width:
            raise ValueError("%s: row %r does not fit a record of %d bytes with its terminator" % (path, row, width))
    return found


@functools.lru_cache(maxsize=None)
def table_paths():
    """Every name table file, {name: path}."""
    return {os.path.splitext(os.path.basename(p))[0]: os.path.relpath(p, TOP)
            for p in glob.glob(os.path.join(TOP, "*", "tables", "*.tbl"))}


def check_tables():
    """Holds every table file to its declared shape, also those the page does
    not list, and refuses a declared table without a file."""
    for name in declared_shapes():
        if name not in table_paths():
            raise ValueError("uninstall.h declares Table%s, but there is no %s.tbl" % (name, name))
    for path in table_paths().values():
        table(path)


def source(path):
    """The text of a file of the program."""
    with open(os.path.join(TOP, path), encoding="utf-8") as f:
        return f.read()


@functools.lru_cache(maxsize=None)
def defines():
    """The string macros of the header and the step tables' sources, {name: C text}."""
    return dict(re.findall(r'^#define (\w+) ("(?:[^"\\]|\\.)*")$', "".join(source(p) for p in SOURCES), re.M))


def text(expression):
    """The text of a C string: literals and string macros, side by side."""
    out = ""
    for literal, name in re.findall(r'"((?:[^"\\]|\\.)*)"|(\w+)', expression):
        out += text(defines()[name]) if name else re.sub(r"\\(.)", r"\1", literal)
    return out


def records(path, array):
    """The rows of a compiled-in table of records, one per line, as lists of
    their fields' source text, each with the comment line above it (the last
    one seen) as its title."""
    body = re.search(r"\b%s\[\] = \{\n(.*?)\n\};" % array, source(path), re.S).group(1)
    found, title = [], ""
    for line in re.sub(r"(?<!\}),\n\s+", ", ", body).splitlines():
        line = line.strip()
        if line.startswith("/*"):
            title = line[2:-2].strip()
        elif line.startswith("{"):
            found.append((title, [f.strip() for f in re.findall(r'(?:"(?:[^"\\]|\\.)*"|[^,])+', line[1:-2])]))
    return found


def rows(name):
    """The rows of a name table by its name."""
    return table(table_paths()[name])


def names(field):
    """A step's names as (its table's name or None, the rows): a name table,
    one name, or none (the step's folder itself)."""
    kind, argument = re.match(r"(\w+)\((.*)\)$", field).groups() if field != "NO_NAMES" else ("", "")
    if kind == "TABLE_ARGS":
        name = argument[len("Table"):]
        return name, rows(name)
    return None, [text(argument)] if kind == "NAME_ARGS" else []


def folder(name):
    """A step's folder as the page writes it."""
    below = {f[0]: f[1:] for _, f in records("files/sweeps.cpp", "Subfolders")}
    if name in below:
        return folder(below[name][0]) + "\\" + text(below[name][1])
    return FOLDERS[name]


def is_shared_key_row(keys, row):
    """As IsSharedKeyRow: a row that follows a key below it names a key that other products share."""
    return row > 0 and keys[row - 1].upper().startswith(keys[row].upper() + "\\")


def add(groups, title, families, conditions, base, items, how):
    """Adds one group per table or fixed item: what it is, the families and
    conditions where it applies, where, the rows, and what the program does
    with them (None for what the program writes, listed as points)."""
    groups.append((title, families, conditions, base, items, how))


def file_step(step, items):
    """Where a step of the file phase works, its items and what it does with them."""
    base = folder(step["folder"]) + (" and " + folder(step["secondFolder"]) if step["secondFolder"] != "NoFolder"
                                     else "")
    return (base, items, FILE_HOW[step["how"]]) if items else ("", [base], FILE_HOW[step["how"]])


def registry_step(step, items):
    """Where a step of the registry phase works, its items and what it does with them."""
    if step["folder"] != "NoFolder":
        items = [folder(step["folder"]) + "\\" + r for r in items]
    how = REGISTRY_HOW[step["how"]]
    if step["how"] == "DeleteByDescription":
        items = ["<nnnn> whose DriverDesc is \"%s\"" % r for r in items]
    elif step["how"] == "DeleteQueueValue":
        items = [r + " value <queue>" for r in items]
    elif step["how"] == "DeleteKeys" and any(is_shared_key_row(items, r) for r in range(len(items))):
        how = SHARED
    if text("AppPathsKey OcrProgramName") in items:
        how += OCR_APP_PATH
    return step["root"] + ("\\" + text(step["key"]) if step["key"] != "NULL" else ""), items, how


# The step tables of the two phases: their sources, their fields as the rows write them, the
# section of the page they fill and how it describes a step.
STEP_TABLES = [
    ("files/sweeps.cpp", "FileSteps", ["names", "families", "condition", "folder", "secondFolder", "how", "call"],
     "files", file_step),
    ("registry/sweeps.cpp", "RegistrySteps",
     ["names", "families", "condition", "how", "root", "key", "folder", "trace", "call"], "registry", registry_step),
]


def step_groups():
    """The groups of files and folders and of registry keys and values, step
    by step through both phases, then those of the later phases."""
    found = {"files": [], "registry": []}
    for path, array, fields, section, describe in STEP_TABLES:
        for title, values in records(path, array):
            step = dict(zip(fields, values))
            families, conditions = FAMILY[step["families"]], CONDITION[step["condition"]]
            if step["how"] == "CallFunction":
                for part, what, only, condition, base, items, how in calls()[step["call"]]:
                    add(found[part], what, only or families, condition or conditions, base, items, how)
                continue
            table_name, items = names(step["names"])
            add(found[section], title + (" (%s)" % table_name if table_name else ""), families, conditions,
                *describe(step, items))
    found["registry"] += later()
    return found["files"], found["registry"]


def calls():
    """What the steps that call a function of their own remove, {function: groups}:
    the section of each group, what it is, the families and the conditions
    where they are narrower than the step's (else None), where, the items
    and what happens to them."""
    group = ["Quenmar T58\\*.lnk", "Quenmar T58"]
    return {
        "RemoveProgramGroup": [
            ("files", "program group", NT, None, "<All Users Programs>", group,
             "every shortcut deleted; the folder removed, or at the restart"),
            ("files", "program group", NINE_X, None, "<Programs>", group,
             "every shortcut deleted; the folder removed, or at the restart")],
        "RemoveDesktopShortcuts": [
            ("files", "desktop shortcut", None, None, "<Desktop>", ["Scan & Copy Control Program.lnk"],
             "deleted; on 2000 and XP looked for on the all-users desktop, then the user's, then in the profiles "
             "folder; on 98 and Me on the desktop and in the Windows folder's tree"),
            ("files", "desktop shortcut", NINE_X, None, "<Desktop>", rows("ProductShortcut"),
             "deleted, or at the restart; also beside the copy of the scan shortcut found in the Windows folder's "
             "tree")],
        "CleanOemInfFiles": [
            ("files", "OEM copies of the printer INF", None, None, "<Windows>\\inf",
             ["oem*.inf of class Printer whose [Strings] name \"Quenmar T58\" and no other printer's driver "
              "(not QMTR.INF)", "their .PNF twins"], "deleted")],
        "RemoveDeviceRegistrations": [
            ("registry", "printer queues and devices", NINE_X, None, "HKLM",
             ["System\\CurrentControlSet\\Control\\Print\\Printers\\<queue> whose Printer Driver is \"Quenmar T58\"",
              "HKCC\\System\\CurrentControlSet\\Control\\Print\\Printers\\<queue> of each such queue",
              "System\\CurrentControlSet\\Services\\Class\\Printer\\<nnnn> whose DriverDesc is \"Quenmar T58\"",
              "Enum\\Root\\printer\\<nnnn> whose DeviceDesc is \"Quenmar T58\""], "every match deleted"),
            ("registry", "scanner device-class instances", NT, None, "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class",
             ["{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\<nnnn> whose FriendlyName is \"Quenmar T58 MFP Scanner\""],
             "every match deleted with its subkeys")],
        "RemoveProgramGroupFolders": [
            ("registry", "Start-menu order of every profile", None, None, "HKU\\<each profile>", rows("MenuOrderKey"),
             "key deleted with its subkeys"),
            ("registry", "vendors' keys of every profile", None, NO_SIBLING, "HKU\\<each profile>", rows("VendorKeys"),
             SHARED),
            ("files", "program groups of every profile", None, None, "<Windows> and every folder below it",
             ["...\\Quenmar T58\\*.lnk", "...\\Quenmar T58"],
             "every shortcut deleted; each folder removed, or at the restart")],
        "RemoveDeviceClassEntries": [
            ("registry", "printer device-class instances", NT, None, "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class",
             ["{4D36E979-E325-11CE-BFC1-08002BE10318}\\<nnnn> whose DriverDesc is \"Quenmar T58\""],
             "every match deleted with its subkeys")],
        "RemovePrinterQueues": [
            ("registry", "printer queues", NT, None, "HKLM",
             [r + "\\<queue> whose Printer Driver is \"Quenmar T58\"" for r in rows("PrinterTrees")],
             "every match deleted with its subkeys")],
    }


def later():
    """The registry groups of the phases after the registry phase."""
    g = []
    add(g, "default printer of the hardware profile", NINE_X, ALWAYS,
        "HKCC\\System\\CurrentControlSet\\Control\\Print\\Printers", ["Default"], "value deleted" + OWN_QUEUE)
    add(g, "printer entries of the profile (WIN.INI)", ALL, ALWAYS,
        "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion",
        ["Devices value <queue>", "PrinterPorts value <queue>", "Windows value Device (the default printer, "
         "only" + OWN_QUEUE + ")"],
        "value deleted; <queue> is the queue the registry phase found")
    return g


def writes():
    """What the run writes, schedules and starts, as groups without a place
    or an operation of their own."""
    mfc = table("restore/tables/MfcClassKeys.tbl")
    b1 = "HKCR\\Interface\\{2334D2B1-713E-11CF-8AE5-00AA00C00905}\\TypeLib"
    b3 = "HKCR\\Interface\\{2334D2B3-713E-11CF-8AE5-00AA00C00905}\\TypeLib"
    g = []
    for title, families, conditions, items in [
        ("shared MFC runtime classes", NT, ALWAYS,
         ["HKCR\\%s (default) = <System>\\MFC42u.DLL" % k for k in mfc]),
        ("shared MFC runtime classes", NINE_X, ALWAYS,
         ["HKCR\\%s (default) = <System>\\MFC42.DLL" % k for k in mfc]),
        ("shared MFC runtime interfaces", ["2000"], ALWAYS,
         ["%s (default) = {831FDD16-0C5C-11D2-A9FC-0000F8754DA1}, Version = 2.0" % k for k in (b1, b3)]),
        ("shared MFC runtime interfaces", NINE_X, ALWAYS,
         ["%s (default) = {C1A8AF28-1257-101B-8FB0-0020AF039CA3}, Version = 1.1 (98) or 2.0 (Me)" % b3,
          "%s Version = 1.1 (98) or 2.0 (Me)" % b1]),
        ("run-once marker", ALL, ALWAYS,
         ["HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce QuenmarUninstallRan = \"\" "
          "(Windows deletes it at the next start)"]),
        ("hand-over of the copy and OCR applications to the sibling model", ALL, ["sibling"],
         ["HKCR\\Quenmar.Document DefaultIcon and shell\\open, print, printto commands = the sibling's "
          "Rudorid55.exe found on a fixed drive (short path), or its default folder",
          "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Rudorid55.exe (default) and Path",
          "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Sprint.exe (default) = Sprint.exe found "
          "on a fixed drive; deleted with its subkeys when none is found",
          "HKLM\\Software\\ZudAdov\\DevOred5.5 Product = the sibling's driver name"]),
        ("restart-time work", NT, ALWAYS,
         ["files and folders in use: moved into the temporary folder, or left in place when they cannot be "
          "moved, and listed in PendingFileRenameOperations for deletion at the next start",
          "the program's own file (moved aside and listed the same way)"]),
        ("restart-time work", NINE_X, ALWAYS,
         ["files in use and the program's own file: \"NUL=<short path>\" lines in the [rename] section of "
          "<Windows>\\WININIT.INI",
          "folders that are not empty (names longer than 4 characters): RunOnce values \"1\", \"2\", ... = "
          "\"command /c rd <short path>\""]),
        ("programs started", ALL, ALWAYS, ["<InstallDir>\\REZevavav_T58.exe -u (the monitor program; two seconds "
                                           "given)"]),
        ("programs started", NT, NO_OTHER_MAKER, ["QnmBceS.exe -u (the status service's program, hidden; half a "
                                                  "second given)"]),
        ("print spooler", NT, ALWAYS, ["stopped before the removal and started again after it"]),
    ]:
        add(g, title, families, conditions, None, items, None)
    return g


def applies(families, conditions):
    """Where a group applies, as text."""
    return "%s; %s" % (", ".join("Windows " + f for f in families), ", ".join(conditions))


def entry_count(groups, family, condition):
    """The number of names the groups remove on a family in a condition."""
    return sum(len(g[4]) for g in groups if family in g[1] and condition in g[2])


def render():
    """The whole page."""
    (files, registry), written = step_groups(), writes()
    out = []
    w = out.append
    w("# What the removal program removes")
    w("")
    w("Generated by `tools/removal_list.py` from the steps of the file and registry phases "
      "(`files/sweeps.cpp`, `registry/sweeps.cpp`) and the name tables compiled into the program "
      "(`files/tables`, `registry/tables`, `restore/tables`); a test keeps it current. "
      "Regenerate it with `tools/removal_list.py` after changing a step or a table.")
    w("")
    w("The program decides at its start, from the installed printers, which of three conditions holds:")
    w("")
    w("- **alone**: no other printer of the maker (Quenmar) is installed;")
    w("- **other maker**: another printer of the maker is installed, not of the model series; "
      "the maker's shared components stay;")
    w("- **sibling**: a printer of another model of the series (driver name starting with \"%s\") is installed; "
      "the maker's shared components and the scan, copy and OCR applications stay, and the applications are "
      "handed over to that model." % table("sequence/tables/SiblingPrefixes.tbl")[0])
    w("")
    w("Folders: `<Windows>` and `<System>` are the Windows and system folders; `<InstallDir>` is the "
      "installation folder (from the App Paths entry of sprint.exe, two levels up; else the first folder "
      "QuenmarT58 on another fixed drive; either only when it holds one of %s; else the default); "
      "`<DefaultInstallDir>` is `<ProgramFiles>\\QuenmarT58`; `<Programs>`, `<All Users Programs>` and "
      "`<Desktop>` are the shell's folders. Files in use are removed at the next start of Windows (see "
      "restart-time work below)." % ", ".join(table("sequence/tables/InstalledPrograms.tbl")))
    w("")
    w("## Count of names per family and condition")
    w("")
    w("| | " + " | ".join(CONDITIONS) + " |")
    w("|---|" + "---|" * len(CONDITIONS))
    for family in FAMILIES:
        cells = ["%d files and folders, %d keys and values" % (entry_count(files, family, c),
                                                              entry_count(registry, family, c))
                 for c in CONDITIONS]
        w("| Windows %s | %s |" % (family, " | ".join(cells)))
    w("")
    w("Entries found by their content (queues, device-class instances, OEM INF copies, shortcuts searched in "
      "folder trees) count once each.")
    for heading, groups in (("Files and folders", files), ("Registry keys and values", registry),
                            ("What the program writes, schedules and starts", written)):
        w("")
        w("## " + heading)
        for title, families, conditions, base, items, how in groups:
            w("")
            w("### %s" % title)
            w("")
            if how is None:
                w(applies(families, conditions) + ".")
                w("")
                out.extend("- " + item for item in items)
                continue
            w("%s. In `%s`: %s." % (applies(families, conditions), base, how) if base else
              "%s: %s." % (applies(families, conditions), how))
            w("")
            w("```")
            out.extend(items)
            w("```")
    return "\n".join(out) + "\n"


def main():
    """Writes or checks the page."""
    try:
        check_tables()
        text = render()
    except ValueError as error:
        print("removal list: %s" % error, file=sys.stderr)
        return 1
    if sys.argv[1:] == ["--check"]:
        try:
            with open(DOC, encoding="utf-8") as f:
                current = f.read()
        except OSError:
            current = ""
        if current != text:
            print("docs/removal-list.md is not current: run tools/removal_list.py", file=sys.stderr)
            return 1
        return 0
    if sys.argv[1:]:
        print(__doc__, file=sys.stderr)
        return 2
    with open(DOC, "w", encoding="utf-8") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
