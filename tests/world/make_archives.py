"""Makes the archives the world tests read, from seeded data: with Debian's zip (levels 0-9,
encryption, bzip2, a comment, data descriptors), with Python's zipfile and zlib (stored,
deflated, bzip2 and lzma members; fixed-only, dynamic and stored-block deflate streams), and
with the reference encoders of zip_reference.py (shrink, reduce, implode). Also manifests of
openarena-data's pak0.pk3: every member as Python's zipfile extracts it, every shader as
shader_reference.py reads it, and every TGA and JPG picture as Pillow decodes it.

    make_archives.py OUT_DIR
"""

import os
import random
import shutil
import subprocess
import sys
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import shader_reference  # noqa: E402
import zip_reference as ref  # noqa: E402

PAK0 = "/usr/share/games/openarena/baseoa/pak0.pk3"


def text(seed, size):
    """Lines of words from a seeded vocabulary: compresses like a script or a shader file."""
    rng = random.Random(seed)
    syllables = ["ka", "lo", "mir", "ten", "sha", "ul", "dor", "pi", "vex", "an", "qua", "zo"]
    words = ["".join(rng.choice(syllables) for _ in range(rng.randint(1, 4))) for _ in range(300)]
    out = []
    length = 0
    while length < size:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(2, 12)))
        if rng.random() < 0.2:
            line = "{ " + line + " " + str(rng.randint(0, 99999)) + " }"
        out.append(line)
        length += len(line) + 1
    return ("\n".join(out) + "\n").encode()[:size]


def noise(seed, size):
    return random.Random(seed).randbytes(size)


