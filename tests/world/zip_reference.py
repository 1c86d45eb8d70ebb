"""Reference encoders of the old zip methods that no Debian tool writes (1 shrink, 2-5 reduce,
6 implode), written from the zip application note, and a writer of zip archives around raw
compressed data. They make the test vectors of the member decompressor; Debian's unzip checks
the shrink and implode ones, unreduce.py the reduce ones."""

import heapq
import random
import struct
import zlib


class BitWriter:
    """Bits least significant first, as every zip method packs them."""

    def __init__(self):
        self.out = bytearray()
        self.hold = 0
        self.count = 0

    def write(self, value, bits):
        self.hold |= (value & ((1 << bits) - 1)) << self.count
        self.count += bits
        while self.count >= 8:
            self.out.append(self.hold & 0xFF)
            self.hold >>= 8
            self.count -= 8

    def data(self):
        if self.count:
            return bytes(self.out) + bytes([self.hold & 0xFF])
        return bytes(self.out)


# --- Shrink (method 1): LZW, 9 to 13 bits, grown and partly cleared by escapes ---------------

ESCAPE, FIRST_FREE, CODES = 256, 257, 8192


def shrink(data, clear_every=None):
    """clear_every: also clear after that many codes, besides when the table runs short.

    A partial clear works as the reference unshrink does it: it looks at the codes up to the last
    one assigned; each marks its prefix code as extended, and those not marked are freed. The
    codes above are left as they are (their strings follow whatever their prefix codes become),
    and a mark they receive stays until a later clear reaches them. A clear is sent only when the
    code just sent survives it, so that the entry the decoder adds next has a live prefix."""
    out = BitWriter()
    bits = 9
    table = {}  # (prefix, byte) -> code, for every code in use
    entry = {}  # code -> (prefix, byte)
    free = list(range(FIRST_FREE, CODES))  # a heap: the lowest free code is used first
    last = ESCAPE  # the last code assigned

    def emit(code):
        nonlocal bits
        while code >= 1 << bits:
            out.write(ESCAPE, bits)
            out.write(1, bits)
            bits += 1
        out.write(code, bits)

    marked = set()

    def cleared():
        marks = marked | {entry[c][0] for c in entry if c <= last and entry[c][0] >= FIRST_FREE}
        freed = [c for c in entry if c <= last and c not in marks]
        return freed, marks - set(range(FIRST_FREE, last + 1))

    clears = emitted = 0
    w = data[0]
    for c in data[1:]:
        if (w, c) in table:
            w = table[(w, c)]
            continue
        emit(w)
        emitted += 1
        if len(free) < 64 or (clear_every and emitted % clear_every == 0):
            freed, marks = cleared()
            if w not in freed:
                marked = marks
                for code in freed:
                    del table[entry.pop(code)]
                    heapq.heappush(free, code)
                out.write(ESCAPE, bits)
                out.write(2, bits)
                last = ESCAPE
                clears += 1
        if not free:
            raise ValueError("shrink: the table filled before a clear could be sent")
        last = heapq.heappop(free)
        marked.discard(last)
        table[(w, c)] = last
        entry[last] = (w, c)
        w = c
    emit(w)
    return out.data(), {"clears": clears, "bits": bits}


# --- Shared: matches over a window whose bytes before the start are zeros ----------------------

