#include "core/win32.h"

#include "game/review.h"
#include "core/core.h"
#include "game/media_numbers.h"
#include "game/hiscores.h"
#include "game/hud.h"
#include "game/play_board.h"
#include "game/settings.h"
#include "image/image.h"
#include "input/input.h"
#include "sound/sound.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

ReviewPanel panels[4] = {{ReviewKind::GameOver},
                         {ReviewKind::LevelComplete},
                         {ReviewKind::KeepyUppy},
                         {ReviewKind::TimeAttack}};
NameEntryPanel nameEntry;

constexpr std::int32_t kPanelX = 128, kPanelY = 128;
// The name's line on the name-entry panel, and below it the line that says a save failed.
constexpr std::int32_t kNameX = 398, kNameY = 528, kSaveFailedY = 592;
// How long the failed save's line stays unless a click closes it: four seconds at 60 frames.
constexpr std::int32_t kSaveFailedFrames = 240;

struct PanelLine {
    std::int32_t caption; // image
    std::int32_t captionX, captionY;
    std::int32_t valueX, valueY;
};

std::int32_t LineValue(ReviewKind kind, std::int32_t line) {
    const GameSettings& settings = Settings();
    if (line == 1) return settings.finalScore;
    switch (kind) {
    case ReviewKind::LevelComplete:
        return settings.timeBonus;
    case ReviewKind::KeepyUppy:
        return Board().combo;
    default:
        return settings.finalScore;
    }
}

// Lines of each panel; one-line panels leave the second caption at 0.
void PanelLines(ReviewKind kind, PanelLine (&lines)[2], std::int32_t& count) {
    switch (kind) {
    case ReviewKind::LevelComplete:
        lines[0] = {kReviewTimeBonusImage, 198, 248, 398, 318};
        lines[1] = {kReviewTotalScoreImage, 198, 398, 398, 468};
        count = 2;
        break;
    case ReviewKind::KeepyUppy:
        lines[0] = {kReviewMaxComboImage, 198, 248, 398, 318};
        lines[1] = {kReviewTotalScoreImage, 198, 398, 398, 468};
        count = 2;
        break;
    default:
        lines[0] = {kReviewTotalScoreImage, 198, 308, 398, 378};
        count = 1;
        break;
    }
}

void DrawValue(std::int32_t value, std::int32_t x, std::int32_t y) {
    DrawTextImages(FormatThousands(std::to_string(value)), x, y);
}

void PopSound() {
    PlaySound(kPopSounds + std::rand() % kPopSoundCount);
}

} // namespace

ReviewPanel& Review(ReviewKind kind) {
    return panels[static_cast<int>(kind)];
}

void ReviewPanel::Open() {
    if (kind != ReviewKind::LevelComplete) Settings().finalScore = Board().score;
    SetState(0);
}

void ReviewPanel::SetState(std::int32_t n) {
    state = n;
    counter = 0;
    if (n == 11) PlaySound(kStarChimeSound);
}

bool ReviewPanel::Step() {
    if (state == 0) {
        if (++counter > 32) SetState(1);
    } else if (state >= 1 && state <= 9) {
        if (++counter > 1) SetState(state + 1);
    } else if (state == 10) {
        if (++counter >= 21) counter = 0;
    } else if (state == 11) {
        counter += 5;
        if (counter > 150) SetState(12);
    } else if (state == 12) {
        return false;
    }
    return true;
}

void ReviewPanel::HandleInput() {
    if (!WasMouseButtonPressed(1)) return;
    if (state == 10)
        SetState(11);
    else if (state >= 1 && state <= 9)
        SetState(10);
}

void ReviewPanel::Draw() {
    const std::int32_t background =
        kind == ReviewKind::LevelComplete ? kReviewPanelImage : kReviewPanelGameOverImage;
    if (state == 0) {
        PasteImageFaded(background, kPanelX, kPanelY, counter * 8);
        return;
    }
    if (state >= 12) return;
    PasteImage(background, kPanelX, kPanelY, 1);
    PanelLine lines[2] = {};
    std::int32_t count = 0;
    PanelLines(kind, lines, count);
    // Two-line panels reveal caption, value, caption, value on states 2 to 5; one-line panels
    // caption and value on states 2 and 3.
    const std::int32_t shown = state < 2 ? 0 : state - 1;
    for (std::int32_t line = 0; line < count; ++line) {
        if (shown > 2 * line)
            PasteImage(lines[line].caption, lines[line].captionX, lines[line].captionY, 1);
        if (shown > 2 * line + 1)
            DrawValue(LineValue(kind, count == 1 ? 1 : line), lines[line].valueX,
                      lines[line].valueY);
    }
    if ((state == 10 || state == 11) && counter % 20 > 10)
        PasteImage(kReviewClickImage, 198, 578, 1);
}

NameEntryPanel& NameEntry() {
    return nameEntry;
}

// The letter typed by a key code, or 0.
static char LetterOfScanCode(std::int32_t code) {
    static const char kTop[] = "qwertyuiop", kMiddle[] = "asdfghjkl", kBottom[] = "zxcvbnm";
    if (code >= 16 && code <= 25) return kTop[code - 16];
    if (code >= 30 && code <= 38) return kMiddle[code - 30];
    if (code >= 44 && code <= 50) return kBottom[code - 44];
    return 0;
}

constexpr std::int32_t kBackspaceKey = 14, kReturnKey = 28;
// The system repeats a held key's character no sooner than 250 ms after the press (its shortest
// delay); a character of a key the frames have seen down for less than this is a new press.
constexpr std::uint32_t kRepeatAfterMs = 200;

