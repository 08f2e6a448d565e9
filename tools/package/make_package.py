#!/usr/bin/env python3
"""Makes the release package kvzkit-<version>.zip from the built files.

  make_package.py --version V --source KIT_DIR --handheld-dll pdaKVZ.dll
                  --desktop-exe kvz_unpack.exe --strip STRIP -o kvzkit-V.zip

The ZIP holds one folder kvzkit-V/ with handheld/ (pdaKVZ.dll,
sound_config.txt, INSTALL.txt), desktop/ (kvz_unpack.exe, KVZ_UNPACK.txt),
LIESMICH.txt and README.txt (the same text, German or English first) and
SHA256SUMS of every other file. The texts get V for @KVZ_VERSION@. The
package's kvz_unpack.exe is a stripped copy; the build keeps its debug data.

The same inputs give the same bytes on every machine: entries in sorted
order, stored (deflate's output depends on the zlib build), dated
SOURCE_DATE_EPOCH (default: the last commit of KIT_DIR; clamped to the
years ZIP can hold), mode 0644 for files and 0755 for folders, no extra
fields; the stripped PE header carries no time. The ZIP is written beside
the output and renamed into place: a failure leaves no file behind.
Exits 0 on success, 1 on failure, 2 on bad arguments.
"""
import argparse
import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import time
import zlib

TOKEN = b"@KVZ_VERSION@"
DOS_EPOCH = 315532800  # 1980-01-01 00:00:00 UTC, the first time ZIP can hold
DOS_LAST = 4354819198  # 2107-12-31 23:59:58 UTC, the last
FILE_MODE = 0o100644
FOLDER_MODE = 0o040755
MSDOS_FOLDER = 0x10
VERSION_MADE_BY = (3 << 8) | 30  # Unix, ZIP 3.0
VERSION_NEEDED = 10  # stored entries


class PackageError(Exception):
    pass


# ---- What goes in ----


def with_version(data, version, name):
    if b"\r\n" not in data:
        raise PackageError("%s has no CR LF line ends" % name)
    return data.replace(TOKEN, version.encode("ascii"))


def english_first(text):
    """README.txt from LIESMICH.txt: the title block stays on top, the
    English part that follows the "English" heading comes first, then a
    "Deutsch" heading and the German part."""
    lines = text.split(b"\r\n")
    heading = next((i for i in range(len(lines) - 1)
                    if lines[i] == b"English" and set(lines[i + 1]) == {ord("-")}), None)
    title_end = lines.index(b"") if b"" in lines else None
    if heading is None or title_end is None or title_end >= heading:
        raise PackageError("LIESMICH.txt needs a title, the German text, then an \"English\""
                           " heading underlined with dashes and the English text")

    def trimmed(part):
        while part and part[0] == b"":
            part = part[1:]
        while part and part[-1] == b"":
            part = part[:-1]
        return part

    german = trimmed(lines[title_end:heading])
    english = trimmed(lines[heading + 2:])
    out = lines[:title_end] + [b""] + english + [b"", b"Deutsch", b"-------"] + german + [b""]
    return b"\r\n".join(out)


def pe_checksum(data, field):
    total = 0
    for i in range(0, len(data) - 1, 2):
        if field <= i < field + 4:
            continue
        total += data[i] | data[i + 1] << 8
        total = (total & 0xFFFF) + (total >> 16)
    if len(data) % 2:
        total += data[-1]
        total = (total & 0xFFFF) + (total >> 16)
    return (total & 0xFFFF) + len(data)


def stripped(strip, exe, scratch):
    """A copy of exe without symbols and debug sections, its PE header's
    time cleared (strip writes the current one) and checksum made right."""
    out = os.path.join(scratch, os.path.basename(exe))
    r = subprocess.run([strip, "--strip-all", "-o", out, exe], capture_output=True, text=True)
    if r.returncode != 0:
        raise PackageError("%s failed on %s: %s" % (strip, exe, r.stderr.strip()))
    with open(out, "rb") as f:
        data = bytearray(f.read())
    pe = struct.unpack_from("<I", data, 0x3C)[0] if len(data) >= 0x40 else 0
    if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
        raise PackageError("%s is not a PE file" % exe)
    struct.pack_into("<I", data, pe + 8, 0)  # TimeDateStamp
    checksum = pe + 24 + 64
    if struct.unpack_from("<I", data, checksum)[0]:
        struct.pack_into("<I", data, checksum, pe_checksum(data, checksum))
    return bytes(data)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as e:
        raise PackageError("cannot read %s: %s" % (path, e.strerror))


