#!/usr/bin/env python3
"""Lists a zip archive, or a folder as an archive of it should hold it, one
sorted line per entry, so that the two listings can be compared:

    dir NAME/
    file NAME SIZE CRC32
    link NAME -> TARGET

  zip_tree.py zip ARCHIVE        every entry; exits 1 when a member's data
                                 does not match its CRC-32
  zip_tree.py tree FOLDER NAME   FOLDER (followed when it is a link) as the
                                 top entry NAME/; links inside stay links,
                                 but those of Contents/Resources/DWARF are
                                 the files they point to; FIFOs, sockets
                                 and devices are left out
"""
import os
import stat
import sys
import zipfile
import zlib


def zip_lines(path):
    lines = []
    with zipfile.ZipFile(path) as archive:
        bad = archive.testzip()
        if bad is not None:
            sys.exit("bad CRC-32 in " + bad)
        for info in archive.infolist():
            mode = info.external_attr >> 16
            if stat.S_ISLNK(mode):
                target = archive.read(info).decode("utf-8", "surrogateescape")
                lines.append("link %s -> %s" % (info.filename, target))
            elif info.is_dir():
                lines.append("dir %s" % info.filename)
            else:
                lines.append("file %s %d %08x" % (info.filename, info.file_size, info.CRC))
    return lines


def file_crc(path):
    crc = 0
    with open(path, "rb") as f:
        while True:
            block = f.read(1 << 20)
            if not block:
                return crc
            crc = zlib.crc32(block, crc)


def tree_lines(folder, name):
    lines = ["dir %s/" % name]
    top = os.path.realpath(folder)
    for here, dirs, files in os.walk(top):
        relative = os.path.relpath(here, top)
        prefix = name + "/" + ("" if relative == "." else relative + "/")
        for entry in sorted(dirs + files):
            path = os.path.join(here, entry)
            info = os.lstat(path)
            if stat.S_ISLNK(info.st_mode) and relative == "Contents/Resources/DWARF":
                info = os.stat(path)
            if stat.S_ISLNK(info.st_mode):
                lines.append("link %s%s -> %s" % (prefix, entry, os.readlink(path)))
            elif stat.S_ISDIR(info.st_mode):
                lines.append("dir %s%s/" % (prefix, entry))
            elif stat.S_ISREG(info.st_mode):
                lines.append("file %s%s %d %08x" % (prefix, entry, info.st_size, file_crc(path)))
    return lines


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "zip":
        lines = zip_lines(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "tree":
        lines = tree_lines(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
    sys.stdout.write("".join(line + "\n" for line in sorted(lines)))


main()
