"""Drawing helpers shared by the pictures: gradients, masks, glows, outlined lettering, tiles."""
import math

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

FONT_DIR = "/usr/share/fonts/truetype/liberation/"
FONT_FILES = {
    "bold": "LiberationSans-Bold.ttf",
    "regular": "LiberationSans-Regular.ttf",
    "italic": "LiberationSans-Italic.ttf",
    "bolditalic": "LiberationSans-BoldItalic.ttf",
    "narrow": "LiberationSansNarrow-Bold.ttf",
}

# The palette: deep navy panels, gold trims, cyan accents, dark violet ink for outlines.
NAVY = (30, 34, 92)
NAVY_DARK = (12, 13, 40)
GOLD = (255, 196, 58)
GOLD_LIGHT = (255, 238, 160)
ORANGE = (255, 142, 30)
CYAN = (108, 224, 255)
INK = (26, 16, 50)
WHITE = (255, 255, 255)

# Tile looks: colour, symbol and a faint texture, so that tiles differ in more than hue.
TILE_STYLES = {
    "A": ((226, 54, 58), "circle", "dots"),
    "B": ((44, 112, 230), "square", "hlines"),
    "C": ((250, 200, 36), "triangle", "diagonal"),
    "D": ((36, 170, 88), "diamond", "checks"),
    "E": ((156, 74, 212), "cross", "vlines"),
    "F": ((248, 126, 26), "hexagon", "antidiagonal"),
    "G": ((30, 200, 214), "heart", "grid"),
}

SS = 4  # supersampling factor for small pictures

_fonts = {}


def font(size, style="bold"):
    key = (size, style)
    if key not in _fonts:
        _fonts[key] = ImageFont.truetype(FONT_DIR + FONT_FILES[style], size)
    return _fonts[key]


def rgba(c, a=255):
    return tuple(c) if len(c) == 4 else (c[0], c[1], c[2], a)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def lighten(c, t):
    return mix(c, WHITE, t)


def darken(c, t):
    return mix(c, (0, 0, 0), t)


def canvas(w, h, colour=(0, 0, 0, 0)):
    return Image.new("RGBA", (w, h), colour)


def gradient(size, stops, vertical=True):
    """RGBA picture with colour stops [(position 0..1, colour), ...] along one axis."""
    w, h = size
    n = h if vertical else w
    stops = [(p, rgba(c)) for p, c in stops]
    data = []
    for i in range(n):
        t = i / (n - 1) if n > 1 else 0.0
        for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
            if t <= p1 or (p1, c1) == stops[-1]:
                data.append(mix(c0, c1, 0.0 if p1 == p0 else min(1.0, max(0.0, (t - p0) / (p1 - p0)))))
                break
    strip = Image.new("RGBA", (1, n) if vertical else (n, 1))
    strip.putdata(data)
    return strip.resize((w, h), Image.NEAREST)


def radial(size, inner, outer, centre=None, radius=None):
    """Radial blend from inner colour at the centre to outer colour at radius."""
    w, h = size
    base = Image.radial_gradient("L")  # 256x256, 0 at the centre, 255 at radius 128
    cx, cy = centre if centre else (w / 2, h / 2)
    r = radius if radius else math.hypot(w, h) / 2
    scaled = base.resize((int(2 * r) or 1, int(2 * r) or 1), Image.BILINEAR)
    t = Image.new("L", size, 255)
    t.paste(scaled, (int(cx - r), int(cy - r)))
    return Image.composite(canvas(w, h, rgba(outer)), canvas(w, h, rgba(inner)), t)


def fill(mask, colour):
    """A layer of colour (or picture) showing through the mask."""
    layer = colour.copy() if isinstance(colour, Image.Image) else canvas(*mask.size, rgba(colour))
    layer.putalpha(ImageChops.multiply(layer.getchannel("A"), mask))
    return layer


def over(base, layer, pos=(0, 0)):
    base.alpha_composite(layer, pos)
    return base


