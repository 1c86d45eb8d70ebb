#include "core/win32.h"

#include "game/play_board.h"
#include "game/media_numbers.h"
#include "game/effects.h"
#include "game/game_app.h"
#include "game/hiscores.h"
#include "game/hud.h"
#include "game/levels.h"
#include "game/menu.h"
#include "game/review.h"
#include "game/settings.h"
#include "game/shapes.h"
#include "image/image.h"
#include "input/input.h"
#include "sound/sound.h"

#include <cstdlib>
#include <cstring>

namespace {

PlayBoard board;
float fallSpeed = 1.0f;

constexpr std::int32_t kBigPictureX = 200, kBigPictureY = 250;
constexpr std::int32_t kBackspace = 14;

// Combo bands of ten, the last one open-ended.
std::int32_t ComboBand(std::int32_t combo) {
    if (combo < 0) return 0;
    return combo / 10 < 5 ? combo / 10 : 5;
}

ReviewPanel* PanelOfState(std::int32_t state) {
    switch (state) {
    case kStateLevelReview:
        return &Review(ReviewKind::LevelComplete);
    case kStateKeepyUppyReview:
        return &Review(ReviewKind::KeepyUppy);
    case kStateTimeAttackReview:
        return &Review(ReviewKind::TimeAttack);
    case kStateGameOverReview:
        return &Review(ReviewKind::GameOver);
    default:
        return nullptr;
    }
}

void SpawnRisingPicture(std::int32_t image, std::int32_t life) {
    SpawnFadingAnimation(kBigPictureX, kBigPictureY, 0, -1, image, 0, 4, life, false);
}

} // namespace

PlayBoard& Board() {
    return board;
}

float& FallSpeed() {
    return fallSpeed;
}

std::int32_t ShapeSizeFor(std::int32_t combo, std::int32_t shapeFactor, std::int32_t r) {
    const std::int32_t band = ComboBand(combo);
    if (band == 5) return r % 12 + 1;
    const std::int32_t range = shapeFactor + 2 + band;
    return (range > 0 ? r % range : 0) + 2;
}

void PlayBoard::StartGame() {
    GameSettings& settings = Settings();
    if (settings.mode != kPuzzleMode) {
        colours = settings.colours;
        timeLeft = 120;
    } else {
        settings.LoadLevelRow();
    }
    score = 0;
    shownScore = 0;
    SetupLevel();
    SetState(kStateReady);
}

void PlayBoard::SetupLevel() {
    const GameSettings& settings = Settings();
    TheBackdrop().SetScheme(std::rand() % 6);
    if (settings.mode == kPuzzleMode && settings.level < 15) {
        LoadLevelLayout(settings.layoutSet, settings.level % 5);
    } else {
        const std::int32_t dealt = settings.mode == kPuzzleMode ? 5 : (colours > 0 ? colours : 1);
        for (std::int32_t x = 0; x < 10; ++x)
            for (std::int32_t y = 0; y < 10; ++y)
                cells[x][y] = BoardCell{std::rand() % dealt, 1, kNoSpecial};
    }
    for (std::int32_t i = 0; i < 10; ++i)
        AddStar(*this);
    comboMeter = 0;
    combo = 0;
    shape.alpha = 0;
    ClearHint(*this);
    kookyNext = 0;
    frameCounter = 0;
    // A game left in the middle of a fall would otherwise start the next one with tiles offset.
    std::memset(falling, 0, sizeof falling);
}

void PlayBoard::SetState(std::int32_t n) {
    state = n;
    switch (n) {
    case kStateReady:
        stateTimer = 0;
        SpawnAnimation(kBigPictureX, kBigPictureY, 0, 0, kReadyText, 0, 4, 60, false);
        break;
    case kStateGo:
        SpawnRisingPicture(kGoText, 60);
        SetState(kStatePlay);
        break;
    case kStatePlay:
        EnterPlay();
        break;
    case kStateMatched:
        PlaySound(kPopSounds + std::rand() % kPopSoundCount);
        ClearHint(*this);
        ++combo;
        stateTimer = 0;
        comboMeter = 192.0f;
        score += CountShapeCells(shape) * 10 * combo;
        break;
    case kStateFalling:
        ApplyGravity(*this);
        stateTimer = 0;
        break;
    case kStateTimeUp:
    case kStateComboOut:
        // The end picture shows for its full four seconds whatever the last state left here.
        stateTimer = 0;
        std::memset(falling, 0, sizeof falling);
        PlaySound(kNegativeSound);
        break;
    case kStateLevelComplete: {
        PlaySound(kPositiveSound);
        std::memset(falling, 0, sizeof falling);
        stateTimer = 0;
        GameSettings& settings = Settings();
        settings.timeBonus = timeLeft * 100;
        score += settings.timeBonus;
        settings.finalScore = score;
        break;
    }
    case kStateLevelReview:
    case kStateKeepyUppyReview:
    case kStateTimeAttackReview:
    case kStateGameOverReview:
        PanelOfState(n)->Open();
        break;
    case kStateHighScore:
        if (HiScores().FindRank())
            NameEntry().Open();
        else
            LeaveToMenu(false);
        break;
    default:
        break;
    }
}

