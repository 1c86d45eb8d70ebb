"""Checks the reference encoders' vectors: Debian's unzip tests the shrink and implode members,
unreduce.py expands the reduce members, and each must give the original bytes.

    check_reference.py ARCHIVE_DIR
"""

import os
import subprocess
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from unreduce import raw_members, unreduce  # noqa: E402

UNZIP_TESTED = {
    "legacy-unzip.zip": [],  # every member
    "small.zip": ["shrunk.bin", "imploded.bin", "imploded-tree.bin"],
}
REDUCED = {
    "legacy-reduce.zip": lambda name: name,
    "small.zip": lambda name: "small.bin",
}


def main():
    folder = sys.argv[1]
    originals = os.path.join(folder, "src", "legacy")
    failed = checked = 0
    for archive, members in UNZIP_TESTED.items():
        unzip = subprocess.run(["unzip", "-t", os.path.join(folder, archive), *members],
                               capture_output=True, text=True)
        print(unzip.stdout.strip())
        checked += 1
        if unzip.returncode != 0 or "No errors detected" not in unzip.stdout:
            failed += 1
    for archive, original in REDUCED.items():
        for name, method, data, size, crc in raw_members(os.path.join(folder, archive)):
            if not 2 <= method <= 5:
                continue
            with open(os.path.join(originals, original(name)), "rb") as f:
                expected = f.read()
            try:
                out = unreduce(data, method - 1, size)
                ok = out == expected and zlib.crc32(out) == crc
            except (EOFError, ValueError, IndexError) as e:
                ok = False
                print(name, e)
            print(f"    unreduce: {archive}/{name:24} {'OK' if ok else 'FAILED'}")
            checked += 1
            failed += not ok
    print(f"{checked} reference vectors checked, {failed} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