def blur(mask, radius):
    return mask.filter(ImageFilter.GaussianBlur(radius))


def shift(mask, dx, dy):
    out = Image.new(mask.mode, mask.size, 0)
    out.paste(mask, (dx, dy))
    return out


def dilate(mask, radius):
    """Grows a mask by a disc, as a round pen of that radius tracing its edge would."""
    out = mask.copy()
    r = int(radius)
    for dy in range(-r, r + 1):
        for dx in range(-r, r + 1):
            if (dx or dy) and dx * dx + dy * dy <= radius * radius:
                out = ImageChops.lighter(out, shift(mask, dx, dy))
    return out


def scale_mask(mask, factor):
    return mask.point(lambda v: int(v * factor))


def rounded(size, box, radius, width=0):
    m = Image.new("L", size, 0)
    d = ImageDraw.Draw(m)
    if width:
        d.rounded_rectangle(box, radius, outline=255, width=width)
    else:
        d.rounded_rectangle(box, radius, fill=255)
    return m


def polygon_mask(size, points):
    m = Image.new("L", size, 0)
    ImageDraw.Draw(m).polygon(points, fill=255)
    return m


def star_points(cx, cy, outer, inner, n=5, turn=-90.0):
    pts = []
    for i in range(2 * n):
        r = outer if i % 2 == 0 else inner
        a = math.radians(turn + i * 180.0 / n)
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def down(img, size):
    return img.resize(size, Image.LANCZOS)


def text_mask(size, xy, text, fnt, stroke=0, anchor="mm", spacing=0):
    m = Image.new("L", size, 0)
    d = ImageDraw.Draw(m)
    if spacing:
        # Letter-spaced line: place each character by its own advance.
        widths = [d.textlength(ch, font=fnt) for ch in text]
        total = sum(widths) + spacing * (len(text) - 1)
        x = xy[0] - total / 2 if anchor[0] == "m" else xy[0]
        for ch, cw in zip(text, widths):
            d.text((x, xy[1]), ch, font=fnt, fill=255, anchor="l" + anchor[1],
                   stroke_width=stroke, stroke_fill=255)
            x += cw + spacing
    else:
        d.text(xy, text, font=fnt, fill=255, anchor=anchor, stroke_width=stroke, stroke_fill=255)
    return m


def fancy_text(base, xy, text, fnt, stops, outline=INK, stroke=4, shadow=(3, 4, 3, 140),
               glow=None, gloss=True, anchor="mm", spacing=0):
    """Gradient-filled lettering with an outline, a soft drop shadow and an optional glow."""
    size = base.size
    body = text_mask(size, xy, text, fnt, anchor=anchor, spacing=spacing)
    outer = text_mask(size, xy, text, fnt, stroke=stroke, anchor=anchor, spacing=spacing)
    return fancy_masks(base, body, outer, stops, outline, shadow, glow, gloss)


