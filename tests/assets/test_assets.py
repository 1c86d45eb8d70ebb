"""Checks the generated Data folder against what the game loads and how it draws it.

Run: /usr/bin/python3 -m unittest discover -s tests/assets
"""
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import wave

from PIL import Image, ImageChops, ImageStat

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ASSETS = os.path.join(ROOT, "assets")
sys.path.insert(0, ASSETS)
sys.dont_write_bytecode = True

import asset_list  # noqa: E402
import audio  # noqa: E402
import generate  # noqa: E402

TREES = []


def setUpModule():
    # Two independent runs, side by side to keep the suite quick.
    base = tempfile.mkdtemp(prefix="assets-")
    TREES.extend([os.path.join(base, "a"), os.path.join(base, "b")])
    runs = [subprocess.Popen([sys.executable, os.path.join(ASSETS, "generate.py"), tree],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE) for tree in TREES]
    for run in runs:
        out, err = run.communicate(timeout=120)
        if run.returncode != 0:
            raise RuntimeError("generate.py failed:\n" + err.decode(errors="replace"))


def tearDownModule():
    if TREES:
        shutil.rmtree(os.path.dirname(TREES[0]), ignore_errors=True)


def data_path(rel, tree=0):
    return os.path.join(TREES[tree], "Data", *rel.split("/"))


def listed_files(tree):
    found = []
    for folder, _, files in os.walk(tree):
        for name in files:
            found.append(os.path.relpath(os.path.join(folder, name), tree).replace(os.sep, "/"))
    return sorted(found)


class AssetListTest(unittest.TestCase):
    def test_numbers_are_those_the_loaders_use(self):
        self.assertEqual([n for n, _, _ in asset_list.IMAGES], list(range(1, 129)))
        self.assertEqual(sorted(n for n, _ in asset_list.SOUNDS), list(range(1, 13)))
        self.assertEqual(len(set(asset_list.ALL_FILES)), 140)
        self.assertEqual(dict((n, p) for n, p, _ in asset_list.IMAGES)[1], "Loading.png")
        self.assertEqual(asset_list.IMAGE_SIZES["Images/Tiles/TileA.png"], (64, 64))

    def test_cursor_codes_cover_every_neighbour_set_once(self):
        sets = [frozenset(v) for v in asset_list.CURSOR_NEIGHBOURS.values()]
        self.assertEqual(len(set(sets)), 16)
        # The codes are a table, not bits: the pairs are easy to swap.
        pairs = {code: set(asset_list.CURSOR_NEIGHBOURS[code]) for code in (5, 6, 7, 8, 12)}
        self.assertEqual(pairs, {5: set("LU"), 6: set("RD"), 7: set("RU"), 8: set("LD"), 12: set("LUD")})
        self.assertEqual(asset_list.COLOUR_KEYED, sorted(asset_list.cursor_file(c) for c in range(16)))


