#!/usr/bin/env python3
# The name tables as the build compiles them: every row a name the program can
# use, and one product described by file and registry tables alike.
import glob, os, re, sys

TOP = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
DRIVERS = ["spool\\drivers\\w32x86\\", "spool\\drivers\\w32x86\\3\\"]
# Each registry list of files, the prefix its rows take (None: file names alone are
# compared), the file tables that delete them on its family, with their folders as the
# list names them, and the tables whose every file the list names (backups aside).
RULES = [
    # Windows 2000/XP SharedDLLs counts, relative to the system folder.
    ("RegN10", "", {"N3": [""], "C9": [""], "N4": DRIVERS}, []),
    ("RegN10Maker", "", {"N5": DRIVERS, "N1": DRIVERS[1:], "C3": DRIVERS[1:], "C10": [""]}, ["N5"]),
    # Windows 98/Me InstalledFiles and Known16DLLs, file names; OEM Name, below <Windows>\inf.
    ("RegW9", None, dict.fromkeys(("S1", "S2", "S4", "C2", "C4", "C9"), [""]), ["S1", "S4"]),
    ("RegW9Maker", None, dict.fromkeys(("S5", "C3", "C10"), [""]), ["S5", "C3", "C10"]),
    ("RegW10", None, {"S4": [""]}, []),
    ("RegW10Maker", None, {"S5": [""], "C10": [""]}, []),
    ("RegW12", "inf\\", {"S2": [""]}, []),
]
# Tables that delete in shared folders whatever else is installed: no maker-wide name.
UNCONDITIONAL = ["C2", "C4", "C9", "N2", "N3", "N4", "S1", "S2", "S4", "RegN10", "RegW9", "RegW10", "RegW12"]

shapes = dict(re.findall(r"\bTable(\w+)\[(\d+)\]\[\d+\]", open(os.path.join(TOP, "uninstall.h")).read()))
tables = {}
for path in glob.glob(os.path.join(TOP, "*", "tables", "*.tbl")):
    rows = [line.rstrip("\n") for line in open(path, encoding="utf-8") if line != "\n" and not line.startswith("#")]
    name = os.path.basename(path)[:-4]
    # As the build compiles it: a row too few is an empty last row.
    tables[name] = rows + [""] * (int(shapes.get(name, 0)) - len(rows))
faults = ["%s row %d \"%s\": empty or blank, or holds an empty part, '..' or ':'" % (t, i + 1, r)
          for t, rows in sorted(tables.items()) for i, r in enumerate(rows)
          if r != r.strip() or any(not p.strip() or p == ".." for p in r.split("\\")) or ":" in r]
faults += ["%s: \"%s\" is a maker-wide name" % (t, r) for t in UNCONDITIONAL for r in tables[t]
           if re.match(r"qnm(?!t58)", r.rsplit("\\", 1)[-1], re.I)]
# The marks of the installation folder are files that its tables delete there.
faults += ["InstalledPrograms: \"%s\" is no file of the installation folder's tables" % r for r in
           tables["InstalledPrograms"] if r not in sum((tables[t] for t in ("C5", "C7", "N7", "N8", "S7")), [])]
for registry, prefix, deleting, reverse in RULES:
    spelt = (lambda p: p.upper()) if prefix is not None else (lambda p: p.rsplit("\\", 1)[-1].upper())
    key = {(t, r): {spelt(f + r) for f in folders} for t, folders in deleting.items() for r in tables[t]}
    named = {spelt((prefix or "") + r) for r in tables[registry]}
    faults += ["%s names %s, which %s do not delete" % (registry, n, "/".join(deleting))
               for n in sorted(named - set().union(*key.values()))]
    faults += ["%s deletes %s, which %s does not name" % (t, r, registry) for t in reverse for r in tables[t]
               if not r.upper().endswith(".BAK") and not key[(t, r)] & named]
print("\n".join(faults + ["tables: %s" % ("FAILED" if faults else "passed")]))
sys.exit(1 if faults else 0)