def fancy_masks(base, body, outer, stops, outline=INK, shadow=(3, 4, 3, 140), glow=None, gloss=True):
    """The lettering look for any shape: body is the filled part, outer the body and its rim."""
    size = base.size
    if glow:
        colour, radius = glow
        over(base, fill(blur(outer, radius), colour))
    if shadow:
        dx, dy, r, a = shadow
        over(base, fill(blur(shift(outer, dx, dy), r), (0, 0, 0, a)))
    over(base, fill(outer, outline))
    box = body.getbbox()
    if not box:
        return base
    grad = canvas(*size)
    grad.paste(gradient((size[0], box[3] - box[1]), stops), (0, box[1]))
    over(base, fill(body, grad))
    if gloss:
        # A light sheen over the upper half of the letters.
        top = canvas(*size)
        half = max(1, (box[3] - box[1]) // 2)
        top.paste(gradient((size[0], half), [(0, (255, 255, 255, 110)), (1, (255, 255, 255, 0))]),
                  (0, box[1]))
        over(base, fill(body, top))
    return base


def wrap(text, fnt, width):
    words = text.split()
    lines, line = [], ""
    for w in words:
        trial = (line + " " + w).strip()
        if fnt.getlength(trial) <= width or not line:
            line = trial
        else:
            lines.append(line)
            line = w
    if line:
        lines.append(line)
    return lines


# ----- panels -----

_panels = {}


def panel(size, radius=18, top=NAVY, bottom=NAVY_DARK, alpha=230, border=GOLD, border_w=3):
    """The game's panel look: a dark gradient slab with a gold rim and a thin inner highlight."""
    key = (size, radius, top, bottom, alpha, border, border_w)
    if key not in _panels:
        _panels[key] = _panel(*key)
    return _panels[key].copy()


def _panel(size, radius, top, bottom, alpha, border, border_w):
    w, h = size
    s = 2
    big = canvas(w * s, h * s)
    box = (0, 0, w * s - 1, h * s - 1)
    body = rounded(big.size, box, radius * s)
    over(big, fill(body, gradient(big.size, [(0, rgba(top, alpha)), (1, rgba(bottom, alpha))])))
    # Inner highlight just inside the rim, brightest at the top.
    inner = rounded(big.size, (border_w * s + 2, border_w * s + 2, w * s - border_w * s - 3,
                               h * s - border_w * s - 3), max(1, (radius - border_w) * s), width=s)
    over(big, fill(inner, gradient(big.size, [(0, (255, 255, 255, 90)), (0.5, (255, 255, 255, 10)),
                                              (1, (255, 255, 255, 0))])))
    rim = rounded(big.size, box, radius * s, width=border_w * s)
    over(big, fill(rim, gradient(big.size, [(0, GOLD_LIGHT), (0.5, border), (1, darken(border, 0.3))])))
    return down(big, size)


def well(base, box, radius=10, alpha=170):
    """A recessed dark area where numbers or the meter go."""
    size = base.size
    m = rounded(size, box, radius)
    over(base, fill(m, (6, 6, 24, alpha)))
    # Inner shadow along the top edge.
    edge = ImageChops.subtract(m, shift(m, 0, 3))
    over(base, fill(blur(edge, 1.5), (0, 0, 0, 120)))
    rim = rounded(size, box, radius, width=1)
    over(base, fill(rim, (140, 150, 230, 90)))
    return base


# ----- tiles and symbols -----

def symbol_mask(size, kind, cx, cy, r):
    m = Image.new("L", size, 0)
    d = ImageDraw.Draw(m)
    if kind == "circle":
        d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=255)
    elif kind == "square":
        a = r * 0.86
        d.rounded_rectangle((cx - a, cy - a, cx + a, cy + a), r * 0.2, fill=255)
    elif kind == "triangle":
        d.polygon([(cx, cy - r * 1.08), (cx + r * 1.1, cy + r * 0.82), (cx - r * 1.1, cy + r * 0.82)],
                  fill=255)
    elif kind == "diamond":
        a = r * 1.12
        d.polygon([(cx, cy - a), (cx + a, cy), (cx, cy + a), (cx - a, cy)], fill=255)
    elif kind == "cross":
        t = r * 0.36
        d.rectangle((cx - t, cy - r, cx + t, cy + r), fill=255)
        d.rectangle((cx - r, cy - t, cx + r, cy + t), fill=255)
    elif kind == "hexagon":
        d.polygon([(cx + r * math.cos(math.radians(60 * i)), cy + r * math.sin(math.radians(60 * i)))
                   for i in range(6)], fill=255)
    elif kind == "heart":
        q = r * 0.55
        d.ellipse((cx - 2 * q, cy - r * 0.85, cx, cy - r * 0.85 + 2 * q), fill=255)
        d.ellipse((cx, cy - r * 0.85, cx + 2 * q, cy - r * 0.85 + 2 * q), fill=255)
        top = cy - r * 0.85 + q * 1.35
        d.polygon([(cx - 2 * q + r * 0.04, top), (cx + 2 * q - r * 0.04, top), (cx, cy + r)], fill=255)
    return m


