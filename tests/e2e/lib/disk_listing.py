#!/usr/bin/env python3
"""Lists every entry below the given drive folders, one line each, sorted:

    C:\\path\\to\\file<TAB>file<TAB>SIZE<TAB>rw|ro<TAB>DOSATTRIB<TAB>SHA-256
    C:\\path\\to\\module<TAB>file<TAB>SIZE<TAB>rw|ro<TAB>DOSATTRIB<TAB>linked INODE MTIME-NS
    C:\\path\\to\\folder\\<TAB>dir<TAB>-<TAB>rw|ro<TAB>DOSATTRIB<TAB>-

A folder that is itself one of the given folders is listed only under its
own label (a prefix folder holding drive_c, say). Two listings of the same
folders, taken before and after a scan, can then be compared line by line:
a file whose bytes, size, read-only bit (the Unix write
bits, as Wine maps them) or hidden/system attributes (Wine's extended
attribute) changed gives a different line.

A file with more than one name is one of Wine's modules, shared by hard
link with the template prefix and every other prefix of the run (winebed);
it is nine tenths of a prefix's bytes, and hashing it twice a scenario cost
more than anything else the listing does. Its line holds its inode and
modification time instead of a digest: every write to it moves its
modification time, a file put in its place has another inode (and a single
name, so a digest), and its name, size and attributes are listed as for any
file. Only a program that wrote into a module and then set its time back
would go unseen.

    disk_listing.py LABEL=DIR [LABEL=DIR ...]
"""
import hashlib
import os
import stat
import sys


def dos_attributes(path):
    try:
        return os.getxattr(path, "user.DOSATTRIB", follow_symlinks=False).decode("ascii", "replace")
    except OSError:
        return "-"


def digest(path):
    sha = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            sha.update(block)
    return sha.hexdigest()


def entry_line(letter, root, path):
    relative = os.path.relpath(path, root)
    name = letter if relative == "." else letter + "\\" + relative.replace("/", "\\")
    info = os.lstat(path)
    writable = "rw" if info.st_mode & (stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH) else "ro"
    if stat.S_ISLNK(info.st_mode):
        return "\t".join([name, "link", "-", writable, "-", os.readlink(path)])
    if stat.S_ISDIR(info.st_mode):
        return "\t".join([name + "\\", "dir", "-", writable, dos_attributes(path), "-"])
    if info.st_nlink > 1:
        content = "linked %d %d" % (info.st_ino, info.st_mtime_ns)
    else:
        content = digest(path)
    return "\t".join([name, "file", str(info.st_size), writable, dos_attributes(path), content])


def main(arguments):
    if not arguments:
        sys.exit(__doc__)
    lines = []
    mappings = [mapping.partition("=")[::2] for mapping in arguments]
    roots = {os.path.realpath(root) for _, root in mappings}
    for letter, root in mappings:
        for folder, folders, files in os.walk(root):
            # A folder that is another mapping's root is listed under that one.
            folders[:] = [f for f in folders if os.path.realpath(os.path.join(folder, f)) not in roots]
            lines.append(entry_line(letter, root, folder))
            for name in files:
                lines.append(entry_line(letter, root, os.path.join(folder, name)))
            # Links to folders are listed, never followed.
            for name in [f for f in folders if os.path.islink(os.path.join(folder, f))]:
                lines.append(entry_line(letter, root, os.path.join(folder, name)))
    for line in sorted(lines):
        print(line)


if __name__ == "__main__":
    main(sys.argv[1:])
