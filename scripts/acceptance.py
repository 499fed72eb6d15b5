#!/usr/bin/env python3
"""Whole-machine acceptance of the removal program.

For one scenario (a Windows family, the printers beside the product, the
product's files idle or in use, the installation folder on C: or D:) the
runner copies the prepared Wine test machine, plants the product on it
(tools/plant.exe), records the machine's whole state, runs the real removal
program with its boxes answered (tools/boxbot.exe: OK, then No, then OK),
records again, plays the restart (wineboot -r), records a third time and
classifies every difference against the manifest the planting wrote:
product items removed, scheduled or left, items to spare, what the run
writes, and everything else, which must not change.

  scripts/acceptance.py [--build DIR] [--family F] [--printers P] [--load L] [--drive C|D]
  scripts/acceptance.py --matrix [--jobs N]

Exit code 1 when a foreign item changed, a spared item changed, a product
item that the removal removes is left after the restart, or a value the run
writes is wrong; 2 when a scenario could not be run.
"""

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
WINE = os.environ.get("WINE", "/usr/lib/wine/wine64")
WINESERVER = os.environ.get("WINESERVER", "/usr/lib/wine/wineserver64")

FAMILIES = ["win98", "winme", "win2k", "winxp"]
PRINTERS = ["alone", "othermaker", "sibling"]
LOADS = ["idle", "inuse"]
PRINTER_TEXT = {"alone": "no other printer of the maker", "othermaker": "another printer of the maker",
                "sibling": "a sibling model"}
LOAD_TEXT = {"idle": "files idle", "inuse": "files in use"}
BOX_ANSWERS = ["VORSICHT!=OK", "Deinstallation abgeschlossen=NO", "Neustart erforderlich=OK"]
PHASES = ["Vorbereitung der Deinstallation...", "Dateien werden entfernt...",
          "Registrierungseintr\u00e4ge werden entfernt...", "Drucker wird entfernt...", "Deinstallation abgeschlossen"]

SESSION_MANAGER = r"HKLM\SYSTEM\CURRENTCONTROLSET\CONTROL\SESSION MANAGER"
RUN_ONCE = r"HKLM\SOFTWARE\MICROSOFT\WINDOWS\CURRENTVERSION\RUNONCE"
VOLATILE = r"HKLM\SYSTEM\CURRENTCONTROLSET\HARDWARE PROFILES"

# --------------------------------------------------------------------------
# machine state


def unescape_wine(text):
    """Decodes a quoted key name or string of Wine's registry files."""
    out, i = [], 0
    simple = {"a": "\a", "b": "\b", "t": "\t", "n": "\n", "v": "\v", "f": "\f", "r": "\r", "e": "\x1b"}
    while i < len(text):
        c = text[i]
        if c != "\\" or i + 1 == len(text):
            out.append(c)
            i += 1
            continue
        n = text[i + 1]
        if n in simple:
            out.append(simple[n])
            i += 2
        elif n == "x":
            m = re.match(r"[0-9a-fA-F]{1,4}", text[i + 2:])
            out.append(chr(int(m.group(0), 16)) if m else "x")
            i += 2 + (len(m.group(0)) if m else 0)
        elif n in "01234567":
            m = re.match(r"[0-7]{1,3}", text[i + 1:])
            out.append(chr(int(m.group(0), 8)))
            i += 1 + len(m.group(0))
        else:
            out.append(n)
            i += 2
    return "".join(out)


def read_quoted(line, start, close='"'):
    """The raw text between line[start] and the unescaped closing character,
    and the index after it."""
    i = start + 1
    while i < len(line):
        if line[i] == "\\":
            i += 2
            continue
        if line[i] == close:
            return line[start + 1:i], i + 1
        i += 1
    raise ValueError("unterminated text: " + line)


def value_text(kind, data):
    """A value's data as text when it is a string (a multi-string keeps its
    separating zeros), else None."""
    if kind == "sz" or kind.startswith("str("):
        return unescape_wine(data)
    if kind in ("vol1", "vol2", "vol7"):
        raw = bytes.fromhex(data)
    elif kind in ("hex(1)", "hex(2)", "hex(7)"):
        raw = bytes.fromhex(data.replace(",", ""))
    else:
        return None
    text = raw.decode("utf-16-le", "replace")
    return text if kind.endswith("7") else text.rstrip("\0")


