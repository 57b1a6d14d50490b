#!/usr/bin/env python3
"""Checks that every project include points in an allowed direction.

The rules are the tables "Allowed directions" and "Exceptions" of docs/architecture.md: a
file of folder F may include files of F itself and of every folder that F may include,
directly or through the folders those may include. A `testing/` folder belongs to the folder
it is in. Includes in angle brackets (system and library headers) are not checked.

    check_includes.py [REPOSITORY]

Prints each include that breaks the rules and exits with 1 when there is one.
"""

import os
import re
import sys

SOURCE_SUFFIXES = (".cpp", ".h", ".c", ".inc")
SKIPPED_TOP_FOLDERS = {"build", ".git"}


def table_rows(text, heading):
    """The rows of the first table after `heading`, as lists of cell texts."""
    start = text.index(heading)
    rows = []
    for line in text[start:].splitlines()[1:]:
        if line.startswith("|"):
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            if not set("".join(cells)) <= set("- "):
                rows.append(cells)
        elif rows:
            break
    return rows[1:]  # without the header row


def folders_in(cell):
    return [f.strip().strip("`") for f in cell.split(",") if f.strip()]


def read_rules(repo):
    text = open(os.path.join(repo, "docs", "architecture.md"), encoding="utf-8").read()
    direct = {}
    for cells in table_rows(text, "## Allowed directions"):
        direct[cells[0].strip("`")] = folders_in(cells[1]) if len(cells) > 1 else []
    exceptions = {}
    for cells in table_rows(text, "Exceptions, each for one reason"):
        exceptions[cells[0].strip("`")] = folders_in(cells[1])
    for folder, targets in direct.items():
        for target in targets:
            if target not in direct:
                raise SystemExit(f"docs/architecture.md: {folder} may include {target}, which has no row")
    return direct, exceptions


def cycle_in(direct):
    """A cycle of the table as a list of folders, or None: the directions must point down."""
    state = {}

    def visit(folder, path):
        state[folder] = "open"
        for target in direct[folder]:
            if state.get(target) == "open":
                return path[path.index(target):] + [target]
            if target not in state:
                found = visit(target, path + [target])
                if found:
                    return found
        state[folder] = "done"
        return None

    for folder in direct:
        if folder not in state:
            found = visit(folder, [folder])
            if found:
                return found
    return None


def reachable(direct):
    """Every folder's allowed folders: itself and the closure of its direct ones."""
    allowed = {}
    for folder in direct:
        seen, todo = {folder}, [folder]
        while todo:
            for target in direct[todo.pop()]:
                if target not in seen:
                    seen.add(target)
                    todo.append(target)
        allowed[folder] = seen
    return allowed


def folder_of(path, folders):
    """The most specific folder of the rules that holds `path`, or None."""
    best = None
    for folder in folders:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def main():
    repo = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    direct, exceptions = read_rules(repo)
    cycle = cycle_in(direct)
    if cycle:
        print("docs/architecture.md: the directions form a cycle: " + " -> ".join(cycle))
        return 1
    allowed = reachable(direct)
    include = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
    faults = []
    for root, dirs, files in os.walk(repo):
        rel_root = os.path.relpath(root, repo).replace(os.sep, "/")
        if rel_root == ".":
            dirs[:] = [d for d in dirs if d not in SKIPPED_TOP_FOLDERS]
            continue
        for name in sorted(files):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            path = f"{rel_root}/{name}"
            source = folder_of(path, direct)
            if source is None:
                faults.append(f"{path}: lies in no folder of docs/architecture.md")
                continue
            with open(os.path.join(root, name), encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = include.match(line)
                    if not m:
                        continue
                    target = m.group(1)
                    if not os.path.exists(os.path.join(repo, target)):
                        faults.append(f"{path}:{number}: {target} is not a path from the repository's root")
                        continue
                    target_folder = folder_of(target, direct)
                    permitted = allowed[source] | set(exceptions.get(path, []))
                    if target_folder not in permitted:
                        faults.append(f"{path}:{number}: {source} may not include {target_folder} ({target})")
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) against the directions of docs/architecture.md")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
