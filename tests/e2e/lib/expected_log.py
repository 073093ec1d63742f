#!/usr/bin/env python3
"""Checks the log of a scan of every fixed drive against the log that the
planted machine must give, and the registry that it must leave.

    expected_log.py PLAN OUT REGISTRY-BEFORE REGISTRY-AFTER

PLAN (tab-separated lines, written by the scenario while it plants):
    hosts      WINPATH                     the OS family's hosts file, infected
    env        NAME  VALUE                 what an environment reference expands to
    systemfolder  WINPATH                  a folder that a bare command starts files from
    detection  WINPATH  NAME  memory|walk  removed|unable
    scanned    N                           files the drive walk hands to the check
OUT is the driver's report; its [scan] section holds the log ("log: " lines).
REGISTRY-BEFORE and -AFTER are listings of registry_listing.py.

The only freedom the program has is the order in which the file system
returns the entries of a folder, so the order of the detections is taken
from the log, after checking that it is one a depth-first walk of the drives,
C: to Z:, can give (files of a folder before its subfolders, each subtree in
one piece, the memory phase first). Everything else, every line and the
registry left behind, follows from the planted machine by the rules below,
applied to the detections in that order.

Prints one "PASS what" or "FAIL what" line per check.
"""
import re
import sys
from collections import OrderedDict

from registry_listing import read_listing

HKLM_VERSION = "hkey_local_machine\\software\\microsoft\\windows\\currentversion"
RUN = HKLM_VERSION + "\\run"
RUN_SERVICES = HKLM_VERSION + "\\runservices"
WORM_UNINSTALL = HKLM_VERSION + "\\uninstall\\rhcjg7j0e38v"
FAMILY_NAME = "W32/Morvo.Worm"
HOSTS_NAME = "W32/Nyxem.Worm"
OUTCOME = re.compile(r"^(.*)     (W32/Morvo\.[A-Za-z]+\.Worm|W32/Morvo\.Worm ) (removed|Unable to remove)$")


def ascii_lower(text):
    return "".join(chr(ord(c) + 32) if "A" <= c <= "Z" else c for c in text)


def report(ok, what):
    print(("PASS " if ok else "FAIL ") + what)
    return ok


class Detection:
    def __init__(self, path, name, phase, outcome):
        self.path, self.name, self.phase, self.outcome = path, name, phase, outcome

    def folder(self):
        return ascii_lower(self.path.rsplit("\\", 1)[0]) + "\\"


class Plan:
    def __init__(self, path):
        self.hosts, self.env, self.detections, self.scanned = None, {}, [], None
        self.system_folders = []
        with open(path, encoding="utf-8") as f:
            for line in f:
                fields = line.rstrip("\n").split("\t")
                if fields[0] == "hosts":
                    self.hosts = fields[1]
                elif fields[0] == "env":
                    self.env[ascii_lower(fields[1])] = fields[2]
                elif fields[0] == "detection":
                    self.detections.append(Detection(*fields[1:5]))
                elif fields[0] == "systemfolder":
                    self.system_folders.append(ascii_lower(fields[1]).rstrip("\\"))
                elif fields[0] == "scanned":
                    self.scanned = int(fields[1])
                else:
                    raise ValueError("unknown plan line: %r" % line)


class Registry:
    """The values of the listed keys; names compare without regard to case."""

    def __init__(self, entries):
        self.keys = OrderedDict()
        for key, name, kind, data in entries:
            values = self.keys.setdefault(ascii_lower(key), (key, OrderedDict()))[1]
            if name:
                values[ascii_lower(name)] = (name, kind, data)

    def values(self, key):
        return self.keys.get(key, (None, OrderedDict()))[1]

    def get(self, key, name):
        entry = self.values(key).get(ascii_lower(name))
        return entry[2] if entry else None

    def delete(self, key, name):
        return self.values(key).pop(ascii_lower(name), None) is not None

    def entries(self):
        result = set()
        for key, values in self.keys.values():
            result.add((key, "", "", ""))
            for name, kind, data in values.values():
                result.add((key, name, kind, data))
        return result