class State:
    """Files with attributes, and registry keys and values, of one moment."""

    def __init__(self):
        self.files = {}    # upper path -> (path, is_dir, size, mtime_ns, attributes)
        self.keys = {}     # upper key -> key
        self.values = {}   # (upper key, upper name) -> (key, name, kind, data)
        self._by_key = None

    def values_of(self, upper_key):
        """The values of one key as (name, kind, data), sorted."""
        if self._by_key is None:
            self._by_key = {}
            for (k, _), v in self.values.items():
                self._by_key.setdefault(k, []).append((v[1], v[2], v[3]))
        return tuple(sorted(self._by_key.get(upper_key, ())))

    def add_key(self, key):
        upper = key.upper()
        while upper not in self.keys:
            self.keys[upper] = key
            if "\\" not in key:
                break
            key = key.rsplit("\\", 1)[0]
            upper = key.upper()

    def value(self, key, name):
        return self.values.get((key.upper(), name.upper()))

    def string(self, key, name):
        v = self.value(key, name)
        return None if v is None else value_text(v[2], v[3])

    def read_hive(self, path, root):
        """Reads a hive saved by Wine (RegSaveKey), leaving out the volatile part."""
        key = None
        pending = None
        with open(path, encoding="utf-8", errors="surrogateescape") as f:
            for raw in f:
                line = raw.rstrip("\n")
                if pending is not None:
                    pending[3] += line.strip()
                    if not line.endswith("\\"):
                        self._put_value(*pending)
                        pending = None
                    continue
                if line.startswith("["):
                    name, _ = read_quoted(line, 0, "]")
                    key = root + "\\" + unescape_wine(name) if name else root
                    if key.upper().startswith(VOLATILE):
                        key = None
                    else:
                        self.add_key(key)
                    continue
                if key is None or not line or line[0] not in '@"':
                    continue
                if line[0] == "@":
                    name, rest = "", line[2:]
                else:
                    quoted, end = read_quoted(line, 0)
                    name, rest = unescape_wine(quoted), line[end + 1:]
                if rest.startswith('"'):
                    kind, data = "sz", read_quoted(rest, 0)[0]
                elif rest.startswith("str("):
                    close = rest.index(")")
                    kind, data = rest[:close + 1], read_quoted(rest, close + 2)[0]
                else:
                    kind, _, data = rest.partition(":")
                if data.endswith("\\") and not kind.startswith(("sz", "str")):
                    pending = [key, name, kind, data]
                    continue
                self._put_value(key, name, kind, data)

    def _put_value(self, key, name, kind, data):
        self.values[(key.upper(), name.upper())] = (key, name, kind, data.replace("\\", "").replace(" ", "")
                                                    if kind.startswith("hex") else data)

    def read_listing(self, path):
        """Reads the key-by-key listing of the volatile part (plant registry)."""
        with open(path, encoding="utf-8", errors="surrogateescape") as f:
            for raw in f:
                fields = [unescape_tsv(x) for x in raw.rstrip("\n").split("\t")]
                if fields[0] in ("K", "D"):
                    self.add_key(fields[1])
                elif fields[0] == "V":
                    self.values[(fields[1].upper(), fields[2].upper())] = (fields[1], fields[2], "vol" + fields[3],
                                                                          fields[4])

    def read_files(self, prefix, program):
        """Every file and folder of the machine's drives, with attributes. The
        runner's own folder C:\\qt58test counts only for the removal program."""
        dosdevices = os.path.join(prefix, "dosdevices")
        for entry in sorted(os.listdir(dosdevices)):
            target = os.path.realpath(os.path.join(dosdevices, entry))
            if not re.match(r"^[a-y]:$", entry) or not os.path.isdir(target) or \
                    not target.startswith(os.path.realpath(prefix) + os.sep):
                continue
            drive = entry.upper()
            for folder, dirs, names in os.walk(target):
                relative = os.path.relpath(folder, target)
                shown = drive + "\\" + ("" if relative == "." else relative.replace("/", "\\") + "\\")
                if shown.upper().startswith("C:\\QT58TEST\\"):
                    dirs[:] = []
                    names = [n for n in names if n.upper() == program.upper()]
                for name in dirs + names:
                    full = os.path.join(folder, name)
                    info = os.lstat(full)
                    is_dir = os.path.isdir(full)
                    attributes = "" if is_dir or info.st_mode & 0o222 else "R"
                    try:
                        attributes += os.getxattr(full, "user.DOSATTRIB", follow_symlinks=False).decode()
                    except OSError:
                        pass
                    self.files[(shown + name).upper()] = (shown + name, is_dir, 0 if is_dir else info.st_size,
                                                          0 if is_dir else info.st_mtime_ns, attributes)

    def pending_renames(self):
        """(source, target) pairs waiting for the restart, without the \\??\\ prefix."""
        text = self.string(SESSION_MANAGER, "PendingFileRenameOperations")
        if not text:
            return []
        parts = [normal_path(p[4:] if p.startswith("\\??\\") else p) for p in text.split("\0")]
        return [(parts[i], parts[i + 1] if i + 1 < len(parts) else "") for i in range(0, len(parts) - 1, 2)
                if parts[i]]


def normal_path(path):
    """A Windows path without repeated backslashes and trailing dots, as the
    file system resolves it."""
    return re.sub(r"\\{2,}", r"\\", path).rstrip(".")


def unescape_tsv(text):
    """Undoes the escapes of the manifest and the listing (%XX)."""
    return re.sub(r"%([0-9A-F]{2})", lambda m: chr(int(m.group(1), 16)), text)


# --------------------------------------------------------------------------
# manifest


class Entry:
    """One line of the manifest."""

    def __init__(self, fields):
        self.category, self.kind, self.path, self.value, self.data, self.note = fields

    @property
    def upper(self):
        return self.path.upper()

    def shown(self):
        if self.kind == "value":
            return '%s value "%s"' % (self.path, self.value)
        return self.path


def read_manifest(path):
    """The manifest's scenario lines (a dict) and its entries."""
    header, entries = {}, []
    with open(path, encoding="cp1252") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if line.startswith("# "):
                name, _, value = line[2:].partition(" ")
                header[name] = value
            elif line:
                fields = [unescape_tsv(x) for x in line.split("\t")]
                entries.append(Entry((fields + [""] * 6)[:6]))
    return header, entries