void PlayBoard::EnterPlay() {
    GameSettings& settings = Settings();
    std::memset(falling, 0, sizeof falling);
    if (settings.mode == kPuzzleMode)
        PlaceRandomSpecial(*this);
    else
        AddStar(*this);
    if (settings.mode == kPuzzleMode && settings.starsLeft == 0) SetState(kStateLevelComplete);
    if (kookyNext)
        GenerateShape(shape, 5, true);
    else
        GenerateShape(shape, ShapeSizeFor(combo, settings.shapeFactor, std::rand()), false);
}

void PlayBoard::LeaveToMenu(bool showTable) {
    App().screen = 0;
    if (showTable)
        Menu().OpenOnTable(HiScores().current);
    else
        Menu().Open();
}

void PlayBoard::Update() {
    const std::int32_t mode = Settings().mode;
    messageFade = messageFade - 2 < 0 ? 0 : messageFade - 2;
    if (mode == kPuzzleMode || mode == kTimeAttackMode) {
        if (++frameCounter >= 60) {
            if (state <= kStateFalling) {
                --timeLeft;
                frameCounter = 0;
            } else {
                messageFade = 0;
            }
        }
        if (timeLeft < 0) {
            timeLeft = 0;
            SetState(kStateTimeUp);
        }
    }
    if (shownScore < score) shownScore += 100;
    if (shownScore > score) shownScore = score;

    switch (state) {
    case kStateReady:
        if (++stateTimer > 60) SetState(kStateGo);
        break;
    case kStatePlay:
        UpdatePlay();
        break;
    case kStateMatched:
        shape.alpha = 0;
        if (++stateTimer > 10) SetState(HasEmptyCell(*this) ? kStateFalling : kStatePlay);
        break;
    case kStateFalling:
        stateTimer = static_cast<std::int32_t>(static_cast<float>(stateTimer) + fallSpeed);
        fallSpeed += 0.5f;
        if (fallSpeed > 64.0f) fallSpeed = 64.0f;
        if (stateTimer > 64) SetState(HasEmptyCell(*this) ? kStateFalling : kStatePlay);
        break;
    case kStateTimeUp:
        if (++stateTimer > 240) {
            if (mode == kPuzzleMode)
                SetState(kStateGameOverReview);
            else if (mode == kTimeAttackMode)
                SetState(kStateTimeAttackReview);
            else
                SetState(kStateKeepyUppyReview);
        }
        break;
    case kStateComboOut:
        if (++stateTimer > 240 && mode == kKeepyUppyMode) SetState(kStateKeepyUppyReview);
        break;
    case kStateLevelComplete:
        if (stateTimer < 100) {
            BoardCell& cell = cells[stateTimer % 10][stateTimer / 10];
            cell.colour = kBlankColour;
            cell.special = kNoSpecial;
        } else {
            SetState(kStateLevelReview);
            break;
        }
        ++stateTimer;
        break;
    case kStateLevelReview:
        if (!Review(ReviewKind::LevelComplete).Step()) {
            // Past the last row of the table the levels keep its rules, dealt at random.
            GameSettings& settings = Settings();
            ++settings.level;
            settings.LoadLevelRow();
            SetupLevel();
            SetState(kStateReady);
        }
        break;
    case kStateKeepyUppyReview:
    case kStateTimeAttackReview:
    case kStateGameOverReview:
        if (!PanelOfState(state)->Step()) SetState(kStateHighScore);
        break;
    case kStateHighScore:
        if (!NameEntry().Step()) LeaveToMenu(true);
        break;
    default:
        break;
    }
}

void PlayBoard::UpdatePlay() {
    StepShapeFade(shape);
    static constexpr float kDrain[6] = {0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.5f};
    comboMeter -= kDrain[ComboBand(combo)];
    if (comboMeter < 0.0f) {
        if (combo > 0) {
            if (Settings().mode == kKeepyUppyMode) {
                SetState(kStateComboOut);
            } else {
                FindShapeFit(*this);
                kookyNext = 0;
                SpawnRisingPicture(kComboOutText, 60);
                combo = 0;
            }
        }
        comboMeter = 0.0f;
    }
    fallSpeed = 1.0f;
}

