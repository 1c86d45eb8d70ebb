"""Writes the game's Data folder: every picture and sound the game loads, and nothing else.

Usage: /usr/bin/python3 assets/generate.py OUTPUT_DIR

The output is the same byte for byte on every run: fixed seeds, no time stamps in any file.
Lettering uses the Liberation fonts (Debian package fonts-liberation).
"""
import io
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
# Keep the source folder free of compiled files.
sys.dont_write_bytecode = True

from PIL import Image  # noqa: E402

import asset_list  # noqa: E402
import audio  # noqa: E402
import pictures  # noqa: E402


def tga_bytes(img):
    """Uncompressed 32-bit BGRA, rows stored top first (descriptor: 8 alpha bits, top-left)."""
    img = img.convert("RGBA")
    w, h = img.size
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, w, h, 32, 0x28)
    r, g, b, a = img.split()
    return header + Image.merge("RGBA", (b, g, r, a)).tobytes()


def png_bytes(img):
    buf = io.BytesIO()
    # Pillow writes no tIME or text chunks unless asked to.
    img.convert("RGBA").save(buf, "PNG", compress_level=6)
    return buf.getvalue()


def bmp_bytes(img):
    buf = io.BytesIO()
    img.convert("RGB").save(buf, "BMP")
    return buf.getvalue()


def encode(path, img):
    if path.endswith(".tga"):
        return tga_bytes(img)
    if path.endswith(".bmp"):
        return bmp_bytes(img)
    return png_bytes(img)


def write(root, rel, data):
    full = os.path.join(root, "Data", *rel.split("/"))
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)


def generate(out_dir):
    images = pictures.build()
    for _, rel, size in asset_list.IMAGES:
        img = images[rel]
        if img.size != size:
            raise SystemExit("%s is %dx%d, the game expects %dx%d" % ((rel,) + img.size + size))
        write(out_dir, rel, encode(rel, img))
    for _, rel in asset_list.SOUNDS:
        samples = audio.SOUND_MAKERS[rel]()
        looped = rel in asset_list.LOOPED_SOUNDS
        if not looped:
            audio.fade_out(samples)
        samples = audio.balance(samples, looped)
        full = os.path.join(out_dir, "Data", *rel.split("/"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        audio.write_wav(full, audio.to_pcm(samples))


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: generate.py OUTPUT_DIR\n")
        return 2
    generate(argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
