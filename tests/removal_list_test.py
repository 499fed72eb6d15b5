#!/usr/bin/env python3
"""Tests of the removal list's generator (tools/removal_list.py)."""

import glob
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.realpath(__file__)), "..", "tools"))
import removal_list  # noqa: E402


class RemovalList(unittest.TestCase):
    def test_every_row_of_every_table_is_listed(self):
        page = removal_list.render()
        tables = glob.glob(os.path.join(removal_list.TOP, "*", "tables", "*.tbl"))
        self.assertTrue(tables)
        for path in tables:
            for row in removal_list.table(os.path.relpath(path, removal_list.TOP)):
                self.assertIn(row, page, "%s: %s" % (os.path.basename(path), row))

    def test_counts_follow_the_conditions(self):
        groups = removal_list.file_groups()
        for family in removal_list.FAMILIES:
            alone, other, sibling = (removal_list.entry_count(groups, family, c) for c in removal_list.CONDITIONS)
            self.assertGreater(alone, other, "another printer of the maker keeps its shared files")
            self.assertGreater(other, sibling, "a sibling model keeps the applications as well")
        c8 = len(removal_list.rows("C8"))
        self.assertEqual(c8, removal_list.entry_count([g for g in groups if "(C8)" in g[0]], "XP", "alone"))
        self.assertEqual(0, removal_list.entry_count([g for g in groups if "(C8)" in g[0]], "XP", "sibling"))

    def test_check_tells_a_stale_page(self):
        with tempfile.TemporaryDirectory() as folder:
            saved = removal_list.DOC
            removal_list.DOC = os.path.join(folder, "removal-list.md")
            saved_argv = sys.argv
            try:
                sys.argv = ["removal_list.py", "--check"]
                self.assertEqual(1, removal_list.main(), "no page at all")
                sys.argv = ["removal_list.py"]
                self.assertEqual(0, removal_list.main())
                sys.argv = ["removal_list.py", "--check"]
                self.assertEqual(0, removal_list.main())
                with open(removal_list.DOC, "a", encoding="utf-8") as f:
                    f.write("edited by hand\n")
                self.assertEqual(1, removal_list.main())
            finally:
                removal_list.DOC = saved
                sys.argv = saved_argv


if __name__ == "__main__":
    unittest.main()
