#!/usr/bin/env python3
"""Compares the decoder and its text form with GNU objdump (Intel syntax) on real i686
code: every instruction objdump decodes must have the same length, every direct call or
jump the same target, and every instruction up to SSE3 the same mnemonic. Instructions
beyond SSE3 are counted apart. Prints the agreement and the first disagreements.

    x86_check.py DUMP_PROGRAM [--report] FILE...

FILE is an object file or a PE image; with --report disagreements are only printed (the
benchmark over whole DLLs), otherwise any disagreement fails.

Spelling differences that are not disagreements:
- objdump writes prefixes as words before the mnemonic (rep, repz, lock, cs, data16, ...);
  the decoder keeps prefixes apart.
- objdump folds FWAIT (9B) and the x87 instruction after it into one (fstcw, fstp, ...);
  the decoder reads FWAIT as the instruction it is.
- objdump starts decoding again at each symbol, also at symbols inside data placed in a
  code section (.ctors, .dtors); where the linear decode is out of step with it there, the
  instruction is counted apart.
- objdump marks the operand size of a few system instructions in the mnemonic (lgdtd,
  sidtd, iretw, ...); the decoder does not.
"""
import re
import subprocess
import sys
import tempfile
from pathlib import Path

OBJDUMP = "i686-w64-mingw32-objdump"
OBJCOPY = "i686-w64-mingw32-objcopy"
LINE = re.compile(r"^\s*([0-9a-f]+):\t((?:[0-9a-f]{2} )+)\s*\t?(.*)$")
PREFIX_WORDS = {"lock", "rep", "repz", "repe", "repnz", "repne", "cs", "ds", "es", "ss", "fs", "gs", "data16",
                "data32", "addr16", "addr32", "bnd", "notrack", "xacquire", "xrelease"}
SIZE_MARKED = {"lgdtd": "lgdt", "lidtd": "lidt", "sgdtd": "sgdt", "sidtd": "sidt", "iretw": "iret",
               "pushaw": "pusha", "popaw": "popa", "pushfw": "pushf", "popfw": "popf", "retw": "ret"}


def code_sections(path):
    out = subprocess.run([OBJDUMP, "-h", "-w", path], capture_output=True, text=True, check=True).stdout
    sections = []
    for line in out.splitlines():
        parts = line.split()
        if "CODE" in line and len(parts) > 4:
            sections.append((parts[1], int(parts[3], 16)))  # name, VMA
    return sections


def objdump(path, section):
    raw = subprocess.run([OBJDUMP, "-d", "-w", "-M", "intel", "-j", section, path], capture_output=True,
                         text=True, check=True).stdout
    result = []
    for line in raw.splitlines():
        m = LINE.match(line)
        if m:
            result.append((int(m.group(1), 16), len(m.group(2).split()), m.group(3).strip()))
    return result


def mnemonic(text):
    words = text.replace(",", " ").split()
    while words and words[0] in PREFIX_WORDS:
        words.pop(0)
    return words[0] if words else ""


def main():
    dump = sys.argv[1]
    report = "--report" in sys.argv
    files = [f for f in sys.argv[2:] if f != "--report"]
    lengths = same = beyond = folded = out_of_step = 0
    problems = []
    for path in files:
        for section, vma in code_sections(path):
            with tempfile.TemporaryDirectory() as tmp:
                code = Path(tmp) / "text.bin"
                subprocess.run([OBJCOPY, "-O", "binary", "--only-section=" + section, path, str(code)], check=True)
                ours = {}
                out = subprocess.run([dump, str(code), "%x" % vma], capture_output=True, text=True,
                                     check=True).stdout
                for line in out.splitlines():
                    head, _, text = line.partition("\t")
                    parts = head.split()
                    if parts[1] != "bad":
                        ours[int(parts[0], 16)] = (int(parts[1]), parts[2], int(parts[3], 16), text)
            for address, length, text in objdump(path, section):
                if "(bad)" in text or text.startswith(".byte") or not text:
                    continue
                mine = ours.get(address)
                where = f"{Path(path).name} {section} {address:x} {text}"
                if mine is None:
                    # objdump starts again at a symbol inside data (.ctors, .dtors in .text);
                    # the linear decode is a few bytes out of step there.
                    out_of_step += 1
                    continue
                theirs = mnemonic(text)
                if mine[3] == "fwait" and length > 1:
                    folded += 1
                    continue
                lengths += 1
                if mine[0] != length:
                    problems.append(f"{where}: length {mine[0]}, objdump {length}")
                    continue
                direct = re.match(r"(call|j\w+|loop\w*)\s+(?:0x)?([0-9a-f]+)", text)
                if direct and "PTR" not in text and mine[1] != "-" and mine[2] != int(direct.group(2), 16):
                    problems.append(f"{where}: target {mine[2]:x}")
                if mine[3].startswith("+"):
                    beyond += 1
                    continue
                if SIZE_MARKED.get(theirs, theirs) == mnemonic(mine[3]):
                    same += 1
                else:
                    problems.append(f"{where}: mnemonic '{mine[3]}'")
    compared = lengths - beyond
    print(f"{lengths} instructions compared with objdump: lengths and targets {lengths - sum('length' in p or 'target' in p for p in problems)}"
          f" agree; mnemonics up to SSE3 {same} of {compared} agree"
          f" ({100.0 * same / max(compared, 1):.3f} %); {beyond} beyond SSE3 counted apart;"
          f" {folded} FWAIT forms folded by objdump; {out_of_step} where objdump restarts inside data")
    for p in problems[:25]:
        print("  " + p)
    if problems and not report:
        print(f"{len(problems)} disagreements")
        sys.exit(1)


if __name__ == "__main__":
    main()
