#!/usr/bin/env python3
"""Checks a debug-information container against the toolchain: every function that nm
lists (and the cold part of a function, known by its section only) must be found by its
address with its demangled name (one of the names at that
address, as the container keeps them: "::" written ".", at most 255 bytes), and every
address of the DWARF line table must give the line that objdump decodes for it (the last
row at an address counts; a row where its sequence ends covers no code), and every function outside the line table's sequences (the
libraries' code) must have no line. Prints the agreement; fails below 100 %."""

import bisect
import subprocess
import sys


def run(*args, stdin=None):
    return subprocess.run(args, input=stdin, capture_output=True, text=True, check=True).stdout


def kept_name(name):
    return name.replace("::", ".").encode()[:255].decode(errors="ignore").strip()


def spelled(name):
    """The name as either demangler spells the old string class."""
    return name.replace("std.basic_string<char, std.char_traits<char>, std.allocator<char> >", "std.string")


def main():
    builder, image, container = sys.argv[1:4]
    code = []
    headers = run("i686-w64-mingw32-objdump", "-h", image).splitlines()
    for k, line in enumerate(headers[:-1]):
        parts = line.split()
        if len(parts) >= 7 and parts[0].isdigit() and "CODE" in headers[k + 1]:
            code.append((int(parts[3], 16), int(parts[3], 16) + int(parts[2], 16)))

    def in_code(address):
        return any(start <= address < end for start, end in code)

    functions = {}
    cold = {}  # the cold parts of functions, known by their sections' symbols only
    for line in run("i686-w64-mingw32-nm", "-C", "-n", "--defined-only", image).splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3 and parts[1] in ("T", "t") and not parts[2].startswith("."):
            functions.setdefault(int(parts[0], 16), set()).add(kept_name(parts[2]))
        elif len(parts) == 3 and parts[2].startswith(".text.unlikely."):
            cold[int(parts[0], 16)] = parts[2][len(".text.unlikely."):] + ".cold"
    cold = {a: name for a, name in cold.items() if a not in functions and in_code(a)}
    names = run("i686-w64-mingw32-c++filt", "-n", stdin="".join(n + "\n" for n in cold.values())).splitlines()
    for a, name in zip(cold, names):
        functions[a] = {kept_name(name)}
    lines = {}
    sequences = []  # [first row, end) of each sequence of the line table
    first, rows = None, []
    for line in run("i686-w64-mingw32-objdump", "--dwarf=decodedline", image).splitlines():
        parts = line.split()
        if len(parts) >= 3 and parts[2].startswith("0x") and (parts[1].isdigit() or parts[1] == "-"):
            address = int(parts[2], 16)
            if parts[1] == "-":  # the end of a sequence
                if first is not None and in_code(first):  # rows of code the linker dropped lie at 0
                    sequences.append((first, address))
                    # A row at the sequence's end covers no code.
                    lines.update((a, n) for a, n in rows if a != address)
                first, rows = None, []
                continue
            first = address if first is None else first
            rows.append((address, int(parts[1])))
    sequences.sort()
    reach = []  # the farthest end of the sequences up to each one
    for _, end in sequences:
        reach.append(max(end, reach[-1]) if reach else end)

    def in_sequence(address):
        k = bisect.bisect_right(sequences, (address, float("inf"))) - 1
        return k >= 0 and address < reach[k]

    # A function outside every sequence (the libraries' code) has no line, whichever unit's
    # code it follows.
    for a in functions:
        if a not in lines and not in_sequence(a):
            lines[a] = 0
    addresses = sorted(set(functions) | set(lines))
    answers = {}
    request = "".join("%x\n" % a for a in addresses)
    for line in run(builder, "lookup", image, container, stdin=request).splitlines():
        address, number, name = (line.split(" ", 2) + [""])[:3]
        answers[int(address, 16)] = (int(number), name.strip())
    bad_functions = [a for a in functions if spelled(answers[a][1]) not in map(spelled, functions[a])]
    bad_lines = [a for a in lines if answers[a][0] != lines[a]]
    for a in bad_functions[:10]:
        print("function at %08x: %r, expected one of %r" % (a, answers[a][1], sorted(functions[a])[:3]))
    for a in bad_lines[:10]:
        print("line at %08x: %d, expected %d" % (a, answers[a][0], lines[a]))
    print("functions: %d of %d found with their names (%.2f %%)" % (
        len(functions) - len(bad_functions), len(functions),
        100.0 * (len(functions) - len(bad_functions)) / max(len(functions), 1)))
    print("line-table addresses: %d of %d with objdump's line (%.2f %%)" % (
        len(lines) - len(bad_lines), len(lines), 100.0 * (len(lines) - len(bad_lines)) / max(len(lines), 1)))
    return 1 if bad_functions or bad_lines or not functions or not lines else 0


if __name__ == "__main__":
    sys.exit(main())