class Machine:
    """What one scan does to the registry and the hosts file, detection by
    detection, and the log lines it writes."""

    def __init__(self, plan, registry):
        self.plan, self.registry = plan, registry
        self.hosts_present = plan.hosts is not None
        self.worm_value = ""
        self.worm_file = ""
        self.infected = self.removed = 0

    def expand(self, text):
        def one(match):
            return self.plan.env.get(ascii_lower(match.group(1)), match.group(0))
        return re.sub(r"%([^%]+)%", one, text)

    # The worm's fixed uninstall string, and with it its fixed Run value.
    def remove_uninstall_entries(self):
        text = self.registry.get(WORM_UNINSTALL, "UninstallString")
        if text is None:
            return
        if "uninstall.exe" in text:
            self.registry.delete(WORM_UNINSTALL, "UninstallString")
        text = self.registry.get(RUN, "SMrhcjg7j0e38v")
        if text is not None and "rhcjg7j0e38v.exe" in text:
            self.registry.delete(RUN, "SMrhcjg7j0e38v")

    # Whether a value's DATA starts the file at PATH, on name boundaries:
    # "bare" for a bare command that holds its file name as a whole name,
    # when the file lies directly in a system folder; "path" for a command
    # (as written or expanded) whose program, as Windows resolves it, is the
    # file: the quoted text, or else each prefix ending at a blank or tab,
    # with ".exe" when it has no extension; None otherwise.
    def judge(self, data, path):
        file = ascii_lower(path)
        if "\\" not in file:
            return None
        folder, file_name = file.rsplit("\\", 1)
        whole_name = re.compile(r'(?:^|(?<=["\\ ]))' + re.escape(file_name) + r'(?=$|[" ])')
        text = ascii_lower(data)
        expanded = ascii_lower(self.expand(text))
        bare = "\\" not in text or text.startswith("\\")
        if bare and whole_name.search(text):
            return "bare" if folder in self.plan.system_folders else None
        for command in (text, expanded):
            if command.startswith('"'):
                candidates = [command[1:].split('"', 1)[0]]
            else:
                candidates = [command[:i] for i, c in enumerate(command) if c in " \t"] + [command]
            for candidate in candidates:
                has_extension = "." in candidate.rsplit("\\", 1)[-1]
                if candidate and (candidate if has_extension else candidate + ".exe") == file:
                    return "path"
        return None

    def remove_run_entries(self, key, path):
        lines = []
        # The registry hands out values sorted by name.
        for lowered_name, (name, _, data) in sorted(self.registry.values(key).items()):
            if self.judge(data, path) is not None:
                self.registry.delete(key, name)
                self.worm_value, self.worm_file = name, path
                lines.append("System Registry     %s removed" % FAMILY_NAME)
        return lines

    def clean_registry_and_hosts(self, detection):
        lines = []
        if self.hosts_present:
            self.hosts_present = False
            self.infected += 1
            self.removed += 1
            self.remove_uninstall_entries()
            lines.append("%s     %s removed" % (self.plan.hosts, HOSTS_NAME))
        # The remembered name only nominates: its value goes where it starts
        # this detection's file or the file it was remembered for.
        if self.worm_value:
            for key in (RUN, RUN_SERVICES, WORM_UNINSTALL):
                data = self.registry.get(key, self.worm_value)
                if data is None or all(self.judge(data, f) is None for f in (detection.path, self.worm_file)):
                    continue
                if self.registry.delete(key, self.worm_value):
                    lines.append("System Registry     %s removed" % detection.name)
        for key in (RUN, RUN_SERVICES):
            lines += self.remove_run_entries(key, detection.path)
        return lines

    def detect(self, detection):
        self.infected += 1
        lines = self.clean_registry_and_hosts(detection)
        if detection.phase == "memory":
            # The memory removal names the family, whose name ends in a blank.
            lines.append("System Memory    W32/Morvo.Worm  removed")
            name = FAMILY_NAME + " "
        else:
            name = detection.name
        if detection.outcome == "removed":
            self.removed += 1
            self.remove_uninstall_entries()
            lines.append("%s     %s removed" % (detection.path, name))
        else:
            lines.append("%s     %s Unable to remove" % (detection.path, name))
        return lines

    def statistics(self):
        lines = [" "] if self.infected else []
        return lines + ["Scanning statistics", "-" * 30,
                        "Total files scanned\t\t:  %d" % self.plan.scanned,
                        "Total files infected\t\t:  %d" % self.infected,
                        "Total files removed\t\t:  %d" % self.removed]


