"""Sound effects and the two tunes, synthesised in plain Python (no numpy on the build machines).

Everything is mixed as floats and turned into 16-bit mono PCM at 22050 Hz at the end. Random
numbers come from seeded generators so that every run writes the same bytes.
"""
import array
import math
import random
import wave

RATE = 22050
TABLE_BITS = 12
TABLE = 1 << TABLE_BITS
MASK = TABLE - 1
SINE = [math.sin(2.0 * math.pi * i / TABLE) for i in range(TABLE)]

NOTE_INDEX = {"C": 0, "C#": 1, "D": 2, "D#": 3, "E": 4, "F": 5, "F#": 6, "G": 7, "G#": 8,
              "A": 9, "A#": 10, "B": 11}


def hz(name):
    """'A4' -> 440.0, 'C#5' -> 554.4."""
    pitch, octave = name[:-1], int(name[-1])
    return 440.0 * 2.0 ** ((NOTE_INDEX[pitch] + 12 * (octave + 1) - 69) / 12.0)


def harmonic_table(harmonics):
    """One cycle of a wave made of (harmonic number, amplitude) pairs, peak 1."""
    table = [0.0] * TABLE
    for h, amp in harmonics:
        for i in range(TABLE):
            table[i] += amp * SINE[(i * h) & MASK]
    peak = max(abs(v) for v in table) or 1.0
    return [v / peak for v in table]


# Soft timbres: a rounded triangle for the bass, a filtered square for plucks, a flute-like lead.
BASS = harmonic_table([(1, 1.0), (2, 0.35), (3, 0.12), (5, 0.04)])
PLUCK = harmonic_table([(1, 1.0), (3, 0.33), (5, 0.16), (7, 0.07), (9, 0.03)])
LEAD = harmonic_table([(1, 1.0), (2, 0.28), (3, 0.18), (4, 0.05)])
ORGAN = harmonic_table([(1, 1.0), (2, 0.5), (4, 0.25), (8, 0.08)])


def voice(table, freq, dur, attack=0.005, decay=3.0, release=0.06, vibrato=0.0):
    """A note from a wave table: linear attack, exponential decay, linear release after dur."""
    n = int(dur * RATE)
    rel = max(1, int(release * RATE))
    att = max(1, int(attack * RATE))
    total = n + rel
    inc = freq * TABLE / RATE
    k = math.exp(-decay / RATE)
    out = [0.0] * total
    phase = 0.0
    g = 1.0
    vib_inc = 5.5 * TABLE / RATE
    vib_phase = 0.0
    for i in range(total):
        env = g
        if i < att:
            env *= i / att
        if i >= n:
            env *= 1.0 - (i - n) / rel
        out[i] = table[int(phase) & MASK] * env
        if vibrato:
            phase += inc * (1.0 + vibrato * SINE[int(vib_phase) & MASK] * min(1.0, i / RATE * 3))
            vib_phase += vib_inc
        else:
            phase += inc
        g *= k
    return out


def bell(freq, dur, decay=2.5):
    """Inharmonic partials that die away at different rates."""
    n = int(dur * RATE)
    out = [0.0] * n
    att = int(0.002 * RATE)
    for ratio, amp, rate in ((1.0, 1.0, 1.0), (2.0, 0.45, 1.6), (2.76, 0.3, 2.4),
                             (5.4, 0.15, 4.0), (8.93, 0.06, 6.0)):
        f = freq * ratio
        if f >= RATE / 2:
            continue
        inc = f * TABLE / RATE
        k = math.exp(-decay * rate / RATE)
        g = amp
        phase = 0.0
        for i in range(n):
            out[i] += SINE[int(phase) & MASK] * g
            phase += inc
            g *= k
    for i in range(min(att, n)):
        out[i] *= i / att
    fade = min(n, int(0.02 * RATE))
    for i in range(fade):
        out[n - 1 - i] *= i / fade
    return out


def sweep(f0, f1, dur, curve=6.0, decay=20.0, table=SINE):
    """A tone gliding exponentially from f0 to f1, with an exponential fade."""
    n = int(dur * RATE)
    out = [0.0] * n
    phase = 0.0
    for i in range(n):
        t = i / n
        f = f1 + (f0 - f1) * math.exp(-curve * t)
        env = math.exp(-decay * i / RATE) * min(1.0, i / 30.0) * min(1.0, (n - i) / 60.0)
        out[i] = table[int(phase) & MASK] * env
        phase += f * TABLE / RATE
    return out