def package_files(a, scratch):
    """{path inside the top folder: bytes}, SHA256SUMS included."""
    v = a.version
    liesmich = with_version(read(os.path.join(a.source, "tools/package/LIESMICH.txt")), v,
                            "LIESMICH.txt")
    files = {
        "handheld/pdaKVZ.dll": read(a.handheld_dll),
        "handheld/sound_config.txt": with_version(
            read(os.path.join(a.source, "proxy/sound_config.txt")), v, "sound_config.txt"),
        "handheld/INSTALL.txt": with_version(
            read(os.path.join(a.source, "proxy/INSTALL.txt")), v, "INSTALL.txt"),
        "desktop/kvz_unpack.exe": stripped(a.strip, a.desktop_exe, scratch),
        "desktop/KVZ_UNPACK.txt": with_version(
            read(os.path.join(a.source, "unpack/KVZ_UNPACK.txt")), v, "KVZ_UNPACK.txt"),
        "LIESMICH.txt": liesmich,
        "README.txt": english_first(liesmich),
    }
    sums = "".join("%s  %s\n" % (hashlib.sha256(files[p]).hexdigest(), p) for p in sorted(files))
    files["SHA256SUMS"] = sums.encode("ascii")
    return files


# ---- The ZIP ----


def source_date_epoch(source):
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if value is None:
        r = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                           capture_output=True, text=True)
        value = r.stdout.strip() if r.returncode == 0 else str(DOS_EPOCH)
    if not value.isdigit():
        raise PackageError("SOURCE_DATE_EPOCH=%r is not a number of seconds" % value)
    return int(value)


def dos_time(epoch):
    t = time.gmtime(min(max(epoch, DOS_EPOCH), DOS_LAST))
    return ((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec // 2),
            ((t.tm_year - 1980) << 9) | (t.tm_mon << 5) | t.tm_mday)


def zip_bytes(entries, epoch):
    """entries: [(name, bytes or None for a folder)], written in this order."""
    clock, date = dos_time(epoch)
    body, directory = bytearray(), bytearray()
    for name, data in entries:
        raw = name.encode("ascii")
        content = data or b""
        crc = zlib.crc32(content) & 0xFFFFFFFF
        common = struct.pack("<HHHHIII", 0, 0, clock, date, crc, len(content), len(content))
        attributes = (FILE_MODE << 16) if data is not None else (FOLDER_MODE << 16) | MSDOS_FOLDER
        directory += struct.pack("<IHH", 0x02014B50, VERSION_MADE_BY, VERSION_NEEDED) + common
        directory += struct.pack("<HHHHHII", len(raw), 0, 0, 0, 0, attributes, len(body)) + raw
        body += struct.pack("<IH", 0x04034B50, VERSION_NEEDED) + common
        body += struct.pack("<HH", len(raw), 0) + raw + content
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(directory),
                      len(body), 0)
    return bytes(body + directory + end)


def archive_entries(top, files):
    folders = {top + "/"}
    for path in files:
        parts = path.split("/")[:-1]
        for i in range(len(parts)):
            folders.add("%s/%s/" % (top, "/".join(parts[:i + 1])))
    entries = [(f, None) for f in folders] + [("%s/%s" % (top, p), d) for p, d in files.items()]
    return sorted(entries, key=lambda e: e[0])


def write_atomically(path, data):
    tmp = path + ".tmp"
    try:
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, path)
    except OSError as e:
        if os.path.exists(tmp):
            os.remove(tmp)
        raise PackageError("cannot write %s: %s" % (path, e.strerror))


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--version", required=True)
    p.add_argument("--source", required=True, help="the kit's source folder")
    p.add_argument("--handheld-dll", required=True)
    p.add_argument("--desktop-exe", required=True)
    p.add_argument("--strip", required=True, help="the desktop toolchain's strip")
    p.add_argument("-o", dest="out", required=True)
    a = p.parse_args()
    expected = "kvzkit-%s.zip" % a.version
    if os.path.basename(a.out) != expected:
        print("make_package.py: the package must be named %s" % expected, file=sys.stderr)
        return 2
    try:
        if os.path.exists(a.out):
            os.remove(a.out)
        with tempfile.TemporaryDirectory() as scratch:
            files = package_files(a, scratch)
        entries = archive_entries(expected[:-len(".zip")], files)
        write_atomically(a.out, zip_bytes(entries, source_date_epoch(a.source)))
    except PackageError as e:
        print("make_package.py: %s" % e, file=sys.stderr)
        return 1
    print("%s: %d files" % (a.out, len(files)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