void PlayBoard::TakeShapeFromMouse() {
    const std::int32_t mouseX = GetMouseX() - shape.extentX * 32;
    const std::int32_t mouseY = GetMouseY() - shape.extentY * 32;
    for (std::int32_t x = 0; x < 10; ++x)
        if (mouseX > CellScreenX(x) && mouseX < CellScreenX(x) + 64) shape.x = x;
    for (std::int32_t y = 0; y < 10; ++y)
        if (mouseY > CellScreenY(y) && mouseY < CellScreenY(y) + 64) shape.y = y;
    const std::int32_t maxX = 10 - (shape.extentX + 1), maxY = 10 - (shape.extentY + 1);
    shape.x = shape.x < 0 ? 0 : (shape.x > maxX ? maxX : shape.x);
    shape.y = shape.y < 0 ? 0 : (shape.y > maxY ? maxY : shape.y);
}

void PlayBoard::HandlePlayInput() {
    TakeShapeFromMouse();
    if (WasMouseButtonPressed(1) && ShapeMatches(*this)) {
        if (kookyNext) {
            score += combo * 1000;
            SpawnRisingPicture(kGreatFindText, 120);
            kookyNext = 0;
        }
        for (std::int32_t i = 0; i < 10; ++i)
            for (std::int32_t j = 0; j < 10; ++j)
                if (shape.mask[i][j]) ClearCell(*this, shape.x + i, shape.y + j);
        SetState(kStateMatched);
    }
    if (state == kStatePlay && WasMouseButtonPressed(2) && Settings().mode != kKeepyUppyMode) {
        comboMeter = 0;
        kookyNext = 0;
        combo = 0;
        shape.alpha = 0;
        ClearHint(*this);
        SetState(kStatePlay);
        timeLeft -= 10;
    }
    if (GetScanCode() == kBackspace) LeaveToMenu(false);
}

void PlayBoard::HandleInput() {
    if (state == kStatePlay) {
        HandlePlayInput();
    } else if (ReviewPanel* panel = PanelOfState(state)) {
        panel->HandleInput();
    } else if (state == kStateHighScore) {
        NameEntry().HandleInput();
    }
}

void PlayBoard::Draw() {
    for (std::int32_t x = 0; x < 10; ++x)
        for (std::int32_t y = 0; y < 10; ++y) {
            const BoardCell& cell = cells[x][y];
            const std::int32_t sx = CellScreenX(x);
            const std::int32_t sy = CellScreenY(y) + (falling[x][y] ? stateTimer - 64 : 0);
            // Blank cells (the level-complete sweep) have no picture.
            if (cell.present && cell.colour >= 0 && cell.colour <= 4)
                PasteImage(kTileImages + cell.colour, sx, sy, 1);
            static constexpr std::int32_t kIcons[5] = {0, kStarIcon, kClockIcon, kBombIcon,
                                                       kKookyIcon};
            if (cell.special >= kStar && cell.special <= kMystery)
                PasteImage(kIcons[cell.special], sx, sy, 1);
            if (hintShown && cell.present && hint[x][y]) {
                PasteImage(kSelectorImage, sx, sy, 1);
                if (std::rand() % 3 == 0)
                    SpawnAnimation(sx - 16 + std::rand() % 64, sy - 16 + std::rand() % 64, 0, 0,
                                   kTwinkleImages, 10, 3, 30, false);
            }
        }
    switch (state) {
    case kStateTimeUp:
        PasteImage(kTimeUpText, kBigPictureX, kBigPictureY, 1);
        break;
    case kStateComboOut:
        PasteImage(kComboOutText, kBigPictureX, kBigPictureY, 1);
        break;
    case kStateLevelComplete:
        PasteImage(kLevelCompleteText, kBigPictureX, kBigPictureY, 1);
        break;
    case kStateHighScore:
        NameEntry().Draw();
        break;
    default:
        if (ReviewPanel* panel = PanelOfState(state)) panel->Draw();
        break;
    }
    if (state == kStatePlay) DrawShapeCursor(shape, CellScreenX(shape.x), CellScreenY(shape.y));
    if (messageFade > 0 && message[0]) {
        if (messageFade >= 129)
            DrawTextImages(message, 400, 300);
        else
            DrawTextImagesFaded(message, 400, 300, messageFade * 2);
    }
}
