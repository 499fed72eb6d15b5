#!/usr/bin/env python3
# Whole-machine acceptance of the removal program.
#
# Each scenario of tests/machine/scenarios.tsv is one fresh copy of the prepared
# Wine test machine, playing one Windows family, with one set of printers beside
# the product and its files idle or in use. The runner plants the machine as
# tests/machine/items.tsv describes it, records it (files with their attributes,
# the registry, pending renames), runs the real program with its boxes answered
# (tools/standin.exe), records it again, plays the restart (wineboot -r) and
# records it a third time. Every difference is classified against the
# description: each item must go, stay or wait for the restart, and nothing
# else may change but what the run is known to leave for the restart. The run
# itself is checked as a whole: exit code, message boxes, progress steps, the
# companion programs' command lines, the spooler's state, heap errors.
#
#   scripts/acceptance.py [--matrix] [--only NAME...] [--jobs N] [--keep] [--verbose]
# Exit code 1 when any scenario fails, 2 when one could not be run.

import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.realpath(__file__))
TOP = os.path.dirname(HERE)
DATA = os.path.join(TOP, "tests", "machine")
FAMILIES = {"98": "win98", "me": "winme", "2k": "win2k", "xp": "winxp"}
GROUPS = {"all": "98 me 2k xp", "9x": "98 me", "nt": "2k xp"}
SETS = ["alone", "othermaker", "sibling"]
ROOTS = {"HKLM": "HKLM", "HKEY_LOCAL_MACHINE": "HKLM", "HKU": "HKU", "HKEY_USERS": "HKU",
         "HKCR": "HKLM\\Software\\Classes", "HKCC": "HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current"}
RUNONCE = "HKLM\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUNONCE"
PENDING = ("HKLM\\SYSTEM\\CURRENTCONTROLSET\\CONTROL\\SESSION MANAGER", "PENDINGFILERENAMEOPERATIONS")
RELAYED = "user32.MessageBoxA;user32.SetDlgItemTextA;user32.DrawTextA;advapi32.RegDeleteKeyA"
ANSWERS = {"normal": ["VORSICHT!=OK", "Deinstallation abgeschlossen=NO", "Neustart erforderlich=OK"],
           "declined": ["VORSICHT!=CANCEL"]}
BOXES = {"normal": [("VORSICHT!", 0x131), ("Deinstallation abgeschlossen", 0x24), ("Neustart erforderlich", 0x40)],
         "declined": [("VORSICHT!", 0x131)], "refused": [("Quenmar T58 deinstallieren", 0x40)]}
EXIT_CODES = {"normal": 0, "declined": 4, "refused": 1}
PHASES = [("Vorbereitung der Deinstallation...", 1, 4), ("Dateien werden entfernt...", 4, 26),
          ("Dateien werden entfernt...", 26, 36), ("Registrierungseintr\\xe4ge werden entfernt...", 36, 68),
          ("Drucker wird entfernt...", 68, 98), ("Deinstallation abgeschlossen", 98, 100)]


def wine_setup():
    # The Wine loader, server and build that scripts/wine-env.sh chose for this machine.
    out = subprocess.run(["bash", "-c", '. "$0"; echo "$WINE|$WINESERVER|$QT58_BUILD"',
                          os.path.join(HERE, "wine-env.sh")], capture_output=True, text=True, check=True)
    return out.stdout.strip().split("|")


WINE, WINESERVER, BUILD = wine_setup()


def rows(name):
    # The tab-separated rows of a data file, without comments and blank lines.
    with open(name, encoding="utf-8") as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip() and not line.startswith("#")]


def table_rows(name):
    for folder in ("files", "registry", "sequence", "restore"):
        path = os.path.join(TOP, folder, "tables", name + ".tbl")
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                return [l.rstrip("\n") for l in f if l.strip() and not l.startswith("#")]
    raise ValueError("no name table " + name)


class Item:
    # One planted thing: kind is file, dir, link, key, value or write; expect is
    # g (goes with the run), w (waits for the restart), s (stays) or, for a
    # write, y (the run writes data) or w (written, then consumed at the restart).
    def __init__(self, kind, path, expect, name="", data="", flags=""):
        self.kind, self.path, self.expect, self.name, self.data = kind, path, expect, name, data
        self.flags = set(flags.split(",")) if flags else set()

    def id(self):
        return (self.path.upper(), self.name.upper()) if self.kind in ("value", "write") else self.path.upper()

    def shown(self):
        return "%s %s%s" % (self.kind, self.path, ' value "%s"' % self.name if self.kind in ("value", "write") else "")


