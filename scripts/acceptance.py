#!/usr/bin/env python3
# Whole-machine acceptance of the removal program.
#
# Each scenario of tests/machine/scenarios.tsv is a fresh copy of the prepared
# Wine test machine, playing one Windows family, with one set of printers
# beside the product and its files idle or in use. The runner records it
# clean, plants it as tests/machine/items.tsv describes it, records it (files
# with attributes, the registry, WININIT.INI), runs the real program with its
# boxes answered (tools/standin.exe), records it, plays the restart (wineboot
# -r) and records it again. Each item must go, stay or wait for the restart as
# described, nothing of the clean machine may go unless a row names it, the
# run's restart instructions must name exactly what waits for the restart, and
# nothing else may change. The run is checked as a whole too: exit code,
# boxes, progress steps, the companion programs' command lines, the spooler's
# state and Wine's heap checks.
#
#   scripts/acceptance.py [--matrix] [--only NAME...] [--jobs N] [--keep] [--verbose]
# Exit code 1 when a scenario fails.

import argparse
import concurrent.futures
from collections import Counter
import fnmatch
import os
import re
import shutil
import subprocess
import sys
import time

TOP = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
DATA = os.path.join(TOP, "tests", "machine")
FAMILIES = {"98": "win98", "me": "winme", "2k": "win2k", "xp": "winxp"}
GROUPS = {"all": "98 me 2k xp", "9x": "98 me", "nt": "2k xp"}
SETS = ["alone", "othermaker", "sibling"]
ROOTS = {"HKLM": "HKLM", "HKEY_LOCAL_MACHINE": "HKLM", "HKU": "HKU", "HKEY_USERS": "HKU",
         "HKCR": "HKLM\\Software\\Classes", "HKCC": "HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current"}
ESCAPES = dict(zip("abtnvfre", "\a\b\t\n\v\f\r\x1b"))
RUNNER, PROGRAM = "F:\\qt58run", "C:\\qt58test\\QT58Uninstall.exe"
# What Wine or the runner changes on every run, not recorded, and why. (The
# runner makes its settings before it first records the machine; Wine's
# counter of service starts is a volatile value, which a registry save leaves out.)
UNRECORDED = {RUNNER.upper(): "the runner's own files (stand-in, planted and saved registry, trace, the companions' "
                              "record), on the network drive, which the program does not search"}
RUNONCE = "HKLM\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUNONCE"
WININIT = "C:\\WINDOWS\\WININIT.INI"
PENDING = ("HKLM\\SYSTEM\\CURRENTCONTROLSET\\CONTROL\\SESSION MANAGER", "PENDINGFILERENAMEOPERATIONS")
RUNS = {  # the buttons pressed in turn (IDOK, IDCANCEL, IDNO), the boxes wanted (caption, flags), the exit code
    "normal": (["1", "7", "1"],
               [("VORSICHT!", 0x131), ("Deinstallation abgeschlossen", 0x24), ("Neustart erforderlich", 0x40)], 0),
    "declined": (["2"], [("VORSICHT!", 0x131)], 4),
    "refused": ([], [("Quenmar T58 deinstallieren", 0x40)], 1),
    "badswitch": ([], [("Quenmar T58 deinstallieren", 0x40)], 87),
    "quiet": ([], [], 3010)}  # 0 on an idle machine, where nothing waits for the restart
# A plan run precedes the normal run of a "plan" machine; the runs that remove.
RUNS["plan"] = RUNS["normal"]
REMOVING = ("normal", "quiet", "plan")
SWITCHES = {"badswitch": "/quiet:yes", "quiet": '-Quiet /LOG:"%s\\run log.txt"' % RUNNER}
PLAN = '/plan:"%s\\the plan.txt"' % RUNNER
PROFILE = "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\"
PHASES = [("Vorbereitung der Deinstallation...", 1, 4), ("Dateien werden entfernt...", 4, 26),
          ("Dateien werden entfernt...", 26, 36), ("Registrierungseintr\\xe4ge werden entfernt...", 36, 68),
          ("Drucker wird entfernt...", 68, 98), ("Deinstallation abgeschlossen", 98, 100)]
WINE, WINESERVER, BUILD = subprocess.run(
    ["bash", "-c", '. "$0"; echo "$WINE|$WINESERVER|$QT58_BUILD"', os.path.join(TOP, "scripts", "wine-env.sh")],
    capture_output=True, text=True, check=True).stdout.strip().split("|")


def rows(path):
    with open(path, encoding="utf-8") as f:
        return [l.rstrip("\n").split("\t") for l in f if l.strip() and not l.startswith("#")]


def table_rows(name):
    path = next(p for p in (os.path.join(TOP, d, "tables", name + ".tbl") for d in ("files", "registry"))
                if os.path.exists(p))
    return [r[0] for r in rows(path)]


def families(text):
    return " ".join(GROUPS.get(f, f) for f in text.split(",")).split()


def fill(text, names):
    return re.sub(r"%([A-Z]+)%", lambda m: names.get(m.group(1), m.group(0)), text)


def content(data):
    # "{repeat:n:text}" is text repeated to n characters.
    return re.sub(r"\{repeat:(\d+):([^}]*)\}", lambda m: (m.group(2) * int(m.group(1)))[:int(m.group(1))], data)


def series(path, name):
    # "{1..300}" in a path or a value name stands for 300 items.
    m = re.search(r"\{(\d+)\.\.(\d+)\}", path + "\t" + name)
    return [(path, name)] if not m else [x for n in range(int(m.group(1)), int(m.group(2)) + 1)
                                         for x in series(path.replace(m.group(0), str(n), 1),
                                                         name.replace(m.group(0), str(n), 1))]