def matches(data, window, shortest, longest, zeros_before=True, depth=48):
    """Greedy LZ77 parse: ('lit', byte) and ('copy', length, distance) tokens. With zeros_before
    the data is seen after a window of zeros, which copies may reach into."""
    pad = window if zeros_before else 0
    buf = bytes(pad) + data
    heads = {}
    chain = [0] * len(buf)
    key = lambda i: buf[i:i + shortest]

    def insert(i):
        if i + shortest <= len(buf):
            k = key(i)
            chain[i] = heads.get(k, -1)
            heads[k] = i

    for i in range(pad):
        insert(i)
    tokens = []
    i = pad
    while i < len(buf):
        best_len, best_dist = 0, 0
        if i + shortest <= len(buf):
            j = heads.get(key(i), -1)
            tries = depth
            limit = min(longest, len(buf) - i)
            while j >= 0 and i - j <= window and tries:
                n = 0
                while n < limit and buf[j + n] == buf[i + n]:
                    n += 1
                if n > best_len:
                    best_len, best_dist = n, i - j
                    if n == limit:
                        break
                j = chain[j]
                tries -= 1
        if best_len >= shortest:
            tokens.append(("copy", best_len, best_dist))
            for k in range(best_len):
                insert(i + k)
            i += best_len
        else:
            tokens.append(("lit", buf[i]))
            insert(i)
            i += 1
    return tokens


# --- Reduce (methods 2-5): runs after DLE 144, then follower-set coding -------------------------

DLE = 144


def index_bits(n):
    """Bits of a follower index in a set of n: those of n - 1, at least one."""
    return max(1, (n - 1).bit_length())


def run_coded(data, factor):
    """The first stage: bytes, with copies as DLE, V, [more length], distance byte."""
    mask = 0x7F >> (factor - 1)
    stream, at = [], 0
    for t in matches(data, 256 << factor, 3, mask + 255 + 3):
        if t[0] == "copy":
            _, length, distance = t
            extra, hi, lo = length - 3, (distance - 1) >> 8, (distance - 1) & 0xFF
            v = (hi << (8 - factor)) | min(extra, mask)
            if v:  # a V of 0 would read as a DLE byte itself: such a copy goes as its bytes
                stream += [DLE, v] + ([extra - mask] if extra >= mask else []) + [lo]
                at += length
                continue
            literals = data[at:at + length]
        else:
            literals = [t[1]]
        for b in literals:
            stream += [DLE, 0] if b == DLE else [b]
        at += len(literals)
    return stream


def reduce(data, factor, seed=0):
    """Reduced with compression factor 1-4 (method factor + 1). Follower sets hold the commonest
    followers of each byte, some cut to one or two so that every index width is used."""
    stream = run_coded(data, factor)
    rng = random.Random(seed)
    seen = {}
    last = 0
    for b in stream:
        seen.setdefault(last, {}).setdefault(b, 0)
        seen[last][b] += 1
        last = b
    sets = {}
    for j, followers in seen.items():
        ranked = sorted(followers, key=lambda b: (-followers[b], b))
        sets[j] = ranked[:rng.choice([1, 2, 3, 5, 8, 17, 32, 32, 32])]
    out = BitWriter()
    for j in range(255, -1, -1):
        s = sets.get(j, [])
        out.write(len(s), 6)
        for b in s:
            out.write(b, 8)
    last = 0
    for b in stream:
        s = sets.get(last, [])
        if not s:
            out.write(b, 8)
        elif b in s:
            out.write(0, 1)
            out.write(s.index(b), index_bits(len(s)))
        else:
            out.write(1, 1)
            out.write(b, 8)
        last = b
    return out.data()


# --- Implode (method 6): copies and literals under Shannon-Fano codes --------------------------

