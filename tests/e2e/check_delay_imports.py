#!/usr/bin/env python3
"""Checks the delay-load imports of an image linked with its symbols: every function of every
delay-load table starts out pointing at the code that loads its DLL (never at 0, which the
linker leaves where it dropped that code), and the DLLs are system DLLs the program may
import. Prints each DLL with its number of functions."""

import struct
import subprocess
import sys

ALLOWED = {"comdlg32.dll", "crypt32.dll", "iphlpapi.dll", "secur32.dll", "winhttp.dll"}


def main():
    image = sys.argv[1]
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
    status = 0 if descriptors else 1
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
        print("delay import: %s, %d functions%s" % (
            dll, count, ", %d not loadable (not listed in cmake/delay_imports.cmake)" % bad if bad else ""))
        if bad or dll not in ALLOWED:
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