class Scenario:
    def __init__(self, name, family, printers, load, fields):
        self.name = "%s-%s-%s-%s" % (name, family, printers, load) if name != "-" else \
            "%s-%s-%s" % (family, printers, load)
        self.family, self.printers, self.load = family, printers, load
        self.install, self.tags, self.run = fields[0], set(fields[1].split(",")) - {"-"}, fields[2]
        self.prefix = os.path.join(TOP, BUILD, "acceptance", self.name)

    def names(self, user):
        nt = self.family in ("2k", "xp")
        sys_ = "C:\\windows\\system32"
        names = {"WIN": "C:\\windows", "SYS": sys_, "PF": "C:\\Program Files", "USER": "C:\\users\\" + user,
                 "DRIVERS": sys_ + "\\spool\\drivers\\w32x86",
                 "COLOR": sys_ + ("\\spool\\drivers\\color" if nt else "\\color"),
                 "DESKTOP": "C:\\users\\%s\\Desktop" % user, "COMMONDESKTOP": "C:\\users\\Public\\Desktop",
                 "PROGRAMS": "C:\\users\\%s\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs" % user,
                 "COMMONPROGRAMS": "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs",
                 "DEFAULT": "C:\\Program Files\\QuenmarT58", "TEMP": "C:\\users\\%s\\Temp" % user}
        names["INSTALL"] = fill(self.install, names)
        return names

    def items(self, user, sid):
        # The description's items for this scenario, with every placeholder filled in.
        names, at = self.names(user), SETS.index(self.printers)
        items = []
        for families, expect, tags, kind, path, *rest in rows(os.path.join(DATA, "items.tsv")):
            wanted = " ".join(GROUPS.get(f, f) for f in families.split(",")).split()
            if self.family not in wanted or expect[at] == "-" or not tag_matches(tags, self.tags):
                continue
            letter = "s" if self.run != "normal" and kind != "write" else expect[at]
            if self.run != "normal" and kind == "write":
                continue
            rest += [""] * 3
            if kind == "table":
                table = table_rows(path)
                base = fill(rest[0], names)
                # A folder's read-only attribute means nothing to Windows, while the
                # Unix write bit it maps to would keep its files from being deleted.
                items += [Item("file", base + "\\" + r, letter, flags=rest[1]) if "." in r.rsplit("\\", 1)[-1]
                          else Item("dir", base + "\\" + r, letter, flags=",".join(set(rest[1].split(",")) - {"ro"}))
                          for r in table]
            elif kind == "keys":
                items += [Item("key", reg_path(fill(rest[0], names) + "\\" + r, sid), letter) for r in table_rows(path)]
            elif kind == "values":
                key = reg_path(fill(rest[0], names), sid)
                items += [Item("value", key, letter, fill(rest[1], names) + r, fill(rest[2], names) or "sz:1")
                          for r in table_rows(path)]
            elif kind in ("key", "value", "write"):
                name, flags = ("", rest[0]) if kind == "key" else (rest[0], "")
                for path_, name in ranges(fill(path, names), fill(name, names)):
                    items.append(Item(kind, reg_path(path_, sid), letter, name, content(fill(rest[1], names)), flags))
            else:
                for path_, _ in ranges(fill(path, names), ""):
                    items.append(Item(kind, path_, letter, data=content(fill(rest[0], names)), flags=rest[1]))
        # A later row for the same item replaces an earlier one, a table's row included.
        return list({(i.kind, i.id()): i for i in items}.values())


def tag_matches(tags, present):
    # "-" always; "a,b" when the scenario has a tag of them; "!a" only when it has not a.
    wanted = {t for t in tags.split(",") if t != "-" and not t.startswith("!")}
    unwanted = {t[1:] for t in tags.split(",") if t.startswith("!")}
    return not unwanted & present and (not wanted or bool(wanted & present))


def ranges(path, name):
    # "{1..300}" in a path or a value name stands for 300 items.
    match = re.search(r"\{(\d+)\.\.(\d+)\}", path + "\t" + name)
    if not match:
        return [(path, name)]
    return [x for n in range(int(match.group(1)), int(match.group(2)) + 1)
            for x in ranges(path.replace(match.group(0), str(n), 1), name.replace(match.group(0), str(n), 1))]


