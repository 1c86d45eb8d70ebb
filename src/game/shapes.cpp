#include "core/win32.h"

#include "game/shapes.h"
#include "game/media_numbers.h"
#include "game/effects.h"
#include "game/play_board.h"
#include "game/settings.h"
#include "image/image.h"
#include "sound/sound.h"
#include "sprite/sprite.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::int32_t kScratchSprite = 1;

// The board's colours at the moment a shape is dealt, and the shape being grown from them.
struct ShapeWork {
    std::int32_t colour[10][10] = {};
    std::uint8_t mask[10][10] = {};
    std::int32_t wanted = 0;
};

ShapeWork work;
std::uint8_t visited[10][10];
std::int32_t visitedCount = 0;

void FloodFillSameColour(std::int32_t x, std::int32_t y) {
    if (visited[x][y] || visitedCount >= work.wanted) return;
    visited[x][y] = 1;
    ++visitedCount;
    const std::int32_t c = work.colour[x][y];
    if (x > 0 && work.colour[x - 1][y] == c) FloodFillSameColour(x - 1, y);
    if (x < 9 && work.colour[x + 1][y] == c) FloodFillSameColour(x + 1, y);
    if (y > 0 && work.colour[x][y - 1] == c) FloodFillSameColour(x, y - 1);
    if (y < 9 && work.colour[x][y + 1] == c) FloodFillSameColour(x, y + 1);
}

void CopyVisitedToShape() {
    std::int32_t minX = 10, minY = 10;
    for (std::int32_t x = 0; x < 10; ++x)
        for (std::int32_t y = 0; y < 10; ++y)
            if (visited[x][y]) {
                if (x < minX) minX = x;
                if (y < minY) minY = y;
            }
    std::memset(work.mask, 0, sizeof work.mask);
    for (std::int32_t x = minX; x < 10; ++x)
        for (std::int32_t y = minY; y < 10; ++y)
            if (visited[x][y]) work.mask[x - minX][y - minY] = 1;
}

bool GrowShape() {
    for (std::int32_t attempt = 0; attempt < 1000; ++attempt) {
        const std::int32_t x = std::rand() % 10, y = std::rand() % 10;
        std::memset(visited, 0, sizeof visited);
        visitedCount = 0;
        FloodFillSameColour(x, y);
        if (visitedCount == work.wanted) {
            CopyVisitedToShape();
            return true;
        }
    }
    return false;
}

// Every cell of one colour inside a 6 x 6 window: usually scattered, but it always fits where it
// was taken from.
void MakeKookyShape() {
    const std::int32_t x0 = std::rand() & 3, y0 = std::rand() & 3;
    const std::int32_t c = work.colour[x0][y0];
    for (std::int32_t dx = 0; dx < 6; ++dx)
        for (std::int32_t dy = 0; dy < 6; ++dy)
            if (work.colour[x0 + dx][y0 + dy] == c) work.mask[dx][dy] = 1;
}

bool InBoard(std::int32_t x, std::int32_t y) {
    return x >= 0 && x < 10 && y >= 0 && y < 10;
}

// Whether every board cell under the mask placed at (px, py) has one colour.
bool FitsAt(const PlayBoard& board, const ShapeCursor& shape, std::int32_t px, std::int32_t py,
            std::int32_t colour) {
    for (std::int32_t i = 0; i < 10; ++i)
        for (std::int32_t j = 0; j < 10; ++j) {
            if (!shape.mask[i][j]) continue;
            if (!InBoard(px + i, py + j)) return false;
            const BoardCell& cell = board.cells[px + i][py + j];
            if (!cell.present || cell.colour != colour) return false;
        }
    return true;
}

void SpawnFragments(std::int32_t count, std::int32_t image, std::int32_t cx, std::int32_t cy,
                    bool burst) {
    for (std::int32_t k = 0; k < count; ++k) {
        const std::int32_t px = cx + std::rand() % 64;
        const std::int32_t py = cy + std::rand() % 64;
        float vx = 0, vy = 0;
        if (burst) {
            vx = static_cast<float>(std::rand() % 30 - 15) / 20.0f;
            vy = static_cast<float>(-5 - std::rand() % 5);
        } else {
            vx = static_cast<float>(std::rand() % 5 - 2) / 20.0f;
            vy = static_cast<float>(-2 - std::rand() % 2);
        }
        SpawnFallingFragment(px, py, vx, vy, 0.0f, 0.3f, image, 0, 1, 30 + std::rand() % 60, true);
    }
}

} // namespace