def code_lengths(freqs, limit=16):
    """Huffman code lengths of every symbol (none left out: the trees cover every value), no
    longer than limit."""
    weights = [f + 1 for f in freqs]
    while True:
        heap = [(w, i, (i,)) for i, w in enumerate(weights)]
        heapq.heapify(heap)
        lengths = [0] * len(weights)
        tie = len(weights)
        while len(heap) > 1:
            w1, _, a = heapq.heappop(heap)
            w2, _, b = heapq.heappop(heap)
            for s in a + b:
                lengths[s] += 1
            heapq.heappush(heap, (w1 + w2, tie, a + b))
            tie += 1
        if max(lengths) <= limit:
            return lengths
        weights = [max(1, w // 2) for w in weights]


def shannon_fano_codes(lengths):
    """The note's codes: sort by length (stable), hand out from the longest down. Each code is
    16 bits wide, its first bit the top one."""
    order = sorted(range(len(lengths)), key=lambda v: lengths[v])
    codes = [0] * len(lengths)
    code = step = last = 0
    for v in reversed(order):
        code += step
        if lengths[v] != last:
            last = lengths[v]
            step = 1 << (16 - last)
        codes[v] = code
    return codes


def tree_bytes(lengths):
    runs = []
    i = 0
    while i < len(lengths):
        n = 1
        while i + n < len(lengths) and lengths[i + n] == lengths[i] and n < 16:
            n += 1
        runs.append(((n - 1) << 4) | (lengths[i] - 1))
        i += n
    return bytes([len(runs) - 1] + runs)


def write_code(out, code, length):
    for k in range(length):
        out.write((code >> (15 - k)) & 1, 1)


def implode(data, big, literal_tree):
    """Imploded with the 8 KiB (big) or 4 KiB dictionary, with or without the literal tree. The
    data are seen after a window of zeros, which copies may reach into."""
    shortest = 3 if literal_tree else 2
    low_bits = 7 if big else 6
    tokens = matches(data, 8192 if big else 4096, shortest, shortest + 63 + 255)
    lit_freq, len_freq, dist_freq = [0] * 256, [0] * 64, [0] * 64
    for t in tokens:
        if t[0] == "lit":
            lit_freq[t[1]] += 1
        else:
            len_freq[min(t[1] - shortest, 63)] += 1
            dist_freq[(t[2] - 1) >> low_bits] += 1
    trees = []
    for freq, present in ((lit_freq, literal_tree), (len_freq, True), (dist_freq, True)):
        if present:
            lengths = code_lengths(freq)
            trees.append((tree_bytes(lengths), lengths, shannon_fano_codes(lengths)))
        else:
            trees.append(None)
    out = BitWriter()
    for tree in trees:
        if tree:
            for b in tree[0]:
                out.write(b, 8)
    lit, lens, dists = trees
    for t in tokens:
        if t[0] == "lit":
            out.write(1, 1)
            if lit:
                write_code(out, lit[2][t[1]], lit[1][t[1]])
            else:
                out.write(t[1], 8)
            continue
        _, length, distance = t
        d, n = distance - 1, length - shortest
        out.write(0, 1)
        out.write(d & ((1 << low_bits) - 1), low_bits)
        write_code(out, dists[2][d >> low_bits], dists[1][d >> low_bits])
        write_code(out, lens[2][min(n, 63)], lens[1][min(n, 63)])
        if n >= 63:
            out.write(n - 63, 8)
    return out.data()


# --- Archives around raw compressed data -------------------------------------------------------

class Member:
    def __init__(self, name, data, method, compressed, flags=0, descriptor=False, crc=None,
                 sizes=None):
        self.name = name.encode()
        self.data = data
        self.method = method
        self.compressed = compressed
        self.flags = flags | (8 if descriptor else 0)
        self.descriptor = descriptor
        self.crc = zlib.crc32(data) if crc is None else crc
        self.sizes = sizes or (len(compressed), len(data))


def write_zip(path, members, comment=b""):
    """A zip archive of members whose data are already compressed. A member with a descriptor
    has zero CRC and sizes in its local header and a data descriptor after its data."""
    body, central = bytearray(), bytearray()
    for m in members:
        offset = len(body)
        crc, (csize, usize) = m.crc, m.sizes
        local = (0, 0, 0) if m.descriptor else (crc, csize, usize)
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, m.flags, m.method, 0, 0x21, *local,
                            len(m.name), 0) + m.name + m.compressed
        if m.descriptor:
            body += struct.pack("<IIII", 0x08074B50, crc, csize, usize)
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, m.flags, m.method, 0,
                               0x21, crc, csize, usize, len(m.name), 0, 0, 0, 0, 0,
                               offset) + m.name
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members), len(central),
                      len(body), len(comment))
    with open(path, "wb") as f:
        f.write(bytes(body) + bytes(central) + end + comment)