def scan_log(out_path):
    lines, inside = [], False
    with open(out_path, encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            line = line.rstrip("\n")
            if re.match(r"^\[[a-z-]+\]$", line):
                inside = line == "[scan]"
            elif inside and line.startswith("log: "):
                lines.append(line[len("log: "):])
    return lines


def detection_order(plan, log):
    """The planned detections in the order their outcome lines appear."""
    by_path = {d.path: d for d in plan.detections}
    order, ok = [], True
    for line in log:
        match = OUTCOME.match(line)
        if not match or match.group(1) in ("System Registry", plan.hosts):
            continue
        detection = by_path.get(match.group(1))
        if detection is None:
            ok = report(False, "the log reports a file that holds no sample: %r" % line)
        elif detection in order:
            ok = report(False, "the log reports %s twice" % detection.path)
        else:
            order.append(detection)
    missing = [d for d in plan.detections if d not in order]
    for d in missing:
        ok = report(False, "the log does not report %s" % d.path)
    if ok:
        report(True, "each of the %d samples is reported once" % len(order))
    return order + missing


def check_walk_order(order):
    memory = [i for i, d in enumerate(order) if d.phase == "memory"]
    walk = [d for d in order if d.phase == "walk"]
    report(all(i < len(memory) for i in memory), "the memory phase's finds come before the drive walk's")
    drives = [d.path[0].upper() for d in walk]
    report(drives == sorted(drives), "the drives are walked in order: " + "".join(sorted(set(drives))))
    # Depth first: everything below a folder in one piece, and the folder's
    # own files before anything in its subfolders.
    problems = []
    folders = set()
    for d in walk:
        parts = d.folder().split("\\")
        folders.update("\\".join(parts[:n]) + "\\" for n in range(1, len(parts)))
    for folder in sorted(folders):
        inside = [i for i, d in enumerate(walk) if d.folder().startswith(folder)]
        if inside and inside != list(range(inside[0], inside[-1] + 1)):
            problems.append("the walk left %s and came back" % folder)
        own = [i for i in inside if walk[i].folder() == folder]
        deeper = [i for i in inside if walk[i].folder() != folder]
        if own and deeper and max(own) > min(deeper):
            problems.append("a file of %s came after one of its subfolders" % folder)
    for problem in problems:
        report(False, problem)
    if not problems:
        report(True, "the drive walk's order is depth first, files before subfolders")


def compare_log(expected, actual):
    for i in range(max(len(expected), len(actual))):
        want = expected[i] if i < len(expected) else "(no line)"
        have = actual[i] if i < len(actual) else "(no line)"
        if want != have:
            report(False, "log line %d is %r, not %r (log of %d lines, %d expected)"
                   % (i + 1, have, want, len(actual), len(expected)))
            return
    report(True, "the log is the expected %d lines" % len(expected))


def compare_registry(expected, actual):
    missing, extra = sorted(expected - actual), sorted(actual - expected)
    for entry in missing:
        report(False, "the registry lost %s" % " | ".join(entry))
    for entry in extra:
        report(False, "the registry still (or newly) holds %s" % " | ".join(entry))
    if not missing and not extra:
        report(True, "the registry keys hold what the scan must leave (%d entries)" % len(expected))


def main(plan_path, out_path, before_path, after_path):
    plan = Plan(plan_path)
    registry = Registry(read_listing(before_path))
    log = scan_log(out_path)
    order = detection_order(plan, log)
    check_walk_order(order)
    machine = Machine(plan, registry)
    expected = []
    for detection in order:
        expected += machine.detect(detection)
    expected += machine.statistics()
    compare_log(expected, log)
    compare_registry(machine.registry.entries(), set(Registry(read_listing(after_path)).entries()))


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
