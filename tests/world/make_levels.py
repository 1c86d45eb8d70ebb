"""Makes the levels the world tests load: a small synthetic level written record by record (six
polygons, a 3 x 3 patch and a mesh face over two lightmaps, three leaves and visibility rows),
its archive with a shader script and two pictures, and a folder that holds openarena's
pak1-maps.pk3, pak0.pk3 and pak4-textures.pk3 (where most of the maps' pictures are) side by
side, as links, with a manifest of every map as level_reference.py reads it.

    make_levels.py OUT_DIR
"""

import os
import struct
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import level_reference  # noqa: E402

BASEOA = "/usr/share/games/openarena/baseoa"
REAL = ["pak1-maps.pk3", "pak0.pk3", "pak4-textures.pk3"]

SHADER = b"""// the synthetic level's one shader
textures/test/shaded
{
    cull none
    {
        map $lightmap
    }
    {
        map textures/test/blue.tga
        blendfunc GL_DST_COLOR GL_ZERO
    }
}
"""


def tga(colour):
    """A 4 x 4 true-colour TGA of one (r, g, b) colour."""
    r, g, b = colour
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, 4, 4, 24, 0)
    return header + bytes([b, g, r]) * 16


def vertex(position, colour=(255, 255, 255, 255), uv=(0, 0), lm=(0, 0), normal=(0, 0, 1)):
    return struct.pack("<10f4B", *position, *uv, *lm, *normal, *colour)


def face(texture, kind, first, count, first_index=0, index_count=0, lightmap=-1, origin=(0, 0, 0),
         normal=(0, 0, 1), size=(0, 0)):
    return struct.pack("<12i12f2i", texture, -1, kind, first, count, first_index, index_count,
                       lightmap, 0, 0, 128, 128, *origin, 0, 0, 0, 0, 0, 0, *normal, *size)


def polygons():
    """Six quads at heights 0 to 500, each with its fan's six mesh indices."""
    verts, faces, indices = [], [], []
    textures = [0, 1, 2, 0, 1, 0]
    lightmaps = [0, 1, -1, 2, 0, 1]  # 2 is the lightmap count: no lightmap
    for k in range(6):
        z = 100.0 * k
        first = len(verts)
        for n, (x, y) in enumerate([(0, 0), (64, 0), (64, 64), (0, 64)]):
            colour = (10, 20, 30, 40) if k == 0 and n == 0 else (255, 255, 255, 255)
            verts.append(vertex((x, y, z), colour, uv=(x / 64, y / 64), lm=(x / 128, y / 128)))
        faces.append(face(textures[k], 1, first, 4, len(indices), 6, lightmaps[k], (0, 0, z)))
        indices += [0, 1, 2, 0, 2, 3]
    return verts, faces, indices


def patch_and_mesh(verts, faces, indices):
    """A 3 x 3 patch whose middle control row bulges 100 units, and a two-triangle mesh."""
    first = len(verts)
    for j in range(3):
        for i in range(3):
            verts.append(vertex((100.0 * i, 100.0 * j, 100.0 if j == 1 else 0.0),
                                uv=(i / 2, j / 2), normal=(0, -1, 0) if j == 1 else (0, 0, 1)))
    faces.append(face(0, 2, first, 9, size=(3, 3)))
    first = len(verts)
    for x, y in [(0, 0), (32, 0), (32, 32), (0, 32)]:
        verts.append(vertex((x, y, -50.0)))
    faces.append(face(1, 3, first, 4, len(indices), 6, 0, (0, 0, -50)))
    indices += [0, 1, 2, 0, 2, 3]


def lightmaps():
    """Two lightmaps; the first texel of the first is (200, 100, 50), the rest mid grey."""
    grey = bytes([64]) * 49152
    return bytes([200, 100, 50]) + grey[3:] + grey


def tree():
    """Node 0 splits on x = 32 (front: node 1), node 1 on y = 32; three leaves in clusters 0-2."""
    planes = struct.pack("<4f", 1, 0, 0, 32) + struct.pack("<4f", 0, 1, 0, 32)
    nodes = (struct.pack("<3i6i", 0, 1, -3, -1000, -1000, -1000, 1000, 1000, 1000) +
             struct.pack("<3i6i", 1, -1, -2, 0, 0, -1000, 1000, 1000, 1000))
    leaf_faces = list(range(8))
    leaves = b"".join(struct.pack("<12i", cluster, 0, -1000, -1000, -1000, 1000, 1000, 1000,
                                  first, count, 0, 0)
                      for cluster, first, count in [(0, 0, 3), (1, 3, 3), (2, 6, 2)])
    rows = bytes([0b111, 0, 0, 0, 0b011, 0, 0, 0, 0b101, 0, 0, 0])
    visibility = struct.pack("<ii", 3, 4) + rows
    return planes, nodes, leaves, struct.pack(f"<{len(leaf_faces)}i", *leaf_faces), visibility


def synthetic_level():
    verts, faces, indices = polygons()
    patch_and_mesh(verts, faces, indices)
    names = ["textures/test/red", "Textures/Test/SHADED", "textures/test/missing"]
    planes, nodes, leaves, leaf_faces, visibility = tree()
    lumps = {
        0: b'{\n"classname" "worldspawn"\n}\n\0',
        1: b"".join(struct.pack("<64sii", n.encode(), 0, 0) for n in names),
        2: planes, 3: nodes, 4: leaves, 5: leaf_faces,
        6: struct.pack("<i", 0), 7: bytes(40), 8: bytes(12), 9: bytes(8),
        10: b"".join(verts), 11: struct.pack(f"<{len(indices)}i", *indices),
        12: b"", 13: b"".join(faces), 14: lightmaps(), 15: b"", 16: visibility,
    }
    body, directory = b"", []
    for i in range(17):
        directory.append((144 + len(body), len(lumps[i])))
        body += lumps[i] + bytes(-len(lumps[i]) % 4)
    header = b"IBSP" + struct.pack("<i", 46) + b"".join(struct.pack("<ii", *e) for e in directory)
    return header + body


def write_synthetic(out):
    level = synthetic_level()
    assert not isinstance(level_reference.read(level), str)
    with open(os.path.join(out, "synthetic.bsp"), "wb") as f:
        f.write(level)
    folder = os.path.join(out, "synthetic")
    os.makedirs(folder, exist_ok=True)
    with zipfile.ZipFile(os.path.join(folder, "synthetic.pk3"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("maps/synthetic.bsp", level)
        z.writestr("scripts/test.shader", SHADER)
        z.writestr("textures/test/red.tga", tga((255, 0, 0)))
        z.writestr("textures/test/blue.tga", tga((0, 0, 255)))


def link_real(out):
    """The two real archives side by side, and the manifest of every map of the first."""
    folder = os.path.join(out, "openarena")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(out, "maps-manifest.txt"), "w") as manifest:
        if not all(os.path.exists(os.path.join(BASEOA, name)) for name in REAL):
            return
        for name in REAL:
            link = os.path.join(folder, name)
            if os.path.lexists(link):
                os.remove(link)
            os.symlink(os.path.join(BASEOA, name), link)
        with zipfile.ZipFile(os.path.join(BASEOA, REAL[0])) as z:
            for info in z.infolist():
                if info.filename.lower().endswith(".bsp"):
                    row = level_reference.manifest_row(info.filename, z.read(info))
                    manifest.write("\t".join(row) + "\n")


def main():
    out = os.path.abspath(sys.argv[1])
    os.makedirs(out, exist_ok=True)
    write_synthetic(out)
    link_real(out)


if __name__ == "__main__":
    main()
