#!/usr/bin/python3
"""Reads the forge's samples with pefile, a PE reader that shares nothing
with the scanner, and fails when a sample is not what its record asks for.

    check-forge.py FORGE VARIANT-TABLE-CPP

For every record of the table (read from the C++ source, not from the
program): the inert sample, the stand-in of both widths and every near miss
must parse as PE files whose headers agree with themselves (the section table
where the optional header's size puts it, raw data inside the file, sections
contiguous in the image), have the record's size, and hold both patterns at
the entry point plus their displacements, as the loader would map them. The
stand-ins must import Sleep and ExitProcess from KERNEL32.dll and start in an
executable section. Needs Debian's python3-pefile (run with /usr/bin/python3).
"""
import os
import re
import subprocess
import sys
import tempfile

import pefile

PATTERN_LENGTH = 20
# What pefile says of every forged file: the padding is zeros, and the
# stand-in's code section is writable and executable.
EXPECTED_WARNINGS = ("Byte 0x00 makes up", "Both IMAGE_SCN_MEM_WRITE and IMAGE_SCN_MEM_EXECUTE")
# What is made of each record: its name here, the forge's arguments, the
# size against the record's, and the probe spoiled in one byte.
SAMPLES = [
    ("inert", ["inert", "N", "OUT"], 0, None),
    ("stand-in", ["standin", "N", "OUT"], 0, None),
    ("stand-in PE32", ["standin", "N", "OUT", "--pe32"], 0, None),
    ("near miss first-byte", ["nearmiss", "N", "first-byte", "OUT"], 0, 0),
    ("near miss second-byte", ["nearmiss", "N", "second-byte", "OUT"], 0, 1),
    ("near miss size-plus-one", ["nearmiss", "N", "size-plus-one", "OUT"], 1, None),
    ("near miss size-minus-one", ["nearmiss", "N", "size-minus-one", "OUT"], -1, None),
    ("near miss 21-sections", ["nearmiss", "N", "21-sections", "OUT"], 0, None),
]

RECORD = re.compile(
    r'\{"(?P<name>[^"]+)",\s*'
    r'\{(?P<d1>-?0x[0-9A-F]+), \{(?P<p1>[^}]*)\}, 0\},\s*'
    r'\{(?P<d2>-?0x[0-9A-F]+), \{(?P<p2>[^}]*)\}, 0\},\s*'
    r'(?P<size>0x[0-9A-F]+)u, kSizeExact\}')


def read_records(path):
    with open(path, encoding="ascii") as source:
        text = source.read()
    records = []
    for match in RECORD.finditer(text):
        records.append(dict(
            name=match["name"], size=int(match["size"], 16),
            probes=[(int(match[d], 16), bytes(int(b, 16) for b in match[p].split(",")))
                    for d, p in (("d1", "p1"), ("d2", "p2"))]))
    return records


class Sample:
    def __init__(self, path):
        with open(path, "rb") as stream:
            self.data = stream.read()
        self.pe = pefile.PE(data=self.data, fast_load=True)
        self.pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
        self.problems = []

    def expect(self, condition, what):
        if not condition:
            self.problems.append(what)

    def bytes_at(self, address):
        try:
            offset = self.pe.get_offset_from_rva(address & 0xFFFFFFFF)
        except pefile.PEFormatError:
            return b""  # in no section's raw data
        return self.data[offset:offset + PATTERN_LENGTH]


def check_headers(sample, many_sections):
    pe = sample.pe
    sample.expect(pe.FILE_HEADER.SizeOfOptionalHeader == 224, "an optional header of %d bytes, not 224"
                  % pe.FILE_HEADER.SizeOfOptionalHeader)
    count = pe.FILE_HEADER.NumberOfSections
    sample.expect(count == 21 if many_sections else 1 <= count <= 20, "%d sections" % count)
    sample.expect(len(pe.sections) == pe.FILE_HEADER.NumberOfSections, "pefile read %d section headers"
                  % len(pe.sections))
    others = [w for w in pe.get_warnings() if not any(e in w for e in EXPECTED_WARNINGS)]
    sample.expect(not others, "pefile warns: %s" % others)
    alignment = pe.OPTIONAL_HEADER.SectionAlignment
    expected_address = None
    for section in pe.sections:
        end = section.PointerToRawData + section.SizeOfRawData
        sample.expect(end <= len(sample.data), "a section's raw data ends at 0x%X, past the file" % end)
        sample.expect(not section.SizeOfRawData or section.PointerToRawData >= pe.OPTIONAL_HEADER.SizeOfHeaders,
                      "a section's raw data overlaps the headers")
        if expected_address is not None:
            sample.expect(section.VirtualAddress == expected_address,
                          "a gap or overlap in the image at 0x%X" % section.VirtualAddress)
        expected_address = section.VirtualAddress + \
            (section.Misc_VirtualSize + alignment - 1) // alignment * alignment
    if pe.sections:
        sample.expect(pe.OPTIONAL_HEADER.SizeOfImage == expected_address,
                      "SizeOfImage 0x%X, the sections end at 0x%X"
                      % (pe.OPTIONAL_HEADER.SizeOfImage, expected_address))


