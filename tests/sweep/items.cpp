#include "core/win32.h"

#include "sweep/sweep.h"
#include "bitmap/bitmap.h"
#include "bitmap/bitmap_state.h"
#include "camera/camera.h"
#include "camera/camera_state.h"
#include "file/file.h"
#include "image/image.h"
#include "light/light.h"
#include "maths/maths.h"
#include "memblock/memblock.h"
#include "memblock/memblock_state.h"
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
    if (!MemblockExist(n)) return {};
    std::string s = std::to_string(GetMemblockSize(n)) + ":";
    for (int i = 0; i < GetMemblockSize(n) && i < 64; ++i)
        s += std::to_string(ReadMemblockByte(n, i)) + ",";
    return s;
}

// The Motion-JPEG clip the build makes beside the test programs.
std::string ClipPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path);
    return program.substr(0, program.rfind('\\')) + "\\test-data\\quads-mjpeg.avi";
}

std::string ObjectPrint(std::int32_t n) {
    if (!ObjectExist(n)) return {};
    return Numbers(
        {ObjectPositionX(n), ObjectPositionY(n), ObjectPositionZ(n), double(GetLimbCount(n))});
}

bool CameraExists(std::int32_t n) {
    return FindCamera(n) != nullptr;
}

std::string Short(const char* what, std::int64_t holds, std::int64_t records) {
    return std::string(what) + " " + std::to_string(holds) + " short of the " +
           std::to_string(records) + " recorded";
}

// A surface of that many pixels at 4 bytes each would not fit a 32-bit process.
std::string Claims(const char* what, UINT width, UINT height) {
    if (std::uint64_t{width} * height <= (std::uint64_t{1} << 29)) return {};
    return std::string(what) + " claims " + std::to_string(width) + " x " + std::to_string(height) +
           ", more than a 32-bit process holds";
}

// The texture is no smaller than the picture recorded for it.
std::string ImageWhole(std::int32_t n) {
    if (!ImageExist(n)) return {};
    IDirect3DBaseTexture9* base = GetImageBaseTexture(n);
    D3DSURFACE_DESC desc{};
    if (!base || base->GetType() != D3DRTYPE_TEXTURE ||
        FAILED(static_cast<IDirect3DTexture9*>(base)->GetLevelDesc(0, &desc)))
        return {};
    if (desc.Width < UINT(GetImageWidth(n)))
        return Short("image's texture width", desc.Width, GetImageWidth(n));
    if (desc.Height < UINT(GetImageHeight(n)))
        return Short("image's texture height", desc.Height, GetImageHeight(n));
    return Claims("image's texture", desc.Width, desc.Height);
}

std::string BitmapWhole(std::int32_t n) {
    const BitmapRecord* r = BitmapExist(n) ? g_Bitmap.bitmaps.Get(n) : nullptr;
    D3DSURFACE_DESC desc{};
    if (!r || !r->surface || FAILED(r->surface->GetDesc(&desc))) return {};
    if (desc.Width < UINT(r->width)) return Short("bitmap's surface width", desc.Width, r->width);
    if (desc.Height < UINT(r->height))
        return Short("bitmap's surface height", desc.Height, r->height);
    return Claims("bitmap's surface", desc.Width, desc.Height);
}

std::string MemblockWhole(std::int32_t n) {
    if (n < 1 || n >= kBlockSlots || !g_Memblocks.blocks[n]) return {};
    const std::int64_t held = GlobalSize(g_Memblocks.blocks[n]);
    if (held < g_Memblocks.allocated[n])
        return Short("block's memory", held, g_Memblocks.allocated[n]);
    if (g_Memblocks.allocated[n] < g_Memblocks.sizes[n])
        return Short("block's bytes", g_Memblocks.allocated[n], g_Memblocks.sizes[n]);
    return {};
}

#define EXISTS(f) [](std::int32_t n) { return f(n) != 0; }
#define PRINT(f, ...) [](std::int32_t n) { return f(n) ? Numbers({__VA_ARGS__}) : std::string(); }

// The object has three limbs sharing one mesh; kSound's has an instance.
void MakeObject(std::int32_t n) {
    MakeObjectBox(n, 10.0f);
    DeleteMeshCmd(n);
    MakeMeshFromObject(n, n);
    AddLimb(n, 1, n);
    AddLimb(n, 2, n);
    if (n == kSound) InstanceObject(kInstance, n);
}

void MakeMemblockItem(std::int32_t n) {
    MakeMemblock(n, 64);
    for (int i = 0; i < 64; ++i)
        WriteMemblockByte(n, i, i * 7);
}

