#include "core/win32.h"

#include "game/game_app.h"
#include "game/media_numbers.h"
#include "core/core.h"
#include "core/frame_loop.h"
#include "display/display.h"
#include "file/file.h"
#include "image/image.h"
#include "input/input.h"
#include "sound/sound.h"
#include "text/text.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string Numbered(const char* stem, int n, int width, const char* extension) {
    std::string digits = std::to_string(n);
    while (static_cast<int>(digits.size()) < width)
        digits = "0" + digits;
    return stem + digits + extension;
}

// Folders in loading order; within a folder, ascending numbers.
std::vector<std::pair<std::string, std::vector<std::pair<std::int32_t, std::string>>>>
ImageFolders() {
    std::vector<std::pair<std::string, std::vector<std::pair<std::int32_t, std::string>>>> folders;
    folders.push_back({"Backgrounds\\",
                       {{kLogoImage, "ZarvolinLogo.png"},
                        {kSmallLogoImage, "ZarvolinLogoSmall.png"},
                        {kQuorvaneImage, "Quorvane.png"},
                        {kScreenImage, "Screen.png"}}});
    folders.push_back({"BigText\\",
                       {{kComboOutText, "BigText_ComboOut.png"},
                        {kGoText, "BigText_Go.png"},
                        {kGreatFindText, "BigText_GreatFind.png"},
                        {kLevelCompleteText, "BigText_LevelComplete.png"},
                        {kReadyText, "BigText_Ready.png"},
                        {kTimeUpText, "BigText_TimeUp.png"}}});
    std::vector<std::pair<std::int32_t, std::string>> effects = {{kBigStarImage, "BigStar.png"}};
    for (int i = 1; i <= 6; ++i)
        effects.push_back({kPopImages - 1 + i, Numbered("Pop", i, 2, ".png")});
    effects.push_back({kPuffImage, "puff.tga"});
    for (int i = 1; i <= 11; ++i)
        effects.push_back({kTwinkleImages - 1 + i, Numbered("twinkle", i, 2, ".png")});
    folders.push_back({"Effects\\", effects});
    std::vector<std::pair<std::int32_t, std::string>> gui = {{kCursorImages, "Cursor.bmp"}};
    for (int i = 1; i <= 15; ++i)
        gui.push_back({kCursorImages + i, Numbered("Cursor", i, 2, ".bmp")});
    gui.push_back({kInsideCursorImage, "InsideCursor.png"});
    gui.push_back({kSelectorImage, "Selector.png"});
    folders.push_back({"GUI\\", gui});
    std::vector<std::pair<std::int32_t, std::string>> help;
    for (int i = 1; i <= 4; ++i)
        help.push_back({kHelpImages - 1 + i, Numbered("Help", i, 2, ".png")});
    folders.push_back({"Help\\", help});
    const char* hud[] = {"ComboBar.png",           "ComboBox.png",    "Demo.png",
                         "GameBoard.png",          "LevelBox.png",    "NextTileBox.png",
                         "PieceBox.png",           "Pointer.png",     "ReviewClick.png",
                         "ReviewMaxCombo.png",     "ReviewPanel.png", "ReviewPanelGameOver.png",
                         "ReviewPanelHiScore.png", "ReviewScore.png", "ReviewTimeBonus.png",
                         "ReviewTotalScore.png",   "ScoreBox.png",    "TimeBox.png"};
    std::vector<std::pair<std::int32_t, std::string>> hudFiles;
    for (int i = 0; i < 18; ++i)
        hudFiles.push_back({kComboBarImage + i, hud[i]});
    folders.push_back({"HUD\\", hudFiles});
    std::vector<std::pair<std::int32_t, std::string>> font;
    for (char c = 'A'; c <= 'Z'; ++c)
        font.push_back({kLetterImages + (c - 'A'), std::string("ImageFont") + c + ".png"});
    for (int d = 0; d <= 9; ++d)
        font.push_back({kDigitImages + d, "ImageNumber" + std::to_string(d) + ".png"});
    const char* signs[] = {"Colon", "Comma", "FullStop", "Multiply", "Slash"};
    for (int i = 0; i < 5; ++i)
        font.push_back({kSignImages + i, std::string("ImageNumber") + signs[i] + ".png"});
    folders.push_back({"ImageFont\\", font});
    folders.push_back({"SpecialIcons\\",
                       {{kBombIcon, "Bomb.tga"},
                        {kClockIcon, "Clock.tga"},
                        {kKookyIcon, "kooky.tga"},
                        {kStarIcon, "Star.tga"}}});
    folders.push_back({"Stars\\",
                       {{kClockWhiteImage, "ClockWhite.png"},
                        {kDotWhiteImage, "DotWhite.png"},
                        {kQuestionWhiteImage, "QuestionWhite.png"},
                        {kStarWhiteImage, "StarWhite.png"}}});
    std::vector<std::pair<std::int32_t, std::string>> tiles = {{kSmallTileImage, "SmallTile.png"}};
    for (char c = 'A'; c <= 'G'; ++c)
        tiles.push_back({kTileImages + (c - 'A'), std::string("Tile") + c + ".png"});
    tiles.push_back({kTileZeroImage, "TileZero.png"});
    folders.push_back({"Tiles\\", tiles});
    return folders;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Started from another folder (a shortcut, a file manager, a terminal elsewhere), the game still
// finds the Data folder beside its executable; "records.bin" follows, since it lives in Data.
void EnterGameFolder() {
    if (IsFolder("Data")) return;
    std::string folder(g_CoreData->programPath, strnlen(g_CoreData->programPath, kCorePathLength));
    const std::size_t slash = folder.rfind('\\');
    if (slash == std::string::npos) return;
    folder.resize(slash);
    if (IsFolder(folder + "\\Data")) SetCurrentDirectoryA(folder.c_str());
}

} // namespace