def noise(rng, dur, decay, lowpass=1.0, highpass=False):
    """Decaying noise through a one-pole low-pass (lowpass 1.0 = none), optionally high-passed."""
    n = int(dur * RATE)
    out = [0.0] * n
    lp = 0.0
    prev = 0.0
    k = math.exp(-decay / RATE)
    g = 1.0
    for i in range(n):
        lp += lowpass * (rng.uniform(-1.0, 1.0) - lp)
        v = lp - prev if highpass else lp
        prev = lp
        out[i] = v * g * min(1.0, i / 20.0)
        g *= k
    return out


def add(buf, samples, start, gain=1.0, wrap=False):
    """Mixes samples into buf at start; with wrap, the part past the end comes back at the start."""
    size = len(buf)
    for i, v in enumerate(samples):
        j = start + i
        if j >= size:
            if not wrap:
                break
            j %= size
        buf[j] += v * gain


def fade_out(buf, dur=0.012):
    """Ends a one-shot sound at silence whatever was still ringing."""
    n = min(len(buf), int(dur * RATE))
    for i in range(n):
        buf[len(buf) - 1 - i] *= i / n
    return buf


# Loudness targets, in dB of the weighted mean square (a full-scale sine reads about -3). Effects
# are measured at their loudest 400 ms, tunes over the whole loop; effects sit a little under the
# tunes. Peaks stay under the ceiling whatever the target asks for.
EFFECT_LOUDNESS = -19.0
TUNE_LOUDNESS = -17.0
CEILING = 0.97
LOUDNESS_WINDOW = 0.4


def _biquad(x, b, a):
    b0, b1, b2 = (v / a[0] for v in b)
    a1, a2 = a[1] / a[0], a[2] / a[0]
    y = [0.0] * len(x)
    x1 = x2 = y1 = y2 = 0.0
    for i, v in enumerate(x):
        o = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2
        x2, x1, y2, y1 = x1, v, y1, o
        y[i] = o
    return y


def weighted(buf):
    """The ear's rough weighting: +4 dB above 1.5 kHz (a high shelf), rumble below 38 Hz cut."""
    a = 10.0 ** (4.0 / 40.0)
    w0 = 2.0 * math.pi * 1500.0 / RATE
    c, sa = math.cos(w0), 2.0 * math.sqrt(a) * math.sin(w0) / math.sqrt(2.0)
    shelf_b = (a * ((a + 1) + (a - 1) * c + sa), -2 * a * ((a - 1) + (a + 1) * c),
               a * ((a + 1) + (a - 1) * c - sa))
    shelf_a = ((a + 1) - (a - 1) * c + sa, 2 * ((a - 1) - (a + 1) * c), (a + 1) - (a - 1) * c - sa)
    shelf = _biquad(buf, shelf_b, shelf_a)
    w0 = 2.0 * math.pi * 38.0 / RATE
    c, alpha = math.cos(w0), math.sin(w0)
    return _biquad(shelf, ((1 + c) / 2, -(1 + c), (1 + c) / 2), (1 + alpha, -2 * c, 1 - alpha))


def loudness(buf, looped=False):
    """dB of the weighted mean square: over the whole of a loop, else over the loudest window
    (a sound shorter than the window counts as spread over it, as the ear hears short sounds)."""
    sq = [v * v for v in weighted(buf)]
    if looped:
        power = sum(sq) / max(1, len(sq))
    else:
        n = int(LOUDNESS_WINDOW * RATE)
        sums = [0.0]
        for v in sq:
            sums.append(sums[-1] + v)
        hop = n // 4
        starts = range(0, max(1, len(sq) - n + hop), hop)
        power = max(sums[min(len(sq), i + n)] - sums[i] for i in starts) / n
    return 10.0 * math.log10(power) if power > 0 else -200.0


def balance(buf, looped=False):
    """Scales a sound to its kind's loudness, short of the ceiling."""
    target = TUNE_LOUDNESS if looped else EFFECT_LOUDNESS
    top = max(abs(v) for v in buf) or 1.0
    gain = min(10.0 ** ((target - loudness(buf, looped)) / 20.0), CEILING / top)
    return [v * gain for v in buf]


def to_pcm(buf):
    """16-bit samples of a sound already in -1..1 (clipped there, should it stray)."""
    return array.array("h", (int(round(max(-1.0, min(1.0, v)) * 32767)) for v in buf))


def write_wav(path, pcm):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm.tobytes())


# ----- effects -----

