#!/usr/bin/env python3
"""Compares the decoder with GNU objdump on real i686 code: every instruction objdump
decodes must have the same length, and every direct call or jump the same target.
Arguments: the decoder dump program, then object files compiled for i686."""
import re
import subprocess
import sys
import tempfile
from pathlib import Path

OBJDUMP = "i686-w64-mingw32-objdump"
OBJCOPY = "i686-w64-mingw32-objcopy"
LINE = re.compile(r"^\s*([0-9a-f]+):\t((?:[0-9a-f]{2} )+)\s*\t?(.*)$")


def code_sections(obj):
    """The names of the object's code sections (.text and the COMDAT .text$... ones)."""
    out = subprocess.run([OBJDUMP, "-h", "-w", obj], capture_output=True, text=True, check=True).stdout
    return [line.split()[1] for line in out.splitlines() if "CODE" in line and len(line.split()) > 1]


def objdump(obj, section):
    """(address, length, mnemonic text) per instruction of one section."""
    raw = subprocess.run([OBJDUMP, "-d", "-w", "-j", section, obj], capture_output=True, text=True,
                         check=True).stdout
    result = []
    for line in raw.splitlines():
        m = LINE.match(line)
        if m:
            result.append((int(m.group(1), 16), len(m.group(2).split()), m.group(3).strip()))
    return result


def main():
    dump = sys.argv[1]
    checked = 0
    for obj, section in ((o, s) for o in sys.argv[2:] for s in code_sections(o)):
        with tempfile.TemporaryDirectory() as tmp:
            code = Path(tmp) / "text.bin"
            subprocess.run([OBJCOPY, "-O", "binary", "--only-section=" + section, obj, str(code)], check=True)
            ours = {}
            for line in subprocess.run([dump, str(code), "0"], capture_output=True, text=True,
                                       check=True).stdout.splitlines():
                parts = line.split()
                if parts[1] != "bad":
                    ours[int(parts[0], 16)] = parts[1:]
        for address, length, text in objdump(obj, section):
            if "(bad)" in text or text.startswith(".byte"):
                continue
            mine = ours.get(address)
            assert mine is not None, f"{obj}: no instruction decoded at {address:x} ({text})"
            assert int(mine[0]) == length, f"{obj}: {address:x} {text}: length {mine[0]}, objdump {length}"
            direct = re.match(r"(call|j\w+|loop\w*)\s+([0-9a-f]+)", text)
            if direct and not text.startswith(("jmp   *", "call   *")):
                assert len(mine) == 3, f"{obj}: {address:x} {text}: not seen as a call or jump"
                assert int(mine[2], 16) == int(direct.group(2), 16), f"{obj}: {address:x} {text}: target {mine[2]}"
            checked += 1
    print(f"{checked} instructions compared with objdump")
    print(f"{checked} passed, 0 failed")


if __name__ == "__main__":
    main()