void LoadGameAssets() {
    ShowLoadingPicture();
    LoadGameSounds();
    LoadGameImages();
    HideMouse();
    ChangeDirectory("..\\");
}

void ShowLoadingPicture() {
    SetDisplayMode(1024, 768, 32);
    SyncOn();
    SetSyncRate(60);
    DrawSpritesFirst();
    EnterGameFolder();
    ChangeDirectory("Data\\");
    LoadImage("Loading.png", kLoadingImage, 1);
    ChangeDirectory("..\\");
    for (int frame = 0; frame < 150; ++frame) {
        PasteImage(kLoadingImage, 0, 0, 0);
        Sync();
    }
}

void LoadGameSounds() {
    ChangeDirectory("Data\\Audio\\");
    const std::pair<const char*, std::int32_t> sounds[] = {
        {"StarChime.wav", kStarChimeSound}, {"theme.wav", kGameTune},
        {"theme2.wav", kMenuTune},          {"TilePop01.wav", kPopSounds},
        {"TilePop02.wav", kPopSounds + 1},  {"TilePop03.wav", kPopSounds + 2},
        {"explosion.wav", kExplosionSound}, {"NegTheme.wav", kNegativeSound},
        {"PosTheme.wav", kPositiveSound},   {"Bleep.wav", kBleepSound},
        {"Clock.wav", kClockSound},         {"Question.wav", kQuestionSound}};
    for (const auto& [file, number] : sounds)
        LoadSound(file, number);
    ChangeDirectory("..\\..\\");
}

void LoadGameImages() {
    ChangeDirectory("Data\\Images\\");
    for (const auto& [folder, pictures] : ImageFolders()) {
        ChangeDirectory(folder.c_str());
        for (const auto& [number, file] : pictures)
            LoadImage(file.c_str(), number, 1);
        ChangeDirectory("..\\");
    }
}

void SetUpGameFont() {
    SetTextFont("arial");
    SetTextSize(64);
    SetTextToBold();
    SetTextTransparent();
}
