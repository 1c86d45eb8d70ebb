#include "core/win32.h"

#include "sweep/sweep.h"
#include "bitmap/bitmap.h"
#include "camera/camera.h"
#include "camera/camera_state.h"
#include "file/file.h"
#include "image/image.h"
#include "light/light.h"
#include "maths/maths.h"
#include "memblock/memblock.h"
#include "music/music.h"
#include "object3d/limb_commands.h"
#include "object3d/mesh_item_commands.h"
#include "object3d/object_commands.h"
#include "object3d/positioning.h"
#include "object3d/primitive_makers.h"
#include "particles/particles.h"
#include "sound/sound.h"
#include "sprite/sprite.h"
#include "support/image_files.h"
#include "support/wave_files.h"
#include "system/system.h"
#include "terrain/terrain.h"
#include "video/video.h"

#include <cstdio>
#include <fstream>

namespace {

constexpr std::int64_t kTop = 22000000;

std::string Numbers(std::initializer_list<double> values) {
    std::string s;
    for (double v : values)
        s += std::to_string(v) + " ";
    return s;
}

bool WriteFile(const char* name, const std::string& bytes) {
    std::ofstream file(name, std::ios::binary);
    file << bytes;
    return bool(file);
}

std::string MemblockPrint(std::int32_t n) {
    if (!MemblockExist(n))
        return {};
    std::string s = std::to_string(GetMemblockSize(n)) + ":";
    for (int i = 0; i < GetMemblockSize(n) && i < 64; ++i)
        s += std::to_string(ReadMemblockByte(n, i)) + ",";
    return s;
}

std::string ObjectPrint(std::int32_t n) {
    if (!ObjectExist(n))
        return {};
    return Numbers({ObjectPositionX(n), ObjectPositionY(n), ObjectPositionZ(n),
                    double(GetLimbCount(n))});
}

bool CameraExists(std::int32_t n) {
    return FindCamera(n) != nullptr;
}

#define EXISTS(f) [](std::int32_t n) { return f(n) != 0; }

const std::vector<ItemKind> kKinds = {
    {"image", 1, kTop, EXISTS(ImageExist),
     [](std::int32_t n) {
         return ImageExist(n) ? Numbers({double(GetImageWidth(n)), double(GetImageHeight(n))})
                              : "";
     }},
    {"sprite", 1, kTop, EXISTS(SpriteExist),
     [](std::int32_t n) {
         return SpriteExist(n) ? Numbers({double(SpriteX(n)), double(SpriteImage(n))}) : "";
     }},
    {"sound", 1, kTop, EXISTS(SoundExist),
     [](std::int32_t n) { return SoundExist(n) ? std::string("1") : ""; }},
    {"music", 1, kTop, EXISTS(MusicExist),
     [](std::int32_t n) { return MusicExist(n) ? std::string("1") : ""; }},
    {"object", 1, kTop, EXISTS(ObjectExist), ObjectPrint},
    {"mesh", 1, kTop, EXISTS(MeshExist),
     [](std::int32_t n) { return MeshExist(n) ? std::string("1") : ""; }},
    {"camera", 0, kTop, CameraExists,
     [](std::int32_t n) {
         return CameraExists(n) ? Numbers({CameraPositionX(n), CameraPositionY(n)}) : "";
     }},
    {"light", 0, kTop, EXISTS(LightExist),
     [](std::int32_t n) { return LightExist(n) ? Numbers({LightPositionX(n)}) : ""; }},
    {"bitmap", 0, kTop, EXISTS(BitmapExist),
     [](std::int32_t n) {
         return BitmapExist(n) ? Numbers({double(GetBitmapWidth(n))}) : "";
     }},
    {"memblock", 1, 257, EXISTS(MemblockExist), MemblockPrint},
    {"maths", INT32_MIN, INT32_MAX, EXISTS(MathsItemExists),
     [](std::int32_t n) { return MathsItemExists(n) ? std::to_string(MathsItemExists(n)) : ""; }},
    {"terrain", 1, kTop, EXISTS(TerrainMatrixExist),
     [](std::int32_t n) { return TerrainMatrixExist(n) ? std::string("1") : ""; }},
    {"emitter", 1, kTop, EXISTS(ParticlesExist),
     [](std::int32_t n) {
         return ParticlesExist(n) ? Numbers({ParticlesPositionX(n)}) : "";
     }},
    {"fileslot", 1, 64, EXISTS(IsFileSlotOpen),
     [](std::int32_t n) { return IsFileSlotOpen(n) ? std::string("1") : ""; }},
    {"animation", 1, 32, EXISTS(AnimationExist), nullptr},
    {"dll", 1, 255, EXISTS(UserDLLExist), nullptr},
    {"effect", 1, 65535, nullptr, nullptr},
    {"worldslot", 1, 24, nullptr, nullptr},
    {"player", 0, kTop, nullptr, nullptr},
};

// Items of each kind under a number, made with the engine's own commands.
void MakeItems(std::int32_t n, bool withInstance) {
    LoadImage("sweep.bmp", n, 1);
    PlaceSprite(n, 10, 10, n);
    LoadSound("sweep.wav", n);
    LoadMusicFile("sweep.wav", n);
    MakeObjectBox(n, 10.0f);
    MakeMeshFromObject(n, n);
    AddLimb(n, 1, n);
    AddLimb(n, 2, n);
    if (withInstance)
        InstanceObject(kInstance, n);
    MakeCamera(n);
    MakeLight(n);
    CreateBitmap(n, 16, 16);
    SetCurrentBitmap(0);
    MakeMemblock(n, 64);
    for (int i = 0; i < 64; ++i)
        WriteMemblockByte(n, i, i * 7);
    MakeVector3(n);
    CreateTerrainMatrix(n, 100.0f, 100.0f, 4, 4);
    MakeParticles(n, n, 8, 0, 0, 0, 10, 10, 10);
    OpenToRead(n, "sweep.txt");
}

void DeleteItems(std::int32_t n) {
    CloseFileSlot(n);
    DeleteParticles(n);
    DeleteTerrainMatrix(n);
    DeleteMatrix(n);
    DeleteMemblock(n);
    DeleteBitmap(n);
    DeleteLight(n);
    DeleteCamera(n);
    DeleteObjectCmd(n);
    DeleteMeshCmd(n);
    DeleteMusic(n);
    DeleteSound(n);
    DeleteSprite(n);
    DeleteImage(n);
}

} // namespace