class Item:
    # kind: file, dir, link, key, value or write; expect: g, w, s, or y for a write.
    def __init__(self, kind, path, expect, name="", data="", flags=""):
        self.kind, self.path, self.expect, self.name, self.data = kind, path, expect, name, data
        self.flags = set(flags.split(",")) - {""}
        self.id = (path.upper(), name.upper()) if kind in ("value", "write") else path.upper()

    def __str__(self):
        return "%s %s%s" % (self.kind, self.path, ' value "%s"' % self.name if self.kind in ("value", "write") else "")


class Scenario:
    def __init__(self, name, family, printers, load, install, tags, run):
        self.name = "-".join(([] if name == "-" else [name]) + [family, printers, load])
        self.family, self.printers, self.load, self.install, self.run = family, printers, load, install, run
        self.tags, self.nt = set(tags.split(",")) - {"-"}, family in ("2k", "xp")

    def items(self, user, sid):
        # The description's items for this scenario, placeholders filled in.
        s, home = "C:\\windows\\system32", "C:\\users\\" + user
        names = {"WIN": "C:\\windows", "SYS": s, "PF": "C:\\Program Files", "USER": home, "TEMP": home + "\\Temp",
                 "DRIVERS": s + "\\spool\\drivers\\w32x86", "DEFAULT": "C:\\Program Files\\QuenmarT58",
                 "COLOR": s + ("\\spool\\drivers\\color" if self.nt else "\\color"), "DESKTOP": home + "\\Desktop",
                 "COMMONDESKTOP": "C:\\users\\Public\\Desktop",
                 "PROGRAMS": home + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
                 "COMMONPROGRAMS": "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"}
        names["INSTALL"] = self.installdir = fill(self.install, names)
        items = []
        for fams, expect, tags, kind, path, *rest in rows(os.path.join(DATA, "items.tsv")):
            letter = expect[SETS.index(self.printers)]
            tags = set(tags.split(",")) - {"-"}
            wanted = not {t[1:] for t in tags if t[0] == "!"} & self.tags and \
                (self.tags & tags or not {t for t in tags if t[0] != "!"})
            if self.family not in families(fams) or letter == "-" or not wanted or \
                    (kind == "write" and self.run not in REMOVING):
                continue
            letter = letter if self.run in REMOVING else "s"
            a, b, c = [fill(x, names) for x in rest + [""] * (3 - len(rest))]
            if kind == "table":
                # A folder's read-only attribute means nothing to Windows, while the Unix
                # write bit that Wine maps it to would keep the folder's files.
                items += [Item("file", a + "\\" + r, letter, flags="table," + b) if "." in r.rsplit("\\", 1)[-1] else
                          Item("dir", a + "\\" + r, letter, flags="table," + b.replace("ro", "")) for r in table_rows(path)]
            elif kind == "keys":
                items += [Item("key", reg_path(a + "\\" + r, sid), letter, flags="table") for r in table_rows(path)]
            elif kind == "values":
                items += [Item("value", reg_path(a, sid), letter, b + r, c or "sz:1", "table") for r in table_rows(path)]
            elif kind in ("key", "value", "write"):
                items += [Item(kind, reg_path(p, sid), letter, n, content(b), a if kind == "key" else c)
                          for p, n in series(fill(path, names), a if kind != "key" else "")]
            else:
                items += [Item(kind, p, letter, data=content(a), flags=b) for p, _ in series(fill(path, names), "")]
        # A later row for the same item replaces an earlier one, a table's row included.
        return list({(i.kind, i.id): i for i in items}.values())


def reg_path(path, sid):
    root, _, rest = path.partition("\\")
    return ("HKU\\" + sid if root == "HKCU" else ROOTS[root]) + ("\\" + rest if rest else "")


def scenarios(matrix, only):
    found = [Scenario(name, family, printers, load, *rest)
             for name, fams, sets, loads, *rest in rows(os.path.join(DATA, "scenarios.tsv"))
             for family in families(fams) for printers in sets.split(",") for load in loads.split(",")]
    return [s for s in found if matrix or any(fnmatch.fnmatch(s.name, o) for o in only)]


