#!/bin/bash
# Archives the tests made, opened by three independent readers: Python's zipfile (its test of
# every entry, and every entry byte for byte against the file it was made from), Info-ZIP's
# unzip and libarchive's bsdtar (its verbose listing), each finding every name as it was
# written (UTF-8).
#
#   zip_readers.sh FOLDER...    each FOLDER holds archive.zip and, in files/, what went into
#                               it under the entries' names
set -euo pipefail
export LC_ALL=C.UTF-8
for folder in "$@"; do
    archive=$folder/archive.zip
    [ -f "$archive" ] || { echo "no archive in $folder"; exit 1; }
    python3 - "$archive" "$folder/files" <<'PY'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    assert bad is None, f"zipfile: {bad} is damaged"
    names, files = sorted(z.namelist()), sorted(os.listdir(sys.argv[2]))
    assert names == files, f"zipfile: the entries {names} are not the files {files}"
    for name in names:
        with open(os.path.join(sys.argv[2], name), "rb") as f:
            assert z.read(name) == f.read(), f"zipfile: {name} differs from its file"
print(f"zipfile: {len(names)} entries as their files")
PY
    # Each reader's output is taken whole before it is searched: with pipefail, a grep -q that
    # stops at its first match would fail the pipeline through the reader's broken pipe.
    tested=$(unzip -t "$archive")
    echo "$tested"
    grep -q "No errors detected" <<<"$tested"
    unzipped=$(unzip -Z1 "$archive")
    listing=$(bsdtar -tvf "$archive")
    echo "$listing"
    for file in "$folder"/files/*; do
        name=$(basename "$file")
        grep -qxF "$name" <<<"$unzipped" || { echo "unzip: no entry $name"; exit 1; }
        found=0
        while IFS= read -r line; do
            [[ "$line" == *" $name" ]] && found=1
        done <<<"$listing"
        [ $found = 1 ] || { echo "bsdtar: no entry $name"; exit 1; }
    done
    echo "unzip and bsdtar: every entry of $archive under its name"
done
