#!/usr/bin/env python3
"""scripts/junit-tally against reports written here, in the form ctest 3.25
writes them: every kind of outcome is counted where it belongs, and a report
that cannot be read stops the tally.

    junit_tally_test.py PATH-OF-JUNIT-TALLY
"""
import os
import subprocess
import sys
import tempfile
import unittest

TALLY = sys.argv.pop(1) if len(sys.argv) > 1 else "scripts/junit-tally"

CTEST_REPORT = """<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="(empty)" tests="7" failures="2" disabled="1" skipped="3" hostname="" time="0" timestamp="2026-01-01T00:00:00">
  <testcase name="passes" classname="passes" time="0.1" status="run"><system-out>ok</system-out></testcase>
  <testcase name="fails" classname="fails" time="0.1" status="fail"><failure message=""/></testcase>
  <testcase name="times-out" classname="times-out" time="1" status="fail"><failure message=""/></testcase>
  <testcase name="skips-by-code" classname="skips-by-code" time="0" status="notrun"><skipped message="SKIP_RETURN_CODE=77"/></testcase>
  <testcase name="skips-by-output" classname="skips-by-output" time="0" status="notrun"><skipped message="SKIP_REGULAR_EXPRESSION_MATCHED"/></testcase>
  <testcase name="cannot-start" classname="cannot-start" time="0" status="notrun"><skipped message="Unable to find executable"/></testcase>
  <testcase name="switched-off" classname="switched-off" time="0" status="disabled"/>
</testsuite>
"""


def tally(*texts):
    with tempfile.TemporaryDirectory() as folder:
        paths = []
        for number, text in enumerate(texts):
            path = os.path.join(folder, f"report-{number}.xml")
            if text is not None:
                with open(path, "w", encoding="utf-8") as stream:
                    stream.write(text)
            paths.append(path)
        return subprocess.run([sys.executable, TALLY, *paths], capture_output=True, text=True)


class JunitTally(unittest.TestCase):
    def test_counts_each_outcome_where_it_belongs(self):
        result = tally(CTEST_REPORT)
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        self.assertEqual(lines[-1], "passed=1 failed=3 skipped=3")
        self.assertEqual(sorted(lines[:-1]), [
            "failed: cannot-start (Unable to find executable)",
            "failed: fails",
            "failed: times-out",
        ])

    def test_adds_up_several_reports(self):
        fuzz = ('<testsuite name="fuzz" tests="2"><testcase name="fuzz.a" status="run"/>'
                '<testcase name="fuzz.b" status="fail"><failure message="found a fault"/></testcase></testsuite>')
        result = tally(CTEST_REPORT, fuzz)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("failed: fuzz.b (found a fault)", result.stdout.splitlines())
        self.assertEqual(result.stdout.splitlines()[-1], "passed=2 failed=4 skipped=3")

    def test_refuses_what_it_cannot_read(self):
        broken = {
            "missing": None,
            "empty file": "",
            "cut short": CTEST_REPORT[:400],
            "no tests": '<testsuite tests="0"></testsuite>',
            "fewer tests than declared": '<testsuite tests="2"><testcase name="a" status="run"/></testsuite>',
            "unknown status": '<testsuite tests="1"><testcase name="a" status="maybe"/></testsuite>',
            "not a report": "<html/>",
        }
        for what, text in broken.items():
            with self.subTest(what):
                result = tally(CTEST_REPORT, text)
                self.assertEqual(result.returncode, 2, result.stdout)
                self.assertIn("report-1.xml", result.stderr)
                self.assertNotIn("passed=", result.stdout)


if __name__ == "__main__":
    unittest.main()
