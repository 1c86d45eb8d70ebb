#include "core/win32.h"

#include "game/hud.h"
#include "game/media_numbers.h"
#include "game/play_board.h"
#include "game/settings.h"
#include "image/image.h"
#include "input/input.h"
#include "sprite/sprite.h"

#include <cstdio>

namespace {

constexpr std::int32_t kScratchSprite = 1;

struct MouseEdges {
    std::uint8_t held[3] = {};
    std::uint8_t pressed[3] = {};
    std::int32_t queued = -1;
} mouse;

GameHud hud;

void DrawBox(std::int32_t image, std::int32_t x, std::int32_t y) {
    PasteImageFaded(image, x, y, hud.alpha);
}

void TimeBox(std::int32_t x, std::int32_t y) {
    const PlayBoard& board = Board();
    DrawBox(kTimeBoxImage, x, y);
    const std::string text = FormatTime(board.timeLeft);
    // Under ten seconds the time blinks, ten frames plain and ten highlighted.
    if (board.timeLeft >= 10 || board.frameCounter % 20 >= 10)
        DrawTextImages(text, x + 128, y + 60);
    else
        DrawTextImagesHighlighted(text, x + 128, y + 60);
}

void LevelBox(std::int32_t x, std::int32_t y) {
    DrawBox(kLevelBoxImage, x, y);
    DrawTextImages(std::to_string(Settings().level + 1), x + 64, y + 60);
    DrawTextImages(std::to_string(Settings().starsLeft), x + 192, y + 60);
}

void ComboBox(std::int32_t x, std::int32_t y) {
    const PlayBoard& board = Board();
    DrawBox(kComboBoxImage, x, y);
    PlaceSprite(kScratchSprite, static_cast<float>(x + 32), static_cast<float>(y + 64),
                kComboBarImage);
    SizeSprite(kScratchSprite, static_cast<std::int32_t>(board.comboMeter), 32);
    PasteSprite(kScratchSprite, x + 32, y + 64);
    DeleteSprite(kScratchSprite);
    DrawTextImages("x" + std::to_string(board.combo), x + 128, y + 110);
}

void ScoreBox(std::int32_t x, std::int32_t y) {
    DrawBox(kScoreBoxImage, x, y);
    DrawTextImages(FormatThousands(std::to_string(Board().shownScore)), x + 128, y + 60);
}

template <typename Paste>
void DrawGlyphs(const std::string& text, std::int32_t x, std::int32_t y, Paste paste) {
    const auto n = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t image = GlyphImage(text[static_cast<std::size_t>(i)]);
        if (image) paste(image, x - 14 * n + kGlyphWidth * i, y);
    }
}

} // namespace

std::int32_t GlyphImage(char c) {
    if (c >= 'a' && c <= 'z') return kLetterImages + (c - 'a');
    if (c >= '0' && c <= '9') return kDigitImages + (c - '0');
    switch (c) {
    case ':':
        return kSignImages;
    case ',':
        return kSignImages + 1;
    case '.':
        return kSignImages + 2;
    case '*':
        return kSignImages + 3;
    default:
        return 0;
    }
}

void PasteImageFaded(std::int32_t image, std::int32_t x, std::int32_t y, std::int32_t alpha) {
    // Fades count in steps that overshoot the last one (32 x 8, 128 x 2).
    alpha = alpha < 0 ? 0 : (alpha > 255 ? 255 : alpha);
    PlaceSprite(kScratchSprite, static_cast<float>(x), static_cast<float>(y), image);
    SetSpriteAlpha(kScratchSprite, alpha);
    PasteSprite(kScratchSprite, x, y);
    DeleteSprite(kScratchSprite);
}

void PasteImageTinted(std::int32_t image, std::int32_t x, std::int32_t y, std::int32_t red,
                      std::int32_t green, std::int32_t blue) {
    PlaceSprite(kScratchSprite, static_cast<float>(x), static_cast<float>(y), image);
    SetSpriteDiffuse(kScratchSprite, red, green, blue);
    PasteSprite(kScratchSprite, x, y);
    DeleteSprite(kScratchSprite);
}

void DrawTextImages(const std::string& text, std::int32_t x, std::int32_t y) {
    DrawGlyphs(text, x, y, [](std::int32_t image, std::int32_t px, std::int32_t py) {
        PasteImage(image, px, py, 1);
    });
}

void DrawTextImagesHighlighted(const std::string& text, std::int32_t x, std::int32_t y) {
    DrawGlyphs(text, x, y, [](std::int32_t image, std::int32_t px, std::int32_t py) {
        PasteImageTinted(image, px, py, 255, 100, 100);
    });
}

void DrawTextImagesFaded(const std::string& text, std::int32_t x, std::int32_t y,
                         std::int32_t alpha) {
    DrawGlyphs(text, x, y, [alpha](std::int32_t image, std::int32_t px, std::int32_t py) {
        PasteImageFaded(image, px, py, alpha);
    });
}

std::string FormatThousands(const std::string& text) {
    if (text.size() < 4) return text;
    std::string out;
    const std::size_t lead = text.size() % 3;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != 0 && (i + 3 - lead) % 3 == 0) out += ',';
        out += text[i];
    }
    return out;
}

std::string FormatTime(std::int32_t seconds) {
    char text[32];
    const std::int32_t m = seconds / 60, s = seconds % 60;
    std::snprintf(text, sizeof text, s <= 9 ? "%d:0%d" : "%d:%d", static_cast<int>(m),
                  static_cast<int>(s));
    return text;
}

void UpdateMouseButtons() {
    const std::int32_t click = GetMouseClick();
    if (mouse.queued >= 0 && mouse.queued < 3) {
        mouse.pressed[0] = mouse.pressed[1] = mouse.pressed[2] = 0;
        mouse.pressed[mouse.queued] = 1;
        mouse.queued = -1;
        return;
    }
    for (std::int32_t i = 0; i < 3; ++i) {
        mouse.pressed[i] = 0;
        if (click != i) {
            mouse.held[i] = 0;
        } else if (!mouse.held[i]) {
            mouse.pressed[i] = 1;
            mouse.held[i] = 1;
        }
    }
}

bool WasMouseButtonPressed(std::int32_t code) {
    return code >= 0 && code < 3 && mouse.pressed[code];
}

void QueueMouseClick(std::int32_t code) {
    mouse.queued = code;
}

void ResetMouseButtons() {
    mouse = MouseEdges{};
}

GameHud& Hud() {
    return hud;
}

void GameHud::Draw() {
    alpha = alpha + 5 > 255 ? 255 : alpha + 5;
    PasteImageFaded(kGameBoardImage, 58, 52, alpha);
    switch (Settings().mode) {
    case kPuzzleMode:
        LevelBox(730, 50);
        ComboBox(730, 371);
        ScoreBox(730, 210);
        TimeBox(730, 591);
        break;
    case kTimeAttackMode:
        PasteImageFaded(kSmallLogoImage, 720, 10, alpha);
        ComboBox(730, 300);
        ScoreBox(730, 150);
        TimeBox(730, 520);
        break;
    case kKeepyUppyMode:
        PasteImageFaded(kSmallLogoImage, 720, 10, alpha);
        ComboBox(730, 300);
        ScoreBox(730, 150);
        break;
    default:
        break;
    }
}
