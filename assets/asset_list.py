"""Every file the game loads from its Data folder, with the engine number it is loaded into.

Paths are relative to Data and use forward slashes. Image sizes are the sizes the drawing code
assumes (the engine keeps each picture at its own size). .bmp pictures are colour-keyed on pure
black; .png and .tga pictures carry their own alpha.
"""

SCREEN = (1024, 768)
TILE = (64, 64)
# Cursor pieces and the inside highlight are pasted 3 pixels up and left of each 64-pixel cell.
CURSOR_PIECE = (70, 70)
CURSOR_OVERHANG = 3
# The image font advances 28 pixels per character, whatever the glyph.
GLYPH = (28, 40)
BIG_TEXT = (400, 160)
REVIEW_PANEL = (540, 520)
REVIEW_LINE = (400, 56)
HUD_BOX = (256, 120)
HELP_PAGE = (824, 560)

FONT_LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
FONT_SIGNS = ["Colon", "Comma", "FullStop", "Multiply", "Slash"]

TILE_LETTERS = "ABCDEFG"

# Neighbouring mask cells of each shape-cursor piece, by piece code: U above, R right, D below,
# L left. The code is an index into this table, not a bit set. Edges are drawn on the other sides.
CURSOR_NEIGHBOURS = {
    0: "", 1: "U", 2: "R", 3: "D", 4: "L", 5: "LU", 6: "RD", 7: "RU",
    8: "LD", 9: "LRD", 10: "URD", 11: "LRU", 12: "LUD", 13: "LR", 14: "UD", 15: "LURD",
}


def cursor_file(code):
    return "Images/GUI/Cursor.bmp" if code == 0 else "Images/GUI/Cursor%02d.bmp" % code


def _images():
    out = [(1, "Loading.png", SCREEN)]

    def add(folder, first, names_and_sizes):
        for i, (name, size) in enumerate(names_and_sizes):
            out.append((first + i, "Images/%s/%s" % (folder, name), size))

    add("Backgrounds", 2, [("ZarvolinLogo.png", (684, 300)), ("ZarvolinLogoSmall.png", (300, 130)),
                           ("Quorvane.png", (144, 60)), ("Screen.png", SCREEN)])
    add("BigText", 6, [("BigText_%s.png" % n, BIG_TEXT) for n in
                       ("ComboOut", "Go", "GreatFind", "LevelComplete", "Ready", "TimeUp")])
    add("Effects", 12, [("BigStar.png", (300, 300))]
        + [("Pop%02d.png" % i, TILE) for i in range(1, 7)]
        + [("puff.tga", (104, 104))]
        + [("twinkle%02d.png" % i, (32, 32)) for i in range(1, 12)])
    out.extend((31 + code, cursor_file(code), CURSOR_PIECE) for code in range(16))
    add("GUI", 47, [("InsideCursor.png", CURSOR_PIECE), ("Selector.png", TILE)])
    add("Help", 49, [("Help%02d.png" % i, HELP_PAGE) for i in range(1, 5)])
    add("HUD", 53, [
        ("ComboBar.png", (192, 32)), ("ComboBox.png", (256, 160)), ("Demo.png", (256, 64)),
        ("GameBoard.png", (660, 660)), ("LevelBox.png", HUD_BOX), ("NextTileBox.png", (256, 160)),
        ("PieceBox.png", (256, 256)), ("Pointer.png", (32, 32)), ("ReviewClick.png", (400, 48)),
        ("ReviewMaxCombo.png", REVIEW_LINE), ("ReviewPanel.png", REVIEW_PANEL),
        ("ReviewPanelGameOver.png", REVIEW_PANEL), ("ReviewPanelHiScore.png", REVIEW_PANEL),
        ("ReviewScore.png", REVIEW_LINE), ("ReviewTimeBonus.png", REVIEW_LINE),
        ("ReviewTotalScore.png", REVIEW_LINE), ("ScoreBox.png", HUD_BOX), ("TimeBox.png", HUD_BOX)])
    add("ImageFont", 71, [("ImageFont%s.png" % c, GLYPH) for c in FONT_LETTERS]
        + [("ImageNumber%d.png" % d, GLYPH) for d in range(10)]
        + [("ImageNumber%s.png" % s, GLYPH) for s in FONT_SIGNS])
    add("SpecialIcons", 112, [(n, TILE) for n in ("Bomb.tga", "Clock.tga", "kooky.tga", "Star.tga")])
    add("Stars", 116, [("ClockWhite.png", (24, 24)), ("DotWhite.png", (12, 12)),
                       ("QuestionWhite.png", (24, 24)), ("StarWhite.png", (24, 24))])
    add("Tiles", 120, [("SmallTile.png", (32, 32))]
        + [("Tile%s.png" % c, TILE) for c in TILE_LETTERS] + [("TileZero.png", TILE)])
    return out


# (image number, path, (width, height)), in loading order.
IMAGES = _images()

# (sound number, path), in loading order.
SOUNDS = [(11, "Audio/StarChime.wav"), (4, "Audio/theme.wav"), (12, "Audio/theme2.wav"),
          (1, "Audio/TilePop01.wav"), (2, "Audio/TilePop02.wav"), (3, "Audio/TilePop03.wav"),
          (5, "Audio/explosion.wav"), (6, "Audio/NegTheme.wav"), (7, "Audio/PosTheme.wav"),
          (8, "Audio/Bleep.wav"), (9, "Audio/Clock.wav"), (10, "Audio/Question.wav")]

# Tunes that are played with LoopSound: their end must run into their start.
LOOPED_SOUNDS = ["Audio/theme.wav", "Audio/theme2.wav"]

IMAGE_SIZES = {path: size for _, path, size in IMAGES}
COLOUR_KEYED = sorted(path for path in IMAGE_SIZES if path.endswith(".bmp"))
ALL_FILES = sorted(list(IMAGE_SIZES) + [path for _, path in SOUNDS])
