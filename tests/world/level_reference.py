"""A second reader of BSP level files ("IBSP" 46 and 47), independent of the engine's: the lump
directory, the record counts, and the checks a level must pass before the world uses it (every
range and index inside its array, the nodes a tree, the visibility rows inside their lump).
"""

import struct

LUMP_SIZES = {1: 72, 2: 16, 3: 36, 4: 48, 5: 4, 10: 44, 11: 4, 13: 104, 14: 49152}
READ_ORDER = [0, 2, 7, 3, 4, 5, 13, 11, 1, 10, 14, 16, 6, 8, 9]


def lumps(data):
    return [struct.unpack_from("<ii", data, 8 + 8 * i) for i in range(17)]


def records(data, lump, size, fmt):
    offset, length = lump
    return [struct.unpack_from(fmt, data, offset + i * size) for i in range(length // size)]


def read(data):
    """The level's records, or a text naming why it is refused."""
    if data[:4] != b"IBSP":
        return "magic"
    version = struct.unpack_from("<i", data, 4)[0]
    if version not in (46, 47):
        return "version"
    if len(data) < 144:
        return "lump"
    table = lumps(data)
    for i in READ_ORDER:
        offset, length = table[i]
        if offset < 0 or length < 0 or offset + length > len(data):
            return "lump"
    level = {"version": version}
    level["textures"] = records(data, table[1], 72, "<64sii")
    level["planes"] = records(data, table[2], 16, "<ffff")
    level["nodes"] = records(data, table[3], 36, "<iii6i")
    level["leaves"] = records(data, table[4], 48, "<12i")
    level["leaf_faces"] = [r[0] for r in records(data, table[5], 4, "<i")]
    level["vertices"] = records(data, table[10], 44, "<10f4B")
    level["mesh_indices"] = [r[0] for r in records(data, table[11], 4, "<i")]
    level["faces"] = records(data, table[13], 104, "<12i12f2i")
    level["lightmaps"] = table[14][1] // 49152
    offset, length = table[16]
    level["clusters"] = None
    if length >= 12:
        clusters, row = struct.unpack_from("<ii", data, offset)
        if clusters < 0 or row < 0 or row * 8 < clusters or clusters * row > length - 8:
            return "visibility"
        level["clusters"] = clusters
    return check(level) or level


def check(level):
    faces, vertices, indices = level["faces"], len(level["vertices"]), level["mesh_indices"]
    if len(faces) > 65536 or level["lightmaps"] > 1000:
        return "too many"
    for f in faces:
        texture, kind, first, count, first_index, index_count = f[0], f[2], f[3], f[4], f[5], f[6]
        if not 0 <= texture < len(level["textures"]):
            return "face"
        if kind in (1, 2, 3) and not (first >= 0 and count >= 0 and first + count <= vertices):
            return "face"
        if kind == 3:
            if count > 65536 or not (first_index >= 0 and index_count >= 0 and
                                     first_index + index_count <= len(indices)):
                return "face"
            if any(not 0 <= i < count for i in indices[first_index:first_index + index_count]):
                return "face"
    if any(not 0 <= f < len(faces) for f in level["leaf_faces"]):
        return "leaf"
    for leaf in level["leaves"]:
        first, count = leaf[8], leaf[9]
        if not (first >= 0 and count >= 0 and first + count <= len(level["leaf_faces"])):
            return "leaf"
        if level["clusters"] is not None and leaf[0] >= level["clusters"]:
            return "leaf"
    return check_nodes(level)


def check_nodes(level):
    nodes, leaves = level["nodes"], len(level["leaves"])
    for node in nodes:
        if not 0 <= node[0] < len(level["planes"]):
            return "node"
        for child in node[1:3]:
            if child >= len(nodes) or (child < 0 and -(child + 1) >= leaves):
                return "node"
    seen, pending = {0}, [0] if nodes else []
    while pending:
        for child in nodes[pending.pop()][1:3]:
            if child >= 0:
                if child in seen:
                    return "node"
                seen.add(child)
                pending.append(child)
    return None


def patches_built(level):
    """Patch faces the loader turns into grids: odd sizes of at least 3 matching the vertex count,
    and some row and some column whose pieces start and end at different points."""
    built = 0
    for f in level["faces"]:
        if f[2] != 2:
            continue
        w, h, first, count = f[24], f[25], f[3], f[4]
        if w < 3 or h < 3 or w % 2 == 0 or h % 2 == 0 or w * h != count:
            continue
        points = [level["vertices"][first + k][0:3] for k in range(count)]

        def curved(lines, length, at):
            return any(at(line, i) != at(line, i + 2)
                       for line in range(lines) for i in range(0, length - 2, 2))
        if curved(h, w, lambda r, i: points[r * w + i]) and \
                curved(w, h, lambda c, j: points[j * w + c]):
            built += 1
    return built


def manifest_row(name, data):
    level = read(data)
    if isinstance(level, str):
        return [name, "refused", level]
    return [name, str(level["version"]), str(len(level["faces"])), str(len(level["vertices"])),
            str(level["lightmaps"]), str(len(level["mesh_indices"])), str(len(level["textures"])),
            str(patches_built(level)), str(-1 if level["clusters"] is None else level["clusters"])]