def content(data):
    # "repeat:n:text" is text repeated to n characters, and so is "{repeat:n:text}" inside data.
    data = re.sub(r"\{repeat:(\d+):([^}]*)\}", lambda m: (m.group(2) * int(m.group(1)))[:int(m.group(1))], data)
    match = re.match(r"(sz:|)repeat:(\d+):(.*)", data, re.S)
    return match and match.group(1) + (match.group(3) * int(match.group(2)))[:int(match.group(2))] or data


def fill(text, names):
    return re.sub(r"%([A-Z]+)%", lambda m: names.get(m.group(1), m.group(0)), text)


def reg_path(path, sid):
    root, _, rest = path.partition("\\")
    if root == "HKCU":
        return "HKU\\" + sid + ("\\" + rest if rest else "")
    return ROOTS[root] + ("\\" + rest if rest else "")


def scenarios(matrix, only):
    found = []
    for name, families, sets, loads, *fields in rows(os.path.join(DATA, "scenarios.tsv")):
        if name == "-" and not matrix and not only:
            continue
        for family in " ".join(GROUPS.get(f, f) for f in families.split(",")).split():
            for printers in sets.split(","):
                for load in loads.split(","):
                    s = Scenario(name, family, printers, load, fields)
                    if not only or any(o in s.name for o in only):
                        found.append(s)
    return found


