#!/usr/bin/env python3
"""Tests of the acceptance runner's reading of machine states and of its
classification (scripts/acceptance.py), on states made up here."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.realpath(__file__)), "..", "scripts"))
import acceptance  # noqa: E402

HIVE = r'''WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win64

[Software\\Acme\\Odd\]Name] 1796577653
#time=1dd85a62570bf22
@="default \"quoted\" C:\\path"
"Plain"="caf\xe9"
"Expand"=str(2):"%SystemRoot%\\x"
"Multi"=str(7):"\\??\\C:\\a\\\\b.\0\0\\??\\C:\\c\0\0"
"Count"=dword:0000000a
"Bytes"=hex:01,02,\
  03,04
"Wide"=hex(1):41,00,42,00,00,00

[SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\Software] 1796577653
"Volatile"="listed elsewhere"
'''


def state_with(files=(), values=(), keys=()):
    """A state holding the given files (path, size, mtime), values (key, name,
    text) and keys."""
    s = acceptance.State()
    for path, size, mtime in files:
        is_dir = size is None
        s.files[path.upper()] = (path, is_dir, 0 if is_dir else size, 0 if is_dir else mtime, "")
    for key, name, text in values:
        s.add_key(key)
        s.values[(key.upper(), name.upper())] = (key, name, "sz", text.replace("\\", "\\\\").replace('"', '\\"'))
    for key in keys:
        s.add_key(key)
    return s


def entry(category, kind, path, value="", data="", note=""):
    return acceptance.Entry((category, kind, path, value, data, note))


HEADER = {"family": "winxp", "printers": "alone", "load": "idle", "installdir": "C:\\P"}


class ReadingStates(unittest.TestCase):
    def test_hive_keys_values_and_escapes(self):
        with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False, encoding="utf-8") as f:
            f.write(HIVE)
        try:
            s = acceptance.State()
            s.read_hive(f.name, "HKLM")
        finally:
            os.unlink(f.name)
        key = "HKLM\\Software\\Acme\\Odd]Name"
        self.assertIn(key.upper(), s.keys)
        self.assertIn("HKLM\\SOFTWARE", s.keys, "a key's ancestors exist")
        self.assertEqual('default "quoted" C:\\path', s.string(key, ""))
        self.assertEqual("caf\xe9", s.string(key, "plain"))
        self.assertEqual("%SystemRoot%\\x", s.string(key, "Expand"))
        self.assertEqual(("Count", "dword", "0000000a"), s.value(key, "Count")[1:])
        self.assertEqual("01,02,03,04", s.value(key, "Bytes")[3])
        self.assertEqual("AB", s.string(key, "Wide"))
        self.assertNotIn((acceptance.VOLATILE + "\\CURRENT\\SOFTWARE", "VOLATILE"), s.values,
                         "the volatile part comes from its own listing")

    def test_pending_renames_as_the_file_system_resolves_them(self):
        s = acceptance.State()
        s.values[(acceptance.SESSION_MANAGER, "PENDINGFILERENAMEOPERATIONS")] = (
            "k", "PendingFileRenameOperations", "str(7)", r"\\??\\C:\\Temp\\\\\\svc.\0\0\\??\\C:\\a\0\\??\\C:\\b\0")
        self.assertEqual([("C:\\Temp\\svc", ""), ("C:\\a", "C:\\b")], s.pending_renames())

    def test_volatile_listing(self):
        with tempfile.NamedTemporaryFile("w", suffix=".tsv", delete=False, encoding="utf-8") as f:
            f.write("K\tHKLM\\X\\Printers\nD\tHKLM\\X\\Locked\nV\tHKLM\\X\\Printers\tDefault\t1\t410042000000\n")
        try:
            s = acceptance.State()
            s.read_listing(f.name)
        finally:
            os.unlink(f.name)
        self.assertIn("HKLM\\X\\LOCKED", s.keys, "a key that cannot be read still exists")
        self.assertEqual("AB", s.string("HKLM\\X\\Printers", "Default"))


    def test_files_of_every_drive_with_attributes(self):
        with tempfile.TemporaryDirectory() as prefix:
            for folder in ("dosdevices", "drive_c/qt58test", "drive_c/windows", "drive_d/Apps"):
                os.makedirs(os.path.join(prefix, folder))
            os.symlink("../drive_c", os.path.join(prefix, "dosdevices", "c:"))
            os.symlink("../drive_d", os.path.join(prefix, "dosdevices", "d:"))
            os.symlink("/", os.path.join(prefix, "dosdevices", "z:"))   # the host: never walked
            for name in ("drive_c/windows/a.ini", "drive_d/Apps/b.exe", "drive_c/qt58test/QT58Uninstall.exe",
                         "drive_c/qt58test/plant.exe"):
                with open(os.path.join(prefix, name), "w") as f:
                    f.write("x")
            os.chmod(os.path.join(prefix, "drive_c/windows/a.ini"), 0o444)
            s = acceptance.State()
            s.read_files(prefix, "QT58Uninstall.exe")
        self.assertEqual(("C:\\windows\\a.ini", False, 1), s.files["C:\\WINDOWS\\A.INI"][:3])
        self.assertEqual("R", s.files["C:\\WINDOWS\\A.INI"][4])
        self.assertTrue(s.files["D:\\APPS"][1])
        self.assertIn("C:\\QT58TEST\\QT58UNINSTALL.EXE", s.files)
        self.assertNotIn("C:\\QT58TEST\\PLANT.EXE", s.files, "the runner's own files do not count")
        self.assertFalse([p for p in s.files if p.startswith("Z:")])


class Classifying(unittest.TestCase):
    def classify(self, entries, states, traces="", header=HEADER):
        return acceptance.classify(header, entries, states, "C:\\users\\u\\Temp", traces)

    def test_product_items_gone_or_left(self):
        entries = [entry("remove", "file", "C:\\P\\a.dll"), entry("remove", "file", "C:\\P\\b.dll")]
        before = state_with(files=[("C:\\P", None, 0), ("C:\\P\\a.dll", 1, 1), ("C:\\P\\b.dll", 1, 1)])
        after = state_with(files=[("C:\\P", None, 0), ("C:\\P\\b.dll", 1, 1)])
        outcome = self.classify(entries, [before, after, after])
        self.assertEqual(1, outcome.counts.get("product removed"))
        self.assertEqual(["product item left: file C:\\P\\b.dll ()"], outcome.faults)

    def test_foreign_and_spared_items_must_not_change(self):
        entries = [entry("foreign", "file", "C:\\W\\other.dll"), entry("spare", "value", "HKLM\\S\\Q", "Keep"),
                   entry("foreign", "key", "HKLM\\S\\Acme")]
        before = state_with(files=[("C:\\W\\other.dll", 5, 100)], values=[("HKLM\\S\\Q", "Keep", "1"),
                                                                          ("HKLM\\S\\Acme", "v", "1")])
        same = state_with(files=[("C:\\W\\other.dll", 5, 100)], values=[("HKLM\\S\\Q", "Keep", "1"),
                                                                        ("HKLM\\S\\Acme", "v", "1")])
        self.assertEqual([], self.classify(entries, [before, same, same]).faults)
        touched = state_with(files=[("C:\\W\\other.dll", 5, 200)], values=[("HKLM\\S\\Acme", "v", "2")])
        faults = self.classify(entries, [before, touched, touched]).faults
        self.assertIn("foreign item changed: file C:\\W\\other.dll", faults)
        self.assertIn('spared product item removed: value HKLM\\S\\Q value "Keep"', faults)
        self.assertIn("foreign item changed: key HKLM\\S\\Acme", faults)

    def test_changes_nobody_planted(self):
        entries = [entry("remove", "key", "HKLM\\S\\Quenmar")]
        before = state_with(values=[("HKLM\\S\\Quenmar\\Sub", "x", "1"), ("HKLM\\S\\Windows", "v", "1")])
        after = state_with(values=[("HKLM\\S\\Windows", "v", "2")], keys=["HKLM\\S"])
        faults = self.classify(entries, [before, after, after]).faults
        self.assertEqual(['unlisted change: value HKLM\\S\\Windows value "v" changed'], faults,
                         "what goes with a removed key is its own; everything else must stay")

    def test_changes_inside_a_spared_key(self):
        entries = [entry("spare", "key", "HKLM\\S\\Rudorid55")]
        before = state_with(values=[("HKLM\\S\\Rudorid55", "v", "1"), ("HKLM\\S\\Rudorid55\\Sub", "x", "1")])
        after = state_with(values=[("HKLM\\S\\Rudorid55", "v", "1")])
        faults = self.classify(entries, [before, after, after]).faults
        self.assertIn("inside spared product key HKLM\\S\\Rudorid55: key HKLM\\S\\Rudorid55\\Sub removed", faults)

    def test_written_values(self):
        entries = [entry("write", "value", "HKLM\\C\\Server", "", "C:\\sys\\MFC42u.DLL"),
                   entry("runonce", "value", "HKLM\\R", "Marker", "")]
        before = state_with(keys=["HKLM\\C", "HKLM\\R"])
        run = state_with(values=[("HKLM\\C\\Server", "", "C:\\sys\\MFC42u.DLL"), ("HKLM\\R", "Marker", "")])
        restarted = state_with(values=[("HKLM\\C\\Server", "", "C:\\sys\\MFC42u.DLL")], keys=["HKLM\\R"])
        self.assertEqual([], self.classify(entries, [before, run, restarted]).faults)
        wrong = state_with(values=[("HKLM\\C\\Server", "", "C:\\sys\\MFC42.DLL"), ("HKLM\\R", "Marker", "")])
        self.assertEqual(1, len(self.classify(entries, [before, wrong, restarted]).faults))

    def test_items_moved_aside_for_the_restart(self):
        entries = [entry("remove", "file", "C:\\P\\run.exe")]
        before = state_with(files=[("C:\\P\\run.exe", 7, 70)])
        run = state_with(files=[("C:\\users\\u\\Temp\\s1", 7, 70), ("C:\\users\\u\\Temp\\stray", 1, 1)])
        run.values[(acceptance.SESSION_MANAGER, "PENDINGFILERENAMEOPERATIONS")] = (
            "k", "PendingFileRenameOperations", "str(7)", r"\\??\\C:\\users\\u\\Temp\\\\s1.\0\0")
        restarted = state_with()
        outcome = self.classify(entries, [before, run, restarted])
        self.assertEqual(1, outcome.counts.get("product moved aside, removed at the restart"))
        self.assertEqual(1, outcome.counts.get("moved aside by the run, removed at the restart"))
        self.assertEqual(["unlisted change: file C:\\users\\u\\Temp\\stray added and removed again"],
                         outcome.faults)

    def test_what_wine_leaves_where_windows_9x_removes_it(self):
        header = dict(HEADER, family="win98")
        entries = [entry("remove", "folder", "C:\\P", data="C:\\P"),
                   entry("remove", "folder", "C:\\P\\Inner", data="C:\\P\\INNER~1"),
                   entry("remove", "folder", "C:\\Q", data="C:\\Q"),
                   entry("remove", "key", "HKLM\\Software\\Quenmar"),
                   entry("remove", "key", "HKLM\\Software\\Quenmar\\PortManager"),
                   entry("remove", "key", "HKLM\\Software\\Zudadov")]
        before = state_with(files=[("C:\\P", None, 0), ("C:\\P\\Inner", None, 0), ("C:\\Q", None, 0),
                                   ("C:\\Q\\f", 1, 1)],
                            keys=["HKLM\\Software\\Quenmar\\PortManager", "HKLM\\Software\\Zudadov",
                                  acceptance.RUN_ONCE])
        run = state_with(files=[("C:\\P", None, 0), ("C:\\P\\Inner", None, 0), ("C:\\Q", None, 0),
                                ("C:\\Q\\f", 1, 1)],
                         values=[(acceptance.RUN_ONCE, "1", "command /c rd C:\\P\\INNER~1"),
                                 (acceptance.RUN_ONCE, "2", "command /c rd C:\\P"),
                                 (acceptance.RUN_ONCE, "3", "command /c rd C:\\Q")],
                         keys=["HKLM\\Software\\Quenmar\\PortManager", "HKLM\\Software\\Zudadov"])
        # Wine ran "3", "2", "1": the outer folder came before the inner one
        restarted = state_with(files=[("C:\\P", None, 0), ("C:\\Q", None, 0), ("C:\\Q\\f", 1, 1)],
                               keys=["HKLM\\Software\\Quenmar\\PortManager", "HKLM\\Software\\Zudadov",
                                     acceptance.RUN_ONCE])
        traces = ('1.0:0138:Call advapi32.RegDeleteKeyA(ffffffff80000002,0021f0 "Software\\\\Quenmar") ret=14\n'
                  '1.1:0138:Ret  advapi32.RegDeleteKeyA() retval=00000005 ret=14\n'
                  '1.2:0138:Call advapi32.RegDeleteKeyA(ffffffff80000001,0021f0 "Software\\\\Zudadov") ret=14\n'
                  '1.3:0138:Ret  advapi32.RegDeleteKeyA() retval=00000005 ret=14\n')
        outcome = self.classify(entries, [before, run, restarted], traces, header)
        self.assertEqual(["folder C:\\P"], outcome.lists["product left by Wine's restart order"])
        self.assertEqual(["key HKLM\\Software\\Quenmar", "key HKLM\\Software\\Quenmar\\PortManager"],
                         outcome.lists["product left by Wine's 9x key deletion"])
        self.assertEqual(["product item left: folder C:\\Q ()", "product item left: key HKLM\\Software\\Zudadov ()"],
                         outcome.faults, "a folder that still holds a file, a key of another root: the program's")



class Reporting(unittest.TestCase):
    RUN = ("phase: Vorbereitung der Deinstallation...\r\nphase: Dateien werden entfernt...\r\n"
           "phase: Registrierungseintr\u00e4ge werden entfernt...\r\nphase: Drucker wird entfernt...\r\n"
           "phase: Deinstallation abgeschlossen\r\n"
           "box: [VORSICHT!] text -> OK\r\nbox: [Deinstallation abgeschlossen] text -> NO\r\n"
           "box: [Neustart erforderlich] text -> OK\r\nexit code: %d\r\n")
    TIMES = {"machine": 1, "plant": 1, "record": 1, "run": 1, "restart": 1, "total": 5, "program": None}

    def report(self, run_output):
        return acceptance.report("s", HEADER, acceptance.Outcome(), run_output, "", [], self.TIMES, False)

    def test_a_run_as_the_user_sees_it_passes(self):
        passed, text, _ = self.report(self.RUN % 0)
        self.assertTrue(passed, text)

    def test_exit_code_boxes_and_phases_are_checked(self):
        self.assertFalse(self.report(self.RUN % 4)[0])
        self.assertFalse(self.report((self.RUN % 0).replace("-> NO", "-> YES"))[0])
        run = self.RUN % 0
        self.assertTrue(self.report(run.replace("phase: Vorbereitung der Deinstallation...\r\n", ""))[0],
                        "a phase that passes at once may go unseen")
        self.assertFalse(self.report(run.replace("phase: Deinstallation abgeschlossen\r\n", ""))[0])
        swapped = run.replace("Dateien werden", "@").replace("Drucker wird", "Dateien werden").replace("@", "Drucker wird")
        self.assertFalse(self.report(swapped)[0], "phases out of order")


class Timing(unittest.TestCase):
    def test_removal_split_into_pauses_waits_and_work(self):
        trace = "\n".join([
            "10.000:0100:Call user32.MessageBoxA(00000000,0021f540 \"warn\") ret=1",
            "10.500:0100:Ret  user32.MessageBoxA() retval=00000001 ret=1",
            "10.600:0100:Call advapi32.ControlService(010a,00000001,0021) ret=1",
            "10.800:0100:Ret  advapi32.ControlService() retval=00000001 ret=1",
            "10.900:0200:Call KERNEL32.Sleep(00002710) ret=1",   # another thread: not the program's
            "11.000:0100:Call KERNEL32.CreateProcessA(0021 \"C:\\\\m.exe\") ret=1",
            "11.100:0100:Ret  KERNEL32.CreateProcessA() retval=00000001 ret=1",
            "11.100:0100:Call KERNEL32.Sleep(000007d0) ret=1",
            "13.100:0100:Ret  KERNEL32.Sleep() retval=00000000 ret=1",
            "13.200:0100:warn:debugstr:OutputDebugStringA \"Deleted File\\nC:\\\\x\"",
            "13.300:0100:Call advapi32.RegDeleteKeyA(ffffffff80000002,0021 \"Software\\\\Q\") ret=1",
            "13.600:0100:Ret  advapi32.RegDeleteKeyA() retval=00000000 ret=1",   # the program's own work
            "14.000:0100:Call user32.MessageBoxA(00000000,0021fbd0 \"closing\") ret=1",
            "15.000:0100:Ret  user32.MessageBoxA() retval=00000007 ret=1",
            "20.900:0200:Ret  KERNEL32.Sleep() retval=00000000 ret=1"])
        times = acceptance.program_times(trace)
        self.assertAlmostEqual(3.5, times["removal"])
        self.assertAlmostEqual(2.0, times["pauses"])
        self.assertAlmostEqual(0.2, times["spooler"])
        self.assertAlmostEqual(0.1, times["program starts"])
        self.assertAlmostEqual(1.2, times["own work"])


if __name__ == "__main__":
    unittest.main()
