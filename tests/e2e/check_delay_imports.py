#!/usr/bin/env python3
"""Checks the delay-load imports of images linked with their symbols (the files given, and the
.exe and .dll files in the folders given; images without symbols or delay-load tables are
passed over): every function of every delay-load table starts out pointing at the code that
loads its DLL (never at 0, which the linker leaves where it dropped that code), and the DLLs
are system DLLs the program may import. Prints each image's DLLs with their number of
functions; fails when the first file given has no delay-load table."""

import os
import struct
import subprocess
import sys

ALLOWED = {"comdlg32.dll", "crypt32.dll", "iphlpapi.dll", "secur32.dll", "winhttp.dll"}


def check(image):
    """The image's delay-load tables: (tables found, all of them sound)."""
    data = open(image, "rb").read()
    sections = []
    lines = subprocess.run(["i686-w64-mingw32-objdump", "-h", image], capture_output=True, text=True,
                           check=True).stdout.splitlines()
    for line in lines:
        parts = line.split()
        if len(parts) >= 7 and parts[0].isdigit():
            sections.append((int(parts[3], 16), int(parts[2], 16), int(parts[5], 16), parts[1]))
    base = min(vma for vma, _, _, _ in sections) & ~0xFFFF

    def at(va, size):
        for vma, length, offset, _ in sections:
            if vma <= va and va + size <= vma + length:
                return data[offset + va - vma:offset + va - vma + size]
        return None

    def text(va):
        for vma, length, offset, _ in sections:
            if vma <= va < vma + length:
                return data[offset + va - vma:offset + length].split(b"\0")[0].decode(errors="replace")
        return ""

    def code(va):
        return any(vma <= va < vma + length and name == ".text" for vma, length, _, name in sections)

    symbols = subprocess.run(["i686-w64-mingw32-nm", image], capture_output=True, text=True,
                             check=True).stdout.splitlines()
    descriptors = [int(s.split()[0], 16) for s in symbols if "__DELAY_IMPORT_DESCRIPTOR_" in s]
    sound = True
    for d in descriptors:
        attributes, name, _, iat, names = struct.unpack("<5I", at(d, 20))
        rva = attributes & 1  # else the fields are addresses
        va = (lambda x: base + x) if rva else (lambda x: x)
        dll = text(va(name)).lower()
        count = bad = 0
        while True:
            entry = struct.unpack("<I", at(va(names) + 4 * count, 4))[0]
            if not entry:
                break
            slot = struct.unpack("<I", at(va(iat) + 4 * count, 4))[0]
            bad += not code(slot)
            count += 1
        print("%s: delay import %s, %d functions%s" % (
            os.path.basename(image), dll, count,
            ", %d not loadable (not listed in cmake/delay_imports.cmake)" % bad if bad else ""))
        sound = sound and not bad and dll in ALLOWED
    return bool(descriptors), sound


def main():
    images = []
    for given in sys.argv[1:]:
        if os.path.isdir(given):
            for folder, _, files in sorted(os.walk(given)):
                images += [os.path.join(folder, f) for f in sorted(files) if f.endswith((".exe", ".dll"))]
        else:
            images.append(given)
    status = 0
    for k, image in enumerate(images):
        try:
            found, sound = check(image)
        except subprocess.CalledProcessError:
            found, sound = False, True  # not an image this toolchain reads
        except (struct.error, TypeError):
            print("%s: a delay-load table that cannot be read" % image)
            found, sound = True, False
        if (k == 0 and not found) or not sound:
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
