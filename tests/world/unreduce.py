"""A second decoder of reduced zip members (methods 2-5), written from the zip application
note apart from the engine's, to check the reference encoder's reduce vectors (Debian's unzip
cannot expand them)."""

import struct


class Bits:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def get(self, n):
        v = 0
        for k in range(n):
            byte = self.pos >> 3
            if byte >= len(self.data):
                raise EOFError("reduced data ends early")
            v |= ((self.data[byte] >> (self.pos & 7)) & 1) << k
            self.pos += 1
        return v


def B(n):
    """The minimal number of bits to encode n - 1, at least one."""
    return max(1, (n - 1).bit_length())


def unreduce(data, factor, size):
    bits = Bits(data)
    sets = [None] * 256
    for j in range(255, -1, -1):
        n = bits.get(6)
        sets[j] = [bits.get(8) for _ in range(n)]
    # The probabilistic stage gives bytes C, the run stage turns them into output.
    out = bytearray()
    last, state, v, length = 0, 0, 0, 0
    L = lambda x: x & (0x7F >> (factor - 1))
    F = lambda x: 2 if x == 0x7F >> (factor - 1) else 3
    D = lambda x, y: ((x >> (8 - factor)) << 8) + y + 1
    while len(out) < size:
        s = sets[last]
        if not s or bits.get(1):
            c = bits.get(8)
        else:
            c = s[bits.get(B(len(s)))]
        last = c
        if state == 0:
            if c != 144:
                out.append(c)
            else:
                state = 1
        elif state == 1:
            if c:
                v, length = c, L(c)
                state = F(length)
            else:
                out.append(144)
                state = 0
        elif state == 2:
            length += c
            state = 3
        else:
            back = D(v, c)
            for _ in range(length + 3):
                out.append(out[-back] if back <= len(out) else 0)
            state = 0
    if len(out) != size:
        raise ValueError("reduced data give more than their size")
    return bytes(out)


def raw_members(path):
    """(name, method, compressed bytes, size, crc) of each member, from the central directory."""
    data = open(path, "rb").read()
    count, _, at = struct.unpack("<HII", data[-12:-2])
    for _ in range(count):
        (method, crc, csize, usize, nlen, elen, clen, offset) = struct.unpack(
            "<10xH4xIIIHHH8xI", data[at:at + 46])
        name = data[at + 46:at + 46 + nlen].decode()
        at += 46 + nlen + elen + clen
        lnlen, lelen = struct.unpack("<HH", data[offset + 26:offset + 30])
        start = offset + 30 + lnlen + lelen
        yield name, method, data[start:start + csize], usize, crc
