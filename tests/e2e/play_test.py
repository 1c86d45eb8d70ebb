"""The whole game driven like a player: the real executable under Wine, real mouse and keyboard
events through xdotool. A time-attack game is played by clicking over the board, thrown away with
right clicks, reviewed, and its score entered under a typed name; "records.bin" must then hold it.

Usage: play_test.py GAME_FOLDER WINE_RUN BUILD_DIR
"""

import os
import colorsys
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from PIL import ImageChops, ImageGrab

GAME, WINE_RUN, BUILD = sys.argv[1:4] if len(sys.argv) >= 4 else (None, None, None)

TABLE_BYTES = 100
ENTRY_BYTES = 20


def xdotool(*args):
    return subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True,
                          timeout=30).stdout.strip()


def entry(records, table, place):
    at = TABLE_BYTES * table + ENTRY_BYTES * place
    name = records[at:at + 12].split(b"\0")[0].decode()
    score, combo = struct.unpack_from("<ii", records, at + 12)
    return name, score, combo


GAME_ENV = dict(os.environ, WINE_RUN_BUILD=BUILD or "", WINE_RUN_KIND="game-test")


def start_xvfb():
    """A private Xvfb on a free display number, for a run without a DISPLAY (plain ctest): the
    game, xdotool and the screen grabs must all look at the same screen."""
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24",
                               "-nolisten", "tcp"], pass_fds=(write,), stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as numbers:
        number = numbers.readline().strip()
    if not number:
        server.kill()
        server.wait()
        raise RuntimeError("Xvfb did not start")
    return server, ":" + number


def game_prefix_env():
    return dict(GAME_ENV, WINEPREFIX=os.path.join(BUILD, "wine", "prefix-game-test"))


