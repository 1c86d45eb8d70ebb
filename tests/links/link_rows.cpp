// The link table. Numbers: image 1 is the used picture (red; the new one green), object 1 its
// user, camera 0 at the origin looking along +z at what stands at z = 30.
#include "core/win32.h"

#include "links/links.h"
#include "bitmap/bitmap.h"
#include "bitmap/bitmap_state.h"
#include "camera/camera.h"
#include "camera/camera_state.h"
#include "draw2d/draw2d.h"
#include "file/file.h"
#include "image/image.h"
#include "object3d/animation_commands.h"
#include "object3d/appearance.h"
#include "object3d/effect.h"
#include "object3d/effect_commands.h"
#include "object3d/effect_slots.h"
#include "object3d/lightmap_commands.h"
#include "object3d/limb_commands.h"
#include "object3d/mesh_item_commands.h"
#include "object3d/object_commands.h"
#include "object3d/object_state.h"
#include "object3d/positioning.h"
#include "object3d/primitive_makers.h"
#include "object3d/vertex_data_commands.h"
#include "particles/particles.h"
#include "sprite/sprite.h"
#include "support/fake_effect.h"
#include "support/image_files.h"
#include "support/test_data.h"
#include "support/temp_folder.h"
#include "terrain/terrain.h"
#include "universe/universe.h"
#include "universe/universe_collision.h"
#include "universe/universe_commands.h"
#include "universe/universe_record.h"
#include "video/video.h"

#include <algorithm>
#include <fstream>

