// The rules of the board: dealing shapes, matching them, clearing tiles with their specials,
// gravity and refills, placing new specials and finding the hint.
#pragma once

#include <cstdint>

struct PlayBoard;
struct ShapeCursor;

constexpr std::int32_t kNoSpecial = 0, kStar = 1, kClock = 2, kBomb = 3, kMystery = 4;
constexpr std::int32_t kMaxSpecials = 10;
constexpr std::int32_t kBlankColour = 9;

// Screen point of a board cell.
constexpr std::int32_t CellScreenX(std::int32_t x) {
    return 68 + 64 * x;
}
constexpr std::int32_t CellScreenY(std::int32_t y) {
    return 62 + 64 * y;
}

// Grows a shape from the board's current colours; falls back to smaller sizes down to 1.
void GenerateShape(ShapeCursor& shape, std::int32_t size, bool kooky);
std::int32_t CountShapeCells(const ShapeCursor& shape);
void StepShapeFade(ShapeCursor& shape);
void DrawShapeCursor(const ShapeCursor& shape, std::int32_t baseX, std::int32_t baseY);
// 0..15 from the marked neighbours of mask cell (i, j).
std::int32_t ShapeEdgeCode(const ShapeCursor& shape, std::int32_t i, std::int32_t j);

bool ShapeMatches(const PlayBoard& board);
void FindShapeFit(PlayBoard& board);
void ClearHint(PlayBoard& board);

void ClearCell(PlayBoard& board, std::int32_t x, std::int32_t y);
void ShowMessage(PlayBoard& board, const char* text);

void ApplyGravity(PlayBoard& board);
bool HasEmptyCell(const PlayBoard& board);
void RefillColumnTop(PlayBoard& board, std::int32_t x);

void AddStar(PlayBoard& board);
void PlaceRandomSpecial(PlayBoard& board);
std::int32_t CountSpecials(const PlayBoard& board);
bool HasClockSpecial(const PlayBoard& board);
