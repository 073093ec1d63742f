#!/usr/bin/python3
"""Fails when a program imports a DLL or a function that the list does not allow.

    check-imports.py ALLOWED-LIST PROGRAM

The list names, one per line, a DLL, a function of it, and after a '#' the
oldest Windows of each line that exports it. The Windows 95/98 and NT 4
loaders refuse a program that imports a function they lack, so every newer
function is looked up at run time (GetProcAddress) instead; this check is
the only thing that sees a slip, as Wine exports everything under every
personality. Delay-load imports count as imports; an import by ordinal is
never allowed (ordinals differ between versions of a DLL). The header's
system and subsystem versions must not ask for more than 4.0 either.
"""
import sys

import pefile


def read_allowed(path):
    allowed, errors = set(), []
    with open(path, encoding="utf-8") as lines:
        for number, line in enumerate(lines, 1):
            entry, _, comment = line.partition("#")
            fields = entry.split()
            if not fields:
                continue
            if len(fields) != 2 or not comment.strip():
                errors.append(f"{path}:{number}: want 'DLL function  # oldest Windows', not {line.strip()!r}")
                continue
            allowed.add((fields[0].lower(), fields[1]))
    return allowed, errors


def imports_of(image):
    image.parse_data_directories(directories=[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"],
    ])
    for table in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for entry in getattr(image, table, []):
            dll = entry.dll.decode("ascii", "replace").lower()
            for function in entry.imports:
                name = function.name.decode("ascii", "replace") if function.name else None
                yield dll, name, function.ordinal


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    list_path, program = sys.argv[1:]
    allowed, problems = read_allowed(list_path)
    image = pefile.PE(program, fast_load=True)
    header = image.OPTIONAL_HEADER
    for field in ("OperatingSystemVersion", "SubsystemVersion"):
        major = getattr(header, "Major" + field)
        minor = getattr(header, "Minor" + field)
        if (major, minor) > (4, 0):
            problems.append(f"{field} {major}.{minor}: the 95 and NT 4 loaders accept 4.0 at most")
    count = 0
    for dll, name, ordinal in imports_of(image):
        count += 1
        if name is None:
            problems.append(f"{dll} ordinal {ordinal}: import it by name")
        elif (dll, name) not in allowed:
            problems.append(f"{dll} {name}: not on the list")
    if count == 0:
        problems.append("no imports found: not the program's import table")
    for problem in problems:
        print(f"imports: {problem}")
    if problems:
        print(f"imports: {program}: {len(problems)} problem(s). A function that Windows 95 and NT 4"
              f" export goes on the list with the oldest Windows that has it; any other is looked"
              f" up at run time (GetProcAddress).")
        return 1
    print(f"imports: {program}: {count} functions, all on {list_path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