const std::vector<ItemKind> kKinds = {
    {"image", 1, kTop, EXISTS(ImageExist), PRINT(ImageExist, double(GetImageWidth(n))),
     [](std::int32_t n) { LoadImage("sweep.bmp", n, 1); }, DeleteImage, ImageWhole},
    {"sprite", 1, kTop, EXISTS(SpriteExist),
     PRINT(SpriteExist, double(SpriteX(n)), double(SpriteImage(n))),
     [](std::int32_t n) { PlaceSprite(n, 10, 10, kSound); }, DeleteSprite},
    {"sound", 1, kTop, EXISTS(SoundExist), PRINT(SoundExist, 1.0),
     [](std::int32_t n) { LoadSound("sweep.wav", n); }, DeleteSound},
    {"music", 1, kTop, EXISTS(MusicExist), PRINT(MusicExist, 1.0),
     [](std::int32_t n) { LoadMusicFile("sweep.wav", n); }, DeleteMusic},
    {"object", 1, kTop, EXISTS(ObjectExist), ObjectPrint, MakeObject,
     [](std::int32_t n) {
         DeleteObjectCmd(n);
         DeleteMeshCmd(n);
     }},
    {"mesh", 1, kTop, EXISTS(MeshExist), PRINT(MeshExist, 1.0),
     [](std::int32_t n) { MakeMeshFromObject(n, kSound); }, DeleteMeshCmd},
    {"camera", 0, kTop, CameraExists, PRINT(CameraExists, CameraPositionX(n), CameraPositionY(n)),
     MakeCamera, DeleteCamera},
    {"light", 0, kTop, EXISTS(LightExist), PRINT(LightExist, LightPositionX(n)), MakeLight,
     DeleteLight},
    {"bitmap", 0, kTop, EXISTS(BitmapExist), PRINT(BitmapExist, double(GetBitmapWidth(n))),
     [](std::int32_t n) {
         CreateBitmap(n, 16, 16);
         SetCurrentBitmap(0);
     },
     DeleteBitmap, BitmapWhole},
    {"memblock", 1, 257, EXISTS(MemblockExist), MemblockPrint, MakeMemblockItem, DeleteMemblock,
     MemblockWhole},
    {"maths", INT32_MIN, INT32_MAX, EXISTS(MathsItemExists),
     PRINT(MathsItemExists, double(MathsItemExists(n))), [](std::int32_t n) { MakeVector3(n); },
     [](std::int32_t n) { DeleteMatrix(n); }},
    {"terrain", 1, kTop, EXISTS(TerrainMatrixExist), PRINT(TerrainMatrixExist, 1.0),
     [](std::int32_t n) { CreateTerrainMatrix(n, 100.0f, 100.0f, 4, 4); }, DeleteTerrainMatrix},
    {"emitter", 1, kTop, EXISTS(ParticlesExist), PRINT(ParticlesExist, ParticlesPositionX(n)),
     [](std::int32_t n) { MakeParticles(n, kSound, 8, 0, 0, 0, 10, 10, 10); }, DeleteParticles},
    {"fileslot", 1, 64, EXISTS(IsFileSlotOpen), PRINT(IsFileSlotOpen, 1.0),
     [](std::int32_t n) { OpenToRead(n, "sweep.txt"); }, CloseFileSlot},
    {"animation", 1, 32, EXISTS(AnimationExist), PRINT(AnimationExist, 1.0),
     [](std::int32_t n) { LoadAnimation(ClipPath().c_str(), n); }, DeleteAnimation},
    {"dll", 1, 255, EXISTS(UserDLLExist), nullptr, nullptr, nullptr},
    {"effect", 0, 65535, nullptr, nullptr, nullptr, nullptr},
    {"worldslot", 1, 24, nullptr, nullptr, nullptr, nullptr},
    {"player", INT32_MIN, INT32_MAX, nullptr, nullptr, nullptr, nullptr},
};

} // namespace

const std::vector<ItemKind>& ItemKinds() {
    return kKinds;
}

const ItemKind* FindItemKind(const std::string& name) {
    for (const ItemKind& kind : kKinds)
        if (name == kind.name) return &kind;
    return nullptr;
}

void MakeFixtures() {
    DeleteFixtures();
    WriteFile("sweep.bmp",
              BmpBytes(8, 8, [](int x, int y) { return 0xFF000000u | (x * 999 + y); }));
    WriteFile("sweep.wav", PcmWave(2205));
    WriteFile("sweep.txt", std::string("sweep line\r\n12345\r\n") + std::string(40, 'x'));
    for (const ItemKind& kind : kKinds)
        if (kind.make) {
            kind.make(kSound);
            kind.make(kDeleted);
            kind.remove(kDeleted);
        }
    LoadImage("sweep.bmp", kDecoyImage, 1);
    MakeObjectBox(kDecoyObject, 5.0f);
}

void DeleteFixtures() {
    for (std::int32_t n : {kInstance, kMissing, kSound, kDecoyImage, kDecoyObject, kDeleted})
        for (auto k = kKinds.rbegin(); k != kKinds.rend(); ++k)
            if (k->remove) k->remove(n);
}

void RemakeFixture(const ItemKind& kind) {
    kind.remove(kSound);
    if (std::string(kind.name) == "object") DeleteObjectCmd(kInstance);
    kind.make(kSound);
}

// The registry commands write under HKEY_LOCAL_MACHINE: the key the sound string names, and the
// keys and values the wrong strings name.
void DeleteRegistryTraces() {
    for (const char* key : {"Software\\ZarvolinSweep", "COM1", "..\\sweep-dots.txt", ".."})
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, key);
    RegDeleteValueA(HKEY_LOCAL_MACHINE, "Software\\ZarvolinSweep");
}

const char* SoundString(const std::string& module) {
    if (module == "input") return "Software\\ZarvolinSweep";
    if (module == "image" || module == "bitmap" || module == "sprite" || module == "terrain")
        return "sweep.bmp";
    if (module == "sound" || module == "music" || module == "video") return "sweep.wav";
    return "sweep.txt";
}
