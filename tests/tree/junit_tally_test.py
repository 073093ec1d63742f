#!/usr/bin/env python3
"""scripts/junit-tally against reports written here, in the form ctest 3.25
writes them: every kind of outcome is counted where it belongs, and a report
that cannot be read stops the tally. Then the sum of a whole run as
scripts/test makes it, on a machine without 32-bit code as SCOURIX_NO_32BIT=1
makes this one: the i686 tiers' tests, read from their CTest trees, all
skipped for the reason that winebed gives, once, and nothing failed.

    junit_tally_test.py PATH-OF-JUNIT-TALLY
"""
import os
import re
import subprocess
import sys
import tempfile
import unittest

TALLY = sys.argv.pop(1) if len(sys.argv) > 1 else "scripts/junit-tally"
WINEBED = os.path.join(os.path.dirname(TALLY), "winebed")

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


    def test_a_program_run_once_counts_as_its_cases_and_loses_none(self):
        # As tests/windows/run-gtest leaves them: the listed cases, then
        # GoogleTest's own report (none when the program died part-way).
        gtest = ('<testsuites tests="3"><testsuite name="Suite" tests="3">'
                 '<testcase name="Passes" status="run" result="completed" classname="Suite"/>'
                 '<testcase name="Fails" status="run" result="completed" classname="Suite">'
                 '<failure message="Thing.cpp:12&#x0A;Expected equality" type=""/></testcase>'
                 '<testcase name="SkipsItself" status="run" result="skipped" classname="Suite">'
                 '<skipped message="no psapi here"/></testcase></testsuite></testsuites>')
        with tempfile.TemporaryDirectory() as folder:
            def entry(name, status, cases=None, report=None):
                base = os.path.join(folder, name)
                if cases is not None:
                    write(base + ".cases", "# prefix: 98.\n" + "".join(case + "\n" for case in cases))
                if report is not None:
                    write(base + ".xml", report)
                failure = '<failure message=""/>' if status == "fail" else ""
                return (f'<testcase name="windows.{name}" status="{status}">{failure}'
                        f'<system-out>gtest report: {base}\nrun-gtest: 3 cases</system-out></testcase>')
            listed = ["Suite.Passes", "Suite.Fails", "Suite.SkipsItself"]
            ctest = ('<testsuite tests="5">'
                     + entry("ran", "fail", listed, gtest)
                     + entry("crashed", "fail", listed + ["Later.NeverRan"], gtest.replace("Fails", "Passes2"))
                     + entry("died-after", "fail", ["Suite.Passes"], gtest.split('<testcase name="Fails"')[0]
                             + "</testsuite></testsuites>")
                     + entry("never-listed", "fail")
                     + '<testcase name="plain" status="run"/></testsuite>')
            result = tally(ctest)
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        self.assertEqual(lines[-1], "passed=4 failed=6 skipped=2")
        self.assertEqual(sorted(lines[:-1]), [
            "failed: 98.Later.NeverRan (not reported: windows.crashed ended before it)",
            "failed: 98.Suite.Fails (Thing.cpp:12)",
            "failed: 98.Suite.Fails (not reported: windows.crashed ended before it)",
            "failed: 98.Suite.Passes2 (Thing.cpp:12)",
            "failed: windows.died-after",
            "failed: windows.never-listed",
        ])


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as stream:
        stream.write(text)


# A GoogleTest program discovered at test time, as CMake 3.25 writes its
# include file (shortened to what names the program and its list).
PRE_TEST_INCLUDE = """if(EXISTS "{folder}/prog.exe")
  if(NOT EXISTS "{tests}" OR
     NOT "{tests}" IS_NEWER_THAN "{folder}/prog.exe")
    include("/usr/share/cmake-3.25/Modules/GoogleTestAddTests.cmake")
    gtest_discover_tests_impl(
      TEST_EXECUTABLE [==[{folder}/prog.exe]==]
      TEST_PREFIX [==[{prefix}]==]
      CTEST_FILE [==[{tests}]==]
    )
  endif()
  include("{tests}")
else()
  add_test(prog_NOT_BUILT prog_NOT_BUILT)
endif()
"""


def fake_tree(folder, name):
    """A configured CTest tree: a plain test, a subfolder with a quoted one,
    a program whose cases were discovered once and one never discovered."""
    sub = os.path.join(folder, "sub")
    write(os.path.join(folder, "CTestTestfile.cmake"),
          f'add_test([=[{name}.plain]=] "bash" "run")\n'
          f'set_tests_properties([=[{name}.plain]=] PROPERTIES LABELS "e2e")\nsubdirs("sub")\n')
    listed = os.path.join(sub, "prog[1]_tests.cmake")
    write(listed, 'add_test( [==[Suite.First]==] wine prog.exe)\nadd_test( [==[Suite.Second]==] wine prog.exe)\n'
                  'set( prog_TESTS Suite.First Suite.Second)\n')
    write(os.path.join(sub, "prog[1]_include.cmake"), PRE_TEST_INCLUDE.format(folder=sub, tests=listed, prefix=""))
    write(os.path.join(sub, "prog[2]_include.cmake"),
          PRE_TEST_INCLUDE.format(folder=sub, tests=os.path.join(sub, "prog[2]_tests.cmake"), prefix="wow64."))
    write(os.path.join(sub, "CTestTestfile.cmake"),
          f'include("{sub}/prog[1]_include.cmake")\ninclude("{sub}/prog[2]_include.cmake")\n'
          f'add_test("{name}.quoted" "bash")\n')
    return [f"{name}.plain", "Suite.First", "Suite.Second", "prog[2] (wow64.*)", f"{name}.quoted"]