# --------------------------------------------------------------------------
# the machine


class Machine:
    """A fresh copy of the prepared test machine with its own Wine server."""

    def __init__(self, build, name):
        self.build = build
        self.prefix = os.path.join(build, "acceptance", name)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="winemenubuilder.exe=d;mshtml=;mscoree=")
        self.bin = os.path.join(self.prefix, "drive_c", "qt58test")
        self.server = None

    def create(self):
        template = prepare_template(self.build)
        self.destroy()
        os.makedirs(os.path.dirname(self.prefix), exist_ok=True)
        subprocess.run(["cp", "-a", template, self.prefix], check=True)
        if os.path.lexists(os.path.join(self.prefix, "dosdevices", "z:")) or any(
                os.path.islink(os.path.join(d, n)) for d, ds, fs in os.walk(os.path.join(self.prefix, "drive_c"))
                for n in ds + fs):
            raise RuntimeError("the machine is not cut off from the host")
        # One server for the whole scenario; it and the machine's services are
        # started with no pipe of ours, so that nothing waits for them.
        self.server = subprocess.Popen([WINESERVER, "-p"], env=self.env, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.makedirs(self.bin, exist_ok=True)
        shutil.copy(os.path.join(self.build, "QT58Uninstall.exe"), self.bin)
        tools = os.path.join(self.build, "tools")
        for name in os.listdir(tools):
            if name.endswith(".exe"):
                shutil.copy(os.path.join(tools, name), self.bin)

    def wine(self, *args, env=None, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600):
        return subprocess.run([WINE] + list(args), env=dict(self.env, **(env or {})), cwd=self.bin,
                              stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr, timeout=timeout).returncode

    def start(self, *args):
        return subprocess.Popen([WINE] + list(args), env=self.env, cwd=self.bin, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def path(self, windows_path):
        """The Linux path of a path below C:\\qt58test."""
        return os.path.join(self.bin, windows_path[len("C:\\qt58test\\"):])

    def record(self, number):
        folder = "C:\\qt58test\\registry%d" % number
        os.makedirs(self.path(folder), exist_ok=True)
        if self.wine("C:\\qt58test\\plant.exe", "registry", folder) != 0:
            raise RuntimeError("the registry could not be listed")
        state = State()
        for name in sorted(os.listdir(self.path(folder))):
            full = os.path.join(self.path(folder), name)
            if name == "volatile.tsv":
                state.read_listing(full)
            elif name.startswith("HKU."):
                state.read_hive(full, "HKU\\" + name[4:-4])
            else:
                state.read_hive(full, name[:-4])
        state.read_files(self.prefix, "QT58Uninstall.exe")
        return state

    def destroy(self):
        if os.path.isdir(self.prefix):
            subprocess.run([WINESERVER, "-k"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            shutil.rmtree(self.prefix, ignore_errors=True)
        if self.server:
            self.server.wait(timeout=30)
            self.server = None


def prepare_template(build):
    """The prepared machine that every scenario copies: made by
    scripts/make-prefix.sh once and again when that script changes, as
    scripts/test.sh does."""
    template = os.path.join(build, "wine-template")
    made = os.path.join(template, ".made")
    script = os.path.join(HERE, "make-prefix.sh")
    if not os.path.exists(made) or os.path.getmtime(script) > os.path.getmtime(made):
        subprocess.run([script, template], check=True, stdout=subprocess.DEVNULL)
        open(made, "w").close()
    return template


# --------------------------------------------------------------------------
# classification


def file_state(state, entry):
    """A file's size, time and attributes, or a folder's attributes; None when absent."""
    info = state.files.get(entry.upper)
    if info is None:
        return None
    return (info[1], info[4]) if info[1] else info[1:]


def entry_state(state, entry, listed_values):
    """What a manifest entry looks like at one moment (None: absent); a key's
    own values count, except those listed on their own."""
    if entry.kind in ("file", "folder"):
        return file_state(state, entry)
    if entry.kind == "key":
        if entry.upper not in state.keys:
            return None
        return tuple(v for v in state.values_of(entry.upper) if (entry.upper, v[0].upper()) not in listed_values)
    return state.value(entry.path, entry.value)


class Outcome:
    """Counts and lists per category, and the faults that fail the scenario."""

    def __init__(self):
        self.counts = {}
        self.faults = []      # lines that fail the scenario
        self.lists = {}       # category -> lines shown with --verbose

    def count(self, name, item=None, number=1):
        self.counts[name] = self.counts.get(name, 0) + number
        if item is not None:
            self.lists.setdefault(name, []).append(item)

    def fault(self, text):
        self.faults.append(text)


def covering(entries_by_path, kind, path):
    """The manifest entry of the nearest folder or key that holds a path."""
    upper = path.upper()
    while "\\" in upper:
        upper = upper.rsplit("\\", 1)[0]
        found = entries_by_path.get((kind, upper))
        if found:
            return found
    return None


def refused_by_wine(path, refused):
    """Whether Wine refused the program's RegDeleteKeyA of the key or of a key
    above it. Playing Windows 9x, Wine deletes the subkeys one by one with a
    name buffer whose size it never resets, so that it stops at the first
    subkey whose name is not shorter than the one before; Windows 9x deletes
    the whole tree."""
    upper = path.upper()
    return any(upper == key or upper.startswith(key + "\\") for key in refused)


ROOT_KEYS = {"80000000": "HKLM\\SOFTWARE\\CLASSES", "80000001": "HKCU", "80000002": "HKLM", "80000003": "HKU",
             "80000005": "HKLM\\SYSTEM\\CURRENTCONTROLSET\\HARDWARE PROFILES\\CURRENT"}


def key_deletions_refused(traces):
    """Keys (upper-case, with their root) whose RegDeleteKeyA on a root key
    Wine refused during the run, from the relay trace of each thread."""
    refused, asked = set(), {}
    for thread, what, rest in re.findall(r"^[\d.]+:([0-9a-f]+):(Call|Ret ) advapi32\.RegDeleteKeyA\((.*)$",
                                         traces, re.M):
        if what == "Call":
            m = re.match(r'([0-9a-f]+),[0-9a-f]+ "(.*)"\) ret=', rest)
            root = ROOT_KEYS.get(m.group(1)[-8:]) if m else None
            asked[thread] = root and root + "\\" + m.group(2).replace("\\\\", "\\").upper()
        else:
            status = re.search(r"retval=([0-9a-f]+)", rest)
            if asked.get(thread) and status and int(status.group(1), 16) != 0:
                refused.add(asked[thread])
            asked.pop(thread, None)
    return refused


def folders_left_by_restart_order(states, entries):
    """Folders that Windows 9x would remove at its restart but Wine leaves:
    Wine runs the RunOnce values from the last to the first, so that a
    folder's "command /c rd" comes before the one of the folder inside it.
    Replays the folder removals in the order the run scheduled them (serial
    1, 2, 3 ...) on the machine as the restart left it."""
    after_run, after_restart = states[1], states[2]
    long_of = {e.data.upper(): e.upper for e in entries if e.kind == "folder" and e.data}
    commands = []
    for (key, name), value in after_run.values.items():
        text = value_text(value[2], value[3]) or ""
        if key == RUN_ONCE and name.isdigit() and text.lower().startswith("command /c rd "):
            commands.append((int(name), text[len("command /c rd "):].strip().upper()))
    present = set(after_restart.files)
    removed = set()
    for _, folder in sorted(commands):
        folder = long_of.get(folder, folder)
        if folder in present and not any(p.startswith(folder + "\\") for p in present):
            present.discard(folder)
            removed.add(folder)
    return removed


def classify(header, entries, states, temp_folder, traces):
    before, after_run, after_restart = states
    outcome = Outcome()
    nine_x = header["family"] in ("win98", "winme")
    refused_keys = key_deletions_refused(traces) if nine_x else set()  # Windows NT refuses trees itself
    restart_order = folders_left_by_restart_order(states, entries) if nine_x else set()
    exact = {}
    for e in entries:
        exact[(e.kind, e.upper, e.value.upper())] = e
    listed_values = {(e.upper, e.value.upper()) for e in entries if e.kind == "value"}
    written_keys = {e.upper for e in entries if e.kind == "value" and e.category in ("write", "runonce")}
    folders = {("file", e.upper): e for e in entries if e.kind == "folder"}
    keys = {("key", e.upper): e for e in entries if e.kind == "key"}

    # moved aside into the temporary folder and scheduled (NT family): the
    # move keeps size and time, which tie the new name to the product's file
    pending = {s.upper() for s, t in after_run.pending_renames() if not t}
    moved = {}
    for upper, info in after_run.files.items():
        if upper not in before.files and upper.startswith(temp_folder.upper() + "\\"):
            moved[upper] = info

    # every planted item against what the run and the restart must do to it
    for e in entries:
        s0, s1, s2 = (entry_state(s, e, listed_values) for s in states)
        what = "%s %s" % (e.kind, e.shown())
        if e.category == "remove":
            if s0 is None:
                outcome.fault("not planted: " + what)
            elif s2 is not None and e.kind == "folder" and e.upper in restart_order:
                outcome.count("product left by Wine's restart order", what)
            elif s2 is not None and e.kind == "key" and refused_by_wine(e.path, refused_keys):
                outcome.count("product left by Wine's 9x key deletion", what)
            elif s2 is not None:
                outcome.fault("product item left: %s (%s)" % (what, e.note))
                outcome.count("product left", what)
            elif s1 is not None:
                outcome.count("product removed at the restart", what)
                outcome.count("removed " + e.kind)
            elif e.kind == "file" and any(i[2:4] == s0[1:3] for i in moved.values()):
                outcome.count("product moved aside, removed at the restart", what)
                outcome.count("removed file")
            else:
                outcome.count("product removed", what)
                outcome.count("removed " + e.kind)
        elif e.category == "left":
            if s2 is not None:
                outcome.count("product left by the removal's rules", "%s (%s)" % (what, e.note))
            else:
                outcome.count("product removed though the rules leave it", what)
        elif e.category in ("spare", "foreign"):
            label = "spared product item" if e.category == "spare" else "foreign item"
            if s0 is None:
                outcome.fault("not planted: " + what)
            elif s2 is None:
                outcome.fault("%s removed: %s" % (label, what))
            elif s0 != s2 and e.kind != "folder":
                outcome.fault("%s changed: %s" % (label, what))
            else:
                outcome.count("product spared" if e.category == "spare" else "foreign unchanged", what)
        elif e.category in ("write", "runonce"):
            if e.kind == "key":
                ok = s1 is not None and s2 is not None
            else:
                got1 = after_run.string(e.path, e.value)
                ok = got1 == e.data and (after_restart.string(e.path, e.value) == e.data) == (e.category == "write")
            if ok:
                outcome.count("written as expected", what)
            else:
                outcome.fault("written wrong: %s: wanted %r, after the run %r, after the restart %r" % (
                    what, e.data, after_run.string(e.path, e.value) if e.kind == "value" else s1,
                    after_restart.string(e.path, e.value) if e.kind == "value" else s2))

    # every other difference between the three moments
    def changes(table, same):
        names = set(before.__dict__[table]) | set(after_run.__dict__[table]) | set(after_restart.__dict__[table])
        for name in sorted(names):
            got = [s.__dict__[table].get(name) for s in states]
            if not (got[0] is not None and same(got[0], got[1]) and same(got[0], got[2])):
                yield name, got

    def same_file(a, b):
        return b is not None and (a[1] and b[1] and a[4] == b[4] or a[1:] == b[1:])

    def unlisted(kind, shown, got):
        how = "added" if got[0] is None and got[2] is not None else "removed" if got[2] is None and \
            got[0] is not None else "changed" if got[0] is not None else "added and removed again"
        return "%s %s %s" % (kind, shown, how)

    for upper, got in changes("files", same_file):
        if ("file", upper, "") in exact or ("folder", upper, "") in exact:
            continue
        shown = next(g for g in got if g)[0]
        if upper in moved and upper in pending and got[2] is None:
            outcome.count("moved aside by the run, removed at the restart", shown)
            continue
        if upper.endswith("\\WININIT.INI") or upper.endswith("\\WININIT.BAK"):
            outcome.count("restart-time instructions (WININIT.INI)", shown)
            if upper.endswith(".INI") and got[2] is not None:
                outcome.fault("WININIT.INI not carried out at the restart")
            continue
        holder = covering(folders, "file", upper)
        if holder and holder.category in ("remove", "left", "write"):
            continue
        outcome.fault("unlisted change: " + unlisted("file", shown, got))

    for upper, got in changes("keys", lambda a, b: b is not None):
        if ("key", upper, "") in exact or upper in written_keys:
            continue
        shown = next(g for g in got if g)
        holder = covering(keys, "key", upper)
        if holder and holder.category in ("remove", "left", "write"):
            continue
        if holder and holder.category in ("spare", "foreign"):
            outcome.fault("inside %s %s: %s" % ("spared product key" if holder.category == "spare" else
                                                "foreign key", holder.path, unlisted("key", shown, got)))
            continue
        outcome.fault("unlisted change: " + unlisted("key", shown, got))

    for (upper_key, upper_name), got in changes("values", lambda a, b: b is not None and a[2:] == b[2:]):
        if ("value", upper_key, upper_name) in exact:
            continue
        key, name = next(g for g in got if g)[:2]
        shown = '%s value "%s"' % (key, name)
        if upper_key == SESSION_MANAGER and upper_name == "PENDINGFILERENAMEOPERATIONS":
            outcome.count("restart-time instructions (pending renames)",
                          "%d pending" % len(after_run.pending_renames()))
            if got[2] is not None:
                outcome.fault("pending renames not carried out at the restart")
            continue
        if upper_key == RUN_ONCE and got[0] is None and (after_run.string(key, name) or "").lower().startswith(
                "command /c rd "):
            outcome.count("restart-time instructions (RunOnce folder removals)", after_run.string(key, name))
            if got[2] is not None:
                outcome.fault("RunOnce folder removal not carried out at the restart: " + shown)
            continue
        if upper_key.startswith(r"HKCU\SOFTWARE\WINE"):
            continue  # the runner's own settings (Windows version of each program)
        holder = exact.get(("key", upper_key, "")) or covering(keys, "key", upper_key)
        if holder and holder.category in ("remove", "left", "write"):
            continue
        if holder and holder.category in ("spare", "foreign"):
            outcome.fault("inside %s %s: %s" % ("spared product key" if holder.category == "spare" else
                                                "foreign key", holder.path, unlisted("value", shown, got)))
            continue
        outcome.fault("unlisted change: " + unlisted("value", shown, got))
    return outcome


# --------------------------------------------------------------------------
# one scenario


def scenario_name(family, printers, load, drive):
    """The scenario's name, also the folder of its machine."""
    return "%s-%s-%s-%s" % (family, printers, load, drive)


def planted_summary(header, entries):
    """What the manifest holds, by category."""
    counts = {}
    for e in entries:
        counts[e.category] = counts.get(e.category, 0) + 1
    return ["planted: Windows %s with %s, %s, installed in %s" % (
                header["family"], PRINTER_TEXT[header["printers"]], LOAD_TEXT[header["load"]], header["installdir"]),
            "  %s" % ", ".join("%d %s" % (counts[c], CATEGORY_TEXT[c]) for c in CATEGORY_TEXT if c in counts)]


CATEGORY_TEXT = {"remove": "product items to remove", "spare": "product items to spare",
                 "left": "product items the removal leaves", "foreign": "foreign items",
                 "write": "values the run writes", "runonce": "run-once values the run writes"}


def after_run_summary(entries, before, after_run, limit=8):
    """What the run did before the restart: the product's items gone at once
    and those still there, and the work left for the restart."""
    listed = {(e.upper, e.value.upper()) for e in entries if e.kind == "value"}
    gone, waiting = 0, []
    for e in entries:
        if e.category == "remove" and entry_state(before, e, listed) is not None:
            if entry_state(after_run, e, listed) is None:
                gone += 1
            else:
                waiting.append("%s %s" % (e.kind, e.shown()))
    lines = ["after the removal run, before the restart:",
             "  product items gone: %d; still there until the restart: %d" % (gone, len(waiting))]
    lines.extend("    " + w for w in waiting[:limit])
    if len(waiting) > limit:
        lines.append("    ... and %d more" % (len(waiting) - limit))
    renames = after_run.pending_renames()
    lines.append("  pending renames (deleted at the restart): %d" % len(renames))
    lines.extend("    " + (src if not dst else "%s -> %s" % (src, dst)) for src, dst in renames[:limit])
    rd = sorted((int(n), after_run.string(RUN_ONCE, n)) for (k, n) in after_run.values
                if k == RUN_ONCE and n.isdigit())
    if rd:
        lines.append("  RunOnce folder removals: %d" % len(rd))
        lines.extend("    %d = %s" % r for r in rd[:limit])
    return lines


def run_scenario(build, family, printers, load, drive, keep=False, verbose=False, show=None):
    """Runs one scenario on a fresh machine; returns (passed, report, figures).
    show, when given, receives the stages' lines as they happen."""
    name = scenario_name(family, printers, load, drive)
    machine = Machine(build, name)
    times = {}
    started = time.time()
    try:
        clock = time.time()
        machine.create()
        machine.wine("reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", family, "/f")
        times["machine"] = time.time() - clock

        clock = time.time()
        manifest = "C:\\qt58test\\manifest.tsv"
        status = machine.wine("C:\\qt58test\\plant.exe", "install", family, printers, load, drive, manifest,
                              stderr=None)
        if status != 0:
            raise RuntimeError("planting failed (exit code %d)" % status)
        header, entries = read_manifest(machine.path(manifest))
        if show:
            show(planted_summary(header, entries))
        holder = None
        if load == "inuse":
            holder = machine.start("C:\\qt58test\\plant.exe", "hold", manifest, "C:\\qt58test\\held.ready",
                                   "C:\\qt58test\\held.release")
            deadline = time.time() + 60
            while not os.path.exists(machine.path("C:\\qt58test\\held.ready")):
                if holder.poll() is not None or time.time() > deadline:
                    raise RuntimeError("the files could not be held in use")
                time.sleep(0.05)
        times["plant"] = time.time() - clock

        clock = time.time()
        states = [machine.record(0)]
        times["record"] = time.time() - clock

        # the removal's trace, and Wine's relay trace of the calls that time
        # the run and of the key deletions Wine refuses
        machine.wine("reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude", "/d", RELAYED, "/f")
        debug = "+timestamp,warn+debugstr,+relay"
        clock = time.time()
        with open(os.path.join(machine.bin, "run.out"), "w+b") as out, \
                open(os.path.join(machine.bin, "run.err"), "w+b") as err:
            machine.wine("C:\\qt58test\\boxbot.exe", "C:\\qt58test\\QT58Uninstall.exe", family, *BOX_ANSWERS,
                         env={"QT58_RECORD": "C:\\qt58test\\companions.txt", "WINEDEBUG": debug},
                         stdout=out, stderr=err)
            out.seek(0)
            run_output = out.read().decode("cp1252", "replace")
            err.seek(0)
            traces = err.read().decode("cp1252", "replace")
        times["run"] = time.time() - clock

        clock = time.time()
        states.append(machine.record(1))
        if show:
            show(["removal run, boxes answered by tools/boxbot.exe:"] + ["  " + l for l in run_output.splitlines()])
            show(after_run_summary(entries, states[0], states[1]))
            wininit = os.path.join(machine.prefix, "drive_c", "windows", "wininit.ini")
            if os.path.exists(wininit):
                with open(wininit, encoding="cp1252") as f:
                    show(["  WININIT.INI:"] + ["    " + l.rstrip() for l in f])
            show(["playing the restart (wineboot -r) ..."])
        if holder:
            open(machine.path("C:\\qt58test\\held.release"), "w").close()
            holder.wait(timeout=60)
        times["record"] += time.time() - clock

        clock = time.time()
        machine.wine("wineboot", "-r")
        times["restart"] = time.time() - clock

        clock = time.time()
        states.append(machine.record(2))
        times["record"] += time.time() - clock

        companions = []
        record = machine.path("C:\\qt58test\\companions.txt")
        if os.path.exists(record):
            with open(record, encoding="cp1252") as f:
                companions = [line.split("\t")[1].strip() for line in f if "\t" in line]
        temp = next((i[0] for u, i in states[0].files.items() if u.endswith("\\TEMP") and u.startswith("C:\\USERS\\")),
                    "C:\\windows\\temp")
        outcome = classify(header, entries, states, temp, traces)
    finally:
        if not keep:
            machine.destroy()
    times["total"] = time.time() - started
    times["program"] = program_times(traces)
    return report(name, header, outcome, run_output, traces, companions, times, verbose)


# The calls whose times split a removal run into its fixed pauses, the waits
# for the spooler, for started programs and for the boxes, and the program's
# own work (Wine's relay trace, one line at each call and each return).
RELAYED = ";".join(["KERNEL32.Sleep", "USER32.MessageBoxA", "KERNEL32.CreateProcessA", "ADVAPI32.RegDeleteKeyA"] +
                   ["%s.%s" % (dll, f) for dll in ("ADVAPI32", "SECHOST")
                    for f in ("OpenSCManagerA", "OpenServiceA", "ControlService", "QueryServiceStatus",
                              "StartServiceA")])


def program_times(traces):
    """Seconds of the program's run by kind, from the relay trace of its
    thread (the one that writes the removal's trace)."""
    thread = re.search(r"^[\d.]+:([0-9a-f]+):warn:debugstr", traces, re.M)
    if not thread:
        return None
    calls = re.findall(r"^([\d.]+):%s:(Call|Ret ) \w+\.(\w+)\(" % thread.group(1), traces, re.M)
    spent = {"pauses": 0.0, "spooler": 0.0, "program starts": 0.0, "boxes": 0.0}
    kind = {"Sleep": "pauses", "MessageBoxA": "boxes", "CreateProcessA": "program starts",
            "OpenSCManagerA": "spooler", "OpenServiceA": "spooler", "ControlService": "spooler",
            "QueryServiceStatus": "spooler", "StartServiceA": "spooler"}
    opened, boxes = None, []
    for stamp, what, function in calls:
        if what == "Call":
            opened = (float(stamp), function)
            continue
        if opened and opened[1] == function and function in kind:
            spent[kind[function]] += float(stamp) - opened[0]
            if function == "MessageBoxA":
                boxes.append((opened[0], float(stamp)))
        opened = None
    if len(boxes) < 2:
        return None
    # from the answer to the warning box to the closing box
    span = boxes[1][0] - boxes[0][1]
    spent["boxes"] -= sum(b - a for a, b in boxes)
    spent["removal"] = span
    spent["own work"] = span - spent["pauses"] - spent["spooler"] - spent["program starts"]
    return spent


def trace_counts(traces):
    """Files and registry entries the program reported removed (its trace)."""
    files = len(re.findall(r'OutputDebugStringA "Deleted File', traces))
    registry = len(re.findall(r'OutputDebugStringA "Deleted (Registry|Key|Value)', traces))
    return files, registry


def traced_failures(traces):
    """The deletions, moves aside and schedulings the program reported failed
    ("Cannot ...: error <n>"), as Wine's trace escapes them unescaped."""
    escapes = {"n": "\n", "r": "\r", "t": "\t"}
    return [re.sub(r"\\(.)", lambda m: escapes.get(m.group(1), m.group(1)), text)
            for text in re.findall(r'OutputDebugStringA "(Cannot (?:[^"\\]|\\.)*)"', traces)]


def report(name, header, outcome, run_output, traces, companions, times, verbose):
    """The scenario's report: (passed, text, figures)."""
    run_output = run_output.replace("\r", "")
    exit_code = re.search(r"exit code: (\d+)", run_output)
    exit_code = int(exit_code.group(1)) if exit_code else None
    boxes = re.findall(r"box: \[(.*?)\] .* -> (\w+)", run_output)
    if exit_code != 0:
        outcome.fault("the program ended with exit code %s" % exit_code)
    wanted_boxes = [tuple(a.split("=")) for a in BOX_ANSWERS]
    if boxes != wanted_boxes:
        outcome.fault("boxes shown: %s" % boxes)
    # The window is read every few milliseconds, so a phase that passes at once
    # (the preparation when there is no spooler to stop) may go unseen; what is
    # seen must come in order and end with the closing text, shown for a second.
    phases = re.findall(r"^phase: (.*)$", run_output, re.M)
    rest = iter(PHASES)
    if not phases or phases[-1] != PHASES[-1] or not all(p in rest for p in phases):
        outcome.fault("phases shown: %s" % phases)
    c = outcome.counts
    family, printers, load = header["family"], header["printers"], header["load"]
    lines = ["%s: %s, %s, %s, installed in %s" % (name, family, PRINTER_TEXT[printers], LOAD_TEXT[load],
                                                  header["installdir"])]
    lines.append("  run: exit code %s; boxes %s; companions started: %s" % (
        exit_code, ", ".join("%s %s" % b for b in boxes), "; ".join(companions) or "none"))
    removed = sum(v for k, v in c.items() if k.startswith("product removed") or k.startswith("product moved"))
    lines.append("  product removed: %d (%d at once, %d at the restart, %d moved aside first): %d files, %d folders, "
                 "%d keys, %d values" % (
                     removed, c.get("product removed", 0), c.get("product removed at the restart", 0),
                     c.get("product moved aside, removed at the restart", 0), c.get("removed file", 0),
                     c.get("removed folder", 0), c.get("removed key", 0), c.get("removed value", 0)))
    files, registry = trace_counts(traces)
    lines.append("  removal trace: %d files, %d registry entries" % (files, registry))
    failures = traced_failures(traces)
    lines.append("  failures traced: %s" % (len(failures) or "none"))
    lines.extend("    " + failure for failure in failures)
    lines.append("  product spared: %d unchanged; left by the removal's rules: %d; left by Wine where Windows "
                 "removes them: %d" % (c.get("product spared", 0), c.get("product left by the removal's rules", 0),
                                       c.get("product left by Wine's restart order", 0) +
                                       c.get("product left by Wine's 9x key deletion", 0)))
    lines.append("  written by the run: %d as expected" % c.get("written as expected", 0))
    scheduled = [k for k in c if k.startswith("restart-time") or k.startswith("moved aside")]
    lines.append("  restart-time work: %s" % (", ".join("%s %d" % (k, c[k]) for k in sorted(scheduled)) or "none"))
    lines.append("  foreign: %d unchanged" % c.get("foreign unchanged", 0))
    lines.append("  times: machine %.1f s, plant %.1f s, records %.1f s, removal run %.1f s, restart %.1f s, "
                 "scenario %.1f s" % (times["machine"], times["plant"], times["record"], times["run"],
                                      times["restart"], times["total"]))
    if times.get("program"):
        p = times["program"]
        lines.append("  the removal, from the warning box's OK to the closing box: %.2f s = fixed pauses %.2f s + "
                     "spooler control %.2f s + starting programs %.2f s + the program's own work %.2f s" % (
                         p["removal"], p["pauses"], p["spooler"], p["program starts"], p["own work"]))
    if verbose:
        for category in sorted(outcome.lists):
            lines.append("  %s:" % category)
            lines.extend("    " + item for item in outcome.lists[category])
    for key in ("product left by the removal's rules", "product removed though the rules leave it",
                "product left by Wine's restart order", "product left by Wine's 9x key deletion"):
        if not verbose:
            lines.extend("  %s: %s" % (key, item) for item in outcome.lists.get(key, []))
    lines.extend("  FAULT " + f for f in outcome.faults)
    lines.append("  %s" % ("PASS" if not outcome.faults else "FAIL (%d faults)" % len(outcome.faults)))
    figures = {"removed": removed, "trace files": files, "trace registry": registry,
               "faults": len(outcome.faults), "times": times}
    return not outcome.faults, "\n".join(lines), figures


# --------------------------------------------------------------------------


def main():
    """Runs one scenario or the matrix; the exit code as the module says."""
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(TOP, "build", "win64"),
                        help="64-bit build folder with the program and the tools (default build/win64)")
    parser.add_argument("--family", choices=FAMILIES, default="winxp")
    parser.add_argument("--printers", choices=PRINTERS, default="alone")
    parser.add_argument("--load", choices=LOADS, default="idle")
    parser.add_argument("--drive", choices=["C", "D"], default="C", help="drive of the installation folder")
    parser.add_argument("--matrix", action="store_true", help="every family, printer set and load")
    parser.add_argument("--jobs", type=int, default=(os.cpu_count() or 1) + 1,
                        help="scenarios run at once with --matrix (default: one more than the processors)")
    parser.add_argument("--keep", action="store_true", help="keep the machine for inspection")
    parser.add_argument("--verbose", action="store_true", help="list every item by category")
    parser.add_argument("--stages", action="store_true", help="also show what was planted and the machine "
                        "after the run, before the restart (one scenario)")
    args = parser.parse_args()
    build = os.path.realpath(args.build)
    for needed in ("QT58Uninstall.exe", "tools/plant.exe", "tools/boxbot.exe"):
        if not os.path.exists(os.path.join(build, needed)):
            print("acceptance: %s is missing in %s (build first)" % (needed, build), file=sys.stderr)
            return 2
    prepare_template(build)

    if not args.matrix:
        scenarios = [(args.family, args.printers, args.load, args.drive)]
    else:
        # the installation folder is on the second fixed drive for Windows 2000 and Me
        scenarios = [(f, p, l, "D" if f in ("win2k", "winme") else "C")
                     for f in FAMILIES for p in PRINTERS for l in LOADS]
    started = time.time()
    results = {}
    show = (lambda lines: print("\n".join(lines), flush=True)) if args.stages and not args.matrix else None
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        futures = {pool.submit(run_scenario, build, *s, keep=args.keep, verbose=args.verbose, show=show): s
                   for s in scenarios}
        for future in concurrent.futures.as_completed(futures):
            s = futures[future]
            try:
                results[s] = future.result()
            except Exception as error:  # a scenario that could not run at all
                results[s] = (None, "%s: could not run: %s" % (scenario_name(*s), error), None)
            print(results[s][1], flush=True)
    if args.matrix:
        print("\nmatrix: %d scenarios in %.0f s" % (len(scenarios), time.time() - started))
        for s in scenarios:
            passed, _, figures = results[s]
            state = "PASS" if passed else "FAIL" if passed is not None else "ERROR"
            detail = "" if figures is None else "%4d removed, %2d faults, %5.1f s" % (
                figures["removed"], figures["faults"], figures["times"]["total"])
            print("  %-32s %-5s %s" % (scenario_name(*s), state, detail))
    if any(r[0] is None for r in results.values()):
        return 2
    return 0 if all(r[0] for r in results.values()) else 1


if __name__ == "__main__":
    sys.exit(main())
