"""Every picture of the game, by its path under Data."""
import math
import random

from PIL import Image, ImageChops, ImageDraw, ImageFilter

import art
from art import (CYAN, GOLD, GOLD_LIGHT, INK, WHITE, blur, canvas, down,
                 fancy_masks, fancy_text, fill, font, gradient, over, polygon_mask, rounded, star_points)
from asset_list import (BIG_TEXT, CURSOR_NEIGHBOURS, CURSOR_OVERHANG, CURSOR_PIECE, FONT_LETTERS,
                        GLYPH, HELP_PAGE, HUD_BOX, IMAGE_SIZES, REVIEW_LINE, REVIEW_PANEL, SCREEN,
                        TILE_LETTERS, cursor_file)

GOLD_TEXT = [(0, (255, 250, 200)), (0.5, (255, 214, 70)), (1, (250, 140, 20))]
HOT_TEXT = [(0, (255, 220, 220)), (0.5, (255, 92, 92)), (1, (190, 20, 60))]
COOL_TEXT = [(0, WHITE), (1, (190, 236, 255))]


# ----- image font -----

GLYPH_CHARS = {**{"ImageFont%s.png" % c: c for c in FONT_LETTERS},
               **{"ImageNumber%d.png" % d: str(d) for d in range(10)},
               "ImageNumberColon.png": ":", "ImageNumberComma.png": ",",
               "ImageNumberFullStop.png": ".", "ImageNumberMultiply.png": "\u00d7",
               "ImageNumberSlash.png": "/"}


# Ink keeps this many clear pixels from each side of its cell: the HUD sets glyphs 28 pixels
# apart, so anything closer would run into the neighbouring letter.
GLYPH_MARGIN = 2
GLYPH_STROKE = 2.2
# Colon and multiply sit a little higher, centred on the digits; the comma is drawn larger than
# the font's so that "1,000" reads as one number rather than a gap between two.
GLYPH_BASELINE = {":": 28, "\u00d7": 27, ",": 28}
GLYPH_SCALE = {",": 1.4}


def glyph_body(ch):
    """The glyph's filled shape, at 4x on a canvas three cells wide so nothing is cut off yet."""
    w, h = GLYPH
    s = art.SS
    fnt = font(int(35 * s * GLYPH_SCALE.get(ch, 1.0)), "bold")
    m = art.text_mask((3 * w * s, h * s), (w * s, GLYPH_BASELINE.get(ch, 30) * s), ch, fnt,
                      anchor="ls")
    if ch == "I":
        # A bare stem leaves a hole in a row of 28-pixel cells ("CRED I TS"): give it slab serifs.
        x0, y0, x1, y1 = m.getbbox()
        stem = x1 - x0
        half = stem * 1.6
        bar = int(stem * 0.8)
        cx = (x0 + x1) / 2
        d = ImageDraw.Draw(m)
        d.rectangle((cx - half, y0, cx + half - 1, y0 + bar - 1), fill=255)
        d.rectangle((cx - half, y1 - bar, cx + half - 1, y1 - 1), fill=255)
    return m


def fold_tail(body, line, floor):
    """Squashes what hangs below the baseline (the tail of the Q) to end above floor."""
    bottom = body.getbbox()[3]
    if bottom > floor > line:
        tail = body.crop((0, line, body.width, bottom)).resize((body.width, floor - line), Image.LANCZOS)
        body.paste(0, (0, line, body.width, body.height))
        body.paste(tail, (0, line))