const std::vector<ItemKind>& ItemKinds() {
    return kKinds;
}

const ItemKind* FindItemKind(const std::string& name) {
    for (const ItemKind& kind : kKinds)
        if (name == kind.name)
            return &kind;
    return nullptr;
}

void MakeFixtures() {
    DeleteFixtures();
    WriteFile("sweep.bmp", BmpBytes(8, 8, [](int x, int y) { return 0xFF000000u | x * 999 + y; }));
    WriteFile("sweep.wav", PcmWave(2205));
    WriteFile("sweep.txt", std::string("sweep line\r\n12345\r\n") + std::string(40, 'x'));
    MakeItems(kSound, true);
    MakeItems(kDeleted, false);
    DeleteItems(kDeleted);
    LoadImage("sweep.bmp", kDecoyImage, 1);
    MakeObjectBox(kDecoyObject, 5.0f);
}

void DeleteFixtures() {
    for (std::int32_t n : {kInstance, kMissing, kSound, kDecoyImage, kDecoyObject, kDeleted})
        DeleteItems(n);
}

const char* SoundString(const std::string& module) {
    if (module == "image" || module == "bitmap" || module == "sprite" || module == "terrain")
        return "sweep.bmp";
    if (module == "sound" || module == "music" || module == "video")
        return "sweep.wav";
    return "sweep.txt";
}
