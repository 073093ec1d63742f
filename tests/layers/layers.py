#!/usr/bin/env python3
"""The program's layers, read from cmake/layers.txt, the table that
CMakeLists.txt links the layers' libraries by.

    layers.py includes SOURCE_DIR  a layer's files include only the headers of
                                   its own folder and of the layers it uses,
                                   directly or through another; a tool's
                                   files include no test's header
    layers.py picture SOURCE_DIR   prints the README's picture of the layers
    layers.py readme SOURCE_DIR    the README shows the picture printed now

The includes carry types, constants and inline functions that no link sees;
the links are checked by each layer's link check as it builds.
"""
import pathlib
import re
import sys

MARKER = "<!-- The layers, printed by tests/layers/layers.py picture from cmake/layers.txt -->"


def read_table(root):
    """Each layer's folder and the layers it uses, lowest first."""
    uses = {}
    faults = []
    for number, line in enumerate((root / "cmake" / "layers.txt").read_text().splitlines(), 1):
        words = line.split("#", 1)[0].split()
        if not words:
            continue
        layer, used = words[0], words[1:]
        for below in used:
            if below not in uses:
                faults.append(f"cmake/layers.txt:{number}: {layer} uses {below}, "
                              "which is not a layer named above it")
        if not (root / layer).is_dir():
            faults.append(f"cmake/layers.txt:{number}: there is no folder {layer}")
        uses[layer] = used
    return uses, faults


def reached(uses, layer):
    seen = set()
    waiting = list(uses[layer])
    while waiting:
        below = waiting.pop()
        if below not in seen:
            seen.add(below)
            waiting.extend(uses.get(below, []))
    return seen


INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def includes(path):
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        match = INCLUDE.match(line)
        if match:
            yield number, match.group(1)


def check_includes(root, uses):
    faults = []
    for layer in uses:
        allowed = reached(uses, layer)
        for path in sorted((root / layer).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for number, target in includes(path):
                folder = target.split("/", 1)[0] if "/" in target else layer
                if folder != layer and folder not in allowed:
                    faults.append(f"{path.relative_to(root)}:{number}: {layer} includes {target}, "
                                  f"but uses only {', '.join(sorted(allowed)) or 'itself'}")
    for path in sorted((root / "tools").rglob("*")):
        if path.suffix in (".h", ".cpp"):
            for number, target in includes(path):
                if target.startswith("tests/"):
                    faults.append(f"{path.relative_to(root)}:{number}: a tool includes {target}, "
                                  "a test's header")
    return faults


def picture(uses):
    """Each layer, highest first, with the layers it uses that no other of its
    uses reaches (the links that others imply left out)."""
    lines = []
    width = max(len(layer) for layer in uses)
    for layer in reversed(list(uses)):
        direct = [below for below in uses[layer]
                  if not any(below in reached(uses, other) for other in uses[layer] if other != below)]
        text = f"    {layer:<{width}}" + (" -> " + ", ".join(direct) if direct else "")
        lines.append(text.rstrip())
    return lines


def readme_picture(root):
    lines = (root / "README.md").read_text().splitlines()
    if MARKER not in lines:
        return None
    start = lines.index(MARKER) + 2  # the marker, then the blank line before the block
    end = start
    while end < len(lines) and lines[end].startswith("    "):
        end += 1
    return lines[start:end]


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("includes", "picture", "readme"):
        sys.exit(__doc__)
    command, root = sys.argv[1], pathlib.Path(sys.argv[2])
    uses, faults = read_table(root)
    if command == "picture":
        print("\n".join(picture(uses)))
        return
    if not faults and command == "includes":
        faults = check_includes(root, uses)
        ok = "layers: every include stays inside what cmake/layers.txt lets its layer use"
    elif not faults:
        shown, printed = readme_picture(root), picture(uses)
        if shown != printed:
            faults.append("README.md: the picture of the layers is not the one that cmake/layers.txt "
                          "gives; print it with: python3 tests/layers/layers.py picture .\n"
                          + "\n".join(printed))
        ok = "layers: the README's picture is the table's"
    print("\n".join(faults) or ok)
    sys.exit(1 if faults else 0)


main()
