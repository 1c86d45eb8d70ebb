// Drawing helpers every screen of the game uses: the image font, faded and tinted pastes through
// the scratch sprite, mouse clicks as edges, and the heads-up display around the board.
#pragma once

#include <cstdint>
#include <string>

// Image numbers of the font's glyphs: characters without a glyph draw nothing but take a cell.
constexpr int kGlyphWidth = 28;
std::int32_t GlyphImage(char c);

void PasteImageFaded(std::int32_t image, std::int32_t x, std::int32_t y, std::int32_t alpha);
void PasteImageTinted(std::int32_t image, std::int32_t x, std::int32_t y, std::int32_t red,
                      std::int32_t green, std::int32_t blue);
// Text centred on x.
void DrawTextImages(const std::string& text, std::int32_t x, std::int32_t y);
void DrawTextImagesHighlighted(const std::string& text, std::int32_t x, std::int32_t y);
void DrawTextImagesFaded(const std::string& text, std::int32_t x, std::int32_t y,
                         std::int32_t alpha);
// "1234" -> "1,234"; texts shorter than four characters stay as they are.
std::string FormatThousands(const std::string& text);

// Once per frame: a click counts in the one frame in which its code appears.
void UpdateMouseButtons();
bool WasMouseButtonPressed(std::int32_t code);
void ResetMouseButtons();
// The next UpdateMouseButtons reports this button pressed, for clicks that do not come from the
// mouse device (scripted play).
void QueueMouseClick(std::int32_t code);

struct GameHud {
    std::int32_t alpha = 0; // the fade-in of the board picture and boxes
    void Reset() { alpha = 0; }
    void Draw();
};

GameHud& Hud();
// "m:ss" of a time in seconds.
std::string FormatTime(std::int32_t seconds);
