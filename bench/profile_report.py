"""Names the samples of bench/sampler.h: the executable's addresses by function (addr2line), the
platform's modules by the nearest export at or below the offset (a rough guide: functions that
are not exported count under the export before them). Most samples first, each with its share.

Usage: profile_report.py SAMPLES EXECUTABLE
"""

import bisect
import collections
import os
import struct
import subprocess
import sys

PLATFORM_DLLS = "/usr/lib/i386-linux-gnu/wine/i386-windows"


def exports(path):
    """Sorted (rva, name) of a PE file's named exports; empty when it cannot be read."""
    try:
        with open(path, "rb") as f:
            data = f.read()
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        sections = struct.unpack_from("<H", data, pe + 6)[0]
        optional = struct.unpack_from("<H", data, pe + 20)[0]
        export_rva = struct.unpack_from("<I", data, pe + 24 + 96)[0]
        table = pe + 24 + optional
        spans = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]

        def at(rva):
            for size, address, _, raw in spans:
                if address <= rva < address + max(size, 1):
                    return rva - address + raw
            raise ValueError(rva)

        d = at(export_rva)
        count_names, functions, names, ordinals = struct.unpack_from("<IIII", data, d + 24)
        result = []
        for i in range(count_names):
            name_at = at(struct.unpack_from("<I", data, at(names) + 4 * i)[0])
            name = data[name_at:data.index(b"\0", name_at)].decode()
            ordinal = struct.unpack_from("<H", data, at(ordinals) + 2 * i)[0]
            result.append((struct.unpack_from("<I", data, at(functions) + 4 * ordinal)[0], name))
        return sorted(result)
    except (OSError, ValueError, struct.error):
        return []


def demangle(names):
    # The i686 symbols lose their leading underscore on the way out of addr2line; the cross
    # c++filt then expects one more, the host's takes them as they are.
    fixed = ["_" + n if n.startswith("Z") else n for n in names]
    try:
        out = subprocess.run(["c++filt"], input="\n".join(fixed), text=True,
                             capture_output=True).stdout.splitlines()
    except OSError:
        return fixed
    return out if len(out) == len(fixed) else fixed


def main(samples_path, executable):
    counts = collections.Counter()
    own = collections.Counter()
    table = {}
    with open(samples_path) as f:
        for line in f:
            count, rest = line.split(" ", 1)
            module, address = rest.rstrip("\n").rsplit(" ", 1)
            if module == "exe":
                own[address] += int(count)
                continue
            dll = module.replace("\\", "/").rsplit("/", 1)[-1]
            if dll not in table:
                table[dll] = exports(os.path.join(PLATFORM_DLLS, dll.lower()))
            entries = table[dll]
            i = bisect.bisect_right(entries, (int(address, 16), "\U0010ffff")) - 1
            counts[f"{dll}: {entries[i][1] if i >= 0 else '?'}"] += int(count)
    addresses = list(own)
    if addresses:
        lines = subprocess.run(["i686-w64-mingw32-addr2line", "-f", "-e", executable, *addresses],
                               capture_output=True, text=True, check=True).stdout.splitlines()
        for address, name in zip(addresses, demangle(lines[0::2])):
            counts["exe: " + name] += own[address]
    total = sum(counts.values()) or 1
    print(f"{total} samples")
    for name, count in counts.most_common():
        print(f"{100.0 * count / total:6.2f}%  {count:7d}  {name}")


if __name__ == "__main__":
    main(*sys.argv[1:3])