def check_probes(sample, record, spoiled=None):
    entry = sample.pe.OPTIONAL_HEADER.AddressOfEntryPoint
    for index, (displacement, pattern) in enumerate(record["probes"]):
        found = sample.bytes_at(entry + displacement)
        if index == spoiled:
            differing = sum(a != b for a, b in zip(found, pattern))
            sample.expect(len(found) == PATTERN_LENGTH and differing == 1,
                          "probe %d differs in %d bytes, not 1" % (index + 1, differing))
        else:
            sample.expect(found == pattern, "probe %d: %s, not %s" % (index + 1, found.hex(), pattern.hex()))


def check_stand_in(sample, pe32):
    pe = sample.pe
    sample.expect(pe.OPTIONAL_HEADER.Magic == (0x10B if pe32 else 0x20B), "magic 0x%X" % pe.OPTIONAL_HEADER.Magic)
    sample.expect(pe.FILE_HEADER.Machine == (0x14C if pe32 else 0x8664), "machine 0x%X" % pe.FILE_HEADER.Machine)
    sample.expect(pe.OPTIONAL_HEADER.Subsystem == 3, "subsystem %d, not console" % pe.OPTIONAL_HEADER.Subsystem)
    imports = [(entry.dll.decode(), [i.name.decode() for i in entry.imports])
               for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    sample.expect(imports == [("KERNEL32.dll", ["Sleep", "ExitProcess"])], "imports %s" % imports)
    entry = pe.OPTIONAL_HEADER.AddressOfEntryPoint
    section = pe.get_section_by_rva(entry)
    sample.expect(section is not None and section.Characteristics & 0x20000000,
                  "the entry point 0x%X is not in an executable section" % entry)


def main():
    forge, table = sys.argv[1], sys.argv[2]
    records = read_records(table)
    if len(records) != 98:
        sys.exit("check-forge: read %d records from %s, not 98" % (len(records), table))
    failures = 0
    # The forge is built with ASan here: each start costs more than a sample,
    # so a record's samples come from one run, and its leak check at exit,
    # which stops the process and scans its memory, is off (the forge's code
    # is leak-checked by its unit tests).
    environment = dict(os.environ)
    environment["ASAN_OPTIONS"] = ":".join(filter(None, [environment.get("ASAN_OPTIONS"), "detect_leaks=0"]))
    with tempfile.TemporaryDirectory() as work:
        for number, record in enumerate(records, 1):
            paths = [os.path.join(work, "sample%d.exe" % index) for index in range(len(SAMPLES))]
            lines = [" ".join(path if a == "OUT" else str(number) if a == "N" else a for a in sample[1])
                     for path, sample in zip(paths, SAMPLES)]
            subprocess.run([forge, "each"], input="\n".join(lines) + "\n", text=True, check=True, env=environment)
            for path, (what, arguments, size_change, spoiled) in zip(paths, SAMPLES):
                try:
                    sample = Sample(path)
                except pefile.PEFormatError as error:
                    sample = None
                    problems = ["not a PE file: %s" % error]
                if sample:
                    size = record["size"] + size_change
                    sample.expect(len(sample.data) == size, "%d bytes, not %d" % (len(sample.data), size))
                    check_headers(sample, what == "near miss 21-sections")
                    check_probes(sample, record, spoiled)
                    if what.startswith("stand-in"):
                        check_stand_in(sample, what.endswith("PE32"))
                    problems = sample.problems
                for problem in problems:
                    print("record %d (%s), %s: %s" % (number, record["name"], what, problem))
                failures += len(problems)
    print("check-forge: %d records, %d samples each, %d problems" % (len(records), len(SAMPLES), failures))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