namespace {

constexpr std::uint32_t kOldColour = 0xFFFF0000u, kNewColour = 0xFF00FF00u;

void Write(const char* name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
}

// ---- the used items ----

// Image 1: 12 x 12, so that a power-of-two step makes it again.
void OldImage() {
    LoadImage("old.bmp", 1, 1);
}

std::vector<IUnknown*> ImageTexture() {
    return {GetImagePointer(1)};
}

// Effect 2, a stand-in: the slot takes its one reference.
void LoadEffectTwo() {
    HandOutFakeEffect(new FakeEffect);
    LoadEffect("link.fx", 2, 0);
}

std::vector<IUnknown*> EffectTwo() {
    EffectBase* effect = EffectInSlot(2);
    return {effect ? effect->effect : nullptr};
}

std::vector<IUnknown*> BitmapSurfaces() {
    BitmapRecord* r = g_Bitmap.bitmaps.Get(1);
    if (!r) return {};
    return {r->surface.Get(), r->depthSurface.Get()};
}

// Object 1's place in the shared device buffers.
std::vector<IUnknown*> ObjectBuffers() {
    const ObjectRecord* object =
        g_Object3D.objects && g_Object3D.objectCapacity > 1 ? g_Object3D.objects[1] : nullptr;
    if (!object || !object->meshes || !object->meshes[0] || !object->meshes[0]->drawItem) return {};
    const DrawItem* item = object->meshes[0]->drawItem;
    return {item->vertexBuffer, item->indexBuffer};
}

// Object 1's texture: drawn or not.
std::vector<IUnknown*> ObjectOneTexture() {
    return {GetImagePointer(3)};
}

std::vector<IUnknown*> Nothing() {
    return {};
}

// ---- the changes ----

const Change kImageDeleted{"Deleted", [] { DeleteImage(1); }, kWithout};
// A user that holds its own reference may go on drawing the deleted picture.
const Change kImageDeletedKept{"Deleted", [] { DeleteImage(1); }, kOld | kWithout};
const Change kImageLoadedOver{"LoadedOver", [] { LoadImage("new.bmp", 1, 1); }, kNew};
const Change kImageGrabbed{"Grabbed", [] { GrabImage(1, 0, 0, 12, 12); }, kNew};
// As a terrain makes its picture: the image made again with power-of-two sides.
const Change kImagePowerOfTwo{"MadePowerOfTwo",
                              [] {
                                  CreateTerrainMatrix(9, 10, 10, 2, 2);
                                  SetTerrainMatrixTexture(9, 1, 1, 1);
                                  DeleteTerrainMatrix(9);
                              },
                              kNew};

std::vector<Change> ImageChanges(const Change& deleted) {
    return {deleted, kImageLoadedOver, kImageGrabbed, kImagePowerOfTwo};
}

// ---- the users ----

void BoxInView(std::int32_t n) {
    MakeObjectBox(n, 10);
    PositionObject(n, 0, 0, 30);
}

void TerrainUser() {
    CreateTerrainMatrix(1, 40, 40, 4, 4);
    PositionTerrainMatrix(1, -20, -5, 10);
    SetTerrainMatrixTexture(1, 1, 1, 1);
}

void ObjectUser() {
    BoxInView(1);
    TextureObject(1, 1);
}

void LimbUser() {
    MakeObjectBox(2, 4);
    MakeMeshFromObject(1, 2);
    DeleteObjectCmd(2);
    BoxInView(1);
    AddLimb(1, 1, 1);
    DeleteMeshCmd(1);
    TextureLimb(1, 1, 1);
}

// The world's copy of a textured box, the box itself gone.
void WorldMeshUser() {
    CreateUniverse(1000, 1000, 1000);
    ObjectUser();
    AddObjectToUniverse(1, 0, 0, 0, 0);
    DeleteObjectCmd(1);
    BuildUniverse();
}

// A wall of the world in view, and a decal of image 1 on it where a ray meets it.
void DecalUser() {
    CreateUniverse(1000, 1000, 1000);
    MakeObjectBox(2, 100, 100, 2);
    PositionObject(2, 0, 0, 40);
    AddObjectToUniverse(2, 0, 0, 0, 0);
    DeleteObjectCmd(2);
    BuildUniverse();
    SetUniverseDecalImage(1, 1, 1);
    UniverseRayCommand(0, 0, 0, 0, 0, 60);
    AddUniverseDecal(10, 0);
}

void VideoUser() {
    LoadAnimation(TestDataFile("quads-mjpeg.avi").c_str(), 1);
    PlayAnimationToImage(1, 1, 0, 0, 64, 48);
}

void CameraUser() {
    MakeCamera(1);
    SetCameraToImage(1, 1, 64, 64);
}

void EffectUser() {
    BoxInView(1);
    SetObjectEffect(1, 2);
}

// A level whose box names the effect of slot 2, loaded: its meshes share the slot's effect. The
// world's save writes the areas; the box, saved as an object over the level's file, names the
// effect.
EffectBase* g_levelEffect = nullptr;
void LevelEffectUser() {
    LoadEffectTwo();
    EffectUser();
    CreateUniverse(1000, 1000, 1000);
    AddObjectToUniverse(1, 0, 0, 0, 0);
    BuildUniverse();
    SaveUniverse("level.tlo");
    RemoveFile("level.tlo");
    SaveObject("level.tlo", 1);
    DeleteObjectCmd(1);
    LoadUniverse("level.tlo", 0);
    g_levelEffect = EffectInSlot(2);
}

std::string LevelKeepsEffect() {
    Universe* world = g_Object3D.universe;
    std::string stale;
    if (!world || !g_levelEffect) return stale;
    for (const auto* list : {&world->levelMeshes, &world->textureMeshes})
        for (MeshRecord* mesh : *list)
            if (mesh && mesh->effect == g_levelEffect) {
                stale = "a level mesh keeps the deleted slot's effect record";
                mesh->effect = nullptr;
                mesh->effectInUse = 0;
            }
    return stale;
}

void DrawingTarget() {
    CreateBitmap(1, 64, 64);
}

void DrawDots() {
    for (int i = 0; i < 200; ++i)
        DrawDot(i % 64, i / 64);
}

void TexturedBox() {
    LoadImage("old.bmp", 3, 1);
    BoxInView(1);
    TextureObject(1, 3);
}

// The world's visibility hides a static object in an area the camera, standing in none, does
// not see; then the world ends.
void StaticObjectUser() {
    TexturedBox();
    CreateUniverse(1000, 1000, 1000);
    MakeObjectBox(2, 100, 100, 2);
    PositionObject(2, 0, 0, 300);
    AddObjectToUniverse(2, 0, 0, 0, 0);
    DeleteObjectCmd(2);
    BuildUniverse();
    PositionObject(1, 0, 0, 300);
    AddStaticObjectToUniverse(1);
    PositionCamera(0, 0, 0, -400);
}

void RayContactUser() {
    CreateUniverse(1000, 1000, 1000);
    MakeObjectBox(2, 100, 100, 2);
    PositionObject(2, 0, 0, 40);
    AddObjectToUniverse(2, 0, 0, 0, 0);
    DeleteObjectCmd(2);
    BuildUniverse();
    SaveUniverse("level.tlo");
    UniverseRayCommand(0, 0, 0, 0, 0, 60);
}

std::string ContactOnFreedMesh() {
    Universe* world = g_Object3D.universe;
    const MeshRecord* met = world ? world->rayContact.mesh : nullptr;
    if (!met) return {};
    for (const auto* list : {&world->levelMeshes, &world->textureMeshes, &world->collisionMeshes})
        if (std::find(list->begin(), list->end(), met) != list->end()) return {};
    world->rayContact.mesh = nullptr;
    return "the ray contact names a mesh the world no longer has";
}

void GlueUser() {
    TexturedBox();
    MakeObjectBox(2, 4);
    GlueObjectToLimb(2, 1, 0);
}

void VertexLockUser() {
    TexturedBox();
    LockVertexDataForLimb(1, 0);
}

void LightmapUser() {
    TexturedBox();
    AddLightMapObject(1);
    AddLightMapLight(0, 0, 0, 100, 255, 255, 255, 100, 0);
}

const Change kObjectDeleted{"Deleted", [] { DeleteObjectCmd(1); }, kWithout | kError};
const Change kEffectDeleted{"Deleted", [] { DeleteEffect(2); }, kWithout};
const Change kEffectLoadedAgain{"LoadedAgain", [] { DeleteEffect(2), LoadEffectTwo(); },
                                kNew | kWithout};
const std::vector<Change> kBitmapChanges = {{"Deleted", [] { DeleteBitmap(1); }, kWithout},
                                            {"MadeAgain", DrawingTarget, kNew | kWithout}};

// ---- the users' commands after the change ----

void ObjectCommands() {
    LimbTexture(1, 0);
    CloneObject(4, 1);
    PositionObject(4, 0, 0, 30);
}

void SpriteCommands() {
    SpriteImage(1);
    PasteSprite(1, 40, 40);
}

void DecalCommands() {
    UniverseRayCommand(0, 0, 0, 0, 0, 60);
    AddUniverseDecal(10, 0);
}

void VertexLockCommands() {
    SetVertexDataPosition(0, 1, 2, 3);
    UnlockVertexData();
}

const std::vector<Link> kLinks = {
    {"ImageOnObject", "image 1", OldImage, ObjectUser, ImageTexture, ObjectCommands,
     ImageChanges(kImageDeleted)},
    {"ImageOnLimb", "image 1", OldImage, LimbUser, ImageTexture, [] { LimbTexture(1, 1); },
     ImageChanges(kImageDeleted)},
    {"ImageOnSprite", "image 1", OldImage, [] { PlaceSprite(1, 10, 10, 1); }, ImageTexture,
     SpriteCommands, ImageChanges(kImageDeleted)},
    // The terrain makes the image's sides powers of two as it takes it.
    {"ImageOnTerrain",
     "image 1",
     OldImage,
     TerrainUser,
     ImageTexture,
     [] { UpdateTerrainMatrixVertices(1); },
     {kImageDeletedKept, kImageLoadedOver, kImageGrabbed}},
    {"ImageOnEmitter", "image 1", OldImage, [] { MakeParticles(1, 1, 8, 0, 0, 30, 10, 10, 10); },
     ImageTexture, [] { PositionParticles(1, 0, 0, 30); }, ImageChanges(kImageDeletedKept)},
    {"ImageOnWorldMesh", "image 1", OldImage, WorldMeshUser, ImageTexture, BuildUniverse,
     ImageChanges(kImageDeleted)},
    {"ImageOnDecal", "image 1", OldImage, DecalUser, ImageTexture, DecalCommands,
     ImageChanges(kImageDeleted)},
    // The camera draws into a surface of its own reference; a remade image shows it no more.
    {"ImageAsCameraTarget",
     "image 1",
     nullptr,
     CameraUser,
     ImageTexture,
     [] { PositionCamera(1, 0, 0, -10); },
     {{"Deleted", [] { DeleteImage(1); }, kOld | kWithout},
      {"LoadedOver", [] { LoadImage("new.bmp", 1, 1); }, kOld | kNew | kWithout}}},
    // A new picture of a size that fits the video's rectangle.
    {"ImageAsVideoTarget",
     "image 1",
     nullptr,
     VideoUser,
     ImageTexture,
     [] { AnimationPlaying(1); },
     {kImageDeleted, {"LoadedOver", [] { LoadImage("wide.bmp", 1, 1); }, kNew | kWithout}}},
    {"EffectOnObject",
     "effect 2",
     LoadEffectTwo,
     EffectUser,
     EffectTwo,
     [] { EffectExist(2); },
     {kEffectDeleted, kEffectLoadedAgain}},
    {"EffectOnLevelMesh",
     "effect 2",
     nullptr,
     LevelEffectUser,
     EffectTwo,
     nullptr,
     {kEffectDeleted},
     LevelKeepsEffect},
    {"BitmapAsDrawingTarget", "bitmap 1", DrawingTarget, DrawDots, BitmapSurfaces, DrawDots,
     kBitmapChanges},
    {"BitmapUnderPixelLock", "bitmap 1", DrawingTarget, Basic2DLockBackBuffer, BitmapSurfaces,
     DrawDots, kBitmapChanges, nullptr, false},
    {"InstanceSource",
     "object 1",
     TexturedBox,
     [] { InstanceObject(2, 1); },
     ObjectBuffers,
     [] { PositionObject(2, 5, 0, 30); },
     {kObjectDeleted}},
    {"GluedObject",
     "object 1",
     nullptr,
     GlueUser,
     ObjectBuffers,
     [] { PositionObject(2, 0, 0, 30); },
     {kObjectDeleted}},
    {"VertexLock",
     "object 1",
     nullptr,
     VertexLockUser,
     ObjectBuffers,
     VertexLockCommands,
     {kObjectDeleted}},
    {"LightmapEntry",
     "object 1",
     nullptr,
     LightmapUser,
     ObjectBuffers,
     [] { CreateLightMaps("", 4, 0); },
     {kObjectDeleted}},
    // The world ends: its static object is drawn again where it is seen.
    {"UniverseStaticObject",
     "the universe",
     nullptr,
     StaticObjectUser,
     ObjectOneTexture,
     [] { PositionObject(1, 0, 0, 30); },
     {{"Deleted", DeleteUniverse, kNew},
      {"MadeAgain", [] { CreateUniverse(500, 500, 500); }, kNew}},
     nullptr,
     true,
     false},
    {"UniverseRayContact",
     "the universe's batches",
     nullptr,
     RayContactUser,
     Nothing,
     [] { AddUniverseDecal(10, 0); },
     {{"Rebuilt", BuildUniverse, kWithout}},
     ContactOnFreedMesh},
};

} // namespace

const std::vector<Link>& Links() {
    return kLinks;
}

void WriteLinkFiles() {
    Write("old.bmp", BmpBytes(12, 12, [](int, int) { return kOldColour; }));
    Write("new.bmp", BmpBytes(12, 12, [](int, int) { return kNewColour; }));
    Write("wide.bmp", BmpBytes(64, 48, [](int, int) { return kNewColour; }));
    Write("link.fx", "// stand-in\n");
}

void DeleteLinkItems() {
    // Cameras outlive the engine's stop, to be made again with the next device.
    if (FindCamera(1)) DeleteCamera(1);
}

const std::vector<KnownFault>& KnownFaults() {
    // Rows whose fault another change mends: each prints its failure and passes until then.
    static const std::vector<KnownFault> known = {};
    return known;
}