def tile_pop(variant):
    base = (880.0, 1120.0, 700.0)[variant]
    rng = random.Random(100 + variant)
    buf = [0.0] * int(0.16 * RATE)
    add(buf, sweep(base * 1.8, base * 0.6, 0.14, curve=9.0, decay=28.0, table=LEAD), 0)
    add(buf, noise(rng, 0.012, 300.0, lowpass=0.6), 0, 0.35)
    add(buf, sweep(base * 3.0, base * 2.2, 0.05, curve=5.0, decay=60.0), 0, 0.2)
    return buf


def star_chime():
    buf = [0.0] * int(1.4 * RATE)
    for i, name in enumerate(("C6", "E6", "G6", "C7")):
        add(buf, bell(hz(name), 1.1, decay=3.0), int(i * 0.07 * RATE), 0.6)
    return buf


def explosion():
    rng = random.Random(5)
    buf = [0.0] * int(1.5 * RATE)
    add(buf, noise(rng, 1.5, 3.2, lowpass=0.08), 0, 1.4)
    add(buf, noise(rng, 0.35, 9.0, lowpass=0.5), 0, 0.5)
    add(buf, sweep(120.0, 38.0, 0.9, curve=5.0, decay=4.5, table=BASS), 0, 0.9)
    # A few late crackles so the blast does not end as plain hiss.
    for _ in range(14):
        at = int(rng.uniform(0.1, 0.9) * RATE)
        add(buf, noise(rng, 0.03, 120.0, lowpass=0.7), at, rng.uniform(0.1, 0.3))
    return buf


def neg_theme():
    buf = [0.0] * int(2.3 * RATE)
    for i, (name, dur) in enumerate((("G4", 0.3), ("F#4", 0.3), ("F4", 0.3), ("E4", 1.0))):
        tone = voice(PLUCK, hz(name), dur, attack=0.01, decay=1.0, release=0.12,
                     vibrato=0.012 if dur > 0.5 else 0.0)
        add(buf, tone, int(i * 0.36 * RATE), 0.7)
        add(buf, voice(BASS, hz(name) / 2, dur, attack=0.01, decay=1.5, release=0.12),
            int(i * 0.36 * RATE), 0.5)
    return buf


def pos_theme():
    buf = [0.0] * int(2.0 * RATE)
    notes = ("C5", "E5", "G5", "C6")
    for i, name in enumerate(notes):
        add(buf, voice(PLUCK, hz(name), 0.11, decay=4.0, release=0.05), int(i * 0.11 * RATE), 0.5)
    hold = int(0.48 * RATE)
    for name in ("C5", "E5", "G5", "C6"):
        add(buf, voice(LEAD, hz(name), 0.9, attack=0.02, decay=1.2, release=0.3,
                       vibrato=0.006), hold, 0.3)
    add(buf, voice(BASS, hz("C3"), 0.9, attack=0.01, decay=1.5, release=0.3), hold, 0.6)
    for i, name in enumerate(("G6", "C7", "E7")):
        add(buf, bell(hz(name), 0.9), hold + int(i * 0.09 * RATE), 0.25)
    return buf


def bleep():
    buf = [0.0] * int(0.16 * RATE)
    add(buf, voice(PLUCK, 1320.0, 0.05, attack=0.002, decay=8.0, release=0.01), 0, 0.6)
    add(buf, voice(PLUCK, 1760.0, 0.07, attack=0.002, decay=8.0, release=0.02),
        int(0.06 * RATE), 0.6)
    return buf


def clock_tick():
    rng = random.Random(9)
    buf = [0.0] * int(0.5 * RATE)
    for at, f in ((0.0, 2400.0), (0.25, 1700.0)):
        start = int(at * RATE)
        add(buf, noise(rng, 0.02, 260.0, lowpass=0.9, highpass=True), start, 0.8)
        add(buf, bell(f, 0.06, decay=40.0), start, 0.5)
    return buf


def question():
    buf = [0.0] * int(0.95 * RATE)
    add(buf, sweep(260.0, 330.0, 0.2, curve=4.0, decay=6.0, table=LEAD), 0, 0.8)
    # The second syllable rises, like a spoken question.
    add(buf, sweep(330.0, 720.0, 0.42, curve=-2.5, decay=3.0, table=LEAD), int(0.22 * RATE), 0.8)
    add(buf, bell(hz("E6"), 0.4), int(0.5 * RATE), 0.12)
    return buf


# ----- tunes -----

def _drums(rng):
    kick = sweep(160.0, 45.0, 0.28, curve=18.0, decay=11.0)
    snare = noise(rng, 0.18, 22.0, lowpass=0.55)
    add(snare, sweep(220.0, 180.0, 0.1, curve=3.0, decay=30.0), 0, 0.6)
    hat = noise(rng, 0.05, 80.0, lowpass=1.0, highpass=True)
    return kick, snare, hat