def pattern_mask(size, kind, step):
    w, h = size
    m = Image.new("L", size, 0)
    d = ImageDraw.Draw(m)
    lw = max(1, step // 5)
    if kind == "dots":
        for y in range(step // 2, h, step):
            for x in range(step // 2, w, step):
                d.ellipse((x - lw, y - lw, x + lw, y + lw), fill=255)
    elif kind == "hlines":
        for y in range(step // 2, h, step):
            d.rectangle((0, y, w, y + lw), fill=255)
    elif kind == "vlines":
        for x in range(step // 2, w, step):
            d.rectangle((x, 0, x + lw, h), fill=255)
    elif kind in ("diagonal", "antidiagonal"):
        for k in range(-h, w + h, step):
            if kind == "diagonal":
                d.line((k, h, k + h, 0), fill=255, width=lw)
            else:
                d.line((k, 0, k + h, h), fill=255, width=lw)
    elif kind == "checks":
        for y in range(0, h, step):
            for x in range(0, w, step):
                if (x // step + y // step) % 2 == 0:
                    d.rectangle((x, y, x + step - 1, y + step - 1), fill=255)
    elif kind == "grid":
        for k in range(step // 2, max(w, h), step):
            d.line((k, 0, k, h), fill=255, width=lw)
            d.line((0, k, w, k), fill=255, width=lw)
    return m


def tile(size, base, symbol=None, pattern=None, letter=None, empty=False):
    """A glossy rounded tile, drawn 4x larger and scaled down."""
    S = size * SS
    k = S / 64.0
    img = canvas(S, S)
    inset = 2 * k
    box = (inset, inset, S - inset - 1, S - inset - 1)
    body = rounded((S, S), box, 11 * k)
    if empty:
        over(img, fill(body, (20, 22, 60, 150)))
        edge = ImageChops.subtract(body, shift(body, int(3 * k), int(3 * k)))
        over(img, fill(blur(edge, 2 * k), (0, 0, 0, 150)))
        over(img, fill(rounded((S, S), box, 11 * k, width=int(1.5 * k)), (130, 140, 220, 110)))
        return down(img, (size, size))
    over(img, fill(body, gradient((S, S), [(0, lighten(base, 0.38)), (0.45, base),
                                           (1, darken(base, 0.38))])))
    if pattern:
        pm = ImageChops.multiply(pattern_mask((S, S), pattern, int(12 * k)), body)
        over(img, fill(pm, rgba(darken(base, 0.5), 46)))
    # Bevel: a dark rim and a bright inner line fading downwards.
    over(img, fill(rounded((S, S), box, 11 * k, width=int(2 * k)), rgba(darken(base, 0.55), 230)))
    inner = rounded((S, S), (box[0] + 3 * k, box[1] + 3 * k, box[2] - 3 * k, box[3] - 3 * k), 8 * k,
                    width=int(1.5 * k))
    over(img, fill(inner, gradient((S, S), [(0, (255, 255, 255, 170)), (0.6, (255, 255, 255, 0))])))
    c = S / 2
    if symbol:
        sm = symbol_mask((S, S), symbol, c, c + 1 * k, 13 * k)
        over(img, fill(blur(shift(sm, int(1.5 * k), int(2 * k)), 1.5 * k), (0, 0, 0, 110)))
        over(img, fill(sm, gradient((S, S), [(0.3, lighten(base, 0.85)), (0.7, lighten(base, 0.55))])))
        edge = ImageChops.subtract(sm, sm.filter(ImageFilter.MinFilter(5)))
        over(img, fill(edge, rgba(darken(base, 0.45), 200)))
    if letter:
        fnt = font(int(40 * k), "bold")
        fancy_text(img, (c, c + 2 * k), letter, fnt, [(0, WHITE), (1, lighten(base, 0.7))],
                   outline=darken(base, 0.6), stroke=int(3 * k), shadow=(int(2 * k), int(3 * k), 4, 130),
                   gloss=False)
    # Gloss: a soft white cap over the top of the tile.
    gloss = Image.new("L", (S, S), 0)
    ImageDraw.Draw(gloss).ellipse((-6 * k, -34 * k, S + 6 * k, 30 * k), fill=255)
    gloss = ImageChops.multiply(gloss, rounded((S, S), (box[0] + 3 * k, box[1] + 3 * k, box[2] - 3 * k,
                                                         box[3]), 9 * k))
    over(img, fill(gloss, gradient((S, S), [(0, (255, 255, 255, 120)), (0.45, (255, 255, 255, 20)),
                                            (1, (255, 255, 255, 0))])))
    return down(img, (size, size))


def styled_tile(letter, size=64, with_letter=None):
    colour, symbol, pattern = TILE_STYLES[letter]
    if with_letter:
        return tile(size, colour, pattern=pattern, letter=with_letter)
    return tile(size, colour, symbol, pattern)


# ----- special icons (also used on the help pages) -----

def _halo(img, mask, k, alpha=150):
    over(img, fill(blur(mask.filter(ImageFilter.MaxFilter(9)), 3 * k), (10, 6, 30, alpha)))


def star_icon(size):
    S = size * SS
    k = S / 64.0
    img = canvas(S, S)
    c = S / 2
    m = polygon_mask((S, S), star_points(c, c + 1.5 * k, 25 * k, 11 * k))
    _halo(img, m, k)
    outline = m.filter(ImageFilter.MaxFilter(int(2 * k) * 2 + 1))
    over(img, fill(outline, (120, 60, 10)))
    over(img, fill(m, gradient((S, S), [(0.15, (255, 250, 170)), (0.5, (255, 208, 40)),
                                        (0.85, (240, 128, 20))])))
    shine = polygon_mask((S, S), star_points(c - 2 * k, c - 1 * k, 13 * k, 5 * k))
    over(img, fill(blur(shine, 2 * k), (255, 255, 255, 120)))
    return down(img, (size, size))


def clock_icon(size):
    S = size * SS
    k = S / 64.0
    img = canvas(S, S)
    c = S / 2
    r = 22 * k
    m = Image.new("L", (S, S), 0)
    ImageDraw.Draw(m).ellipse((c - r, c - r, c + r, c + r), fill=255)
    _halo(img, m, k)
    over(img, fill(m, gradient((S, S), [(0.2, (120, 200, 255)), (0.8, (20, 80, 200))])))
    face = Image.new("L", (S, S), 0)
    ImageDraw.Draw(face).ellipse((c - r + 5 * k, c - r + 5 * k, c + r - 5 * k, c + r - 5 * k), fill=255)
    over(img, fill(face, gradient((S, S), [(0.25, (255, 255, 255)), (0.8, (214, 224, 242))])))
    d = ImageDraw.Draw(img)
    for i in range(12):
        a = math.radians(i * 30)
        r0, r1 = (r - 9 * k, r - 6 * k) if i % 3 else (r - 11 * k, r - 6 * k)
        d.line((c + r0 * math.sin(a), c - r0 * math.cos(a), c + r1 * math.sin(a), c - r1 * math.cos(a)),
               fill=(40, 50, 90, 255), width=int(1.5 * k))
    d.line((c, c, c - 7 * k, c - 7 * k), fill=(30, 30, 60, 255), width=int(3 * k))
    d.line((c, c, c + 2 * k, c - 13 * k), fill=(30, 30, 60, 255), width=int(2.2 * k))
    d.line((c, c, c + 9 * k, c + 6 * k), fill=(220, 40, 50, 255), width=int(1.2 * k))
    d.ellipse((c - 2.5 * k, c - 2.5 * k, c + 2.5 * k, c + 2.5 * k), fill=(220, 40, 50, 255))
    # Bell knobs on top make it read as an alarm clock at a glance.
    for sx in (-1, 1):
        knob = Image.new("L", (S, S), 0)
        kx = c + sx * 15 * k
        ImageDraw.Draw(knob).ellipse((kx - 5 * k, c - 26 * k, kx + 5 * k, c - 16 * k), fill=255)
        over(img, fill(ImageChops.subtract(knob, m), (40, 110, 220)))
    gloss = Image.new("L", (S, S), 0)
    ImageDraw.Draw(gloss).ellipse((c - 15 * k, c - 20 * k, c + 10 * k, c - 6 * k), fill=255)
    over(img, fill(blur(gloss, 2 * k), (255, 255, 255, 70)))
    return down(img, (size, size))


def bomb_icon(size):
    S = size * SS
    k = S / 64.0
    img = canvas(S, S)
    cx, cy, r = S / 2 - 2 * k, S / 2 + 4 * k, 19 * k
    m = Image.new("L", (S, S), 0)
    ImageDraw.Draw(m).ellipse((cx - r, cy - r, cx + r, cy + r), fill=255)
    cap = Image.new("L", (S, S), 0)
    ImageDraw.Draw(cap).polygon([(cx + 8 * k, cy - 21 * k), (cx + 17 * k, cy - 12 * k),
                                 (cx + 21 * k, cy - 16 * k), (cx + 12 * k, cy - 25 * k)], fill=255)
    _halo(img, ImageChops.lighter(m, cap), k, 120)
    over(img, fill(m, radial((S, S), (110, 110, 140), (18, 18, 28), (cx - 7 * k, cy - 7 * k), 28 * k)))
    over(img, fill(cap, gradient((S, S), [(0, (200, 200, 215)), (1, (90, 90, 110))])))
    d = ImageDraw.Draw(img)
    fx, fy = cx + 17 * k, cy - 22 * k
    d.line([(fx, fy), (fx + 4 * k, fy - 6 * k), (fx + 9 * k, fy - 8 * k)], fill=(150, 100, 50, 255),
           width=int(2.5 * k), joint="curve")
    spark = polygon_mask((S, S), star_points(fx + 10 * k, fy - 9 * k, 8 * k, 3 * k, n=6, turn=0))
    over(img, fill(blur(spark, 3 * k), (255, 200, 60, 200)))
    over(img, fill(spark, (255, 230, 90)))
    hi = Image.new("L", (S, S), 0)
    ImageDraw.Draw(hi).ellipse((cx - 12 * k, cy - 13 * k, cx - 3 * k, cy - 6 * k), fill=255)
    over(img, fill(blur(hi, 1.5 * k), (255, 255, 255, 150)))
    return down(img, (size, size))


def kooky_icon(size):
    S = size * SS
    k = S / 64.0
    img = canvas(S, S)
    c = S / 2
    r = 22 * k
    m = Image.new("L", (S, S), 0)
    ImageDraw.Draw(m).ellipse((c - r, c - r, c + r, c + r), fill=255)
    _halo(img, m, k)
    over(img, fill(m, gradient((S, S), [(0.2, (246, 120, 255)), (0.85, (120, 30, 170))])))
    over(img, fill(ImageChops.subtract(m, m.filter(ImageFilter.MinFilter(int(2 * k) * 2 + 1))), (60, 10, 90)))
    fancy_text(img, (c, c + 1 * k), "?", font(int(38 * k), "bold"), [(0, WHITE), (1, (255, 220, 255))],
               outline=(70, 10, 100), stroke=int(2.5 * k), shadow=(int(k), int(2 * k), 3, 120),
               gloss=False)
    gloss = Image.new("L", (S, S), 0)
    ImageDraw.Draw(gloss).ellipse((c - 15 * k, c - 20 * k, c + 12 * k, c - 6 * k), fill=255)
    over(img, fill(blur(gloss, 2 * k), (255, 255, 255, 80)))
    return down(img, (size, size))


ICONS = {"star": star_icon, "clock": clock_icon, "bomb": bomb_icon, "kooky": kooky_icon}
