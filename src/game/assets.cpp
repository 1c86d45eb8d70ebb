#include "core/win32.h"

#include "game/game_app.h"
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
                       {{2, "ZarvolinLogo.png"},
                        {3, "ZarvolinLogoSmall.png"},
                        {4, "Quorvane.png"},
                        {5, "Screen.png"}}});
    folders.push_back({"BigText\\",
                       {{6, "BigText_ComboOut.png"},
                        {7, "BigText_Go.png"},
                        {8, "BigText_GreatFind.png"},
                        {9, "BigText_LevelComplete.png"},
                        {10, "BigText_Ready.png"},
                        {11, "BigText_TimeUp.png"}}});
    std::vector<std::pair<std::int32_t, std::string>> effects = {{12, "BigStar.png"}};
    for (int i = 1; i <= 6; ++i)
        effects.push_back({12 + i, Numbered("Pop", i, 2, ".png")});
    effects.push_back({19, "puff.tga"});
    for (int i = 1; i <= 11; ++i)
        effects.push_back({19 + i, Numbered("twinkle", i, 2, ".png")});
    folders.push_back({"Effects\\", effects});
    std::vector<std::pair<std::int32_t, std::string>> gui = {{31, "Cursor.bmp"}};
    for (int i = 1; i <= 15; ++i)
        gui.push_back({31 + i, Numbered("Cursor", i, 2, ".bmp")});
    gui.push_back({47, "InsideCursor.png"});
    gui.push_back({48, "Selector.png"});
    folders.push_back({"GUI\\", gui});
    std::vector<std::pair<std::int32_t, std::string>> help;
    for (int i = 1; i <= 4; ++i)
        help.push_back({48 + i, Numbered("Help", i, 2, ".png")});
    folders.push_back({"Help\\", help});
    const char* hud[] = {"ComboBar.png",           "ComboBox.png",    "Demo.png",
                         "GameBoard.png",          "LevelBox.png",    "NextTileBox.png",
                         "PieceBox.png",           "Pointer.png",     "ReviewClick.png",
                         "ReviewMaxCombo.png",     "ReviewPanel.png", "ReviewPanelGameOver.png",
                         "ReviewPanelHiScore.png", "ReviewScore.png", "ReviewTimeBonus.png",
                         "ReviewTotalScore.png",   "ScoreBox.png",    "TimeBox.png"};
    std::vector<std::pair<std::int32_t, std::string>> hudFiles;
    for (int i = 0; i < 18; ++i)
        hudFiles.push_back({53 + i, hud[i]});
    folders.push_back({"HUD\\", hudFiles});
    std::vector<std::pair<std::int32_t, std::string>> font;
    for (char c = 'A'; c <= 'Z'; ++c)
        font.push_back({71 + (c - 'A'), std::string("ImageFont") + c + ".png"});
    for (int d = 0; d <= 9; ++d)
        font.push_back({97 + d, "ImageNumber" + std::to_string(d) + ".png"});
    const char* signs[] = {"Colon", "Comma", "FullStop", "Multiply", "Slash"};
    for (int i = 0; i < 5; ++i)
        font.push_back({107 + i, std::string("ImageNumber") + signs[i] + ".png"});
    folders.push_back({"ImageFont\\", font});
    folders.push_back(
        {"SpecialIcons\\",
         {{112, "Bomb.tga"}, {113, "Clock.tga"}, {114, "kooky.tga"}, {115, "Star.tga"}}});
    folders.push_back({"Stars\\",
                       {{116, "ClockWhite.png"},
                        {117, "DotWhite.png"},
                        {118, "QuestionWhite.png"},
                        {119, "StarWhite.png"}}});
    std::vector<std::pair<std::int32_t, std::string>> tiles = {{120, "SmallTile.png"}};
    for (char c = 'A'; c <= 'G'; ++c)
        tiles.push_back({121 + (c - 'A'), std::string("Tile") + c + ".png"});
    tiles.push_back({128, "TileZero.png"});
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
    LoadImage("Loading.png", 1, 1);
    ChangeDirectory("..\\");
    for (int frame = 0; frame < 150; ++frame) {
        PasteImage(1, 0, 0, 0);
        Sync();
    }
}

void LoadGameSounds() {
    ChangeDirectory("Data\\Audio\\");
    const std::pair<const char*, std::int32_t> sounds[] = {
        {"StarChime.wav", 11}, {"theme.wav", 4},     {"theme2.wav", 12},   {"TilePop01.wav", 1},
        {"TilePop02.wav", 2},  {"TilePop03.wav", 3}, {"explosion.wav", 5}, {"NegTheme.wav", 6},
        {"PosTheme.wav", 7},   {"Bleep.wav", 8},     {"Clock.wav", 9},     {"Question.wav", 10}};
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
