"""Writes the structure files the universe tests read, field by field from the file's tables:

    plain.tlu   two areas joined by a see-through portal each way, three cells in a row along z;
                every index valid, missing ones stored as -1 (the tests re-encode it and expect
                these bytes back)
    odd.tlu     the same world with what older or damaged files hold: a 0 for an empty neighbour,
                neighbours past the spare (far past and just past), a mesh index past the list,
                a portal into no area

    make_structures.py OUT_DIR
"""

import os
import struct
import sys

NONE = -1


def i32(*values):
    return struct.pack("<%di" % len(values), *values)


def vec(x, y, z):
    return struct.pack("<3f", x, y, z)


def portal(neighbour, side, strength, low, high):
    centre = [(a + b) / 2 for a, b in zip(low, high)]
    half = [(b - a) / 2 for a, b in zip(low, high)]
    # The opening's quad on the plane z = low z.
    corners = [
        (low[0], low[1], low[2]),
        (high[0], low[1], low[2]),
        (high[0], high[1], low[2]),
        (low[0], high[1], low[2]),
    ]
    out = i32(neighbour, side, strength) + vec(*low) + vec(*high) + vec(*centre) + vec(*half)
    for c in corners:
        out += vec(*c)
    assert len(out) == 108
    return out


def area(low, high, centre, batches, second, shared, portals):
    out = vec(*low) + vec(*high) + vec(*centre)
    for lst in (batches, second, shared):
        out += i32(len(lst)) + i32(*lst)
    out += i32(len(portals)) + b"".join(portals)
    return out


def triangle(base, value):
    corners = [base + k * 0.5 for k in range(9)]
    return struct.pack("<9f", *corners) + i32(value)


def cell(z, neighbours, triangles):
    return vec(0, 0, z) + vec(50, 50, 50) + i32(*neighbours) + i32(len(triangles)) + b"".join(triangles)


def world(odd):
    # Meshes 0 .. 3 stand in the tests' textureMeshes list.
    way_in = portal(1, 1, 1, (-50, -50, 50), (50, 50, 50))
    way_back = portal(0, 0, 1, (-50, -50, 50), (50, 50, 50))
    nowhere = [portal(5, 4, 2, (0, 0, 0), (1, 1, 1))] if odd else []
    areas = [
        area((-100, -50, -150), (100, 50, 50), (0, 0, -50), [0, 1], [2], [], [way_in]),
        area((-100, -50, 50), (100, 50, 150), (0, 0, 100), [3, 7 if odd else NONE], [], [2],
             [way_back] + nowhere),
    ]
    cells = [
        cell(-100, [NONE, 1, NONE, NONE, NONE, NONE], [triangle(1.0, 7)]),
        cell(0, [0, 2, NONE, NONE, NONE, NONE], []),
        cell(100, [1, 0 if odd else NONE, 99 if odd else NONE, 3 if odd else NONE,
                   4 if odd else NONE, NONE],
             [triangle(2.0, 8), triangle(3.0, -2)]),
    ]
    header = i32(1000, 500, 1000, len(areas))
    return header + b"".join(areas) + i32(len(cells)) + b"".join(cells)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, odd in (("plain.tlu", False), ("odd.tlu", True)):
        with open(os.path.join(out, name), "wb") as f:
            f.write(world(odd))


if __name__ == "__main__":
    main()