void GenerateShape(ShapeCursor& shape, std::int32_t size, bool kooky) {
    const PlayBoard& board = Board();
    shape.pulse = 200;
    std::memset(shape.mask, 0, sizeof shape.mask);
    for (std::int32_t x = 0; x < 10; ++x)
        for (std::int32_t y = 0; y < 10; ++y)
            work.colour[x][y] = board.cells[x][y].colour;
    std::memset(work.mask, 0, sizeof work.mask);
    work.wanted = size < 1 ? 1 : size;
    if (kooky) {
        MakeKookyShape();
    } else {
        while (!GrowShape() && work.wanted > 1)
            --work.wanted;
    }
    std::memcpy(shape.mask, work.mask, sizeof shape.mask);
    shape.extentX = 0;
    shape.extentY = 0;
    for (std::int32_t x = 0; x < 10; ++x)
        for (std::int32_t y = 0; y < 10; ++y)
            if (shape.mask[x][y]) {
                if (x > shape.extentX) shape.extentX = x;
                if (y > shape.extentY) shape.extentY = y;
            }
}

std::int32_t CountShapeCells(const ShapeCursor& shape) {
    std::int32_t n = 0;
    for (const auto& column : shape.mask)
        for (std::uint8_t marked : column)
            n += marked ? 1 : 0;
    return n;
}

void StepShapeFade(ShapeCursor& shape) {
    shape.alpha = shape.alpha + 10 > 255 ? 255 : shape.alpha + 10;
    shape.pulse += 10;
    if (shape.pulse > 255) shape.pulse = 50;
}

std::int32_t ShapeEdgeCode(const ShapeCursor& shape, std::int32_t i, std::int32_t j) {
    auto marked = [&shape](std::int32_t x, std::int32_t y) {
        return InBoard(x, y) && shape.mask[x][y] != 0;
    };
    const bool left = marked(i - 1, j), right = marked(i + 1, j);
    const bool above = marked(i, j - 1), below = marked(i, j + 1);
    // Indexed by left | right << 1 | above << 2 | below << 3.
    static constexpr std::int32_t kCodes[16] = {0, 4, 2, 13, 1,  5,  7,  11,
                                                3, 8, 6, 9,  14, 12, 10, 15};
    return kCodes[(left ? 1 : 0) | (right ? 2 : 0) | (above ? 4 : 0) | (below ? 8 : 0)];
}

void DrawShapeCursor(const ShapeCursor& shape, std::int32_t baseX, std::int32_t baseY) {
    for (std::int32_t i = 0; i < 10; ++i)
        for (std::int32_t j = 0; j < 10; ++j) {
            if (!shape.mask[i][j]) continue;
            const std::int32_t px = baseX + 64 * i - 3, py = baseY + 64 * j - 3;
            PasteImage(kInsideCursorImage, px, py, 1);
            PlaceSprite(kScratchSprite, static_cast<float>(px), static_cast<float>(py),
                        kCursorImages + ShapeEdgeCode(shape, i, j));
            SetSpriteAlpha(kScratchSprite, shape.alpha);
            SetSpriteDiffuse(kScratchSprite, shape.pulse, 255, shape.pulse);
            PasteSprite(kScratchSprite, px, py);
            DeleteSprite(kScratchSprite);
        }
}

bool ShapeMatches(const PlayBoard& board) {
    const ShapeCursor& shape = board.shape;
    std::int32_t colour = -1;
    for (std::int32_t i = 0; i < 10; ++i)
        if (shape.mask[i][0] && InBoard(shape.x + i, shape.y))
            colour = board.cells[shape.x + i][shape.y].colour;
    return colour >= 0 && FitsAt(board, shape, shape.x, shape.y, colour);
}

void FindShapeFit(PlayBoard& board) {
    const ShapeCursor& shape = board.shape;
    for (std::int32_t x = 0; x < 10 - shape.extentX; ++x)
        for (std::int32_t y = 0; y < 10 - shape.extentY; ++y) {
            std::int32_t colour = -1;
            for (std::int32_t i = 0; i < 10 && colour < 0; ++i)
                for (std::int32_t j = 0; j < 10 && colour < 0; ++j)
                    if (shape.mask[i][j] && InBoard(x + i, y + j))
                        colour = board.cells[x + i][y + j].colour;
            if (colour < 0 || !FitsAt(board, shape, x, y, colour)) continue;
            for (std::int32_t i = 0; i < 10; ++i)
                for (std::int32_t j = 0; j < 10; ++j)
                    if (shape.mask[i][j]) board.hint[x + i][y + j] = 1;
            board.hintShown = 1;
            return;
        }
}

void ClearHint(PlayBoard& board) {
    std::memset(board.hint, 0, sizeof board.hint);
    board.hintShown = 0;
}

void ShowMessage(PlayBoard& board, const char* text) {
    std::strncpy(board.message, text, sizeof board.message - 1);
    board.message[sizeof board.message - 1] = '\0';
    board.messageFade = 255;
}

