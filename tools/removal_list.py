#!/usr/bin/env python3
"""Writes docs/removal-list.md: everything the removal program removes,
schedules or writes, per Windows family and per printer condition, from the
name tables that the build compiles into it (<folder>/tables/*.tbl), each
held to the shape that uninstall.h declares for it.

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


def check_tables():
    """Holds every table file to its declared shape, also those the page does
    not list, and refuses a declared table without a file."""
    files = {os.path.splitext(os.path.basename(p))[0]: os.path.relpath(p, TOP)
             for p in glob.glob(os.path.join(TOP, "*", "tables", "*.tbl"))}
    for name in declared_shapes():
        if name not in files:
            raise ValueError("uninstall.h declares Table%s, but there is no %s.tbl" % (name, name))
    for path in files.values():
        table(path)


def rows(name):
    """The rows of a table of the file phase."""
    return table("files/tables/%s.tbl" % name)


def reg(name):
    """The rows of a table of the registry phase."""
    return table("registry/tables/Reg%s.tbl" % name)


def add(groups, title, families, conditions, base, items, how="deleted, or at the restart when in use"):
    """Adds one group per table or fixed item: what it is, the families and
    conditions where it applies, where, the rows, and what the program does
    with them (None for what the program writes, listed as points)."""
    groups.append((title, families, conditions, base, items, how))


def file_groups():
    """The groups of files and folders."""
    g = []
    add(g, "TWAIN data source (C1)", ALL, ALWAYS, "<Windows>\\twain_32", rows("C1"))
    add(g, "the maker's TWAIN folder", ALL, ALWAYS, "<Windows>\\twain_32", ["Quenmar"], "removed when empty")
    add(g, "program group", NT, ALWAYS, "<All Users Programs>", ["Quenmar T58\\*.lnk", "Quenmar T58"],
        "every shortcut deleted; the folder removed, or at the restart")
    add(g, "program group", NINE_X, ALWAYS, "<Programs>", ["Quenmar T58\\*.lnk", "Quenmar T58"],
        "every shortcut deleted; the folder removed, or at the restart")
    add(g, "colour profiles (C2)", NT, ALWAYS, "<System>\\spool\\drivers\\color", rows("C2"))
    add(g, "colour profiles (C2)", NINE_X, ALWAYS, "<System>\\color", rows("C2"))
    add(g, "the maker's status sounds (C3)", NT, NO_OTHER_MAKER, "<System>\\spool\\drivers\\w32x86\\3", rows("C3"))
    add(g, "the maker's status sounds (C3)", NINE_X, NO_OTHER_MAKER, "<System>", rows("C3"))
    add(g, "settings and setup files (C4)", ALL, ALWAYS, "<Windows>", rows("C4"))
    add(g, "the installed tree (C5)", ALL, ALWAYS, "<InstallDir>", rows("C5"))
    add(g, "image folders (C6)", ALL, ALWAYS, "<InstallDir>", rows("C6"), "removed when empty")
    add(g, "the installation folder", ALL, ALWAYS, "", ["<InstallDir>"], "removed, or at the restart")
    add(g, "removal and check programs (C7)", ALL, ALWAYS, "<DefaultInstallDir> and <InstallDir>", rows("C7"))
    add(g, "imaging library (C8)", ALL, NO_SIBLING, "<System>", rows("C8"))
    add(g, "driver support files (C9)", ALL, ALWAYS, "<System>", rows("C9"))
    add(g, "the maker's shared components (C10)", ALL, NO_OTHER_MAKER, "<System>", rows("C10"))
    add(g, "desktop shortcut", ALL, ALWAYS, "<Desktop>",
        ["Scan & Copy Control Program.lnk"],
        "deleted; on 2000 and XP looked for on the all-users desktop, then the user's, then in the "
        "profiles folder; on 98 and Me on the desktop and in the Windows folder's tree")
    add(g, "desktop shortcut", NINE_X, ALWAYS, "<Desktop>", rows("ProductShortcut"), "deleted, or at the restart")
    add(g, "the maker's folder", ALL, ALWAYS, "<ProgramFiles>", ["Quenmar"], "removed when empty")
    add(g, "the maker's status sounds (N1)", NT, NO_OTHER_MAKER, "<System>\\spool\\drivers\\w32x86\\3", rows("N1"))
    add(g, "removal program, OEM INF and scanner driver (N2)", NT, ALWAYS, "<Windows>", rows("N2"))
    add(g, "port monitor and print processor (N3)", NT, ALWAYS, "<System>", rows("N3"))
    add(g, "printer driver (N4)", NT, ALWAYS,
        "<System>\\spool\\drivers\\w32x86 and <System>\\spool\\drivers\\w32x86\\3", rows("N4"))
    add(g, "the maker's driver components (N5)", NT, NO_OTHER_MAKER,
        "<System>\\spool\\drivers\\w32x86 and <System>\\spool\\drivers\\w32x86\\3", rows("N5"))
    add(g, "the driver's own folder (N4, N5)", ["XP"], ALWAYS,
        "<System>\\spool\\drivers\\w32x86\\quenmarquenmar_t5828e0",
        rows("N4") + rows("N5") + ["qnmstat.ini", "(the folder itself)"], "deleted, or at the restart")
    add(g, "monitor removal programs (N6)", NT, ALWAYS, "<DefaultInstallDir>", rows("N6"))
    add(g, "monitor installer and check program (N7)", NT, ALWAYS, "<InstallDir>", rows("N7"))
    add(g, "check program (N8)", ["XP"], ALWAYS, "<InstallDir>", rows("N8"))
    add(g, "the default installation folder", NT, ALWAYS, "", ["<DefaultInstallDir>"], "removed, or at the restart")
    add(g, "OEM copies of the printer INF", NT, ALWAYS, "<Windows>\\inf",
        ["oem*.inf of class Printer whose [Strings] name \"Quenmar T58\" and no other printer's driver (not QMTR.INF)",
         "their .PNF twins"],
        "deleted")
    add(g, "colour profile (S1)", NINE_X, ALWAYS, "<Windows>\\color", rows("S1"))
    add(g, "INF files and scanner driver (S2)", NINE_X, ALWAYS, "<Windows>", rows("S2"))
    add(g, "USB printing driver of the series (S3)", NINE_X, NO_SIBLING, "<Windows>", rows("S3"))
    add(g, "printer driver (S4)", NINE_X, ALWAYS, "<System>", rows("S4"))
    add(g, "the maker's shared components (S5)", NINE_X, NO_OTHER_MAKER, "<System>", rows("S5"))
    add(g, "monitor removal program (S6)", NINE_X, ALWAYS, "<DefaultInstallDir>", rows("S6") + ["(the folder itself)"])
    add(g, "the TWAIN folder", NINE_X, ALWAYS, "<Windows>", ["twain_32"], "removed when empty, or at the restart")
    add(g, "monitor installer and check program (S7)", NINE_X, ALWAYS, "<InstallDir>", rows("S7"))
    add(g, "program groups of every profile", NINE_X, ALWAYS, "<Windows> and every folder below it",
        ["...\\Quenmar T58\\*.lnk", "...\\Quenmar T58"], "every shortcut deleted; each folder removed, or at the restart")
    return g


def registry_groups():
    """The groups of registry keys and values."""
    g = []
    run = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
    shared = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
    add(g, "Run values (C1)", ALL, ALWAYS, run, reg("C1"), "value deleted")
    add(g, "shared-library count (C2)", ALL, ALWAYS, shared, ["<Windows>\\unvise32.exe"], "value deleted")
    add(g, "old default printer (C3)", ALL, ALWAYS, "HKCU\\Printers", ["DeviceOld"], "value deleted" + OWN_QUEUE)
    add(g, "copy application's classes (C4)", ALL, NO_SIBLING, "HKCR", reg("C4"), "key deleted with its subkeys")
    add(g, "uninstall entry, print monitors, printer and scan engine (C5)", ALL, ALWAYS, "HKLM", reg("C5"),
        "key deleted with its subkeys")
    add(g, "OCR package, scan engine, document type and App Paths (C6)", ALL, NO_SIBLING, "HKLM", reg("C6"),
        SHARED + "; the App Paths entry of Sprint.exe only when it names a place in <InstallDir> or "
        "<DefaultInstallDir> (other scanner packages bundle that program)")
    add(g, "per-user keys of the scan and OCR applications (C7)", ALL, NO_SIBLING, "HKCU", reg("C7"), SHARED)
    add(g, "three subkeys of the maker's key (C8)", ALL, OTHER_MAKER, "HKLM", reg("C8"), "key deleted with its subkeys")
    add(g, "the maker's key (C9)", ALL, NO_OTHER_MAKER, "HKLM", reg("C9"), SHARED)
    add(g, "Run values of the maker's programs (W1)", NINE_X, NO_OTHER_MAKER, run, reg("W1"), "value deleted")
    add(g, "printer shell extension (W2)", NINE_X, ALWAYS, "HKCR", reg("W2"), "key deleted with its subkeys")
    add(g, "copy application's entries (W3)", NINE_X, NO_SIBLING, "HKCR", reg("W3"), "key deleted with its subkeys")
    add(g, "devices, services, monitors, port, driver (W4)", NINE_X, ALWAYS, "HKLM", reg("W4"),
        "key deleted with its subkeys")
    add(g, "the maker's network printer monitor (W5)", NINE_X, OTHER_MAKER, "HKLM", reg("W5"),
        "key deleted with its subkeys")
    add(g, "copy application's entries (W6)", NINE_X, NO_SIBLING, "HKLM", reg("W6"), "key deleted with its subkeys")
    add(g, "Start-menu order (W7)", NINE_X, ALWAYS, "HKCU", reg("W7"), "key deleted with its subkeys")
    add(g, "hardware-profile printer (W8)", NINE_X, ALWAYS, "HKCC", reg("W8"), "key deleted with its subkeys")
    installed = "HKLM\\System\\CurrentControlSet\\Control\\InstalledFiles"
    add(g, "installed-file list (W9)", NINE_X, ALWAYS, installed, reg("W9"), "value deleted")
    add(g, "installed-file list, the maker's files (W9)", NINE_X, NO_OTHER_MAKER, installed, reg("W9Maker"),
        "value deleted")
    known = "HKLM\\System\\CurrentControlSet\\Control\\SessionManager\\Known16DLLs"
    add(g, "16-bit module list (W10)", NINE_X, ALWAYS, known, reg("W10"), "value deleted")
    add(g, "16-bit module list, the maker's files (W10)", NINE_X, NO_OTHER_MAKER, known, reg("W10Maker"),
        "value deleted")
    add(g, "colour profile (W11)", NINE_X, ALWAYS, "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\ICM\\mntr",
        ["qnmT58.icm"], "value deleted")
    add(g, "OEM INF names (W12)", NINE_X, ALWAYS,
        "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\INF\\OEM Name",
        ["<Windows>\\inf\\" + r for r in reg("W12")], "value deleted")
    for guid in ("{9B4E7760-3196-11CF-97EA-00AA0034319D}", "{CF2524C0-29AE-11CF-97EA-00AA0034319D}"):
        add(g, "device problem list (W13)", NINE_X, ALWAYS, "HKLM\\System\\CurrentControlSet\\Control\\ASD\\Prob\\" + guid,
            reg("W13"), "value deleted")
    add(g, "Start-menu order (W14)", ["Me"], ALWAYS, "HKCU", reg("W14"), "key deleted with its subkeys")
    add(g, "Start-menu order of every profile", NINE_X, ALWAYS, "HKU\\<each profile>", rows("MenuOrderKey"),
        "key deleted with its subkeys")
    add(g, "vendors' keys of every profile", NINE_X, NO_SIBLING, "HKU\\<each profile>", rows("VendorKeys"), SHARED)
    add(g, "device-class instances (W16)", NINE_X, ALWAYS, "HKLM\\System\\CurrentControlSet\\Services\\Class",
        ["Image\\<nnnn> whose DriverDesc is \"Quenmar T58 MFP Scanner\"",
         "PrintAMUSB\\<nnnn> whose DriverDesc is \"Quenmar T58\"",
         "Printer\\<nnnn> whose DriverDesc is \"Quenmar T58\""], "every match deleted")
    add(g, "printer queues and devices", NINE_X, ALWAYS, "HKLM",
        ["System\\CurrentControlSet\\Control\\Print\\Printers\\<queue> whose Printer Driver is \"Quenmar T58\"",
         "HKCC\\System\\CurrentControlSet\\Control\\Print\\Printers\\<queue> of each such queue",
         "System\\CurrentControlSet\\Services\\Class\\Printer\\<nnnn> whose DriverDesc is \"Quenmar T58\"",
         "Enum\\Root\\printer\\<nnnn> whose DeviceDesc is \"Quenmar T58\""], "every match deleted")
    add(g, "default printer of the hardware profile", NINE_X, ALWAYS,
        "HKCC\\System\\CurrentControlSet\\Control\\Print\\Printers", ["Default"], "value deleted" + OWN_QUEUE)
    add(g, "USB device keys (N1)", NT, ALWAYS, "HKLM", reg("N1"),
        "key deleted with its subkeys, access lists replaced first")
    add(g, "status service device key (N2)", NT, NO_OTHER_MAKER, "HKLM", reg("N2"),
        "key deleted with its subkeys, access lists replaced first")
    add(g, "status service and network port monitor (N3)", NT, NO_OTHER_MAKER, "HKLM", reg("N3"),
        "key deleted with its subkeys")
    add(g, "ports, printer, scanner service, print processor, drivers (N4)", NT, ALWAYS, "HKLM", reg("N4"),
        "key deleted with its subkeys")
    add(g, "Start-menu order (N5)", NT, ALWAYS, "HKCU", reg("N5"), "key deleted with its subkeys")
    add(g, "scan application's key (N6)", NT, NO_SIBLING, "HKCU", reg("N6"), SHARED)
    add(g, "Run value of the maker's tray monitor (N7)", NT, NO_OTHER_MAKER, run, reg("N7"), "value deleted")
    add(g, "per-user printer settings (N8)", NT, ALWAYS, "HKCU",
        [r + " value <queue>" for r in reg("N8")],
        "value deleted, for the first queue whose Printer Driver is \"Quenmar T58\"")
    add(g, "hardware-profile printer (N9)", NT, ALWAYS, "HKCC", reg("N9"), "key deleted with its subkeys")
    add(g, "shared-library counts (N10)", NT, ALWAYS, shared, ["<System>\\" + r for r in reg("N10")], "value deleted")
    add(g, "shared-library counts, the maker's files (N10)", NT, NO_OTHER_MAKER, shared,
        ["<System>\\" + r for r in reg("N10Maker")], "value deleted")
    add(g, "Version-2 driver (N11)", ["2000"], ALWAYS, "HKLM", reg("N11"), "key deleted with its subkeys")
    add(g, "interface registrations (N12)", ["XP"], NO_SIBLING, "HKCR", reg("N12"), "key deleted with its subkeys")
    add(g, "scanner and printer device-class instances", NT, ALWAYS,
        "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class",
        ["{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\<nnnn> whose FriendlyName is \"Quenmar T58 MFP Scanner\"",
         "{4D36E979-E325-11CE-BFC1-08002BE10318}\\<nnnn> whose DriverDesc is \"Quenmar T58\""],
        "every match deleted with its subkeys")
    add(g, "printer queues", NT, ALWAYS, "HKLM",
        [r + "\\<queue> whose Printer Driver is \"Quenmar T58\"" for r in table("registry/tables/PrinterTrees.tbl")],
        "every match deleted with its subkeys")
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
    files, registry, written = file_groups(), registry_groups(), writes()
    out = []
    w = out.append
    w("# What the removal program removes")
    w("")
    w("Generated by `tools/removal_list.py` from the name tables compiled into the program "
      "(`files/tables`, `registry/tables`, `restore/tables`); a test keeps it current. "
      "Regenerate it with `tools/removal_list.py` after changing a table.")
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