class Machine:
    # A fresh copy of the prepared test machine with its own Wine server.
    def __init__(self, s):
        self.s, self.prefix = s, os.path.join(TOP, BUILD, "acceptance", s.name)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all")
        self.bin = os.path.join(self.prefix, "drive_f", "qt58run")

    def create(self):
        self.destroy()
        subprocess.run(["cp", "-a", os.path.join(TOP, BUILD, "wine-template"), self.prefix], check=True)
        if os.path.lexists(os.path.join(self.prefix, "dosdevices", "z:")):
            raise RuntimeError("the machine is not cut off from the host")
        # The server puts itself in the background once it serves: a program started before that
        # would start a server of its own, which ends when its programs do, and the next program's
        # server would boot the machine again, carrying out what was planted for the restart.
        subprocess.run([WINESERVER, "-p"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        for name, path in (("QT58Uninstall.exe", self.linux(PROGRAM)), ("tools/standin.exe", self.bin + "/standin.exe")):
            os.makedirs(os.path.dirname(path))
            shutil.copy(os.path.join(TOP, BUILD, name), path)
        self.user = next(u for u in os.listdir(os.path.join(self.prefix, "drive_c", "users")) if u != "Public")
        with open(os.path.join(self.prefix, "user.reg"), encoding="utf-8", errors="replace") as f:
            self.sid = re.search(r"S-1-5-21-[\d-]+", f.read()).group(0)
        # The first program of a new server boots the machine, carrying out WININIT.INI, pending
        # renames and RunOnce: done before planting, so that only the played restart meets those planted.
        # Then the runner's settings: the Windows version the program sees, the calls traced.
        self.wine("wineboot")
        regedit(self, ["[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\QT58Uninstall.exe]", '"Version"="%s"' % (
            "nt40" if self.s.run == "refused" else FAMILIES[self.s.family]), "[HKEY_CURRENT_USER\\Software\\Wine\\Debug]",
            '"RelayInclude"="user32.MessageBoxA;user32.SetDlgItemTextA;user32.DrawTextA;advapi32.RegDeleteKeyA"'])
        # The display's first use writes Wine's video keys: the holder, with nothing to hold, makes it now.
        self.wine(RUNNER + "\\standin.exe", "hold")

    def wine(self, *args, env=None, out=subprocess.DEVNULL, err=subprocess.DEVNULL):
        return subprocess.run([WINE] + list(args), env=dict(self.env, **(env or {})), cwd=self.bin,
                              stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=900)

    def output(self, *args):
        return self.wine(*args, out=subprocess.PIPE).stdout.decode("cp1252", "replace")

    def linux(self, path):
        # Windows names ignore case: each part takes the spelling already on the disk.
        drive, _, rest = path.partition(":\\")
        found = os.path.join(self.prefix, "dosdevices", drive.lower() + ":")
        for part in rest.split("\\"):
            same = [n for n in os.listdir(found) if n.lower() == part.lower()] if os.path.isdir(found) else []
            found = os.path.join(found, same[0] if same and part not in same else part)
        return found

    def destroy(self):
        if os.path.isdir(self.prefix):
            subprocess.run([WINESERVER, "-k"], env=self.env, stderr=subprocess.DEVNULL)
            shutil.rmtree(self.prefix, ignore_errors=True)


def plant(m, items):
    # Files straight into the machine's folders, the registry through Wine's own
    # regedit; keys of the current hardware profile (volatile), locked keys and
    # files in use through the holder, which keeps them until the restart.
    reg, held = [], []
    for item in [i for i in items if "program" not in i.flags]:
        hkcc = item.path.upper().startswith(ROOTS["HKCC"].upper() + "\\")
        if "absent" in item.flags and item.kind == "key":
            root, _, rest = item.path.partition("\\")
            reg[0:0] = ["[-%s\\%s]" % ({"HKLM": "HKEY_LOCAL_MACHINE", "HKU": "HKEY_USERS"}[root], rest)]
        elif "absent" in item.flags:
            continue
        elif item.kind in ("file", "dir", "link"):
            path = m.linux(item.path)
            os.makedirs(path if item.kind == "dir" else os.path.dirname(path), exist_ok=True)
            if item.kind == "link":
                os.symlink(m.linux(item.data), path)
            elif item.kind == "file" and item.flags & {"pe", "running"}:
                shutil.copy(os.path.join(m.bin, "standin.exe"), path)
            elif item.kind == "file":
                random = re.match(r"random:(\d+)$", item.data)
                text = item.data.encode("cp1252").decode("unicode_escape") if item.data else item.path
                with open(path, "wb") as f:
                    f.write(os.urandom(int(random.group(1))) if random else text.encode("cp1252"))
            if item.flags & {"hidden", "system"}:
                os.setxattr(path, "user.DOSATTRIB", b"0x%x" % (2 * ("hidden" in item.flags) + 4 * ("system" in item.flags)))
            if "ro" in item.flags:
                os.chmod(path, 0o555 if item.kind == "dir" else 0o444)
            if "open" in item.flags or m.s.load == "inuse" and item.flags & {"held", "running"}:
                held.append(("M " if "running" in item.flags else "F ") + item.path)
        elif hkcc:
            held.append("K " + item.path[len(ROOTS["HKCC"]) + 1:] + ("\t%s\t%s" % (item.name, item.data[3:])
                                                                    if item.kind == "value" else ""))
        elif item.kind in ("key", "value"):
            root, _, rest = item.path.partition("\\")
            reg.append("[%s\\%s]" % ({"HKLM": "HKEY_LOCAL_MACHINE", "HKU": "HKEY_USERS"}[root], rest))
            if item.kind == "value":
                reg.append("%s=%s" % (quote(item.name) if item.name else "@", reg_data(item.data)))
            held += ["L " + rest] if "locked" in item.flags else []
    regedit(m, reg)
    holder = subprocess.Popen([WINE, RUNNER + "\\standin.exe", "hold"], env=m.env, cwd=m.bin, text=True,
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    holder.stdin.write("\n".join(held) + "\n\n")
    holder.stdin.flush()
    answer = holder.stdout.readline().strip()
    if answer != "ready":
        raise RuntimeError("the holder failed: " + answer)
    return holder


def regedit(m, lines):
    # Imports the lines of a registry file through Wine's own regedit, in one go.
    with open(os.path.join(m.bin, "import.reg"), "w", encoding="utf-16") as f:
        f.write("\r\n".join(["Windows Registry Editor Version 5.00", ""] + lines) + "\r\n")
    if m.wine("regedit", "/S", RUNNER + "\\import.reg").returncode != 0:
        raise RuntimeError("regedit refused " + "; ".join(lines)[:200])


def quote(text):
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')


def reg_data(data):
    # sz:text, expand:text, dword:n, multi:a|b; hex: and hex(n): pass as written.
    kind, _, text = data.partition(":")
    if kind in ("multi", "expand"):
        return "hex(%d):" % (7 if kind == "multi" else 2) + ",".join("%02x" % b for b in "".join(
            p + "\0" for p in (text.split("|") + [""] if kind == "multi" else [text])).encode("utf-16-le"))
    return quote(text) if kind == "sz" else "dword:%08x" % int(text) if kind == "dword" else data


class State:
    # files: upper path -> (path, folder, size, time, attributes); keys: upper ->
    # key; values: (upper key, upper name) -> (key, name, data as the registry
    # server writes it); wininit: the text of WININIT.INI.
    def __init__(self, m):
        self.files, self.keys, self.values = {}, {}, {}
        for drive in sorted(os.listdir(os.path.join(m.prefix, "dosdevices"))):
            root = os.path.realpath(os.path.join(m.prefix, "dosdevices", drive))
            if re.match(r"^[a-y]:$", drive) and root.startswith(os.path.realpath(m.prefix) + os.sep):
                self.read_files(root, drive.upper())
        wininit = m.linux("C:\\windows\\WININIT.INI")
        self.wininit = open(wininit, "rb").read().decode("cp1252") if os.path.isfile(wininit) else ""
        # The registry server writes the registry itself, in a tenth of the time of
        # an export, but leaves out volatile keys: those of the current hardware
        # profile are exported.
        if m.wine(RUNNER + "\\standin.exe", "save", "machine.reg", "users.reg").returncode or \
                m.wine("reg", "export", ROOTS["HKCC"], "config.reg", "/y").returncode:
            raise RuntimeError("the registry could not be saved")
        for name, root in (("machine.reg", "HKLM"), ("users.reg", "HKU"), ("config.reg", None)):
            with open(os.path.join(m.bin, name), encoding="latin-1" if root else "utf-16") as f:
                self.read_registry(f.read().replace("\\\n  ", ""), root)

    def read_files(self, root, drive):
        for folder, dirs, names in os.walk(root):
            shown = drive + folder[len(root):].replace("/", "\\")
            if shown.upper() in UNRECORDED:
                dirs[:], names = [], []
            for name in dirs + names:
                full, attributes = os.path.join(folder, name), ""
                info = os.lstat(full)
                try:
                    attributes = os.getxattr(full, "user.DOSATTRIB", follow_symlinks=False).decode()
                except OSError:
                    pass
                attributes += ("" if info.st_mode & 0o200 else " ro") + (" link" if os.path.islink(full) else "")
                self.files[(shown + "\\" + name).upper()] = (shown + "\\" + name, name in dirs,
                                                             0 if name in dirs else info.st_size,
                                                             0 if name in dirs else info.st_mtime_ns, attributes)

    def read_registry(self, text, root):
        # A branch as the server saves it, relative to root, or an export (root
        # None), whose keys name their root; a saved key that holds no values
        # but subkeys is only named in its subkeys' paths.
        key = None
        for line in text.splitlines():
            if line.startswith("["):
                path = line[1:line.rindex("]")]
                key = root + "\\" + unescape(path) if root else re.sub(r"^[^\\]*", lambda r: ROOTS[r[0]], path)
                parts = key.split("\\")
                self.keys.update(("\\".join(parts[:n]).upper(), "\\".join(parts[:n])) for n in range(2, len(parts) + 1))
            elif key and line[:1] in ('"', "@"):
                m = re.match(r'(@|"((?:[^"\\]|\\.)*)")=(.*)', line)
                name = unescape(m.group(2) or "")
                self.values[(key.upper(), name.upper())] = (key, name, m.group(3))

    def state(self, item):
        # What an item looks like now; None when it is absent.
        found = self.files if item.kind in ("file", "dir", "link") else self.keys if item.kind == "key" else self.values
        return found[item.id][1:] if item.id in found else None

    def string(self, key, name):
        value = self.values.get((key.upper(), name.upper()))
        return value and text_of(value[2])


def unescape(text):
    # The registry server's escapes: "x" and hex digits, octal digits, a C letter, or a character as it is.
    return re.sub(r"\\(x[0-9a-f]{1,4}|[0-7]{1,3}|.)", lambda e: chr(int(e[1][1:], 16)) if e[1][0] == "x" and e[1][1:]
                  else chr(int(e[1], 8)) if e[1][0] in "01234567" else ESCAPES.get(e[1], e[1]), text)


def text_of(data):
    # The text of a string or multi-string value's data as saved or exported.
    if data.startswith(("hex(1):", "hex(2):", "hex(7):")):
        return bytes.fromhex(re.sub(r"[^0-9a-f]", "", data[7:])).decode("utf-16-le", "replace").rstrip("\0")
    return unescape(data[data.index('"') + 1:-1]).rstrip("\0") if data.startswith(('"', "str(")) else data


def run_program(m, switches="", buttons=None):
    # The real program with its boxes answered; its exit code, the box texts
    # and Wine's trace: the program's debug lines, heap errors, relayed calls.
    # Wine checks every heap block at each heap call only with the heap trace
    # on, and reports a damaged one as an error of that channel.
    with open(os.path.join(m.bin, "run.err"), "w+", encoding="cp1252", errors="replace") as err:
        switches = switches or SWITCHES.get(m.s.run)
        out = m.wine(RUNNER + "\\standin.exe", "run", *RUNS[m.s.run][0] if buttons is None else buttons, "--",
                     PROGRAM, out=subprocess.PIPE, err=err,
                     env=dict({"WINEDEBUG": "+relay,warn+debugstr,+heap"},
                              **({"QT58_SWITCHES": switches} if switches else {})))
        err.seek(0)
        trace = err.read()
    out = out.stdout.decode("cp1252", "replace")
    code = re.search(r"exit code: (\d+)", out)
    return code and int(code.group(1)), out, trace


def calls(trace, function):
    # (arguments, result) of each relayed call of a function, in order.
    found, called = [], {}
    for thread, what, rest in re.findall(r"^(\w+):(Call|Ret ) \w+\.%s\((.*)$" % function, trace, re.M):
        if what == "Call":
            called[thread] = rest
        elif thread in called:
            found.append((called.pop(thread), int(re.search(r"retval=(\w+)", rest).group(1), 16)))
    return found


def finish_9x_key_deletions(m, trace):
    # Wine playing 9x deletes a key's subkeys only while each name is shorter
    # than the one before, then refuses the key (5); Windows 98 and Me delete
    # the whole tree, which is done here for every deletion Wine refused.
    roots = {"0": "HKCR", "1": "HKCU", "2": "HKLM", "3": "HKU", "5": "HKCC"}
    for arguments, result in calls(trace, "RegDeleteKeyA"):
        match = re.match(r'\w*8000000(\d),\w+ "(.*)"\)', arguments)
        if match and result == 5 and match.group(1) in roots:
            m.wine("reg", "delete", roots[match.group(1)] + "\\" + match.group(2).replace("\\\\", "\\"), "/f")


def restart(m, after):
    # Wine keeps values in name order and runs RunOnce values from the last to the
    # first; Windows 98 runs them in the order written, which nested "rd" commands
    # need. Renamed so that the first written sorts last, they run in that order.
    if not m.s.nt:
        regedit(m, ["[HKEY_LOCAL_MACHINE\\%s]" % RUNONCE[5:]] + ["%s=-\r\n\"%05d\"=%s" % (
            quote(name), 99999 - int(name), quote(text_of(data))) for (key, _), (_, name, data) in after.values.items()
            if key == RUNONCE and name.isdigit()])
    m.wine("wineboot", "-r")


class Outcome:
    def __init__(self):
        self.faults, self.counts, self.notes, self.items = [], {}, [], []

    def count(self, what, item=None):
        self.counts[what] = self.counts.get(what, 0) + 1
        self.items += ["  %s: %s" % (what, item)] if item else []


def in_use(item, held):
    return "program" in item.flags or item.kind in ("file", "dir") and \
        any((h + "\\").upper().startswith(item.id + "\\") for h in held)


def pending(state):
    # The pending renames as (source, target) pairs.
    names = (state.string(*PENDING) or "").split("\0")
    return list(zip(names[0::2], names[1::2] + [""])) if names != [""] else []


def awaited(m, s, items, held, before):
    # What the run's restart instructions must name, each to its item: the items
    # that wait for the restart (but those another program's instructions name),
    # those to go that are in use, and those the rows say the run schedules. 9x:
    # the WININIT.INI line or "rd" command with the short path; 2000/XP: the path
    # in place, or for a running program's file, which the run moves aside, the
    # size and time that the move keeps.
    theirs = re.split(r"[=\r\n\0]+|\\\?\?\\", (before.wininit + "\0" + (before.string(*PENDING) or "")).upper())
    waits = [i for i in items if s.run in REMOVING and i.kind in ("file", "dir") and i.id not in theirs + [WININIT] and
             (i.expect == "w" or i.expect == "g" and in_use(i, held) or "scheduled" in i.flags)]
    if not s.nt:
        return {(("NUL=" if i.kind == "file" else "COMMAND /C RD ") + p).upper(): i
                for i, p in zip(waits, short(m, *[i.path for i in waits]))}
    return {before.files[i.id][2:4] if i.flags & {"running", "program"} else "\\??\\" + i.id: i for i in waits}


def judge_restart(o, items, states, awaits):
    # The run's restart instructions name exactly what it awaits, in their form
    # (2000/XP: deletions only); other programs' instructions stay as they were.
    # Returns the sizes and times of the items moved aside, and what these
    # instructions account for: the files moved aside (a file left after the
    # restart is not), the pending renames, WININIT.INI and the copy the
    # restart keeps of it, new RunOnce values.
    before, after, restarted = states
    old, new = Counter(before.wininit.splitlines()), Counter(after.wininit.splitlines())
    o.faults += ["another program's line of WININIT.INI changed: %r" % line[:100] for line in old - new]
    found = {line.upper(): "WININIT.INI: " + line for line in new - old if line.upper() != "[RENAME]"}
    runonce = {k for k in after.values if k[0] == RUNONCE and k not in before.values} - {i.id for i in items}
    found.update((text_of(after.values[k][2]).upper() if k[1].isdigit() else k, "RunOnce %s: %s" % (
        after.values[k][1], text_of(after.values[k][2]))) for k in runonce)
    accounted = runonce | {PENDING, WININIT, WININIT[:-3] + "BAK"}
    o.faults += ["another program's pending renames changed: %s" % pending(before)] \
        if pending(after)[:len(pending(before))] != pending(before) else []
    for source, target in pending(after)[len(pending(before)):]:
        path = source[4:].upper()
        moved = path in after.files and path not in before.files
        key = after.files[path][2:4] if moved else "\\??\\" + path
        found[key if source[:4] == "\\??\\" and not target else source + target] = "pending: %s %r" % (source, target)
        accounted |= {path} if moved and path not in restarted.files else set()
    o.faults += ["restart instruction of nothing that waits for it: " + found[k] for k in found.keys() - awaits.keys()]
    o.faults += ["no restart instruction for %s" % awaits[k] for k in awaits.keys() - found.keys()]
    for key in found.keys() & awaits.keys():
        o.count("restart instructions", found[key])
    return {k for k in found if isinstance(k, tuple)}, accounted


def judge_items(o, items, states, held, moved):
    before, after, restarted = states
    rewritten = {i.id for i in items if i.kind == "write"}
    for item in items:
        if item.kind == "value" and item.id in rewritten:
            continue  # planted, and judged by the row of what the run writes over it
        s0, s1, s2 = (x.state(item) for x in states)
        later = s1 is not None or item.kind == "file" and s0 is not None and s0[1:3] in moved
        if item.kind == "write":
            got = after.string(item.path, item.name), restarted.string(item.path, item.name)
            fault = got != (item.data, item.data if item.expect == "y" else None) and \
                "written wrong: %s: wanted %r, after the run %r, after the restart %r" % ((item, item.data) + got)
        elif s0 is None:
            fault = "not planted: %s" % item
        elif item.expect == "s":
            fault = (s1 != s0 or s2 != s0 and item.path.upper() != RUNONCE) and \
                "%s: %s" % ("changed" if s1 and s2 else "removed", item)
        elif s2 is not None:
            fault = "left after the restart: %s" % item
        elif item.expect == "w" and not later:
            fault = "gone before the restart: %s" % item
        else:
            fault = item.expect == "g" and later and not in_use(item, held) and \
                "left for the restart though not in use: %s" % item
        if fault:
            o.faults.append(fault)
        else:
            o.count("kept" if item.expect == "s" else "written" if item.kind == "write" else
                    "removed %s%s" % (item.kind, " at the restart" if later else ""), item)


def judge_others(o, items, clean, states, accounted):
    # Every difference that no item accounts for, and every change to what the
    # clean machine held (and the planting left) that no row names itself (a
    # name table's row cannot excuse one).
    named, listed = {i.id for i in items if "table" not in i.flags}, {i.id for i in items}
    holders = {i.id: i for i in items if i.kind in ("dir", "key", "link")}
    written = [i.path.upper() + "\\" for i in items if i.kind == "write"]
    for table in ("files", "keys", "values"):
        maps = [getattr(x, table) for x in [clean] + states]
        for upper in sorted(set().union(*maps) - accounted, key=str):
            got = [t[upper][1:] if upper in t else None for t in maps]
            shown = next(t[upper] for t in maps if upper in t)
            shown = shown[0] if table == "files" else shown if table == "keys" else '%s value "%s"' % shown[:2]
            if None not in got[:2] and upper not in named:
                if got[2] != got[0] or got[3] != got[0]:
                    o.faults.append("clean machine's item %s: %s" % ("changed" if got[2] and got[3] else "removed",
                                                                    shown))
                continue
            if got[1] == got[2] == got[3] or upper in listed:
                continue
            parts = (upper[0] if table == "values" else upper.rpartition("\\")[0]).split("\\")
            holder = next((holders[h] for h in ("\\".join(parts[:n]) for n in range(len(parts), 0, -1))
                           if h in holders), None)
            if holder and holder.expect in "gw" or table == "keys" and any(w.startswith(upper + "\\")
                                                                         for w in written):
                continue
            o.faults.append("changed inside %s: %s" % (holder, shown) if holder else "unlisted change: %s %s" % (
                shown, "added" if got[1] is None else "removed" if got[3] is None else "changed"))


def judge_run(o, s, code, out, trace, companions, shorts, spooler):
    boxes = [(re.findall(r'"((?:[^"\\]|\\.)*)"', a)[-1], int(a.rsplit(",", 1)[1].split(")")[0], 16))
             for a, _ in calls(trace, "MessageBoxA")]
    exit_code = 0 if s.run == "quiet" and s.load == "idle" else RUNS[s.run][2]
    for fault, wanted, got in (("exit code", exit_code, code), ("boxes", RUNS[s.run][1], boxes)):
        if got != wanted:
            o.faults.append("%s %s, wanted %s" % (fault, got, wanted))
    if "VORSICHT!" in dict(boxes) and "wird der Quenmar T58 von Ihrem System" not in out:
        o.faults.append("the warning does not name the product: " + out)
    o.faults += ["heap: " + line for line in re.findall(r"^\w+:(?:err|warn):heap:.*$", trace, re.M)[:5]]
    o.notes += [n.replace("\\\\", "\\") for n in re.findall(r'OutputDebugStringA "(Cannot[^"]*)"', trace)]
    if s.run not in REMOVING:
        return
    wanted = ["%s -u\t%s\tshown" % (shorts["monitor"], shorts["install"])] if shorts["monitor"] else []
    wanted += ["QnmBceS.exe -u\tC:\\windows\\system32\thidden"] if shorts["status"] else []
    if sorted(companions) != sorted(wanted):
        o.faults.append("companions started as %s, wanted %s" % (companions, wanted))
    if s.nt and spooler != "RUNNING":
        o.faults.append("spooler %s after the run" % spooler)
    phase, seen = "", []
    for function, rest in re.findall(r"^\w+:Call user32\.(SetDlgItemTextA|DrawTextA)\((.*)$", trace, re.M):
        text = re.search(r'"((?:[^"\\]|\\.)*)"', rest)
        if function == "SetDlgItemTextA" and ",000003e9," in rest:
            phase = text.group(1)
        elif function == "DrawTextA" and re.match(r"\d+%$", text.group(1)) and \
                (phase, int(text.group(1)[:-1])) not in seen[-1:]:
            seen.append((phase, int(text.group(1)[:-1])))
    wanted = [] if s.run == "quiet" else [("", 0)] + [(t, p) for t, first, end in PHASES for p in range(first, end)
                                                      if first != 26 or shorts["monitor"]]
    if seen != wanted:
        at = next((i for i, (a, b) in enumerate(zip(seen, wanted)) if a != b), min(len(seen), len(wanted)))
        o.faults.append("progress steps from %s, wanted from %s" % (seen[at:at + 3], wanted[at:at + 3]))


def run_plan(m, o, before):
    # The plan of the planted machine, made before its run: no box, exit code 0,
    # nothing changed. Returns the plan's text.
    code, out, trace = run_program(m, PLAN, [])
    if code != 0 or calls(trace, "MessageBoxA"):
        o.faults.append("the plan ended with %s: %s" % (code, out.strip()))
    after = State(m)
    for table in ("files", "keys", "values"):
        old, new = getattr(before, table), getattr(after, table)
        o.faults += ["the plan changed %s" % (k,) for k in set(old) | set(new)
                     if old.get(k) != new.get(k)]
    with open(os.path.join(m.bin, "the plan.txt"), encoding="cp1252") as f:
        return f.read()


def judge_plan(o, m, text, items, states, moved, companions):
    # The plan against the run on the same machine: every item it names goes, at
    # the restart where it says so (a folder "if empty then" may stay holding
    # something), every item that went is named (or lies in a key named; what waits
    # for the restart by another program's instructions aside), every value it
    # writes holds what it says, and it starts the companions the run started.
    before, after, restarted = states
    waiting = {i.id for i in items if i.expect == "w" and "program" not in i.flags}
    files, keys, values, writes, starts, spared = {}, [], set(), {}, [], []
    for action, *f in (line.split("\t") for line in text.splitlines() if "\t" in line):
        key = reg_path(PROFILE + f[0][1:-1] if action == "delete profile entry" else f[0], m.sid).upper() \
            if " key" in action or " value" in action or " profile" in action else None
        if action.startswith("keep for "):
            spared.append([reg_path(f[0], m.sid).upper() if f[0][:2] == "HK" else f[0].upper()] +
                          [n[1:-1].upper() for n in f[1:]])
        elif action == "start program":
            starts.append("\t".join(f))
        elif action.startswith(("delete file", "move aside", "remove folder")):
            files[f[0].upper()] = action
        elif action.startswith("delete key"):
            keys.append(key)
        elif action == "write value":
            writes[(key, f[1][1:-1].upper())] = f[2][1:-1]
        elif action in ("delete value", "delete profile entry"):
            values.add((key, f[1][1:-1].upper()))
    covered = lambda path: any(path == k or path.startswith(k + "\\") for k in keys)
    for upper, info in before.files.items():
        action, went = files.pop(upper, ""), upper not in restarted.files
        later = upper in after.files or info[2:4] in moved
        if "if empty then" in action:
            right = later and (went or any(f.startswith(upper + "\\") for f in restarted.files))
        else:
            right = went and later == ("restart" in action) if action else not went or upper in waiting
        if not right:
            went = ("at the restart" if later else "now") if went else "not"
            o.faults.append("planned %r, went %s: %s" % (action, went, info[0]))
    o.faults += ["planned %r, not there: %s" % (a, f) for f, a in files.items()]
    o.faults += ["planned %s, went %s: key %s" % (covered(k), k not in after.keys, k) for k in before.keys
                 if covered(k) != (k not in after.keys)]
    o.faults += ["planned %s, went %s: value %s" % ((k, n) in values, (k, n) not in after.values, v[:2])
                 for (k, n), v in before.values.items()
                 if ((k, n) in values or covered(k)) != ((k, n) not in after.values)]
    o.faults += ["planned %r, written %r: value %s %s" % (data, after.string(*k), *k) for k, data in writes.items()
                 if after.string(*k) != data]
    o.faults += ["written unplanned: value %s" % (v[:2],) for k, v in after.values.items() if before.values.get(k) != v
                 and k not in writes and k != PENDING
                 and not text_of(v[2]).lower().startswith("command /c rd ")]
    # What it says a printer spares is there, and stays through the run and the restart.
    for f in spared:
        o.count("planned as spared") if f[0] in restarted.keys or f[0] in restarted.files or tuple(f) in \
            restarted.values else o.faults.append("planned as spared, gone: %s" % " ".join(f))
    if sorted(starts) != sorted(companions):
        o.faults.append("planned starts %s, started %s" % (starts, companions))


def judge_log(o, s, log, trace):
    # The log: a header naming the family and the installation folder, then every
    # line the run traced, in order, each line break (with its blanks) one blank.
    lines = log.splitlines()
    for wanted in ("Windows family: Windows %s" % {"98": "98", "me": "Me", "2k": "2000", "xp": "XP"}[s.family],
                   "Installation folder: %s (" % s.installdir):
        if not any(line.startswith(wanted) for line in lines):
            o.faults.append("log without %r" % wanted)
    rest = iter(lines)
    for text, cut in re.findall(r'OutputDebugStringA "((?:[^"\\]|\\.)*)"(\.\.\.)?', trace):
        text = re.sub(r" *[\r\n][\r\n ]*", " ", re.sub(r"\\(x..|.)", lambda e: {"n": "\n", "r": "\r", "t": "\t"}.get(
            e.group(1), chr(int(e.group(1)[1:], 16)) if len(e.group(1)) == 3 else e.group(1)), text))
        if not any(line == text or cut and line.startswith(text) for line in rest):
            o.faults.append("not in the log, or out of order: " + text)
            break


def run_scenario(s, keep=False, verbose=False):
    m, o, started = Machine(s), Outcome(), time.time()
    try:
        m.create()
        if s.nt and "spoolerstopped" not in s.tags:
            m.wine("net", "start", "spooler")
        clean = State(m)
        items = s.items(m.user, m.sid)
        shorten(m, [i for i in items if i.kind != "write"])
        holder = plant(m, items)
        items = [i for i in items if "absent" not in i.flags]
        shorts = dict(zip(("install", "monitor"), short(m, s.installdir, s.installdir + "\\REZevavav_T58.exe")))
        shorten(m, items)
        held = [i.path for i in items if "open" in i.flags or s.load == "inuse" and i.flags & {"held", "running"}]
        states = [State(m)]
        awaits = awaited(m, s, items, held, states[0])
        # A sibling model is a printer of the maker too.
        shorts["status"] = s.nt and s.printers == "alone" and "C:\\WINDOWS\\SYSTEM32\\QNMBCES.EXE" in \
            states[0].files
        plan = s.run == "plan" and run_plan(m, o, states[0])
        code, out, trace = run_program(m)
        if not s.nt:
            finish_9x_key_deletions(m, trace)
        spooler = re.search(r"STATE\s*:\s*\d+\s+(\w+)", m.output("sc", "query", "spooler"))
        states.append(State(m))
        holder.stdin.close()
        holder.wait(timeout=60)
        restart(m, states[-1])
        states.append(State(m))
        # A key that lets nobody in and stays keeps its access list: reading it is still refused.
        o.faults += ["access list replaced: %s" % i for i in items if "locked" in i.flags and i.expect == "s"
                     and m.wine("reg", "query", i.path).returncode == 0]
        record = os.path.join(m.bin, "companions.txt")
        companions = open(record, encoding="cp1252").read().splitlines() if os.path.exists(record) else []
        moved, accounted = judge_restart(o, items, states, awaits)
        judge_items(o, items, states, held, moved)
        judge_others(o, items, clean, states, accounted)
        judge_run(o, s, code, out, trace, companions, shorts, spooler and spooler.group(1))
        if plan:
            judge_plan(o, m, plan, items, states, moved, companions)
        if s.run == "quiet":
            judge_log(o, s, open(os.path.join(m.bin, "run log.txt"), encoding="cp1252").read(), trace)
    except Exception as error:  # a machine that cannot be run is a failed scenario, with its reason
        o.faults.append("could not run: %r at line %d" % (error, error.__traceback__.tb_next.tb_lineno if
                                                          error.__traceback__.tb_next else 0))
    finally:
        if not keep:
            m.destroy()
    lines = ["%s: %s (%.0f s)" % (s.name, "FAIL" if o.faults else "PASS", time.time() - started)]
    lines += sorted(o.items) if verbose else []
    lines += ["  %d %s" % (n, what) for what, n in sorted(o.counts.items())]
    lines += ["  traced failure: " + n for n in o.notes[:None if verbose else 3]]
    lines += ["  FAULT " + f for f in o.faults[:None if verbose else 25]]
    return not o.faults, lines + (["  ... %d more faults" % (len(o.faults) - 25)] if len(o.faults) > 25 and
                                  not verbose else [])


def short(m, *paths):
    # The short forms of paths as they are now ("" for a missing one).
    return m.output(RUNNER + "\\standin.exe", "short", *paths).splitlines()[:len(paths)]


def shorten(m, items):
    # "{short:path}" in data: the short form of a path as it is at that moment.
    for item in items:
        item.data = re.sub(r"\{short:([^}]*)\}", lambda x: short(m, x.group(1))[0] or x.group(1), item.data)


def main():
    parser = argparse.ArgumentParser(description="Whole-machine acceptance of the removal program.")
    parser.add_argument("--matrix", action="store_true", help="every scenario of tests/machine/scenarios.tsv")
    parser.add_argument("--only", nargs="*", default=[], help="the scenarios of these names (* and ? match any)")
    parser.add_argument("--jobs", type=int, default=(os.cpu_count() or 1) + 1)
    parser.add_argument("--keep", action="store_true", help="keep the machines in <build>/acceptance")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()
    chosen = scenarios(args.matrix, args.only)
    print("acceptance: %s on %d planted machines" % (os.path.join(BUILD, "QT58Uninstall.exe"), len(chosen)))
    subprocess.run([os.path.join(TOP, "scripts", "make-prefix.sh"), "--once", os.path.join(TOP, BUILD, "wine-template")],
                   stdout=subprocess.DEVNULL, check=True)
    os.makedirs(os.path.join(TOP, BUILD, "acceptance"), exist_ok=True)
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        results = [pool.submit(run_scenario, s, args.keep, args.verbose) for s in chosen]
        for done in concurrent.futures.as_completed(results):
            print("\n".join(done.result()[1]), flush=True)
    passed = sum(r.result()[0] for r in results)
    print("acceptance: %d of %d scenarios passed" % (passed, len(chosen)))
    return 0 if chosen and passed == len(chosen) else 1


if __name__ == "__main__":
    sys.exit(main())