def mixed(seed, size):
    """Text with runs, zeros and noise between: every kind of copy and literal."""
    rng = random.Random(seed)
    out = bytearray()
    while len(out) < size:
        kind = rng.randrange(4)
        n = rng.randint(50, 3000)
        if kind == 0:
            out += text(rng.randrange(1 << 30), n)
        elif kind == 1:
            out += bytes([rng.randrange(256)]) * n
        elif kind == 2:
            out += noise(rng.randrange(1 << 30), n // 4)
        else:
            back = rng.randint(1, max(1, len(out)))
            out += out[-back:][:n] if out else bytes(n)
    return bytes(out[:size])


FILES = {
    "Textures/Wall.TGA": mixed(1, 5000),
    "maps/data.bsp": mixed(2, 60000),
    "scripts/base.shader": text(3, 8000),
    "scripts/a.shader.bak": text(4, 2000),
    "stored40k.bin": noise(5, 40000),
    "big.txt": text(6, 200000),
    "empty.txt": b"",
}


def debian_zip(out, src):
    def zip_(name, options, files, stdin=None):
        path = os.path.join(out, name)
        if os.path.exists(path):
            os.remove(path)
        subprocess.run(["zip", "-q", "-X", *options, path, *files], cwd=src, check=True,
                       input=stdin)

    every = sorted(FILES) + ["emptydir/"]
    for level in range(10):
        zip_(f"zip-{level}.zip", [f"-{level}"], every)
    zip_("zip-encrypted.zip", ["-P", "secret"], ["scripts/base.shader", "maps/data.bsp"])
    zip_("zip-bzip2.zip", ["-Z", "bzip2"], ["scripts/base.shader"])
    zip_("zip-comment.zip", ["-z"], ["scripts/base.shader"], stdin=b"an archive comment\n")
    zip_("zip-descriptor.zip", ["-fd"], ["big.txt", "maps/data.bsp", "stored40k.bin"])


def raw_deflate(data, level=9, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
    return c.compress(data) + c.flush()


def python_zip(out):
    """Members named after the files they hold, under a folder naming how they were made."""
    shader, bsp, big = FILES["scripts/base.shader"], FILES["maps/data.bsp"], FILES["big.txt"]
    with zipfile.ZipFile(os.path.join(out, "py-methods.zip"), "w") as z:
        z.writestr("stored/scripts/base.shader", shader, zipfile.ZIP_STORED)
        z.writestr("deflated/scripts/base.shader", shader, zipfile.ZIP_DEFLATED)
        z.writestr("bzip2/scripts/base.shader", shader, zipfile.ZIP_BZIP2)
        z.writestr("lzma/scripts/base.shader", shader, zipfile.ZIP_LZMA)
    ref.write_zip(os.path.join(out, "py-deflate.zip"), [
        ref.Member("fixed/big.txt", big, 8, raw_deflate(big, 6, zlib.Z_FIXED)),
        ref.Member("dynamic/maps/data.bsp", bsp, 8, raw_deflate(bsp)),
        ref.Member("blocks/big.txt", big, 8, raw_deflate(big, 0)),
        ref.Member("descriptor/maps/data.bsp", bsp, 8, raw_deflate(bsp), descriptor=True),
        ref.Member("deflate64/maps/data.bsp", bsp, 9, raw_deflate(bsp)),
    ])


def shrunk(data, clear_every=None, bits=9, clears=0):
    """Shrunk, checked to reach that code size and that many clears at least."""
    out, done = ref.shrink(data, clear_every)
    assert done["bits"] >= bits and done["clears"] >= clears, done
    return out


LEGACY = {
    # name: (data, method, flags, encoder)
    "shrink-small.txt": (text(20, 3000), 1, 0, lambda d: shrunk(d, bits=10)),
    "shrink-clears.bin": (mixed(21, 40000), 1, 0, lambda d: shrunk(d, 1500, 12, 4)),
    "shrink-full.txt": (text(22, 150000), 1, 0, lambda d: shrunk(d, None, 13, 3)),
    "implode-4k.bin": (bytes(300) + mixed(30, 20000), 6, 0, lambda d: ref.implode(d, False, False)),
    "implode-8k.bin": (mixed(31, 40000), 6, 2, lambda d: ref.implode(d, True, False)),
    "implode-4k-tree.txt": (text(32, 20000), 6, 4, lambda d: ref.implode(d, False, True)),
    "implode-8k-tree.bin": (bytes(200) + mixed(33, 40000), 6, 6, lambda d: ref.implode(d, True, True)),
}
REDUCED = {f"reduce-{f}.bin": (mixed(40 + f, 16000), 1 + f) for f in range(1, 5)}
# Small members of every method: the damaged-member tests cut and flip them.
SMALL = text(51, 600) + bytes(100) + noise(52, 200) + text(53, 600)


def legacy(out, src):
    members = [ref.Member(n, d, m, enc(d), f) for n, (d, m, f, enc) in LEGACY.items()]
    ref.write_zip(os.path.join(out, "legacy-unzip.zip"), members)
    reduced = [ref.Member(n, d, m, ref.reduce(d, m - 1, seed=m)) for n, (d, m) in REDUCED.items()]
    ref.write_zip(os.path.join(out, "legacy-reduce.zip"), reduced)
    os.makedirs(os.path.join(src, "legacy"), exist_ok=True)
    for name, value in list(LEGACY.items()) + list(REDUCED.items()):
        with open(os.path.join(src, "legacy", name), "wb") as f:
            f.write(value[0])
    with open(os.path.join(src, "legacy", "small.bin"), "wb") as f:
        f.write(SMALL)
    ref.write_zip(os.path.join(out, "small.zip"), [
        ref.Member("stored.bin", SMALL, 0, SMALL),
        ref.Member("deflated.bin", SMALL, 8, raw_deflate(SMALL)),
        ref.Member("shrunk.bin", SMALL, 1, shrunk(SMALL, 40, 9, 1)),
        ref.Member("reduced1.bin", SMALL, 2, ref.reduce(SMALL, 1)),
        ref.Member("reduced4.bin", SMALL, 5, ref.reduce(SMALL, 4)),
        ref.Member("imploded.bin", SMALL, 6, ref.implode(SMALL, False, False)),
        ref.Member("imploded-tree.bin", SMALL, 6, ref.implode(SMALL, True, True), 6),
    ])


def write_pak0_rows(out, name, rows):
    """Writes the tab-separated rows that rows(zipfile) makes of pak0; an empty file without it."""
    with open(os.path.join(out, name), "w") as f:
        if not os.path.exists(PAK0):
            return
        with zipfile.ZipFile(PAK0) as z:
            for row in rows(z):
                f.write("\t".join(row) + "\n")


def pak0_members(z):
    """name, size and Adler-32 of every member as Python's zipfile extracts it."""
    for info in z.infolist():
        data = z.read(info)
        yield [info.filename, str(len(data)), f"{zlib.adler32(data):08x}"]


def pak0_shaders(z):
    """The first definition of every shader name over pak0's scripts, in directory order: name,
    script, stage count and each stage's first picture."""
    scripts = [(i.filename, z.read(i).decode("latin-1")) for i in z.infolist()
               if ".shader" in i.filename.lower()]
    for name, member, stages in shader_reference.first_definitions(scripts):
        yield [name, member, str(len(stages))] + stages


def pak0_textures(z):
    """Every TGA and JPG picture of pak0 as Pillow decodes it: name, width, height, 1 for a
    run-length encoded TGA, and x,y,AARRGGBB at three corners and the centre."""
    from PIL import Image
    import io
    for info in z.infolist():
        lowered = info.filename.lower()
        if not lowered.endswith((".tga", ".jpg")):
            continue
        data = z.read(info)
        image = Image.open(io.BytesIO(data)).convert("RGBA")
        w, h = image.size
        rle = 1 if lowered.endswith(".tga") and data[2] >= 9 else 0
        samples = []
        for x, y in ((0, 0), (w - 1, 0), (w // 2, h // 2), (w - 1, h - 1)):
            r, g, b, a = image.getpixel((x, y))
            samples.append(f"{x},{y},{a << 24 | r << 16 | g << 8 | b:08x}")
        yield [info.filename, str(w), str(h), str(rle)] + samples


def main():
    out = os.path.abspath(sys.argv[1])
    src = os.path.join(out, "src")
    shutil.rmtree(src, ignore_errors=True)
    for name, data in FILES.items():
        os.makedirs(os.path.dirname(os.path.join(src, name)) or src, exist_ok=True)
        with open(os.path.join(src, name), "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(src, "emptydir"), exist_ok=True)
    debian_zip(out, src)
    python_zip(out)
    legacy(out, src)
    write_pak0_rows(out, "pak0-manifest.txt", pak0_members)
    write_pak0_rows(out, "pak0-shaders.txt", pak0_shaders)
    write_pak0_rows(out, "pak0-textures.txt", pak0_textures)


if __name__ == "__main__":
    main()