// Whether the entry reads a key.
static bool Read(std::int32_t key) {
    return key == kBackspaceKey || key == kReturnKey || LetterOfScanCode(key);
}

// The key code of a typed character on the keyboard's layout, or 0.
static std::int32_t KeyOfCharacter(unsigned char c) {
    if (c == '\b') return kBackspaceKey;
    if (c == '\r') return kReturnKey;
    if (c < ' ') return 0;
    const SHORT key = VkKeyScanA(static_cast<CHAR>(c));
    if (key == -1) return 0;
    const UINT code = MapVirtualKeyA(LOBYTE(key), MAPVK_VK_TO_VSC);
    return code < NameEntryPanel::kKeys ? static_cast<std::int32_t>(code) : 0;
}

void NameEntryPanel::Open() {
    SetState(0);
    Settings().finalScore = Board().score;
    length = 0;
    std::memset(name, 0, sizeof name);
    keyDelay = 0;
    // Only what is typed from now on: keys pressed before the panel came type nothing.
    ClearEntryBuffer();
    // A key held as the panel comes is a held key: it types at once and again every 10 frames.
    const std::uint32_t now = GetTickCount();
    for (std::int32_t key = 0; key < kKeys; ++key) {
        downSince[key] = Read(key) && KeyState(key) ? (now ? now : 1) : 0;
        pressTyped[key] = downSince[key] != 0;
        typedWhileUp[key] = repeating[key] = false;
    }
}

void NameEntryPanel::SetState(std::int32_t n) {
    state = n;
    counter = 0;
}

bool NameEntryPanel::Step() {
    if (keyDelay > 0) --keyDelay;
    if (state == 0) {
        if (++counter > 32) SetState(1);
    } else if (state == 2) {
        return false;
    } else if (state == 3) {
        if (++counter >= kSaveFailedFrames) SetState(2);
    }
    return true;
}

void NameEntryPanel::Draw() {
    if (state == 0) {
        PasteImageFaded(kReviewPanelHiScoreImage, kPanelX, kPanelY, counter * 8);
    } else if (state == 1 || state == 3) {
        PasteImage(kReviewPanelHiScoreImage, kPanelX, kPanelY, 1);
        DrawTextImages(name, kNameX, kNameY);
        if (state == 3) DrawTextImages("score not saved", kNameX, kSaveFailedY);
    }
}

// Notes which keys are down now and since when, and whether the characters of each are the
// system's repeats: those of a press that has typed and been held a while, including the last ones,
// which may come in the frame that sees the key let go.
void NameEntryPanel::WatchKeys(std::uint32_t now) {
    for (std::int32_t key = 0; key < kKeys; ++key) {
        if (!Read(key)) continue;
        const bool down = KeyState(key) != 0;
        if (down && downSince[key] == 0) {
            downSince[key] = now ? now : 1;
            pressTyped[key] = typedWhileUp[key];
        }
        repeating[key] =
            downSince[key] != 0 && pressTyped[key] && now - downSince[key] >= kRepeatAfterMs;
        if (!down) {
            downSince[key] = 0;
            pressTyped[key] = false;
        }
        typedWhileUp[key] = false;
    }
}

// Types a letter or takes one back; true when it did.
bool NameEntryPanel::TypeKey(std::int32_t key) {
    if (key == kBackspaceKey && length >= 1 && length <= 9) {
        name[--length] = '\0';
    } else if (const char letter = LetterOfScanCode(key); letter && length < 9) {
        name[length++] = letter;
        name[length] = '\0';
    } else {
        return false;
    }
    keyDelay = 10;
    PopSound();
    return true;
}

// Every key pressed since the last frame, in the order typed, from the window's characters: the
// frames alone miss a press shorter than a frame, and one inside the delay that paces a held key.
// The characters the system repeats for a held key are left to that pace. True when a key typed.
bool NameEntryPanel::TakeTypedKeys() {
    char* typed = GetEntryBufferCopy();
    if (!typed) return false; // none yet, or no memory for the copy: the characters wait
    ClearEntryBuffer();
    bool any = false;
    for (const char* c = typed; *c && state < 2; ++c) {
        const std::int32_t key = KeyOfCharacter(static_cast<unsigned char>(*c));
        if (key == 0) continue;
        if (repeating[key]) continue;
        if (downSince[key] != 0)
            pressTyped[key] = true;
        else
            typedWhileUp[key] = true;
        if (key == kReturnKey)
            Submit();
        else
            any = TypeKey(key) || any;
    }
    ResizeModuleString(GetCoreDataPointer(), &typed, 0);
    return any;
}

void NameEntryPanel::HandleInput() {
    if (state == 3 && WasMouseButtonPressed(1)) SetState(2);
    if (state >= 2) return;
    const std::uint32_t now = GetTickCount();
    WatchKeys(now);
    const bool typed = TakeTypedKeys();
    if (state >= 2) return;
    // A key held down types again each time the delay runs out; of several, the lowest code.
    if (!typed && keyDelay < 1) {
        const std::int32_t key = GetScanCode();
        if (key > 0 && key < kKeys && pressTyped[key]) TypeKey(key);
    }
    if (IsReturnKeyDown()) Submit();
}

void NameEntryPanel::Submit() {
    const PlayBoard& board = Board();
    HiScores().Insert(name, board.score, board.combo);
    SetState(HiScores().Save() ? 2 : 3);
}