def run(*arguments, **options):
    return subprocess.run([sys.executable, TALLY, *arguments], capture_output=True, text=True, **options)


class SkippedTiers(unittest.TestCase):
    def test_lists_every_test_of_a_tree_without_running_any(self):
        with tempfile.TemporaryDirectory() as folder:
            expected = fake_tree(folder, "t")
            result = run("--skipped", "why not", folder)
            self.assertEqual(result.returncode, 0, result.stderr)
            report = os.path.join(folder, "report.xml")
            write(report, result.stdout)
            import xml.etree.ElementTree as ElementTree
            cases = ElementTree.parse(report).getroot().findall("testcase")
            self.assertEqual([case.get("name") for case in cases], expected)
            self.assertEqual({case.find("skipped").get("message") for case in cases}, {"why not"})
            self.assertEqual(tally(result.stdout).stdout.splitlines()[-1], "passed=0 failed=0 skipped=5")

    def test_refuses_a_tree_without_tests(self):
        with tempfile.TemporaryDirectory() as folder:
            result = run("--skipped", "why not", os.path.join(folder, "never-configured"))
            self.assertEqual(result.returncode, 2)
            self.assertIn("never-configured", result.stderr)

    def test_a_run_without_32bit_code_skips_the_i686_tiers_once_and_fails_nothing(self):
        # The outer run may have found no 32-bit code itself and passed its own
        # reason down; this case asks for the reason the variable gives.
        environment = {k: v for k, v in os.environ.items() if k != "SCOURIX_NO_32BIT_WHY"}
        environment["SCOURIX_NO_32BIT"] = "1"
        check = subprocess.run(["bash", WINEBED, "runs-32bit"], capture_output=True, text=True, env=environment)
        self.assertEqual(check.returncode, 1, check.stderr)
        why = check.stdout.strip()
        self.assertIn("SCOURIX_NO_32BIT=1", why)
        self.assertEqual(len(check.stdout.splitlines()), 1)
        with tempfile.TemporaryDirectory() as folder:
            def logs(name):
                return os.path.join(folder, "logs", name)
            write(logs("host.xml"), '<testsuite tests="2"><testcase name="a" status="run"/>'
                                    '<testcase name="b" status="run"/></testsuite>')
            write(logs("win64.xml"), '<testsuite tests="2"><testcase name="e2e.demo-10" status="run"/>'
                                     '<testcase name="w" status="notrun"><skipped message="SKIP_RETURN_CODE=77"/>'
                                     '</testcase></testsuite>')
            records = [f"host 0 75 {logs('host.xml')}", f"win64 0 600 {logs('win64.xml')}"]
            for tier in ("win32-tests", "win32"):
                fake_tree(os.path.join(folder, tier), tier)
                result = run("--skipped", why, os.path.join(folder, tier))
                self.assertEqual(result.returncode, 0, result.stderr)
                write(logs(f"{tier}.xml"), result.stdout)
                records.append(f"{tier} 0 0 {logs(tier + '.xml')}")
            write(logs("tiers.txt"), "\n".join(records) + "\n")
            result = run("--tiers", logs("tiers.txt"))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        lines = result.stdout.splitlines()
        self.assertEqual(lines[-1], "3 passed, 0 failed, 11 skipped")
        self.assertEqual(lines[:-1], [
            "tier host: 2 passed, 0 failed, 0 skipped, 1.2 min",
            "tier win64: 1 passed, 0 failed, 1 skipped, 10.0 min",
            "tier win32-tests: 0 passed, 0 failed, 5 skipped, 0.0 min",
            "tier win32: 0 passed, 0 failed, 5 skipped, 0.0 min",
            "skipped 1 in win64: SKIP_RETURN_CODE=77",
            f"skipped 10 in win32-tests, win32: {why}",
        ])

    def test_a_tier_that_broke_counts_as_failed_and_is_named(self):
        with tempfile.TemporaryDirectory() as folder:
            passing = os.path.join(folder, "passing.xml")
            write(passing, '<testsuite tests="1"><testcase name="a" status="run"/></testsuite>')
            write(os.path.join(folder, "failing.xml"), CTEST_REPORT)
            records = os.path.join(folder, "tiers.txt")
            write(records, f"host 0 30 {passing}\nwin64 8 60 {folder}/failing.xml\n"
                           f"win32 0 0 {folder}/missing.xml\nfuzz 1 20 {passing}\n")
            result = run("--tiers", records)
        self.assertEqual(result.returncode, 1)
        lines = result.stdout.splitlines()
        self.assertEqual(lines[-1], "3 passed, 5 failed, 3 skipped")
        self.assertIn("FAILED win64: cannot-start (Unable to find executable)", lines)
        self.assertTrue(any(re.fullmatch(r"FAILED win32: no readable results \(.*missing.*\)", line) for line in lines))
        self.assertIn("FAILED fuzz: the runner ended with status 1", lines)
        self.assertIn("tier win32: 0 passed, 1 failed, 0 skipped, 0.0 min", lines)


if __name__ == "__main__":
    unittest.main()