def tune(bpm, chords, melody, style, seed, fills=()):
    """A loop of bars of 4/4. The tails of the last notes wrap round into the start so the
    loop point has no click. chords: one list of note names per bar; melody: (start eighth,
    length in eighths, note); fills: bars whose second half ends in a snare run."""
    rng = random.Random(seed)
    bars = len(chords)
    eighth = RATE * 60.0 / bpm / 2.0
    size = int(round(bars * 8 * eighth))
    buf = [0.0] * size
    at = lambda e: int(round(e * eighth)) % size  # noqa: E731
    e_sec = eighth / RATE
    cache = {}

    def cached(key, make):
        if key not in cache:
            cache[key] = make()
        return cache[key]

    if style == "game":
        kick, snare, hat = _drums(rng)
        for bar, chord in enumerate(chords):
            root = hz(chord[0]) / 4
            for e in range(8):
                f = root * (2 if e % 2 else 1)
                b = cached(("bass", f), lambda: voice(BASS, f, e_sec * 0.8, decay=5.0,
                                                      release=0.05))
                add(buf, b, at(bar * 8 + e), 0.55, wrap=True)
            tones = [hz(n) for n in chord]
            pattern = [tones[0], tones[1], tones[2], tones[1] * 2, tones[2], tones[1],
                       tones[0] * 2, tones[2]] * 2
            for s, f in enumerate(pattern):
                p = cached(("arp", f), lambda: voice(PLUCK, f, e_sec * 0.4, decay=12.0,
                                                     release=0.04))
                add(buf, p, at(bar * 8 + s / 2.0), 0.12, wrap=True)
            fill = bar in fills
            for e in range(8):
                if e in ((0, 4) if fill else (0, 3, 4)):
                    add(buf, kick, at(bar * 8 + e), 0.8, wrap=True)
                if e in ((2, 5, 6, 7) if fill else (2, 6)):
                    add(buf, snare, at(bar * 8 + e), 0.35 if e < 5 else 0.2 + 0.05 * e, wrap=True)
                add(buf, hat, at(bar * 8 + e + 0.5), 0.12 if e % 2 else 0.08, wrap=True)
            if fill:
                add(buf, snare, at(bar * 8 + 7.5), 0.45, wrap=True)
        for start, length, name in melody:
            m = cached(("lead", name, length), lambda: voice(
                LEAD, hz(name), e_sec * length * 0.9, attack=0.01, decay=1.5, release=0.08,
                vibrato=0.004 if length > 1 else 0.0))
            add(buf, m, at(start), 0.34, wrap=True)
    else:
        for bar, chord in enumerate(chords):
            for name in chord:
                pad = cached(("pad", name), lambda: voice(
                    ORGAN, hz(name), e_sec * 8, attack=0.35, decay=0.4, release=0.5))
                add(buf, pad, at(bar * 8), 0.1, wrap=True)
            for half in range(2):
                f = hz(chord[0]) / 2
                b = cached(("bass", f), lambda: voice(BASS, f, e_sec * 3.6, attack=0.02,
                                                      decay=1.0, release=0.2))
                add(buf, b, at(bar * 8 + half * 4), 0.45, wrap=True)
            tones = [hz(n) * 2 for n in chord]
            for e in range(8):
                f = tones[(e * 3) % len(tones)]
                p = cached(("arp", f), lambda: voice(PLUCK, f, e_sec * 0.5, decay=7.0,
                                                     release=0.05))
                add(buf, p, at(bar * 8 + e), 0.07, wrap=True)
        for start, length, name in melody:
            m = cached(("bell", name, length), lambda: bell(hz(name), e_sec * length + 0.8))
            add(buf, m, at(start), 0.3, wrap=True)
    return buf


def phrase(bar, notes):
    """Melody notes given in eighths from the start of a bar."""
    return [(bar * 8 + start, length, name) for start, length, name in notes]