def glyph(ch):
    """White letters with a dark rim: the HUD tints them (red highlight) and fades them."""
    w, h = GLYPH
    s = art.SS
    stroke = GLYPH_STROKE * s
    shadow = (s, int(1.5 * s), 2, 150)
    body = glyph_body(ch)
    floor = (h - 1) * s - int(stroke) - shadow[1] - 2 * shadow[2]
    fold_tail(body, GLYPH_BASELINE.get(ch, 30) * s, floor)
    x0, _, x1, _ = body.getbbox()
    piece = body.crop((x0, 0, x1, h * s))
    # Room for the body once its rim, the shadow's offset and blur, and the margins are added.
    room = (w - 2 * GLYPH_MARGIN) * s - int(2 * stroke) - shadow[0] - 2 * shadow[2]
    if piece.width > room:
        # Squeeze the shape, not the finished letter, so that every rim keeps its weight.
        piece = piece.resize((room, h * s), Image.LANCZOS)
    body = Image.new("L", (w * s, h * s), 0)
    body.paste(piece, ((w * s - piece.width - shadow[0]) // 2, 0))
    img = canvas(w * s, h * s)
    fancy_masks(img, body, art.dilate(body, stroke), [(0, WHITE), (1, (214, 226, 255))],
                outline=INK, shadow=shadow, gloss=False)
    # An area average: a sharper filter rings, leaving faint ink on the cell's edges.
    return img.resize((w, h), Image.BOX)


# ----- cursor -----

def cursor_piece(code):
    """Edge piece of the shape cursor: bands on the sides with no neighbouring mask cell, pure
    black (the colour key) everywhere else. The bands run the full 70 pixels so that pieces of
    neighbouring cells, pasted 64 pixels apart, join up at inner corners."""
    w, h = CURSOR_PIECE
    band = 2 * CURSOR_OVERHANG
    img = Image.new("RGB", (w, h), (0, 0, 0))
    d = ImageDraw.Draw(img)
    # Light colours only: the sprite tints the piece with the pulse colour.
    shades = [(150, 196, 255), (210, 232, 255), (255, 255, 255), (255, 255, 255), (210, 232, 255),
              (150, 196, 255)]
    edges = [side for side in "URDL" if side not in CURSOR_NEIGHBOURS[code]]
    for side in edges:
        for i, c in enumerate(shades):
            if side == "U":
                d.line((0, i, w - 1, i), fill=c)
            elif side == "D":
                d.line((0, h - band + i, w - 1, h - band + i), fill=c)
            elif side == "L":
                d.line((i, 0, i, h - 1), fill=c)
            else:
                d.line((w - band + i, 0, w - band + i, h - 1), fill=c)
    # Where two edges meet, re-draw the outer corner rounded.
    for a, b, (cx, cy) in (("U", "L", (0, 0)), ("U", "R", (w - 1, 0)), ("D", "L", (0, h - 1)),
                           ("D", "R", (w - 1, h - 1))):
        if a in edges and b in edges:
            sx = 1 if cx == 0 else -1
            sy = 1 if cy == 0 else -1
            for dx, dy in ((0, 0), (1, 0), (0, 1)):
                img.putpixel((cx + sx * dx, cy + sy * dy), (0, 0, 0))
            img.putpixel((cx + sx, cy + sy), shades[0])
    return img


def inside_cursor():
    w, h = CURSOR_PIECE
    o = CURSOR_OVERHANG
    img = canvas(w, h)
    # Only the cell's own 64x64 is filled, so neighbouring cells do not overlap and double up.
    m = Image.new("L", (w, h), 0)
    m.paste(255, (o, o, w - o, h - o))
    over(img, fill(m, gradient((w, h), [(0, (255, 255, 255, 95)), (0.5, (220, 240, 255, 45)),
                                        (1, (200, 230, 255, 70))])))
    return img


def selector():
    s = art.SS
    S = 64 * s
    img = canvas(S, S)
    ring = rounded((S, S), (3 * s, 3 * s, S - 3 * s - 1, S - 3 * s - 1), 12 * s, width=4 * s)
    over(img, fill(blur(ring, 4 * s), (255, 240, 120, 200)))
    over(img, fill(rounded((S, S), (6 * s, 6 * s, S - 6 * s, S - 6 * s), 10 * s), (255, 250, 200, 40)))
    over(img, fill(ring, gradient((S, S), [(0, (255, 255, 220)), (1, (255, 190, 40))])))
    return down(img, (64, 64))


def pointer():
    s = art.SS
    S = 32 * s
    img = canvas(S, S)
    pts = [(1, 1), (1, 24), (6.5, 19), (10.5, 28), (15, 26), (11, 17.5), (18.5, 17.5)]
    m = polygon_mask((S, S), [(x * s, y * s) for x, y in pts])
    over(img, fill(blur(art.shift(m, 2 * s, 2 * s), 1.5 * s), (0, 0, 0, 110)))
    over(img, fill(m.filter(ImageFilter.MaxFilter(2 * s + 1)), INK))
    over(img, fill(m, gradient((S, S), [(0, WHITE), (1, (190, 210, 255))])))
    return down(img, (32, 32))


# ----- effects -----

def pop_frame(i):
    s = art.SS
    S = 64 * s
    img = canvas(S, S)
    c = S / 2
    t = (i + 1) / 7.0
    r = (8 + 24 * t) * s
    width = max(1, int((7 - 5 * t) * s))
    alpha = int(255 * (1 - t) ** 0.7)
    m = Image.new("L", (S, S), 0)
    ImageDraw.Draw(m).ellipse((c - r, c - r, c + r, c + r), outline=255, width=width)
    over(img, fill(blur(m, 2 * s), (255, 240, 170, alpha)))
    over(img, fill(m, (255, 255, 235, alpha)))
    if i < 2:
        core = Image.new("L", (S, S), 0)
        cr = (14 - 6 * i) * s
        ImageDraw.Draw(core).ellipse((c - cr, c - cr, c + cr, c + cr), fill=255)
        over(img, fill(blur(core, 3 * s), (255, 255, 255, 200 - 80 * i)))
    for k in range(8):
        a = math.radians(k * 45 + 22.5)
        d = (10 + 20 * t) * s
        px, py = c + d * math.cos(a), c + d * math.sin(a)
        sp = polygon_mask((S, S), star_points(px, py, (5 - 3 * t) * s, 1.5 * s, n=4, turn=0))
        over(img, fill(sp, (255, 255, 200, alpha)))
    return down(img, (64, 64))


def puff():
    s = 2
    S = 104 * s
    img = canvas(S, S)
    rng = random.Random(19)
    m = Image.new("L", (S, S), 0)
    d = ImageDraw.Draw(m)
    for _ in range(9):
        a = rng.uniform(0, 2 * math.pi)
        dist = rng.uniform(6, 20) * s
        r = rng.uniform(14, 22) * s
        x, y = S / 2 + dist * math.cos(a), S / 2 + dist * math.sin(a)
        d.ellipse((x - r, y - r, x + r, y + r), fill=255)
    m = blur(m, 5 * s)
    over(img, fill(m, art.radial((S, S), (255, 255, 255, 230), (220, 230, 255, 150), radius=52 * s)))
    return down(img, (104, 104))


def twinkle(i):
    s = art.SS
    S = 32 * s
    img = canvas(S, S)
    c = S / 2
    grow = math.sin(math.pi * (i + 1) / 12.0)
    r = (4 + 11 * grow) * s
    turn = i * 9.0
    glow = Image.new("L", (S, S), 0)
    gr = r * 0.6
    ImageDraw.Draw(glow).ellipse((c - gr, c - gr, c + gr, c + gr), fill=255)
    over(img, fill(blur(glow, 3 * s), (255, 250, 190, int(200 * grow))))
    m = polygon_mask((S, S), star_points(c, c, r, r * 0.18, n=4, turn=turn))
    over(img, fill(m, (255, 255, 230, 255)))
    small = polygon_mask((S, S), star_points(c, c, r * 0.55, r * 0.12, n=4, turn=turn + 45))
    over(img, fill(small, (255, 255, 255, 200)))
    return down(img, (32, 32))


def big_star():
    s = 2
    S = 300 * s
    img = canvas(S, S)
    c = S / 2
    m = polygon_mask((S, S), star_points(c, c + 10 * s, 140 * s, 62 * s))
    m = blur(m, 6 * s).point(lambda v: 255 if v > 110 else int(v * 255 / 110))
    over(img, fill(blur(m, 14 * s), (255, 255, 255, 70)))
    over(img, fill(m, art.radial((S, S), (255, 255, 255, 120), (255, 255, 255, 40), radius=140 * s)))
    rim = ImageChops.subtract(m, m.filter(ImageFilter.MinFilter(7)))
    over(img, fill(rim, (255, 255, 255, 120)))
    return down(img, (300, 300))


def white_icon(kind, size):
    s = art.SS
    S = size * s
    k = S / 24.0
    img = canvas(S, S)
    c = S / 2
    m = Image.new("L", (S, S), 0)
    d = ImageDraw.Draw(m)
    if kind == "dot":
        m = art.radial((S, S), (255, 255, 255), (0, 0, 0), radius=S / 2).getchannel("R")
        over(img, fill(m, WHITE))
        return down(img, (size, size))
    if kind == "star":
        d.polygon(star_points(c, c + k, 11 * k, 4.6 * k), fill=255)
    elif kind == "clock":
        d.ellipse((c - 10 * k, c - 10 * k, c + 10 * k, c + 10 * k), fill=255)
        d.ellipse((c - 7 * k, c - 7 * k, c + 7 * k, c + 7 * k), fill=0)
        d.line((c, c, c, c - 5.5 * k), fill=255, width=int(2 * k))
        d.line((c, c, c + 4 * k, c + 1 * k), fill=255, width=int(2 * k))
    elif kind == "question":
        d.text((c, c + k), "?", font=font(int(24 * k), "bold"), fill=255, anchor="mm")
    over(img, fill(blur(m, 1.5 * k), (255, 255, 255, 150)))
    over(img, fill(m, WHITE))
    return down(img, (size, size))


# ----- big captions and lettering -----

def big_text(lines, stops):
    w, h = BIG_TEXT
    s = 2
    img = canvas(w * s, h * s)
    size = 84 if len(lines) == 1 else 62
    fnt = font(size * s, "bolditalic")
    widest = max(fnt.getlength(line) for line in lines)
    if widest > (w - 36) * s:
        fnt = font(int(size * s * (w - 36) * s / widest), "bolditalic")
    step = fnt.size * 1.02
    top = h * s / 2 - step * (len(lines) - 1) / 2
    for i, line in enumerate(lines):
        fancy_text(img, (w * s / 2, top + i * step), line, fnt, stops, stroke=6 * s,
                   shadow=(3 * s, 5 * s, 4 * s, 160), glow=((255, 255, 255, 90), 10 * s))
    return down(img, (w, h))


def caption(text, size, stops=GOLD_TEXT, fnt_size=34, style="bold"):
    w, h = size
    s = 2
    img = canvas(w * s, h * s)
    fancy_text(img, (w * s / 2, h * s / 2), text, font(fnt_size * s, style), stops, stroke=3 * s,
               shadow=(2 * s, 3 * s, 2 * s, 150), spacing=2 * s)
    return down(img, (w, h))


# ----- logos -----

def letter_row(word, tile_px, gap, seed):
    """The game's name spelt in glossy tiles, each a little tilted and bobbed."""
    rng = random.Random(seed)
    pad = tile_px // 4
    w = len(word) * tile_px + (len(word) - 1) * gap + 2 * pad
    h = tile_px + 2 * pad
    img = canvas(w, h)
    shadow = canvas(w, h)
    for i, ch in enumerate(word):
        t = art.styled_tile(TILE_LETTERS[i % len(TILE_LETTERS)], tile_px, with_letter=ch)
        t = t.rotate(rng.uniform(-7, 7), resample=Image.BICUBIC, expand=True)
        x = pad + i * (tile_px + gap) + (tile_px - t.width) // 2
        y = pad + (tile_px - t.height) // 2 + int(rng.uniform(-0.08, 0.08) * tile_px)
        shadow.alpha_composite(fill(t.getchannel("A"), (0, 0, 0, 140)),
                               (x + tile_px // 20, y + tile_px // 12))
        img.alpha_composite(t, (x, y))
    out = fill(blur(shadow.getchannel("A"), tile_px / 20), (0, 0, 0, 150))
    over(out, img)
    return out


def logo(size, tagline):
    w, h = size
    img = canvas(w, h)
    tile_px = 72 if tagline else 32
    row = letter_row("ZARVOLIN", tile_px, tile_px // 16, 7)
    y = 28 if tagline else (h - row.height) // 2 - 8
    # The glow is blurred on the whole picture so that it fades out before the edges.
    halo = Image.new("L", (w, h), 0)
    halo.paste(row.getchannel("A"), ((w - row.width) // 2, y))
    over(img, fill(blur(halo, tile_px / 5), (255, 255, 255, 120)))
    over(img, row, ((w - row.width) // 2, y))
    if tagline:
        fancy_text(img, (w / 2, 214), "a shape matching puzzle", font(36, "bolditalic"), GOLD_TEXT,
                   stroke=3, shadow=(2, 3, 2, 160), glow=((0, 0, 0, 110), 6))
        for x, y2, r in ((40, 190, 12), (70, 240, 7), (640, 200, 11), (610, 250, 7), (330, 262, 6),
                         (660, 24, 8), (24, 30, 9)):
            sp = polygon_mask(img.size, star_points(x, y2, r, r * 0.2, n=4, turn=0))
            over(img, fill(blur(sp, 3), (255, 255, 220, 160)))
            over(img, fill(sp, (255, 255, 240, 230)))
    else:
        fancy_text(img, (w / 2, h - 20), "puzzle", font(22, "bolditalic"), GOLD_TEXT, stroke=2,
                   shadow=(1, 2, 1, 160), spacing=3)
    return img


def maker_logo():
    w, h = 144, 60
    s = 4
    img = canvas(w * s, h * s)
    cx, cy, r = 26 * s, 30 * s, 21 * s
    hexagon = polygon_mask(img.size, [(cx + r * math.cos(math.radians(60 * i + 30)),
                                       cy + r * math.sin(math.radians(60 * i + 30))) for i in range(6)])
    over(img, fill(blur(hexagon, 3 * s), (0, 0, 0, 120)))
    over(img, fill(hexagon, gradient(img.size, [(0.1, CYAN), (0.9, (40, 70, 200))])))
    fancy_text(img, (cx, cy + s), "Q", font(28 * s, "bold"), COOL_TEXT, stroke=2 * s,
               shadow=None, gloss=False)
    fancy_text(img, (96 * s, 26 * s), "QUORVANE", font(15 * s, "bold"), COOL_TEXT, stroke=2 * s,
               shadow=(s, 2 * s, s, 160), spacing=s, gloss=False)
    fancy_text(img, (96 * s, 44 * s), "games", font(12 * s, "italic"), GOLD_TEXT, stroke=int(1.5 * s),
               shadow=None, gloss=False, spacing=2 * s)
    return down(img, (w, h))


def backdrop():
    """White and grey so that the tint shows through; repeats every 768 rows."""
    w, h = SCREEN
    # Broad diagonal light bands, periodic in y over the screen height.
    lw, lh = w // 8, h // 8
    bands = Image.new("L", (lw, lh))
    bands.putdata([int(214 + 22 * math.sin(2 * math.pi * ((x + 0.5) * 8 + (y + 0.5) * 8) / 768.0)
                       + 10 * math.sin(2 * math.pi * ((y + 0.5) * 8 * 2 - (x + 0.5) * 8) / 768.0))
                   for y in range(lh) for x in range(lw)])
    base = bands.resize((w, h), Image.BICUBIC).convert("RGBA")
    # A lattice of faint rounded tiles, 64 pixels apart, offset on odd rows.
    tiles = Image.new("L", (w, h), 0)
    rims = Image.new("L", (w, h), 0)
    d = ImageDraw.Draw(tiles)
    dr = ImageDraw.Draw(rims)
    for row in range(h // 64):
        for col in range(-1, w // 64 + 1):
            x = col * 64 + (32 if row % 2 else 0) + 8
            y = row * 64 + 8
            d.rounded_rectangle((x, y, x + 47, y + 47), 10, fill=255)
            dr.rounded_rectangle((x, y, x + 47, y + 47), 10, outline=255, width=2)
    over(base, fill(tiles, (255, 255, 255, 40)))
    over(base, fill(rims, (255, 255, 255, 110)))
    return base


# ----- HUD -----

def hud_box(size, captions, wells, trough=None):
    img = art.panel(size, radius=16)
    for text, cx in captions:
        fancy_text(img, (cx, 30), text, font(22, "bold"), GOLD_TEXT, stroke=2, shadow=(1, 2, 1, 160),
                   gloss=False, spacing=2)
    for box in wells:
        art.well(img, box)
    if trough:
        x, y, tw, th = trough
        art.well(img, (x - 3, y - 3, x + tw + 2, y + th + 2), radius=8, alpha=200)
    return img


def combo_bar():
    w, h = 192, 32
    # Only a vertical gradient: the sprite stretches the bar sideways to the meter's length.
    img = gradient((w, h), [(0, (255, 252, 200)), (0.3, (255, 214, 60)), (0.7, (250, 130, 20)),
                            (1, (200, 70, 10))])
    m = Image.new("L", (w, h), 255)
    img.putalpha(m)
    return img


def game_board():
    w, h = 660, 660
    img = art.panel((w, h), radius=22, top=(26, 28, 76), bottom=(14, 14, 44), alpha=225,
                    border=(120, 140, 230))
    cells = Image.new("L", (w, h), 0)
    alt = Image.new("L", (w, h), 0)
    d = ImageDraw.Draw(cells)
    da = ImageDraw.Draw(alt)
    for y in range(10):
        for x in range(10):
            box = (10 + 64 * x + 3, 10 + 64 * y + 3, 10 + 64 * x + 60, 10 + 64 * y + 60)
            (d if (x + y) % 2 else da).rounded_rectangle(box, 9, fill=255)
    over(img, fill(cells, (8, 8, 30, 200)))
    over(img, fill(alt, (14, 14, 44, 200)))
    both = ImageChops.lighter(cells, alt)
    edge = ImageChops.subtract(both, art.shift(both, 0, 2))
    over(img, fill(edge, (0, 0, 0, 120)))
    low = ImageChops.subtract(both, art.shift(both, 0, -1))
    over(img, fill(low, (120, 130, 220, 60)))
    return img


def review_panel(title, kind):
    w, h = REVIEW_PANEL
    # Opaque: the board and its stars must not show through the lines written on it.
    img = art.panel((w, h), radius=26, alpha=255)
    # Title ribbon.
    ribbon = rounded((w, h), (40, 22, w - 41, 96), 20)
    over(img, fill(blur(ribbon, 6), (0, 0, 0, 120)))
    over(img, fill(ribbon, gradient((w, h), [(0.03, (90, 60, 200)), (0.2, (40, 26, 110))])))
    over(img, fill(rounded((w, h), (40, 22, w - 41, 96), 20, width=2), GOLD))
    size = 44
    while font(size, "bolditalic").getlength(title) > w - 220:
        size -= 1
    fancy_text(img, (w / 2, 60), title, font(size, "bolditalic"), GOLD_TEXT, stroke=4,
               shadow=(2, 4, 3, 160), glow=((255, 220, 120, 60), 8))
    for sx in (80, w - 80):
        st = polygon_mask((w, h), star_points(sx, 60, 16, 7))
        over(img, fill(st, (255, 220, 80)))
    if kind == "hiscore":
        for i, line in enumerate(("your score made the table!", "type your name, then press enter")):
            fancy_text(img, (w / 2, 170 + 44 * i), line, font(24, "bold"), COOL_TEXT, stroke=2,
                       shadow=(1, 2, 1, 150), gloss=False)
        big = polygon_mask((w, h), star_points(w / 2, 300, 50, 21))
        over(img, fill(blur(big, 10), (255, 220, 100, 120)))
        over(img, fill(big, gradient((w, h), [(0.45, (255, 250, 170)), (0.65, (250, 150, 20))])))
        # The name is written at (270, 400) of the panel, 40 pixels high.
        art.well(img, (110, 390, w - 111, 450), radius=14, alpha=210)
        over(img, fill(rounded((w, h), (110, 390, w - 111, 450), 14, width=2), CYAN))
    elif kind == "level":
        # Faint plates behind the two caption-and-value pairs (captions at 120 and 270).
        for y in (112, 262):
            over(img, fill(rounded((w, h), (60, y, w - 61, y + 128), 16), (255, 255, 255, 14)))
    return img


# ----- help pages -----

def _help_base(title, page):
    w, h = HELP_PAGE
    img = art.panel((w, h), radius=26, alpha=238)
    fancy_text(img, (w / 2, 46), title, font(42, "bolditalic"), GOLD_TEXT, stroke=4,
               shadow=(2, 4, 3, 160))
    over(img, fill(rounded((w, h), (40, 82, w - 41, 84), 1), (255, 214, 90, 120)))
    fancy_text(img, (w - 60, h - 26), "%d / 4" % page, font(20, "bold"), COOL_TEXT, stroke=2,
               shadow=None, gloss=False)
    return img


def _paragraphs(img, x, y, width, items, size=19, gap=9):
    """Writes paragraphs; an item (heading, text) puts a gold heading before its text."""
    d = ImageDraw.Draw(img)
    body = font(size, "regular")
    head = font(size + 3, "bold")
    line_h = int(size * 1.3)
    for item in items:
        heading, text = item if isinstance(item, tuple) else (None, item)
        if heading:
            d.text((x, y), heading, font=head, fill=GOLD_LIGHT)
            y += int((size + 3) * 1.35)
        for line in art.wrap(text, body, width):
            d.text((x + 1, y + 2), line, font=body, fill=(0, 0, 0, 150))
            d.text((x, y), line, font=body, fill=(236, 240, 255))
            y += line_h
        y += gap
    return y


def _mini_board(img, x0, y0, made):
    """A small board with a shape laid over a same-coloured group, as the player sees it."""
    layout = ["AABCB", "CAABB", "CCADB", "DCBDD"]
    cell = 44
    for y, row in enumerate(layout):
        for x, letter in enumerate(row):
            over(img, made["tile" + letter].resize((cell, cell), Image.LANCZOS),
                 (x0 + x * cell, y0 + y * cell))
    shape = {(0, 0), (1, 0), (1, 1), (2, 1), (2, 2)}
    d = ImageDraw.Draw(img)
    for (x, y) in shape:
        px, py = x0 + x * cell, y0 + y * cell
        over(img, fill(rounded(img.size, (px, py, px + cell - 1, py + cell - 1), 0), (255, 255, 255, 50)))
    for (x, y) in shape:
        px, py = x0 + x * cell, y0 + y * cell
        right, bottom = px + cell, py + cell
        for (nx, ny), line in (((x, y - 1), (px - 2, py - 2, right + 1, py + 1)),
                               ((x, y + 1), (px - 2, bottom - 2, right + 1, bottom + 1)),
                               ((x - 1, y), (px - 2, py - 2, px + 1, bottom + 1)),
                               ((x + 1, y), (right - 2, py - 2, right + 1, bottom + 1))):
            if (nx, ny) not in shape:
                d.rectangle(line, fill=(210, 255, 210))
    over(img, made["pointer"], (x0 + 2 * cell + 20, y0 + 2 * cell + 16))


def help_pages(made):
    w, h = HELP_PAGE
    pages = []

    img = _help_base("HOW TO PLAY", 1)
    _mini_board(img, 40, 110, made)
    _paragraphs(img, 40, 300, 220, [
        "Each colour also has its own symbol and texture, so tiles can be told apart without colour."],
        size=17)
    _paragraphs(img, 290, 104, w - 330, [
        "You are dealt a shape: a glowing outline that follows the mouse. Move it over the board so "
        "that every tile inside it has the same colour, then left-click to clear those tiles.",
        "Tiles above fall down to fill the gaps and new ones drop in from the top.",
        "Every match adds one to your combo and fills the combo meter. A match scores "
        "tiles x 10 x combo, so long combos pay.",
        "The meter drains all the time, faster as the combo grows. If it runs dry the combo is lost, "
        "and twinkles show where your shape would have fitted.",
        "Right-click throws a shape away for a new one, but it costs your combo and 10 seconds.",
        "Backspace leaves the game, Escape closes it."])
    pages.append(img)

    img = _help_base("PUZZLE MODE", 2)
    over(img, made["star"], (60, 120))
    over(img, made["clock"], (60, 200))
    _paragraphs(img, 150, 112, w - 200, [
        ("Collect the stars", "Every level starts from its own picture of tiles. Clear the number "
         "of star tiles shown in the level box before the clock runs out."),
        ("Beat the clock", "Clear a clock tile for 10 more seconds, up to 3:00. A right-click "
         "costs 10 seconds. When the time is up the game is over."),
        ("Level bonus", "Finish a level and every second left is worth 100 points, then the next "
         "level begins with your score kept. Later levels bring more colours and bigger shapes."),
        "A new special tile appears with every shape: mostly stars, a clock when none is on the "
        "board, and now and then a bomb or a mystery tile."])
    pages.append(img)

    img = _help_base("TIME ATTACK AND KEEPY UPPY", 3)
    _paragraphs(img, 60, 104, w - 120, [
        ("Time attack mode", "You have 2 minutes to score as many points as you can. Easy deals "
         "three colours, medium four and hard five. A star appears with every shape and is worth "
         "1000 points. Keep the combo going: it multiplies every match, and a dropped combo "
         "starts again from zero. A right-click costs 10 seconds here too."),
        ("Keepy uppy mode", "No clock here, but your combo must never stop. After your first "
         "match the game ends the moment the combo meter runs dry, so keep matching quickly. "
         "Shapes cannot be thrown away. Easy, medium and hard deal three, four and five colours, "
         "and the high-score table ranks you by your best combo."),
        "In both modes the tiles are dealt at random, and stars are the only special tiles."])
    meter = made["Images/HUD/ComboBox.png"].copy()
    meter.alpha_composite(made["Images/HUD/ComboBar.png"].resize((120, 32), Image.LANCZOS), (32, 64))
    art.fancy_text(meter, (128, 130), "X7", font(30, "bold"), COOL_TEXT, stroke=2, gloss=False)
    over(img, meter.resize((180, 112), Image.LANCZOS), (150, 424))
    _paragraphs(img, 360, 444, w - 420, [
        ("The combo meter", "Every match fills it up; it drains while you look for "
         "the next one.")])
    pages.append(img)

    img = _help_base("SPECIAL TILES", 4)
    rows = [("star", "Star", "1000 points. In puzzle mode it counts towards the level's stars."),
            ("clock", "Clock", "10 more seconds on the clock, up to 3:00."),
            ("bomb", "Bomb", "Blows away every tile in the 5 x 5 square around it. Special tiles "
             "caught in the blast go off too."),
            ("kooky", "Mystery", "A surprise: bomb heaven (every special turns into a bomb), kooky "
             "shape (the next shape is a scattered pattern; match it for a great find worth "
             "combo x 1000), max time (the clock goes to 3:00), combo up (10 more combo) or block "
             "buster (every tile of its colour goes at once).")]
    y = 100
    for key, name, text in rows:
        over(img, made[key], (50, y))
        y = max(y + 76, _paragraphs(img, 140, y + 4, w - 190, [(name, text)], size=19, gap=14))
    _paragraphs(img, 140, y, w - 190, ["A special tile only works when you clear it inside a shape."],
                size=18)
    pages.append(img)
    return pages


def loading(made):
    w, h = SCREEN
    img = art.radial((w, h), (44, 40, 120), (8, 8, 28), centre=(w / 2, h / 2 - 40), radius=700)
    rng = random.Random(1)
    # Falling tiles in the background.
    for _ in range(26):
        letter = rng.choice(TILE_LETTERS)
        size = rng.choice((40, 48, 56, 64))
        t = made["tile" + letter].resize((size, size), Image.LANCZOS)
        t = t.rotate(rng.uniform(-30, 30), resample=Image.BICUBIC, expand=True)
        a = t.getchannel("A").point(lambda v: v * 45 // 100)
        t.putalpha(a)
        x, y = rng.randrange(-20, w - 20), rng.randrange(-20, h - 20)
        if (140 < x < 880 and 190 < y < 650) or (x > 820 and y > 660):
            continue
        over(img, t, (x, y))
    big = made["Images/Backgrounds/ZarvolinLogo.png"]
    over(img, big, ((w - big.width) // 2, 200))
    fancy_text(img, (w / 2, 590), "loading", font(40, "bolditalic"), COOL_TEXT, stroke=3,
               shadow=(2, 3, 2, 160), spacing=4)
    for i in range(3):
        over(img, made["tile" + "ABC"[i]].resize((20, 20), Image.LANCZOS), (w // 2 + 92 + 26 * i, 584))
    maker = made["Images/Backgrounds/Quorvane.png"]
    over(img, maker, (w - maker.width - 24, h - maker.height - 20))
    return img


# ----- all of them -----

def build():
    """Returns {path: picture}; .bmp pictures are RGB, the rest RGBA."""
    out = {}
    made = {}
    for letter in TILE_LETTERS:
        img = art.styled_tile(letter)
        out["Images/Tiles/Tile%s.png" % letter] = img
        made["tile" + letter] = img
    out["Images/Tiles/TileZero.png"] = art.tile(64, None, empty=True)
    out["Images/Tiles/SmallTile.png"] = art.tile(32, (226, 230, 240), "circle")
    for name, maker in art.ICONS.items():
        made[name] = maker(64)
    out["Images/SpecialIcons/Star.tga"] = made["star"]
    out["Images/SpecialIcons/Clock.tga"] = made["clock"]
    out["Images/SpecialIcons/Bomb.tga"] = made["bomb"]
    out["Images/SpecialIcons/kooky.tga"] = made["kooky"]
    out["Images/Stars/StarWhite.png"] = white_icon("star", 24)
    out["Images/Stars/ClockWhite.png"] = white_icon("clock", 24)
    out["Images/Stars/QuestionWhite.png"] = white_icon("question", 24)
    out["Images/Stars/DotWhite.png"] = white_icon("dot", 12)

    for name, ch in GLYPH_CHARS.items():
        out["Images/ImageFont/" + name] = glyph(ch)

    for code in range(16):
        out[cursor_file(code)] = cursor_piece(code)
    out["Images/GUI/InsideCursor.png"] = inside_cursor()
    out["Images/GUI/Selector.png"] = selector()

    out["Images/Effects/BigStar.png"] = big_star()
    for i in range(6):
        out["Images/Effects/Pop%02d.png" % (i + 1)] = pop_frame(i)
    out["Images/Effects/puff.tga"] = puff()
    for i in range(11):
        out["Images/Effects/twinkle%02d.png" % (i + 1)] = twinkle(i)

    for name, lines, stops in (("ComboOut", ["COMBO OUT"], HOT_TEXT), ("Go", ["GO!"], GOLD_TEXT),
                               ("GreatFind", ["GREAT FIND"], GOLD_TEXT),
                               ("LevelComplete", ["LEVEL", "COMPLETE"], GOLD_TEXT),
                               ("Ready", ["READY"], COOL_TEXT), ("TimeUp", ["TIME UP"], HOT_TEXT)):
        out["Images/BigText/BigText_%s.png" % name] = big_text(lines, stops)

    bg = "Images/Backgrounds/"
    out[bg + "ZarvolinLogo.png"] = logo(IMAGE_SIZES[bg + "ZarvolinLogo.png"], True)
    out[bg + "ZarvolinLogoSmall.png"] = logo(IMAGE_SIZES[bg + "ZarvolinLogoSmall.png"], False)
    out["Images/Backgrounds/Quorvane.png"] = maker_logo()
    out["Images/Backgrounds/Screen.png"] = backdrop()

    hud = "Images/HUD/"
    w, h = HUD_BOX
    # Numbers are written with their top at y 60 and 40 pixels high; wells sit behind them.
    out[hud + "ScoreBox.png"] = hud_box(HUD_BOX, [("SCORE", w // 2)], [(18, 54, w - 19, 106)])
    out[hud + "TimeBox.png"] = hud_box(HUD_BOX, [("TIME", w // 2)], [(48, 54, w - 49, 106)])
    out[hud + "LevelBox.png"] = hud_box(HUD_BOX, [("LEVEL", 64), ("STARS", 192)],
                                        [(14, 54, 114, 106), (142, 54, 242, 106)])
    out[hud + "ComboBox.png"] = hud_box((256, 160), [("COMBO", w // 2)], [(68, 106, 188, 152)],
                                        trough=(32, 64, 192, 32))
    out[hud + "ComboBar.png"] = combo_bar()
    out[hud + "NextTileBox.png"] = hud_box((256, 160), [("NEXT", w // 2)], [(64, 52, 192, 148)])
    out[hud + "PieceBox.png"] = hud_box((256, 256), [("PIECE", w // 2)], [(24, 52, 232, 236)])
    demo = art.panel((256, 64), radius=14)
    fancy_text(demo, (128, 32), "DEMO", font(34, "bolditalic"), GOLD_TEXT, stroke=3, spacing=6)
    out[hud + "Demo.png"] = demo
    out[hud + "GameBoard.png"] = game_board()
    made["pointer"] = pointer()
    out[hud + "Pointer.png"] = made["pointer"]
    out[hud + "ReviewPanel.png"] = review_panel("LEVEL COMPLETE", "level")
    out[hud + "ReviewPanelGameOver.png"] = review_panel("GAME OVER", "end")
    out[hud + "ReviewPanelHiScore.png"] = review_panel("HIGH SCORE!", "hiscore")
    out[hud + "ReviewMaxCombo.png"] = caption("MAX COMBO", REVIEW_LINE)
    out[hud + "ReviewScore.png"] = caption("SCORE", REVIEW_LINE)
    out[hud + "ReviewTimeBonus.png"] = caption("TIME BONUS", REVIEW_LINE)
    out[hud + "ReviewTotalScore.png"] = caption("TOTAL SCORE", REVIEW_LINE)
    out[hud + "ReviewClick.png"] = caption("click to continue", (400, 48), COOL_TEXT, 28, "bolditalic")

    made.update(out)
    for i, page in enumerate(help_pages(made)):
        out["Images/Help/Help%02d.png" % (i + 1)] = page

    made.update(out)
    out["Loading.png"] = loading(made)
    return out