void ClearCell(PlayBoard& board, std::int32_t x, std::int32_t y) {
    if (!InBoard(x, y)) return;
    const std::int32_t cx = CellScreenX(x), cy = CellScreenY(y);
    SpawnAnimation(cx, cy, 0, 0, kPopImages, 3, 3, 12, false);
    SpawnFragments(10, kDotWhiteImage, cx, cy, false);
    BoardCell& cell = board.cells[x][y];
    switch (cell.special) {
    case kStar: {
        board.score += 1000;
        PlaySound(kBleepSound);
        SpawnFragments(20, kStarWhiteImage, cx, cy, true);
        std::int32_t& stars = Settings().starsLeft;
        if (stars > 0) --stars;
        break;
    }
    case kClock:
        PlaySound(kStarChimeSound);
        SpawnFragments(20, kClockWhiteImage, cx, cy, true);
        board.timeLeft = board.timeLeft + 10 > 180 ? 180 : board.timeLeft + 10;
        break;
    case kBomb:
        // Cleared before the blast so that neighbouring bombs cannot set this one off again.
        cell.special = kNoSpecial;
        for (std::int32_t dx = -2; dx <= 2; ++dx)
            for (std::int32_t dy = -2; dy <= 2; ++dy)
                ClearCell(board, x + dx, y + dy);
        PlaySound(kExplosionSound);
        break;
    case kMystery: {
        cell.special = kNoSpecial;
        PlaySound(kBleepSound);
        switch (std::rand() % 10) {
        case 1:
            PlaySound(kQuestionSound);
            ShowMessage(board, "bomb heaven");
            for (auto& column : board.cells)
                for (BoardCell& other : column)
                    if (other.present && other.special > 0) other.special = kBomb;
            break;
        case 2:
            PlaySound(kQuestionSound);
            ShowMessage(board, "kooky shape");
            board.kookyNext = 1;
            break;
        case 3:
            PlaySound(kQuestionSound);
            ShowMessage(board, "max time");
            board.timeLeft = 180;
            break;
        case 4:
            PlaySound(kQuestionSound);
            ShowMessage(board, "combo up");
            board.combo += 10;
            break;
        default: {
            PlaySound(kExplosionSound);
            ShowMessage(board, "block buster");
            const std::int32_t colour = cell.colour;
            for (std::int32_t bx = 0; bx < 10; ++bx)
                for (std::int32_t by = 0; by < 10; ++by)
                    if (board.cells[bx][by].present && board.cells[bx][by].colour == colour)
                        ClearCell(board, bx, by);
            break;
        }
        }
        SpawnFragments(20, kQuestionWhiteImage, cx, cy, true);
        break;
    }
    default:
        break;
    }
    cell.present = 0;
    cell.special = kNoSpecial;
}

bool HasEmptyCell(const PlayBoard& board) {
    for (const auto& column : board.cells)
        for (const BoardCell& cell : column)
            if (!cell.present) return true;
    return false;
}

void RefillColumnTop(PlayBoard& board, std::int32_t x) {
    BoardCell& top = board.cells[x][0];
    top.present = 1;
    top.colour = std::rand() % (board.colours > 0 ? board.colours : 1);
    top.special = kNoSpecial;
}

void ApplyGravity(PlayBoard& board) {
    std::memset(board.falling, 0, sizeof board.falling);
    for (std::int32_t x = 0; x < 10; ++x) {
        std::int32_t hole = -1;
        for (std::int32_t y = 9; y >= 0 && hole < 0; --y)
            if (!board.cells[x][y].present) hole = y;
        if (hole < 0) continue;
        for (std::int32_t y = hole; y >= 1; --y) {
            board.cells[x][y] = board.cells[x][y - 1];
            board.falling[x][y] = 1;
        }
        board.falling[x][0] = 1;
        RefillColumnTop(board, x);
    }
}

std::int32_t CountSpecials(const PlayBoard& board) {
    std::int32_t n = 0;
    for (const auto& column : board.cells)
        for (const BoardCell& cell : column)
            n += cell.special > 0 ? 1 : 0;
    return n;
}

bool HasClockSpecial(const PlayBoard& board) {
    for (const auto& column : board.cells)
        for (const BoardCell& cell : column)
            if (cell.special == kClock) return true;
    return false;
}

void AddStar(PlayBoard& board) {
    if (CountSpecials(board) >= kMaxSpecials) return;
    const std::int32_t x = std::rand() % 10, y = std::rand() % 10;
    if (board.cells[x][y].special == kNoSpecial) board.cells[x][y].special = kStar;
}

void PlaceRandomSpecial(PlayBoard& board) {
    const std::int32_t r = std::rand() % 10;
    if (CountSpecials(board) >= kMaxSpecials) return;
    const std::int32_t x = std::rand() % 10, y = std::rand() % 10;
    BoardCell& cell = board.cells[x][y];
    if (cell.special != kNoSpecial) return;
    if (!HasClockSpecial(board))
        cell.special = kClock;
    else if (r == 0)
        cell.special = kBomb;
    else if (r == 3)
        cell.special = kMystery;
    else
        cell.special = kStar;
    SpawnFadingAnimation(64 * x + 48, 64 * y + 42, 0, -1, kPuffImage, 0, 4, 30, false);
}
