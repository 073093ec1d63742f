#!/usr/bin/env python3
"""Turns the output of `reg query KEY /s` (several queries may follow each
other) into sorted lines that two listings can be compared by:

    KEY<TAB><TAB><TAB>                 every key that exists
    KEY<TAB>NAME<TAB>TYPE<TAB>DATA     every value

Key paths are kept as reg prints them. Reads standard input, writes standard
output; `read_listing` parses such a listing back for other scripts.
"""
import re
import sys

VALUE = re.compile(r"^    (.*?)    (REG_[A-Z_0-9]+)(?:    (.*))?$")


def parse_reg_query(text):
    lines, key = set(), None
    for raw in text.splitlines():
        line = raw.rstrip("\r")
        if not line.strip():
            continue
        if not line.startswith(" "):
            key = line
            lines.add((key, "", "", ""))
            continue
        match = VALUE.match(line)
        if key is None or not match:
            raise ValueError("unexpected line in reg output: %r" % line)
        lines.add((key, match.group(1), match.group(2), match.group(3) or ""))
    return sorted(lines)


def read_listing(path):
    """The (key, name, type, data) tuples of a listing file."""
    entries = []
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            entries.append(tuple(line.rstrip("\n").split("\t", 3)))
    return entries


def main():
    text = sys.stdin.buffer.read().decode("utf-8", "surrogateescape")
    out = sys.stdout.buffer
    for entry in parse_reg_query(text):
        out.write(("\t".join(entry) + "\n").encode("utf-8", "surrogateescape"))


if __name__ == "__main__":
    main()