class Machine:
    # A fresh copy of the prepared test machine with its own Wine server.
    def __init__(self, scenario):
        self.s, self.prefix = scenario, scenario.prefix
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all")
        self.bin = os.path.join(self.prefix, "drive_c", "qt58test")

    def create(self):
        template = os.path.join(TOP, BUILD, "wine-template")
        self.destroy()
        subprocess.run(["cp", "-a", template, self.prefix], check=True)
        if os.path.lexists(os.path.join(self.prefix, "dosdevices", "z:")):
            raise RuntimeError("the machine is not cut off from the host")
        subprocess.Popen([WINESERVER, "-p"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
        os.makedirs(self.bin, exist_ok=True)
        for name in ("QT58Uninstall.exe", "tools/standin.exe"):
            shutil.copy(os.path.join(TOP, BUILD, name), self.bin)
        self.user = next(u for u in os.listdir(os.path.join(self.prefix, "drive_c", "users")) if u != "Public")
        # The first program of a new server boots the machine (WININIT.INI, pending renames,
        # RunOnce): done before planting, so that only the played restart carries out those planted.
        self.wine("wineboot")

    def wine(self, *args, env=None, out=subprocess.DEVNULL, err=subprocess.DEVNULL, timeout=900):
        return subprocess.run([WINE] + list(args), env=dict(self.env, **(env or {})), cwd=self.bin,
                              stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout)

    def linux(self, path):
        # Windows names ignore case: a part takes the spelling already on the disk.
        drive, _, rest = path.partition(":\\")
        found = os.path.join(self.prefix, "dosdevices", drive.lower() + ":")
        for part in rest.split("\\"):
            same = [n for n in os.listdir(found) if n.lower() == part.lower()] if os.path.isdir(found) else []
            found = os.path.join(found, part if part in same or not same else same[0])
        return found

    def destroy(self):
        if os.path.isdir(self.prefix):
            subprocess.run([WINESERVER, "-k"], env=self.env, stderr=subprocess.DEVNULL)
            shutil.rmtree(self.prefix, ignore_errors=True)


# ---------------------------------------------------------------- planting

def plant(m, items):
    # Files straight into the machine's folders, the registry through Wine's own
    # regedit, keys of the current hardware profile (volatile) and files in use
    # through the holder, which keeps them until the restart.
    reg, held = ["Windows Registry Editor Version 5.00", ""], []
    standin = os.path.join(m.bin, "standin.exe")
    for item in items:
        if "program" in item.flags:
            continue
        if "absent" in item.flags:
            reg[2:2] = ["[-%s]" % export_name(item.path), ""] if item.kind == "key" else []
            continue
        if item.kind in ("file", "dir", "link"):
            path = m.linux(item.path)
            os.makedirs(path if item.kind == "dir" else os.path.dirname(path), exist_ok=True)
            if item.kind == "link":
                os.symlink(m.linux(item.data), path)
            elif item.kind == "file":
                if item.flags & {"pe", "running"}:
                    shutil.copy(standin, path)
                else:
                    random = re.match(r"random:(\d+)", item.data)
                    text = item.data.encode("cp1252").decode("unicode_escape") if item.data else item.path
                    with open(path, "wb") as f:
                        f.write(os.urandom(int(random.group(1))) if random else text.encode("cp1252"))
            if "hidden" in item.flags or "system" in item.flags:
                os.setxattr(path, "user.DOSATTRIB",
                            b"0x%x" % (2 * ("hidden" in item.flags) + 4 * ("system" in item.flags)))
            if "ro" in item.flags:
                os.chmod(path, 0o444 if item.kind == "file" else 0o555)
            if "open" in item.flags or m.s.load == "inuse" and item.flags & {"held", "running"}:
                held.append(("M " if "running" in item.flags else "F ") + item.path)
        elif item.kind in ("key", "value") and item.path.upper().startswith(ROOTS["HKCC"].upper()):
            key = item.path[len(ROOTS["HKCC"]) + 1:]
            held.append("K " + key + ("\t%s\t%s" % (item.name, item.data[3:]) if item.kind == "value" else ""))
        elif item.kind == "key":
            reg += ["[%s]" % export_name(item.path), ""]
            if "locked" in item.flags:
                held.append("L " + item.path[len("HKLM\\"):])
        elif item.kind == "value":
            reg += ["[%s]" % export_name(item.path), "%s=%s" % (quote(item.name) if item.name else "@",
                                                                 reg_data(item.data)), ""]
    with open(os.path.join(m.bin, "plant.reg"), "w", encoding="utf-16") as f:
        f.write("\r\n".join(reg) + "\r\n")
    if m.wine("regedit", "/S", "C:\\qt58test\\plant.reg").returncode != 0:
        raise RuntimeError("regedit refused the planted registry")
    holder = subprocess.Popen([WINE, "C:\\qt58test\\standin.exe", "hold"], env=m.env, cwd=m.bin,
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    holder.stdin.write("\n".join(held) + "\n\n")
    holder.stdin.flush()
    answer = holder.stdout.readline().strip()
    if answer != "ready":
        raise RuntimeError("the holder failed: " + answer)
    return holder


def export_name(path):
    root, _, rest = path.partition("\\")
    return {"HKLM": "HKEY_LOCAL_MACHINE", "HKU": "HKEY_USERS"}[root] + "\\" + rest


def quote(text):
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')


def reg_data(data):
    # "sz:text", "dword:n", "multi:a|b", "hex:..", "hex(n):.." as written in a .reg file.
    kind, _, text = data.partition(":")
    if kind == "sz":
        return quote(text)
    if kind == "multi":
        raw = "".join(p + "\0" for p in text.split("|")) + "\0"
        return "hex(7):" + ",".join("%02x" % b for b in raw.encode("utf-16-le"))
    if kind == "dword":
        return "dword:%08x" % int(text)
    return data


# ---------------------------------------------------------------- recording

class State:
    # Files (upper path -> (path, folder, size, time, attributes)), registry
    # keys (upper -> key) and values ((upper key, upper name) -> (key, name, data)).
    def __init__(self, m, locked=()):
        self.files, self.keys, self.values = {}, {}, {}
        for drive in sorted(os.listdir(os.path.join(m.prefix, "dosdevices"))):
            root = os.path.realpath(os.path.join(m.prefix, "dosdevices", drive))
            if re.match(r"^[a-y]:$", drive) and root.startswith(os.path.realpath(m.prefix) + os.sep):
                self.read_files(root, drive.upper())
        for root in ("HKLM", "HKU"):
            m.wine("reg", "export", export_name(root + "\\").rstrip("\\"), "C:\\qt58test\\export.reg", "/y")
            self.read_export(os.path.join(m.bin, "export.reg"))
        # An export leaves out the keys it cannot open; their parent lists them.
        for key in locked:
            parent, name = key.rsplit("\\", 1)
            listing = m.wine("reg", "query", parent, out=subprocess.PIPE).stdout.decode("cp1252").upper()
            if any(line.strip().endswith("\\" + key.partition("\\")[2].upper()) for line in listing.splitlines()):
                self.keys[key.upper()] = key

    def read_files(self, root, drive):
        for folder, dirs, names in os.walk(root):
            shown = drive + (folder[len(root):].replace("/", "\\") or "")
            if shown.upper().startswith("C:\\QT58TEST"):
                dirs[:], names = [], [n for n in names if n == "QT58Uninstall.exe"]
            for name in dirs + names:
                full = os.path.join(folder, name)
                info = os.lstat(full)
                try:
                    attributes = os.getxattr(full, "user.DOSATTRIB", follow_symlinks=False).decode()
                except OSError:
                    attributes = ""
                attributes += "" if info.st_mode & 0o200 else " ro"
                link = os.path.islink(full)
                self.files[(shown + "\\" + name).upper()] = (
                    shown + "\\" + name, name in dirs, 0 if name in dirs else info.st_size,
                    0 if name in dirs else info.st_mtime_ns, attributes + (" link" if link else ""))

    def read_export(self, path):
        with open(path, encoding="utf-16") as f:
            text = f.read().replace("\\\n  ", "")
        key = None
        for line in text.splitlines():
            if line.startswith("["):
                root, _, rest = line[1:-1].partition("\\")
                key = ROOTS[root] + ("\\" + rest if rest else "")
                self.keys[key.upper()] = key
            elif key and line[:1] in ('"', "@"):
                name, data = ("", line[2:]) if line[0] == "@" else split_value(line)
                self.values[(key.upper(), name.upper())] = (key, name, data)

    def state(self, item):
        # What an item looks like now; None when it is absent.
        if item.kind in ("file", "dir", "link"):
            return self.files.get(item.id(), (None,))[1:] or None
        if item.kind == "key":
            return True if item.id() in self.keys else None
        value = self.values.get(item.id())
        return value and value[2]

    def string(self, key, name):
        value = self.values.get((key.upper(), name.upper()))
        return value and text_of(value[2])


def split_value(line):
    match = re.match(r'"((?:[^"\\]|\\.)*)"=(.*)', line)
    return re.sub(r"\\(.)", r"\1", match.group(1)), match.group(2)


# ---------------------------------------------------------------- the run

def run_program(m):
    # The real program with its boxes answered; returns its exit code and Wine's
    # trace: the program's own debug lines, heap warnings and the relayed calls.
    m.wine("reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude", "/d", RELAYED, "/f")
    version = "nt40" if m.s.run == "refused" else FAMILIES[m.s.family]
    m.wine("reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\QT58Uninstall.exe", "/v", "Version", "/d", version, "/f")
    with open(os.path.join(m.bin, "run.err"), "w+", encoding="cp1252", errors="replace") as err:
        out = m.wine("C:\\qt58test\\standin.exe", "run", *ANSWERS.get(m.s.run, ANSWERS["normal"]), "--",
                     "C:\\qt58test\\QT58Uninstall.exe", out=subprocess.PIPE, err=err,
                     env={"WINEDEBUG": "+relay,warn+debugstr,warn+heap"}).stdout.decode("cp1252")
        err.seek(0)
        trace = err.read()
    m.wine("reg", "delete", "HKCU\\Software\\Wine\\Debug", "/f")
    code = re.search(r"exit code: (\d+)", out)
    return (int(code.group(1)) if code else None), out, trace


def calls(trace, function):
    # (arguments, return value) of each relayed call of a function, in order.
    found, open_calls = [], {}
    for thread, what, rest in re.findall(r"^(\w+):(Call|Ret ) \w+\.%s\((.*)$" % function, trace, re.M):
        if what == "Call":
            open_calls[thread] = rest
        elif thread in open_calls:
            found.append((open_calls.pop(thread), int(re.search(r"retval=(\w+)", rest).group(1), 16)))
    return found


def replay_9x_key_deletions(m, trace, state):
    # Wine playing 9x deletes a key's subkeys only while each name is shorter
    # than the one before, then refuses the key (5); Windows 98 and Me delete
    # the whole tree. Such refused deletions are carried out here as 98 would.
    roots = {"80000000": "HKCR", "80000001": "HKCU", "80000002": "HKLM", "80000003": "HKU", "80000005": "HKCC"}
    for arguments, result in calls(trace, "RegDeleteKeyA"):
        match = re.match(r'\w*(8000000\d),\w+ "(.*)"\)', arguments)
        if match and result == 5 and match.group(1) in roots:
            key = roots[match.group(1)] + "\\" + match.group(2).replace("\\\\", "\\")
            m.wine("reg", "delete", key, "/f")


def restart(m):
    # Wine keeps values in name order and runs RunOnce values from the last to the
    # first; Windows 98 runs them in the order written, which the nested "rd"
    # commands rely on. Renamed here so that the first written sorts last, Wine's
    # order becomes the written one.
    if m.s.family in ("98", "me"):
        values = State.__new__(State)
        values.files, values.keys, values.values = {}, {}, {}
        m.wine("reg", "export", export_name(RUNONCE), "C:\\qt58test\\runonce.reg", "/y")
        values.read_export(os.path.join(m.bin, "runonce.reg"))
        for number, data in sorted((int(n), d) for (k, n), (_, _, d) in values.values.items() if n.isdigit()):
            m.wine("reg", "delete", RUNONCE, "/v", str(number), "/f")
            m.wine("reg", "add", RUNONCE, "/v", "%05d" % (99999 - number), "/d", re.sub(r"\\(.)", r"\1", data[1:-1]),
                   "/f")
    m.wine("wineboot", "-r")


def spooler_state(m):
    out = m.wine("sc", "query", "spooler", out=subprocess.PIPE).stdout.decode("cp1252", "replace")
    match = re.search(r"STATE\s*:\s*\d+\s+(\w+)", out)
    return match.group(1) if match else "absent"


# ---------------------------------------------------------------- judging

class Outcome:
    def __init__(self):
        self.faults, self.counts, self.notes = [], {}, []

    def count(self, what):
        self.counts[what] = self.counts.get(what, 0) + 1


def moved_aside(states):
    # Files that the run moved into the temporary folder and scheduled for
    # deletion at the restart (NT family), by their size and time, which the
    # move keeps: (size, time) -> moved path.
    before, after, restarted = states
    pending = {re.sub(r"\\+", r"\\", p).rstrip(".")[4:] for p in
               text_of(after.values.get(PENDING, (0, 0, ""))[2]).upper().split("\0")}
    return {(info[2], info[3]): upper for upper, info in after.files.items()
            if upper not in before.files and upper not in restarted.files and upper in pending}


def judge_items(o, s, items, states, held, moved):
    before, after, restarted = states
    rewritten = {i.id() for i in items if i.kind == "write"}
    for item in items:
        if item.kind == "value" and item.id() in rewritten:
            continue  # planted, and judged by the row of what the run writes over it
        s0, s1, s2 = (x.state(item) for x in states)
        in_use = any(h.upper().startswith(item.id()) for h in held) or "program" in item.flags
        was_moved = item.kind == "file" and s0 is not None and s0[1:3] in moved
        if item.kind == "write":
            got1, got2 = after.string(item.path, item.name), restarted.string(item.path, item.name)
            if got1 != item.data or got2 != (item.data if item.expect == "y" else None):
                o.faults.append("written wrong: %s: wanted %r, after the run %r, after the restart %r"
                                % (item.shown(), item.data, got1, got2))
            else:
                o.count("values written as expected")
        elif s0 is None:
            o.faults.append("not planted: " + item.shown())
        elif item.expect == "s":
            consumed = item.kind == "value" and item.path.upper() == RUNONCE
            if s1 != s0 or (s2 != s0 and not consumed):
                o.faults.append("%s: %s" % ("removed" if s2 is None or s1 is None else "changed", item.shown()))
            else:
                o.count("items kept")
        elif s2 is not None:
            o.faults.append("left after the restart: " + item.shown())
        elif item.expect == "w" and s1 is None and not was_moved:
            o.faults.append("gone before the restart: " + item.shown())
        elif item.expect == "g" and (s1 is not None or was_moved) and not in_use:
            o.faults.append("left for the restart though not in use: " + item.shown())
        else:
            o.count("removed %s%s" % (item.kind, " at the restart" if s1 is not None or was_moved else ""))


def judge_others(o, s, items, states, moved):
    # Every difference that no item accounts for.
    listed = {i.id() for i in items}
    folders = {i.id(): i for i in items if i.kind in ("dir", "key", "link")}
    written = [i.path.upper() for i in items if i.kind == "write"]
    for table, kind in (("files", "file"), ("keys", "key"), ("values", "value")):
        tables = [getattr(x, table) for x in states]
        for upper in set().union(*tables):
            got = [t.get(upper) for t in tables]
            if table == "files":
                got = [g and (g[1], g[2], 0 if g[1] else g[3], g[4]) for g in got]
            if got[0] == got[1] == got[2] or upper in listed:
                continue
            shown = next(t[upper] for t in tables if upper in t)
            shown = shown[0] if table == "files" else shown if table == "keys" else '%s value "%s"' % shown[:2]
            path = upper[0] if kind == "value" else upper
            holder = folders.get(path) if kind == "value" else None
            while holder is None and "\\" in path:
                path = path.rsplit("\\", 1)[0]
                holder = folders.get(path)
            if holder and holder.expect in "gw":
                continue
            if holder:
                o.faults.append("changed inside %s: %s %s" % (holder.shown(), kind, shown))
            elif kind == "key" and any(w.startswith(upper) for w in written):
                continue
            elif not known_change(o, s, kind, upper, got, shown, moved):
                how = "added" if got[0] is None else "removed" if got[2] is None else "changed"
                o.faults.append("unlisted change: %s %s %s" % (kind, shown, how))


def known_change(o, s, kind, upper, got, shown, moved):
    # What a run leaves for the restart, what a service start changes, and the
    # runner's own settings.
    nine_x = s.family in ("98", "me")
    if kind == "file" and nine_x and upper in ("C:\\WINDOWS\\WININIT.INI", "C:\\WINDOWS\\WININIT.BAK"):
        if upper.endswith(".INI") and got[2] is not None:
            o.faults.append("WININIT.INI not carried out at the restart")
        o.count("restart instructions")
        return True
    if kind == "file" and upper in moved.values():
        o.count("moved aside for the restart")
        return True
    if kind == "value" and upper == PENDING:
        if got[2] is not None:
            o.faults.append("pending renames not carried out at the restart")
        o.count("restart instructions")
        return True
    if kind == "value" and nine_x and upper[0] == RUNONCE and got[0] is None and got[2] is None:
        o.count("restart instructions")
        return text_of(got[1][2]).lower().startswith("command /c rd ")
    # The service manager counts every service start.
    if kind == "value" and upper == ("HKLM\\SYSTEM\\CURRENTCONTROLSET\\CONTROL\\SERVICECURRENT", ""):
        return True
    return kind in ("key", "value") and "\\SOFTWARE\\WINE" in (upper[0] if kind == "value" else upper)


def text_of(data):
    # A value's data as the text it holds (strings and multi-strings), else as written.
    if not data:
        return ""
    if data.startswith('"'):
        return re.sub(r"\\(.)", r"\1", data[1:-1])
    if data.startswith(("hex(1):", "hex(2):", "hex(7):")):
        raw = bytes.fromhex(data[7:].replace(",", "").replace("\\", "").replace(" ", ""))
        return raw.decode("utf-16-le", "replace").rstrip("\0")
    return data


def judge_run(o, s, code, out, trace, companions, shorts, spooler):
    if code != EXIT_CODES[s.run]:
        o.faults.append("exit code %s, wanted %d" % (code, EXIT_CODES[s.run]))
    boxes = []
    for arguments, _ in calls(trace, "MessageBoxA"):
        texts = re.findall(r'"((?:[^"\\]|\\.)*)"', arguments)
        boxes.append((texts[-1], int(arguments.rsplit(",", 1)[1].split(")")[0], 16)))
    if "VORSICHT!" in dict(boxes) and "wird der Quenmar T58 von Ihrem System" not in out:
        o.faults.append("the warning does not name the product: " + out)
    if boxes != BOXES[s.run]:
        o.faults.append("boxes %s, wanted %s" % (boxes, BOXES[s.run]))
    heap = re.findall(r"^\w+:warn:heap:.*$", trace, re.M)
    o.faults += ["heap error: " + line for line in heap[:5]]
    o.notes += re.findall(r'OutputDebugStringA "((?:Cannot|Failed)[^"]*)"', trace)
    if s.run != "normal":
        return
    monitor = "%s -u\t%s\tshown" % (shorts["monitor"], shorts["install"])
    wanted = [monitor] if shorts["monitor"] else []
    if s.family in ("2k", "xp") and s.printers == "alone" and shorts["status"]:
        wanted.append("QnmBceS.exe -u\tC:\\windows\\system32\thidden")
    if sorted(companions) != sorted(wanted):
        o.faults.append("companions started as %s, wanted %s" % (companions, wanted))
    if s.family in ("2k", "xp") and spooler != "RUNNING":
        o.faults.append("spooler %s after the run" % spooler)
    phase, seen = "", []
    for thread, function, rest in re.findall(r"^(\w+):Call user32\.(SetDlgItemTextA|DrawTextA)\((.*)$", trace, re.M):
        text = re.search(r'"((?:[^"\\]|\\.)*)"', rest)
        if function == "SetDlgItemTextA" and ",000003e9," in rest and text:
            phase = text.group(1)
        elif function == "DrawTextA" and text and re.match(r"^\d+%$", text.group(1)):
            step = (phase, int(text.group(1)[:-1]))
            if not seen or seen[-1] != step:
                seen.append(step)
    wanted = [("", 0)] + [(text, p) for text, first, end in PHASES for p in range(first, end)
                         if first != 26 or shorts["monitor"]]
    if seen != wanted:
        first = next((i for i, (a, b) in enumerate(zip(seen, wanted)) if a != b), min(len(seen), len(wanted)))
        o.faults.append("progress steps differ at step %d: %s, wanted %s" % (first, seen[first:first + 3],
                                                                             wanted[first:first + 3]))


# ---------------------------------------------------------------- scenarios

def run_scenario(s, keep=False, verbose=False):
    m, o, started = Machine(s), Outcome(), time.time()
    try:
        m.create()
        sid = user_sid(m)
        items = s.items(m.user, sid)
        if s.family in ("2k", "xp") and "spoolerstopped" not in s.tags:
            m.wine("net", "start", "spooler")
        shorten(m, items, "value")
        holder = plant(m, items)
        items = [i for i in items if "absent" not in i.flags]
        names = s.names(m.user)
        shorts = {k: short(m, names["INSTALL"] + p) for k, p in (("install", ""), ("monitor", "\\REZevavav_T58.exe"))}
        shorten(m, items, "write")
        held = [i.path for i in items if "open" in i.flags or i.flags & {"held", "running"} and s.load == "inuse"]
        locked = [i.path for i in items if "locked" in i.flags]
        states = [State(m, locked)]
        shorts["status"] = "C:\\WINDOWS\\SYSTEM32\\QNMBCES.EXE" in states[0].files
        code, out, trace = run_program(m)
        if s.family in ("98", "me"):
            replay_9x_key_deletions(m, trace, states[0])
        spooler = spooler_state(m)
        states.append(State(m, locked))
        holder.stdin.close()
        holder.wait(timeout=60)
        restart(m)
        states.append(State(m, locked))
        record = os.path.join(m.bin, "companions.txt")
        companions = open(record, encoding="cp1252").read().splitlines() if os.path.exists(record) else []
        moved = moved_aside(states)
        judge_items(o, s, items, states, held, moved)
        judge_others(o, s, items, states, moved)
        judge_run(o, s, code, out, trace, companions, shorts, spooler)
    finally:
        if not keep:
            m.destroy()
    lines = ["%s: %s (%.0f s)" % (s.name, "FAIL" if o.faults else "PASS", time.time() - started)]
    lines += ["  %d %s" % (n, what) for what, n in sorted(o.counts.items())]
    lines += ["  traced failure: " + n for n in o.notes[:20 if verbose else 3]]
    lines += ["  FAULT " + f for f in o.faults[:None if verbose else 25]]
    if len(o.faults) > 25 and not verbose:
        lines.append("  ... and %d more faults" % (len(o.faults) - 25))
    return not o.faults, lines


def shorten(m, items, kind):
    # "{short:path}" in data: the short form of a path as it is at that moment.
    for item in items:
        if item.kind == kind:
            item.data = re.sub(r"\{short:([^}]*)\}", lambda x: short(m, x.group(1)) or x.group(1), item.data)


def user_sid(m):
    with open(os.path.join(m.prefix, "user.reg"), encoding="utf-8", errors="replace") as f:
        match = re.search(r"S-1-5-21-[\d-]+", f.read())
    return match.group(0) if match else "S-1-5-21-0-0-0-1000"


def short(m, path):
    out = m.wine("C:\\qt58test\\standin.exe", "short", path, out=subprocess.PIPE).stdout
    return out.decode("cp1252").strip()


def main():
    parser = argparse.ArgumentParser(description="Whole-machine acceptance of the removal program.")
    parser.add_argument("--matrix", action="store_true", help="every scenario of tests/machine/scenarios.tsv")
    parser.add_argument("--only", nargs="*", default=[], help="scenarios whose name holds one of these")
    parser.add_argument("--jobs", type=int, default=(os.cpu_count() or 1) + 1)
    parser.add_argument("--keep", action="store_true", help="keep the machines (build/.../acceptance)")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()
    chosen = scenarios(args.matrix, args.only)
    print("acceptance: %s on %d planted machines" % (os.path.join(BUILD, "QT58Uninstall.exe"), len(chosen)))
    os.makedirs(os.path.join(TOP, BUILD, "acceptance"), exist_ok=True)
    passed = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        futures = [pool.submit(run_scenario, s, args.keep, args.verbose) for s in chosen]
        for future in concurrent.futures.as_completed(futures):
            ok, lines = future.result()
            passed += ok
            print("\n".join(lines), flush=True)
    print("acceptance: %d of %d scenarios passed" % (passed, len(chosen)))
    return 0 if passed == len(chosen) else 1


if __name__ == "__main__":
    sys.exit(main())