class LayoutTest(unittest.TestCase):
    """Picture sizes against where the game draws them on the 1024x768 screen."""

    @staticmethod
    def size(name):
        return asset_list.IMAGE_SIZES[name]

    def assertInside(self, rect, outer, what):
        x, y, w, h = rect
        ox, oy, ow, oh = outer
        self.assertTrue(ox <= x and oy <= y and x + w <= ox + ow and y + h <= oy + oh, what)

    def assertApart(self, a, b, what):
        self.assertTrue(a[0] + a[2] <= b[0] or b[0] + b[2] <= a[0] or a[1] + a[3] <= b[1]
                        or b[1] + b[3] <= a[1], what)

    def at(self, name, x, y):
        return (x, y) + self.size(name)

    def test_hud_boxes_fit_beside_the_board_in_every_mode(self):
        hud = "Images/HUD/"
        screen = (0, 0) + asset_list.SCREEN
        board = self.at(hud + "GameBoard.png", 58, 52)
        self.assertInside((68, 62, 640, 640), board, "the board picture covers every cell")
        modes = {
            1: [("LevelBox", 730, 50), ("ComboBox", 730, 371), ("ScoreBox", 730, 210),
                ("TimeBox", 730, 591)],
            2: [("ComboBox", 730, 300), ("ScoreBox", 730, 150), ("TimeBox", 730, 520)],
            3: [("ComboBox", 730, 300), ("ScoreBox", 730, 150)],
        }
        for mode, boxes in modes.items():
            rects = [self.at(hud + name + ".png", x, y) for name, x, y in boxes]
            if mode != 1:
                rects.append(self.at("Images/Backgrounds/ZarvolinLogoSmall.png", 720, 10))
            for i, r in enumerate(rects):
                self.assertInside(r, screen, "mode %d box %d" % (mode, i))
                self.assertApart(r, board, "mode %d box %d" % (mode, i))
                for other in rects[i + 1:]:
                    self.assertApart(r, other, "mode %d boxes overlap" % mode)
        glyph_h = asset_list.GLYPH[1]
        w, h = self.size(hud + "ComboBox.png")
        self.assertInside((32, 64, 192, 32), (0, 0, w, h), "the full combo bar")
        self.assertLessEqual(110 + glyph_h, h)
        for name in ("ScoreBox", "TimeBox", "LevelBox"):
            self.assertLessEqual(60 + glyph_h, self.size(hud + name + ".png")[1], name)

    def test_menu_and_panels_leave_room_for_their_text(self):
        first_item = 350
        self.assertLessEqual(20 + self.size("Images/Backgrounds/ZarvolinLogo.png")[1], first_item)
        # Help pages stop above the "next" item, the fifth row of the menu.
        self.assertLessEqual(20 + self.size("Images/Help/Help01.png")[1], first_item + 4 * 60)
        self.assertInside(self.at("Images/Backgrounds/Quorvane.png", 870, 700), (0, 0) + asset_list.SCREEN,
                          "maker's logo")
        panel = self.at("Images/HUD/ReviewPanel.png", 128, 128)
        for name, x, y in (("ReviewTimeBonus", 198, 248), ("ReviewTotalScore", 198, 398),
                           ("ReviewClick", 198, 578)):
            self.assertInside(self.at("Images/HUD/%s.png" % name, x, y), panel, name)
        self.assertLessEqual(528 + asset_list.GLYPH[1], panel[1] + panel[3], "typed name")
        # Effects centred on their cell.
        puff_w = self.size("Images/Effects/puff.tga")[0]
        self.assertEqual(48 + puff_w // 2, 68 + 32)
        self.assertEqual(self.size("Images/Effects/twinkle01.png")[0] // 2, 16)


class WriterTest(unittest.TestCase):
    def test_tga_round_trip_keeps_colours_and_rows(self):
        img = Image.new("RGBA", (3, 2))
        img.putdata([(255, 0, 0, 255), (0, 255, 0, 128), (0, 0, 255, 0),
                     (10, 20, 30, 40), (50, 60, 70, 80), (90, 100, 110, 120)])
        path = os.path.join(TREES[0], "probe.tga")
        with open(path, "wb") as f:
            f.write(generate.tga_bytes(img))
        try:
            with Image.open(path) as back:
                self.assertEqual(list(back.convert("RGBA").getdata()), list(img.getdata()))
        finally:
            os.remove(path)

    def test_wrapped_mixing_and_fade(self):
        buf = [0.0] * 5
        audio.add(buf, [1.0, 2.0, 3.0], 3, wrap=True)
        self.assertEqual(buf, [3.0, 0.0, 0.0, 1.0, 2.0])
        buf = [0.0] * 5
        audio.add(buf, [1.0, 2.0, 3.0], 3)
        self.assertEqual(buf, [0.0, 0.0, 0.0, 1.0, 2.0])
        faded = audio.fade_out([1.0] * 1000)
        self.assertEqual(faded[-1], 0.0)
        self.assertEqual(faded[0], 1.0)
        self.assertEqual(list(audio.to_pcm([0.0, -2.0, 0.5, 1.0])), [0, -32767, 16384, 32767])
        self.assertAlmostEqual(audio.hz("A4"), 440.0)
        self.assertAlmostEqual(audio.hz("C5") / audio.hz("C4"), 2.0)


class TreeTest(unittest.TestCase):
    def test_two_runs_write_identical_bytes(self):
        for rel in asset_list.ALL_FILES:
            with open(data_path(rel, 0), "rb") as a, open(data_path(rel, 1), "rb") as b:
                self.assertEqual(a.read(), b.read(), rel)

    def test_exactly_the_listed_files(self):
        expected = sorted("Data/" + rel for rel in asset_list.ALL_FILES)
        for tree in TREES:
            self.assertEqual(listed_files(tree), expected)

    def test_tree_stays_small(self):
        total = sum(os.path.getsize(data_path(rel)) for rel in asset_list.ALL_FILES)
        self.assertLess(total, 8 * 1024 * 1024)


class ImageTest(unittest.TestCase):
    def test_every_picture_has_its_size_and_shows_something(self):
        for _, rel, size in asset_list.IMAGES:
            with Image.open(data_path(rel)) as img:
                img.load()
                self.assertEqual(img.size, size, rel)
                if rel.endswith(".bmp"):
                    # Their content is checked piece by piece below.
                    self.assertEqual(img.mode, "RGB", rel)
                    continue
                self.assertEqual(img.mode, "RGBA", rel)
                self.assertGreater(img.getchannel("A").getextrema()[1], 0, rel + " is invisible")

    def test_file_headers(self):
        for _, rel, size in asset_list.IMAGES:
            with open(data_path(rel), "rb") as f:
                head = f.read(64)
                if rel.endswith(".png"):
                    # A time chunk would make two runs differ.
                    self.assertNotIn(b"tIME", head + f.read(), rel)
                elif rel.endswith(".tga"):
                    w, h = struct.unpack("<HH", head[12:16])
                    self.assertEqual((head[2], (w, h), head[16], head[17]), (2, size, 32, 0x28), rel)
                elif rel.endswith(".bmp"):
                    bits, compression = struct.unpack("<HI", head[28:34])
                    self.assertEqual((bits, compression), (24, 0), rel)

    def test_tga_rows_are_stored_top_first(self):
        # The clock's bell knobs sit in the top half: a flipped file would put them at the bottom.
        with Image.open(data_path("Images/SpecialIcons/Clock.tga")) as img:
            alpha = img.getchannel("A")
            top = alpha.crop((0, 0, 64, 12)).getextrema()[1]
            bottom = alpha.crop((0, 58, 64, 64)).getextrema()[1]
        self.assertGreater(top, bottom)

    def test_loading_picture_is_opaque(self):
        # It is pasted without transparency.
        with Image.open(data_path("Loading.png")) as img:
            self.assertEqual(img.getchannel("A").getextrema(), (255, 255))

    def test_backdrop_is_grey_opaque_and_tiles_vertically(self):
        with Image.open(data_path("Images/Backgrounds/Screen.png")) as img:
            img.load()
            self.assertEqual(img.getchannel("A").getextrema(), (255, 255))
            r, g, b, _ = img.split()
            # Grey only, so that the tint alone gives the colour.
            self.assertEqual(list(r.getdata()), list(g.getdata()))
            self.assertEqual(list(r.getdata()), list(b.getdata()))
            first, last = r.crop((0, 0, 1024, 1)), r.crop((0, 767, 1024, 768))
            seam = sum(abs(a - b) for a, b in zip(first.getdata(), last.getdata())) / 1024
            inner = r.crop((0, 383, 1024, 384)), r.crop((0, 384, 1024, 385))
            step = sum(abs(a - b) for a, b in zip(inner[0].getdata(), inner[1].getdata())) / 1024
            self.assertLess(seam, step + 3)

    @staticmethod
    def glyphs():
        for _, rel, _ in asset_list.IMAGES:
            if "/ImageFont/" in rel:
                with Image.open(data_path(rel)) as img:
                    yield rel, img.convert("RGBA")

    def test_glyph_ink_stays_off_its_cell_edges(self):
        # The HUD sets glyphs 28 pixels apart: ink on an edge runs into the next letter.
        for rel, img in self.glyphs():
            alpha = img.getchannel("A")
            w, h = alpha.size
            for side, box in (("left", (0, 0, 1, h)), ("right", (w - 1, 0, w, h)),
                              ("top", (0, 0, w, 1)), ("bottom", (0, h - 1, w, h))):
                self.assertEqual(alpha.crop(box).getextrema()[1], 0,
                                 "%s: ink on the %s edge" % (rel, side))
            box = alpha.point(lambda v: 255 if v > 40 else 0).getbbox()
            self.assertIsNotNone(box, rel)
            self.assertGreater(box[3] - box[1], 4, rel)

    def test_glyphs_are_drawn_whole(self):
        # A letter cut before it is fitted (a W that reads as V) ends a row in its white body
        # instead of its dark rim.
        for rel, img in self.glyphs():
            px = img.load()
            w, h = img.size
            for y in range(h):
                solid = [x for x in range(w) if px[x, y][3] > 160]
                for x in solid[:1] + solid[-1:]:
                    self.assertLess(sum(px[x, y][:3]) / 3, 150, "%s: cut at (%d, %d)" % (rel, x, y))

    def test_letters_fill_their_cells(self):
        # Narrow letters leave holes in a word ("CRED I TS"); the comma must read as a sign.
        widths, areas = {}, {}
        for rel, img in self.glyphs():
            solid = img.getchannel("A").point(lambda v: 255 if v > 128 else 0)
            box = solid.getbbox()
            name = rel.rsplit("/", 1)[1]
            widths[name] = box[2] - box[0]
            areas[name] = solid.histogram()[255]
        self.assertGreaterEqual(widths["ImageFontI.png"], 0.6 * widths["ImageFontH.png"])
        self.assertGreaterEqual(areas["ImageNumberComma.png"], areas["ImageNumber0.png"] / 3)


class PanelTest(unittest.TestCase):
    def test_review_panels_are_opaque_where_text_goes(self):
        # Panels are pasted at (128, 128): lines and values between x 198 and 598, the title
        # from y 150, the click prompt down to y 626; the name is typed at y 528.
        inside = (198 - 128 - 30, 150 - 128, 598 - 128 + 30, 626 - 128)
        for name in ("ReviewPanel", "ReviewPanelGameOver", "ReviewPanelHiScore"):
            with Image.open(data_path("Images/HUD/%s.png" % name)) as img:
                self.assertEqual(img.getchannel("A").crop(inside).getextrema()[0], 255, name)


class TileTest(unittest.TestCase):
    def test_tiles_differ_in_shape_not_only_in_hue(self):
        # Lightness alone, as a colour-blind player may see it: the symbols must still differ.
        marks = {}
        for letter in asset_list.TILE_LETTERS:
            with Image.open(data_path("Images/Tiles/Tile%s.png" % letter)) as img:
                grey = img.convert("L").crop((14, 14, 50, 50))
            mean = ImageStat.Stat(grey).mean[0]
            marks[letter] = grey.point(lambda v, m=mean: 255 if v > m + 25 else 0).convert("1")
        letters = asset_list.TILE_LETTERS
        for i, a in enumerate(letters):
            for b in letters[i + 1:]:
                differ = sum(1 for v in ImageChops.logical_xor(marks[a], marks[b]).getdata() if v)
                self.assertGreater(differ / (36 * 36), 0.03, "Tile%s and Tile%s look alike" % (a, b))


class CursorTest(unittest.TestCase):
    BAND = 2 * asset_list.CURSOR_OVERHANG
    W = asset_list.CURSOR_PIECE[0]

    def band(self, side):
        """Pixels of one side's band, leaving out the corners shared with the next side."""
        lo, hi = self.BAND, self.W - self.BAND
        if side == "U":
            return [(x, y) for y in range(self.BAND) for x in range(lo, hi)]
        if side == "D":
            return [(x, y) for y in range(hi, self.W) for x in range(lo, hi)]
        if side == "L":
            return [(x, y) for x in range(self.BAND) for y in range(lo, hi)]
        return [(x, y) for x in range(hi, self.W) for y in range(lo, hi)]

    def test_edges_only_where_no_neighbour(self):
        black = (0, 0, 0)
        for code, neighbours in asset_list.CURSOR_NEIGHBOURS.items():
            rel = asset_list.cursor_file(code)
            with Image.open(data_path(rel)) as img:
                px = img.convert("RGB").load()
            centre = [px[x, y] for x in range(self.BAND, self.W - self.BAND)
                      for y in range(self.BAND, self.W - self.BAND)]
            self.assertTrue(all(p == black for p in centre), rel + ": centre must be see-through")
            for side in "URDL":
                pixels = [px[p] for p in self.band(side)]
                if side in neighbours:
                    self.assertTrue(all(p == black for p in pixels), "%s: open side %s" % (rel, side))
                else:
                    self.assertTrue(all(p != black for p in pixels), "%s: edge %s has holes" % (rel, side))


    def test_pieces_of_a_shape_join_into_a_closed_outline(self):
        # An L of three cells, pasted as the board does (64 apart, 3 pixels up and left).
        shape = {(0, 0), (1, 0), (0, 1)}
        codes = {frozenset(v): k for k, v in asset_list.CURSOR_NEIGHBOURS.items()}
        o = asset_list.CURSOR_OVERHANG
        sheet = Image.new("RGB", (200, 200))
        for (i, j) in shape:
            near = frozenset(side for side, (di, dj) in zip("LURD", ((-1, 0), (0, -1), (1, 0), (0, 1)))
                             if (i + di, j + dj) in shape)
            with Image.open(data_path(asset_list.cursor_file(codes[near]))) as piece:
                # Black is see-through: lighten keeps what earlier pieces drew.
                canvas = Image.new("RGB", sheet.size)
                canvas.paste(piece.convert("RGB"), (10 + 64 * i - o, 10 + 64 * j - o))
                sheet = ImageChops.lighter(sheet, canvas)
        px = sheet.load()
        outline = ([(10 + x, 10) for x in range(129)] + [(10, 10 + y) for y in range(129)]
                   + [(10 + x, 74) for x in range(64, 129)] + [(74, 10 + y) for y in range(64, 129)]
                   + [(138, 10 + y) for y in range(65)] + [(10 + x, 138) for x in range(65)])
        gaps = [p for p in outline if px[p] == (0, 0, 0)]
        self.assertEqual(gaps, [])
        for (i, j) in shape:
            self.assertEqual(px[10 + 64 * i + 32, 10 + 64 * j + 32], (0, 0, 0))
        self.assertEqual(px[10 + 64 + 32, 10 + 64 + 32], (0, 0, 0), "nothing drawn in the empty cell")


class SoundTest(unittest.TestCase):
    @staticmethod
    def samples(rel):
        with wave.open(data_path(rel), "rb") as w:
            frames = w.readframes(w.getnframes())
        return struct.unpack("<%dh" % (len(frames) // 2), frames)

    def test_format_and_level(self):
        for _, rel in asset_list.SOUNDS:
            with wave.open(data_path(rel), "rb") as w:
                self.assertEqual((w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getcomptype()),
                                 (1, 2, 22050, "NONE"), rel)
                self.assertGreater(w.getnframes(), 1000, rel)
            peak = max(abs(s) for s in self.samples(rel))
            self.assertGreater(peak, 4000, rel + " is nearly silent")
            self.assertLessEqual(peak, audio.CEILING * 32767 + 1, rel + " is clipped")

    def test_one_shots_end_in_silence(self):
        for _, rel in asset_list.SOUNDS:
            if rel not in asset_list.LOOPED_SOUNDS:
                self.assertLess(abs(self.samples(rel)[-1]), 200, rel)

    def test_loudness_meter(self):
        def tone(freq, amp, dur):
            return [amp * math.sin(2 * math.pi * freq * i / 22050) for i in range(int(dur * 22050))]

        def level(samples, looped=False):
            return audio.loudness(samples, looped)

        self.assertAlmostEqual(level(tone(1000, 1.0, 1)) - level(tone(1000, 0.5, 1)), 6.02, delta=0.1)
        # Weighted like the ear: treble counts more than bass of the same amplitude.
        self.assertGreater(level(tone(3000, 0.5, 1)) - level(tone(100, 0.5, 1)), 2.0)
        # A click is quieter than a note of the same peak; a steady loop reads as a long note.
        self.assertLess(level(tone(1000, 0.5, 0.04)), level(tone(1000, 0.5, 0.4)) - 6)
        self.assertAlmostEqual(level(tone(1000, 0.5, 2), True), level(tone(1000, 0.5, 2)), delta=0.3)
        self.assertLess(level([0.0] * 100), -100)

    def test_effects_are_balanced_by_loudness(self):
        # Equal peaks made the star's bleep 10 dB louder than the pops: loudness sets the level.
        levels = {rel: audio.loudness([v / 32767 for v in self.samples(rel)])
                  for _, rel in asset_list.SOUNDS if rel not in asset_list.LOOPED_SOUNDS}
        for rel, value in levels.items():
            self.assertAlmostEqual(value, audio.EFFECT_LOUDNESS, delta=1.0, msg=rel)
        pops = [levels["Audio/TilePop%02d.wav" % i] for i in (1, 2, 3)]
        self.assertLess(abs(levels["Audio/Bleep.wav"] - sum(pops) / 3), 1.0)
        for rel in asset_list.LOOPED_SOUNDS:
            tune = audio.loudness([v / 32767 for v in self.samples(rel)], looped=True)
            self.assertAlmostEqual(tune, audio.TUNE_LOUDNESS, delta=1.0, msg=rel)
            # Effects sit a little under the tunes, never far under or over.
            self.assertTrue(0.5 <= tune - max(levels.values()) <= 4.0, rel)

    @staticmethod
    def typical(s):
        """The tune's usual bend (second difference), step and level, to judge a join by."""
        bends = sorted(abs(s[i + 1] - 2 * s[i] + s[i - 1]) for i in range(1, len(s) - 1))
        steps = sorted(abs(s[i + 1] - s[i]) for i in range(len(s) - 1))
        level = math.sqrt(sum(v * v for v in s) / len(s))
        return bends[len(bends) // 2], steps[int(len(steps) * 0.95)], level

    @staticmethod
    def join_faults(s, typical):
        """What would be heard where a looped sound runs from its end into its start."""
        bend, step, level = typical
        faults = []
        # The seam must bend and step no more than the music does elsewhere.
        if abs(s[0] - 2 * s[-1] + s[-2]) > 4 * bend + 50:
            faults.append("bend")
        if abs(s[0] - s[-1]) > step:
            faults.append("step")
        # No gap or jump in level either side of the join.
        n = 2205
        tail = math.sqrt(sum(v * v for v in s[-n:]) / n)
        head = math.sqrt(sum(v * v for v in s[:n]) / n)
        if min(tail, head) < level / 4 or max(tail, head) > 4 * min(tail, head):
            faults.append("level")
        return faults

    def test_tunes_are_long_and_loop_without_a_click(self):
        for rel in asset_list.LOOPED_SOUNDS:
            s = self.samples(rel)
            # The game tune plays right through a two-minute game: it must not repeat every bar.
            self.assertGreaterEqual(len(s), 22050 * 30, rel + " is too short")
            typical = self.typical(s)
            self.assertEqual(self.join_faults(s, typical), [], rel)
            # Cut short anywhere else, the same check hears the join (most of the time: a cut
            # can land where the wave happens to run on smoothly).
            heard = sum(1 for k in range(1000, 21000, 1000) if self.join_faults(s[:-k], typical))
            self.assertGreaterEqual(heard, 15, rel)
            self.assertIn("level", self.join_faults(s + (0,) * 4410, typical), rel)

if __name__ == "__main__":
    unittest.main()
