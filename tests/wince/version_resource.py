#!/usr/bin/python3
"""Reads the version resource of a PE file with pefile, not with the tools
that wrote it, and compares it with the project version.

  version_resource.py FILE VERSION ORIGINAL_FILE_NAME

Exits 0 when FILE carries VERSION as its file and product version, in the
fixed numbers and in the strings, the product name kvzkit, a description,
ORIGINAL_FILE_NAME and the file type of a DLL or a program; 1 with one line
per problem otherwise; 2 on bad input.
"""
import sys

import pefile

PRODUCT_NAME = "kvzkit"
VFT_APP, VFT_DLL = 1, 2


def version_numbers(version):
    """(MS, LS) words of "major.minor.patch[.build]"."""
    parts = [int(p) for p in version.split(".")]
    parts += [0] * (4 - len(parts))
    return parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]


def resource_strings(pe):
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update({k.decode(errors="replace"): v.decode(errors="replace")
                                for k, v in table.entries.items()})
    return strings


def version_problems(pe, version, original_name):
    """What is wrong with pe's version resource; empty when nothing is."""
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        return ["no version resource"]
    problems = []
    want = version_numbers(version)
    f = fixed[0]
    for what, got in (("file", (f.FileVersionMS, f.FileVersionLS)),
                      ("product", (f.ProductVersionMS, f.ProductVersionLS))):
        if got != want:
            problems.append("%s version %d.%d.%d.%d, not %s" % (
                what, got[0] >> 16, got[0] & 0xFFFF, got[1] >> 16, got[1] & 0xFFFF, version))
    file_type = VFT_DLL if pe.is_dll() else VFT_APP
    if f.FileType != file_type:
        problems.append("file type %d, not %d" % (f.FileType, file_type))
    strings = resource_strings(pe)
    for key, value in (("FileVersion", version), ("ProductVersion", version),
                       ("ProductName", PRODUCT_NAME), ("OriginalFilename", original_name)):
        if strings.get(key) != value:
            problems.append("%s %r, not %r" % (key, strings.get(key), value))
    if not strings.get("FileDescription"):
        problems.append("no FileDescription")
    return problems


def main():
    if len(sys.argv) != 4:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    path, version, original_name = sys.argv[1:]
    try:
        pe = pefile.PE(path)
    except (OSError, pefile.PEFormatError) as e:
        print("FAIL  %s: not a PE file: %s" % (path, e))
        return 1
    problems = version_problems(pe, version, original_name)
    for p in problems:
        print("FAIL  %s: version resource: %s" % (path, p))
    if not problems:
        print("ok    %s: version %s, %s" % (path, version, original_name))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