def game_theme():
    """Sixteen bars, about 30 s: a tune, its answer, a bridge, and a return leading round."""
    c, am, f, g = ["C4", "E4", "G4"], ["A3", "C4", "E4"], ["F3", "A3", "C4"], ["G3", "B3", "D4"]
    em = ["E3", "G3", "B3"]
    ending = [(24, 2, "D5"), (26, 1, "E5"), (27, 1, "G5"), (28, 1, "G5"), (29, 1, "F5"),
              (30, 2, "D5")]
    melody = phrase(0, [(0, 2, "E5"), (2, 1, "G5"), (3, 1, "A5"), (4, 2, "G5"), (6, 2, "E5"),
                        (8, 2, "C5"), (10, 1, "E5"), (11, 1, "D5"), (12, 3, "C5"), (15, 1, "A4"),
                        (16, 2, "A4"), (18, 1, "C5"), (19, 1, "F5"), (20, 2, "E5"),
                        (22, 2, "C5")] + ending)
    melody += phrase(4, [(0, 2, "E5"), (2, 1, "G5"), (3, 1, "A5"), (4, 2, "C6"), (6, 2, "A5"),
                         (8, 2, "G5"), (10, 1, "E5"), (11, 1, "G5"), (12, 4, "A5"), (16, 2, "F5"),
                         (18, 1, "A5"), (19, 1, "C6"), (20, 2, "A5"), (22, 2, "F5"), (24, 3, "G5"),
                         (27, 1, "F5"), (28, 2, "E5"), (30, 2, "D5")])
    melody += phrase(8, [(0, 3, "A5"), (3, 1, "G5"), (4, 2, "F5"), (6, 2, "C5"), (8, 3, "B4"),
                         (11, 1, "D5"), (12, 2, "G5"), (14, 2, "F5"), (16, 3, "E5"), (19, 1, "G5"),
                         (20, 2, "B5"), (22, 2, "G5"), (24, 4, "A5"), (28, 1, "G5"), (29, 1, "E5"),
                         (30, 2, "C5")])
    melody += phrase(12, [(0, 2, "A5"), (2, 2, "C6"), (4, 2, "A5"), (6, 2, "F5"), (8, 2, "G5"),
                          (10, 2, "B5"), (12, 2, "D6"), (14, 2, "B5"), (16, 4, "C6"), (20, 2, "G5"),
                          (22, 2, "E5")] + ending)
    chords = [c, am, f, g] * 2 + [f, g, em, am] + [f, g, c, g]
    return tune(126, chords, melody, "game", 41, fills=(7, 15))


def menu_theme():
    """Twelve bars, about 30 s, slow: a tune, a bridge that climbs, and the tune again."""
    fmaj7, g6, em7, am7 = (["F3", "A3", "C4", "E4"], ["G3", "B3", "D4", "E4"],
                           ["E3", "G3", "B3", "D4"], ["A3", "C4", "E4", "G4"])
    dm7, g7, cmaj7 = ["D3", "F3", "A3", "C4"], ["G3", "B3", "D4", "F4"], ["C3", "E3", "G3", "B3"]
    melody = phrase(0, [(0, 2, "A5"), (2, 2, "C6"), (4, 4, "E6"), (8, 3, "D6"), (11, 1, "C6"),
                        (12, 4, "B5"), (16, 2, "E5"), (18, 2, "G5"), (20, 2, "B5"), (22, 2, "D6"),
                        (24, 4, "C6"), (28, 2, "B5"), (30, 2, "G5")])
    melody += phrase(4, [(0, 2, "F5"), (2, 2, "A5"), (4, 4, "C6"), (8, 2, "B5"), (10, 2, "D6"),
                         (12, 4, "F6"), (16, 4, "E6"), (20, 2, "D6"), (22, 2, "C6"), (24, 4, "A5"),
                         (28, 2, "G5"), (30, 2, "E5")])
    melody += phrase(8, [(0, 2, "A5"), (2, 2, "C6"), (4, 4, "E6"), (8, 3, "D6"), (11, 1, "E6"),
                         (12, 4, "G6"), (16, 2, "E5"), (18, 2, "G5"), (20, 2, "B5"), (22, 2, "E6"),
                         (24, 6, "C6"), (30, 2, "B5")])
    chords = [fmaj7, g6, em7, am7, dm7, g7, cmaj7, am7, fmaj7, g6, em7, am7]
    return tune(94, chords, melody, "menu", 42)


SOUND_MAKERS = {
    "Audio/TilePop01.wav": lambda: tile_pop(0),
    "Audio/TilePop02.wav": lambda: tile_pop(1),
    "Audio/TilePop03.wav": lambda: tile_pop(2),
    "Audio/StarChime.wav": star_chime,
    "Audio/explosion.wav": explosion,
    "Audio/NegTheme.wav": neg_theme,
    "Audio/PosTheme.wav": pos_theme,
    "Audio/Bleep.wav": bleep,
    "Audio/Clock.wav": clock_tick,
    "Audio/Question.wav": question,
    "Audio/theme.wav": game_theme,
    "Audio/theme2.wav": menu_theme,
}