def end_game_prefix():
    """Ends every process of the game's prefix with its server: a game that outlived its test
    kept the server, and with it the desktop on the display of that test, so that the next
    game's window showed on no screen."""
    subprocess.run(["wineserver", "-k"], env=game_prefix_env(), timeout=60, check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=game_prefix_env(), timeout=60, check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def stop_xvfb(server):
    # Wine's desktop process of the game's prefix holds the display until its server ends, a few
    # seconds after the game.
    try:
        subprocess.run(["wineserver", "-w"], env=game_prefix_env(), timeout=60, check=False)
    except subprocess.TimeoutExpired:
        pass
    server.terminate()
    server.wait(10)
    del os.environ["DISPLAY"]


class PlayThrough(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if GAME and not os.environ.get("DISPLAY"):
            server, display = start_xvfb()
            os.environ["DISPLAY"] = GAME_ENV["DISPLAY"] = display
            cls.addClassCleanup(stop_xvfb, server)
        # The game's own Direct3D settings, not the unit tests' ones: a prefix of its own, made
        # before any clock starts.
        if GAME:
            subprocess.run([WINE_RUN, "--prepare", BUILD], env=GAME_ENV, check=True, timeout=300)
            end_game_prefix()

    def setUp(self):
        if not GAME:
            self.skipTest("no game folder given")
        self.folder = tempfile.mkdtemp(prefix="zarvolin-e2e-")
        shutil.copy(os.path.join(GAME, "Zarvolin.exe"), self.folder)
        shutil.copytree(os.path.join(GAME, "Data"), os.path.join(self.folder, "Data"))
        # Empty tables: any score above 0 takes first place.
        with open(os.path.join(self.folder, "Data", "records.bin"), "wb") as f:
            f.write(bytes(700))
        self.log = open(os.path.join(self.folder, "game.log"), "wb")
        self.game = subprocess.Popen([WINE_RUN, "Zarvolin.exe"], cwd=self.folder, env=GAME_ENV,
                                     stdout=self.log, stderr=subprocess.STDOUT)
        self.window = None

    def tearDown(self):
        if getattr(self, "game", None) and self.game.poll() is None:
            # The runner passes TERM on to the game; a kill would end only the runner.
            self.game.terminate()
            try:
                self.game.wait(10)
            except subprocess.TimeoutExpired:
                self.game.kill()
                self.game.wait(10)
        if GAME:
            end_game_prefix()
        if getattr(self, "log", None):
            self.log.close()
        if getattr(self, "folder", None):
            shutil.rmtree(self.folder, ignore_errors=True)

    def find_window(self):
        deadline = time.time() + 60
        while time.time() < deadline:
            for window in xdotool("search", "--onlyvisible", "--class", "zarvolin").split():
                geometry = xdotool("getwindowgeometry", "--shell", window)
                values = dict(line.split("=") for line in geometry.splitlines() if "=" in line)
                if int(values.get("WIDTH", 0)) >= 1024:
                    self.origin = (int(values.get("X", 0)), int(values.get("Y", 0)))
                    return window
            time.sleep(0.5)
        self.log.flush()
        with open(self.log.name, "rb") as f:
            said = f.read()[-2000:].decode(errors="replace")
        running = "still running" if self.game.poll() is None else f"ended ({self.game.returncode})"
        windows = xdotool("search", "--class", "zarvolin") or "none"
        self.fail(f"the game's window did not appear on {os.environ.get('DISPLAY')} in 60 s; the "
                  f"game is {running}; its windows: {windows}; it said:\n{said}")

    def screen(self):
        return ImageGrab.grab(xdisplay=os.environ.get("DISPLAY"))

    def area(self, shot, left, top, right, bottom):
        """Mean colour and the pixels of a box given in the window's coordinates."""
        box = shot.convert("RGB").crop((self.origin[0] + left, self.origin[1] + top,
                                        self.origin[0] + right, self.origin[1] + bottom))
        pixels = list(box.getdata())
        mean = [sum(p[i] for p in pixels) / len(pixels) for i in range(3)]
        return mean, pixels

    # What each state shows. Backdrops change colour from page to page and game to game; the
    # board shows tiles of many hues on a 64-pixel grid, the menu white lettering, and the closing
    # panels darken the middle of the board (the name entry's has a cyan-edged name box).
    def board_shown(self, shot):
        rgb = shot.convert("RGB")
        hues = {}
        for row in range(7):
            for column in range(10):
                # The left of each cell, between the tile's edge and its white symbol.
                r, g, b = (v / 255 for v in rgb.getpixel(
                    (self.origin[0] + 68 + 14 + 64 * column, self.origin[1] + 62 + 32 + 64 * row)))
                h, saturation, value = colorsys.rgb_to_hsv(r, g, b)
                if saturation > 0.4 and value > 0.4:
                    hue = round(h * 6) % 6
                    hues[hue] = hues.get(hue, 0) + 1
        return sum(1 for n in hues.values() if n >= 4) >= 3

    def menu_shown(self, shot):
        return sum(self.menu_text(shot)) > 1000 and not self.board_shown(shot)

    def menu_text(self, shot):
        """Where the menu's white lettering is: a page's own pattern."""
        return [min(p) > 200 for p in self.area(shot, 312, 330, 712, 660)[1]]

    def choose(self, x, y, what):
        """Clicks a menu item and waits until the page has changed."""
        xdotool("mousemove", "--window", self.window, x, y)
        time.sleep(0.3)  # the item under the pointer lights up
        before = self.menu_text(self.screen())
        self.click(x, y, pause=0)
        self.wait_for(what, lambda shot: sum(
            a != b for a, b in zip(self.menu_text(shot), before)) > 300)

    def panel_shown(self, shot):
        return sum(self.area(shot, 250, 300, 500, 500)[0]) / 3 < 80

    def name_entry_shown(self, shot):
        pixels = self.area(shot, 244, 534, 564, 594)[1]
        cyan = sum(1 for r, g, b in pixels if r < 140 and g > 160 and b > 160)
        return self.panel_shown(shot) and cyan >= 100

    def wait_for(self, what, shown, timeout=60, step=None):
        """Polls the screen until shown(screenshot) holds; step() runs between polls."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            shot = self.screen()
            if shown(shot):
                return
            if step:
                step()
            time.sleep(0.2)
        # The last screen, for whoever reads the failure.
        picture = os.path.join(BUILD or tempfile.gettempdir(),
                               "e2e-" + "".join(c if c.isalnum() else "-" for c in what) + ".png")
        shot.save(picture)
        self.fail(f"{what} did not appear (window at {self.origin}); last screen in {picture}")

    def wait_for_menu(self):
        # The loading picture stands still; the menu's backdrop scrolls. Start-up time varies a
        # lot with the machine's load, so wait for steady motion instead of a fixed time (one
        # change alone may be the loading picture's first paint).
        deadline = time.time() + 90
        moving = 0
        last = self.screen()
        while time.time() < deadline and moving < 3:
            time.sleep(0.3)
            shot = self.screen()
            moving = moving + 1 if ImageChops.difference(last, shot).getbbox() else 0
            last = shot
        if moving < 3:
            self.fail("the menu did not appear")
        time.sleep(0.3)

    def assert_frames_change(self):
        first = self.screen()
        time.sleep(0.5)
        self.assertIsNotNone(ImageChops.difference(first, self.screen()).getbbox(),
                             "the screen stood still")

    def click(self, x, y, button=1, pause=0.25):
        xdotool("mousemove", "--window", self.window, x, y)
        time.sleep(0.08)
        xdotool("mousedown", button)
        time.sleep(0.1)
        xdotool("mouseup", button)
        time.sleep(pause)

    def score_ink(self, shot):
        """The white lettering of the score: a "0" has far less of it than any score won."""
        return sum(1 for p in self.area(shot, 760, 205, 960, 255)[1] if min(p) > 200)

    def sweep_until_scored(self, sweeps=3):
        """Clicks every cell, row by row, until the score shows more than one digit. The game
        centres a shape on the pointer and takes the cell whose inside holds the shape's corner,
        so a pointer at a cell's centre lands on a cell edge for a shape two cells wide: click
        off the centre."""
        before = self.score_ink(self.screen())
        for _ in range(sweeps):
            for row in range(10):
                for column in range(10):
                    self.click(68 + 64 * column + 40, 62 + 64 * row + 40, pause=0.05)
                    if self.score_ink(self.screen()) > 1.5 * before + 20:
                        return True
        return False

    def hold(self, key, done, timeout=30):
        """Holds a key down until done() holds or the time is out, as a player does who waits
        for the game to react: the game reads these keys once a frame, and a loaded machine's
        frames can be longer than a quick press."""
        xdotool("keydown", key)
        try:
            deadline = time.time() + timeout
            while time.time() < deadline and not done():
                time.sleep(0.1)
        finally:
            xdotool("keyup", key)

    def type_quickly(self, keys):
        """Types as a quick typist does: 30 ms presses, 15 keys a second, with no wait for the
        game's frames; the name entry takes every press."""
        script = []
        for key in keys:
            script += ["keydown", key, "sleep", "0.03", "keyup", key, "sleep", "0.037"]
        xdotool(*script)

    def test_a_time_attack_game_ends_in_the_table(self):
        self.window = self.find_window()
        xdotool("windowfocus", self.window)
        self.wait_for_menu()
        self.choose(512, 380, "the page of game modes")  # play game
        self.choose(512, 440, "the page of levels")  # time attack mode
        self.choose(512, 380, "the start of the game")  # easy
        self.wait_for("the game's board", self.board_shown)  # after ready, go
        # Each shape is dealt from a same-coloured patch of the board, so a sweep of every cell
        # finds where it fits; a match deals a new shape, so stop at the first score. Clicks in
        # the opening "ready" are lost, which the next sweep makes up for.
        self.assertTrue(self.sweep_until_scored(), "no click on the board scored")
        for _ in range(14):  # each discard costs ten seconds
            self.click(400, 400, button=3, pause=0.2)
        self.wait_for("the review after the time ran out", self.panel_shown)
        # Each click reveals, skips the wait, or closes.
        self.wait_for("the name entry", self.name_entry_shown,
                      step=lambda: self.click(512, 500, pause=0.4))
        self.type_quickly(["z", "o", "r", "p", "Return"])
        self.wait_for("the menu after the name entry",
                      lambda shot: not self.name_entry_shown(shot) and self.menu_shown(shot))
        self.assertIsNone(self.game.poll(), "the game ended early")
        self.assert_frames_change()
        self.hold("Escape", lambda: self.game.poll() is not None)
        self.assertEqual(self.game.wait(30), 0)
        with open(os.path.join(self.folder, "Data", "records.bin"), "rb") as f:
            records = f.read()
        self.assertEqual(len(records), 700)
        name, score, combo = entry(records, 1, 0)
        self.assertEqual(name, "zorp")
        self.assertGreater(score, 0)
        self.assertEqual(score % 10, 0)
        for table in (0, 2, 3, 4, 5, 6):
            self.assertEqual(entry(records, table, 0), ("", 0, 0))


    def test_backspace_leaves_a_game_and_quit_ends_the_program(self):
        self.window = self.find_window()
        xdotool("windowfocus", self.window)
        self.wait_for_menu()
        self.choose(512, 380, "the page of game modes")  # play game
        self.choose(512, 440, "the page of levels")  # time attack mode
        self.choose(512, 500, "the start of the game")  # hard
        self.wait_for("the game's board", self.board_shown)
        rng = random.Random(3)
        for _ in range(10):
            self.click(68 + 64 * rng.randrange(10) + 40, 62 + 64 * rng.randrange(10) + 40,
                       pause=0.15)
        self.assert_frames_change()
        self.hold("BackSpace", lambda: self.menu_shown(self.screen()))
        self.wait_for("the menu after Backspace", self.menu_shown)
        self.assertIsNone(self.game.poll(), "Backspace ended the program")
        self.click(512, 620)  # quit, on the main page again
        self.assertEqual(self.game.wait(30), 0)
        with open(os.path.join(self.folder, "Data", "records.bin"), "rb") as f:
            self.assertEqual(f.read(), bytes(700))  # no game finished, nothing written


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
