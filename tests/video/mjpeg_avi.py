"""Writes a small Motion-JPEG AVI of quadrant frames, the same pictures the video tests draw in
raw form: 64x48, 5 frames at 10 a second. Usage: mjpeg_avi.py OUTPUT.avi"""

import io
import struct
import sys

from PIL import Image

WIDTH, HEIGHT, FRAMES, RATE = 64, 48, 5, 10


def quadrant_colour(k, quadrant):
    return (30 + 40 * k, 200 - 30 * quadrant, 17 + 50 * quadrant)


def frame(k):
    image = Image.new("RGB", (WIDTH, HEIGHT))
    for quadrant in range(4):
        x0 = (quadrant % 2) * WIDTH // 2
        y0 = (quadrant // 2) * HEIGHT // 2
        image.paste(quadrant_colour(k, quadrant), (x0, y0, x0 + WIDTH // 2, y0 + HEIGHT // 2))
    out = io.BytesIO()
    image.save(out, "JPEG", quality=95, subsampling=0)
    return out.getvalue()


def chunk(name, body):
    return name + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")


def listed(kind, body):
    return chunk(b"LIST", kind + body)


def main(path):
    frames = [frame(k) for k in range(FRAMES)]
    largest = max(len(f) for f in frames)
    avih = struct.pack("<10I", 1000000 // RATE, largest * RATE, 0, 0x10, FRAMES, 0, 1, largest,
                       WIDTH, HEIGHT) + bytes(16)
    strh = b"vids" + b"MJPG" + struct.pack("<IHHIIIIIIIIhhhh", 0, 0, 0, 0, 1, RATE, 0, FRAMES,
                                           largest, 0xFFFFFFFF, 0, 0, 0, WIDTH, HEIGHT)
    strf = struct.pack("<IiiHH4sIiiII", 40, WIDTH, HEIGHT, 1, 24, b"MJPG", WIDTH * HEIGHT * 3, 0,
                       0, 0, 0)
    movi, idx1 = b"", b""
    for f in frames:
        idx1 += b"00dc" + struct.pack("<III", 0x10, 4 + len(movi), len(f))
        movi += chunk(b"00dc", f)
    body = (listed(b"hdrl", chunk(b"avih", avih) +
                   listed(b"strl", chunk(b"strh", strh) + chunk(b"strf", strf))) +
            listed(b"movi", movi) + chunk(b"idx1", idx1))
    with open(path, "wb") as out:
        out.write(b"RIFF" + struct.pack("<I", 4 + len(body)) + b"AVI " + body)


if __name__ == "__main__":
    main(sys.argv[1])
