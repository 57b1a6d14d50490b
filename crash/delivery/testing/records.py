"""What the test servers received, written for the Windows-side tests to read: RESULTS/N/ per
request (N counts from 1 across all servers), with the file "manifest" of one line per item,
every value in hexadecimal UTF-8 so that nothing needs quoting, and each file's bytes as
RESULTS/N/<index>. The manifest is written last, through a rename."""
import os
import threading

def hexed(text):
    return text.encode("utf-8", "surrogateescape").hex()


def raw(text):
    """A header value as the bytes that were sent (the parser keeps them as surrogates)."""
    return text.encode("ascii", "surrogateescape")


counter = 0
counter_lock = threading.Lock()


def write_record(results, lines, files):
    """One request into RESULTS/N/: the manifest's lines and the files (field, name bytes, data)."""
    global counter
    with counter_lock:
        counter += 1
        folder = os.path.join(results, str(counter))
    os.makedirs(folder)
    for index, (field, name, data) in enumerate(files, 1):
        with open(os.path.join(folder, str(index)), "wb") as f:
            f.write(data)
        lines.append(f"file\t{hexed(field)}\t{name.hex()}\t{index}")
    with open(os.path.join(folder, "manifest.new"), "w") as f:
        f.write("\n".join(lines) + "\n")
    os.rename(os.path.join(folder, "manifest.new"), os.path.join(folder, "manifest"))
