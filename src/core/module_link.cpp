#include "core/win32.h"

#include "core/module_link.h"
#include "core/core.h"

#include "bitmap/bitmap.h"
#include "camera/camera.h"
#include "display/display.h"
#include "draw2d/draw2d.h"
#include "file/file.h"
#include "ftp/ftp.h"
#include "image/image.h"
#include "input/input.h"
#include "light/light.h"
#include "maths/maths.h"
#include "memblock/memblock.h"
#include "multiplayer/multiplayer.h"
#include "music/music.h"
#include "object3d/object3d.h"
#include "particles/particles.h"
#include "sound/sound.h"
#include "sprite/sprite.h"
#include "system/system.h"
#include "terrain/terrain.h"
#include "text/text.h"
#include "video/video.h"
#include "world/world.h"

#include <algorithm>
#include <iterator>

ModuleLinkTableRecord ModuleLinkTable;

#define LINK_ENTRIES(field, prefix, pass)                                                          \
    table.field.constructor = prefix##Constructor;                                                 \
    table.field.destructor = prefix##Destructor;                                                   \
    table.field.setErrorHandler = prefix##SetErrorHandler;                                         \
    table.field.passCoreData = pass

void FillModuleLinkTable(ModuleLinkTableRecord& table) {
    table = ModuleLinkTableRecord{};
    LINK_ENTRIES(display, Display, DisplayPassCoreData);
    table.display.getDirect3DDevice = GetDirect3DDevice;
    table.display.beginScene = BeginDisplayScene;
    table.display.endScene = EndDisplayScene;
    table.display.present = PresentDisplay;
    table.display.overrideHWND = OverrideHWND;
    table.display.setDisplayDebug = SetDisplayDebug;
    table.display.setDisplayMode16 = SetDisplayMode16;
    table.display.setDisplayModeFullScreen = SetDisplayModeFullScreen;
    table.display.setDisplayModeWindowFlag = SetDisplayModeWindowFlag;
    table.display.setDisplayModeVertexProcessing = SetDisplayModeVertexProcessing;
    table.display.setDisplayModeEx = SetDisplayModeEx;
    table.display.resetDeviceWindowed = ResetDeviceWindowed;
    table.display.clearDisplay = ClearDisplayExport;
    table.display.setGamma = SetGamma;
    table.display.getGamma = GetGamma;
    table.display.getDisplayWidth = GetDisplayWidth;
    table.display.getDisplayHeight = GetDisplayHeight;
    table.display.getDisplayDepth = GetDisplayDepth;
    table.display.getWindowedMode = GetWindowedMode;
    table.display.getDisplayModeCount = GetDisplayModeCount;
    table.display.getAdapterCount = GetAdapterCount;
    table.display.emptyEntry = DisplayEmptyEntry;
    table.display.setDitherEnable = SetDitherEnable;
    table.display.setShadeMode = SetShadeMode;
    table.display.setLightingEnable = SetLightingEnable;
    table.display.setCullMode = SetCullMode;
    table.display.setSpecularEnable = SetSpecularEnable;
    table.display.setRenderStateValue = SetRenderStateValue;
    LINK_ENTRIES(basic2D, Basic2D, Basic2DPassCoreData);
    table.basic2D.drawDot = DrawDot;
    table.basic2D.lockBackBuffer = Basic2DLockBackBuffer;
    table.basic2D.unlockBackBuffer = Basic2DUnlockBackBuffer;
    table.basic2D.fillBox = FillBox;
    table.basic2D.drawLine = DrawLine2D;
    table.basic2D.drawCircle = DrawCircle;
    table.basic2D.copyScreenArea = CopyScreenArea;
    LINK_ENTRIES(text, Text, TextPassCoreData);
    table.text.setTextFont = SetTextFontExport;
    table.text.setTextColour = SetTextColour;
    table.text.textAt = TextAt;
    table.text.getTextWidth = GetTextWidth;
    table.text.getTextHeight = GetTextHeight;
    LINK_ENTRIES(image, Image, ImagePassCoreData);
    table.image.linkSpriteFunctions = ImageLinkSpriteFunctions;
    table.image.setColorKey = SetImageColorKey;
    table.image.setSettingWord = SetImageSettingWord;
    table.image.linkTextureClearer = ImageLinkTextureClearer;
    LINK_ENTRIES(sprite, Sprite, SpritePassCoreData);
    table.sprite.update = SpriteUpdate;
    table.sprite.saveBackground = SpriteSaveBackground;
    table.sprite.restoreBackground = SpriteRestoreBackground;
    LINK_ENTRIES(input, Input, InputPassCoreData);
    table.input.update = InputUpdate;
    LINK_ENTRIES(system, System, SystemPassCoreData);
    LINK_ENTRIES(sound, Sound, SoundPassCoreData);
    table.sound.update = SoundUpdate;
    LINK_ENTRIES(music, Music, MusicPassCoreData);
    table.music.update = MusicUpdate;
    LINK_ENTRIES(file, File, FilePassCoreData);
    LINK_ENTRIES(ftp, FTP, FTPPassCoreData);
    LINK_ENTRIES(memblocks, Memblocks, MemblocksPassCoreData);
    LINK_ENTRIES(animation, Animation, AnimationPassCoreData);
    table.animation.update = AnimationUpdate;
    table.animation.setSampleSkip = SetAnimationSampleSkip;
    LINK_ENTRIES(bitmap, Bitmap, BitmapPassCoreData);
    LINK_ENTRIES(multiplayer, Multiplayer, MultiplayerPassCoreDataExport);
    table.camera.constructor = CameraConstructor;
    table.camera.destructor = CameraDestructorExport;
    table.camera.setErrorHandler = CameraSetErrorHandlerExport;
    table.camera.passCoreData = CameraPassCoreDataExport;
    table.camera.update = CameraUpdate;
    table.camera.renderPass = CameraRenderPass;
    table.camera.renderFirstPass = CameraRenderFirstPass;
    table.camera.nextRenderPass = NextCameraRenderPass;
    table.camera.getCurrentRenderCamera = GetCurrentRenderCamera;
    table.light.constructor = LightConstructor;
    table.light.destructor = LightDestructor;
    table.light.setErrorHandler = LightSetErrorHandlerExport;
    table.light.passCoreData = LightPassCoreDataExport;
    LINK_ENTRIES(terrainMatrix, TerrainMatrix, TerrainMatrixPassCoreData);
    table.terrainMatrix.renderPass0 = TerrainMatrixRenderPass0;
    table.terrainMatrix.renderPass1 = TerrainMatrixRenderPass1;
    LINK_ENTRIES(basic3D, Basic3D, Basic3DPassCoreData);
    table.basic3D.update = Basic3DUpdate;
    table.basic3D.renderLayerFour = Basic3DRenderLayerFour;
    table.basic3D.beginStencilShadows = Basic3DBeginStencilShadows;
    table.basic3D.drawStencilShadowQuad = Basic3DDrawStencilShadowQuad;
    table.basic3D.runAutomaticCollision = Basic3DRunAutomaticCollision;
    table.basic3D.updateAutomaticCameraCollision = Basic3DUpdateAutomaticCameraCollision;
    LINK_ENTRIES(world, World, WorldPassCoreData);
    table.world.update = WorldUpdate;
    table.world.collisionStart = WorldCollisionStart;
    table.world.collisionUpdate = WorldCollisionUpdate;
    LINK_ENTRIES(maths, Maths, MathsPassCoreData);
    LINK_ENTRIES(particles, Particles, ParticlesPassCoreData);
    table.particles.update = ParticlesUpdate;
}

#undef LINK_ENTRIES

void BuildRefreshD3DTable(RefreshD3DFn (&table)[kRefreshSlots]) {
    const RefreshD3DFn order[kRefreshSlots] = {TextRefreshD3D,
                                               Basic2DRefreshD3D,
                                               SpriteRefreshD3D,
                                               ImageRefreshD3D,
                                               InputRefreshD3D,
                                               SystemRefreshD3D,
                                               MemblocksRefreshD3D,
                                               BitmapRefreshD3D,
                                               AnimationRefreshD3D,
                                               MultiplayerRefreshD3D,
                                               Basic3DRefreshD3D,
                                               CameraRefreshD3D,
                                               TerrainMatrixRefreshD3D,
                                               LightRefreshD3D,
                                               ParticlesRefreshD3D,
                                               WorldRefreshD3D,
                                               MathsRefreshD3D,
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               SoundRefreshD3D,
                                               MusicRefreshD3D,
                                               nullptr,
                                               nullptr};
    std::copy(std::begin(order), std::end(order), table);
}

namespace {

void HandErrorCell(SetErrorHandlerFn setErrorHandler) {
    if (setErrorHandler) setErrorHandler(g_CoreData->errorRecord);
}

void HandCoreData(PassCoreDataFn passCoreData) {
    if (passCoreData) passCoreData(g_CoreData);
}

// Present flag, Constructor, SetErrorHandler, PassCoreData: the order of every module but two.
// Every word is tested, so a module left out of the table is skipped, never called through null.
template <typename Entries, typename... Args>
void StartModule(std::uint8_t& present, const Entries& entries, Args... args) {
    present = 1;
    if (entries.constructor) entries.constructor(args...);
    HandErrorCell(entries.setErrorHandler);
    HandCoreData(entries.passCoreData);
}

// Only started modules are stopped: after a start-up that stopped early, the others never ran.
void StopModule(std::uint8_t& present, DestructorFn destructor) {
    if (present && destructor) destructor();
    present = 0;
}

} // namespace

void StartCoreModules() {
    CoreData& core = *g_CoreData;
    const ModuleLinkTableRecord& t = ModuleLinkTable;
    const HMODULE display = core.handles.display;

    core.present.display = 1;
    if (t.display.passCoreData) t.display.passCoreData(g_CoreData, 1);

    StartModule(core.present.basic2D, t.basic2D, display);
    if (!core.present.text) StartModule(core.present.text, t.text, display);

    core.present.image = 1;
    if (t.image.constructor) t.image.constructor(display);
    if (t.image.linkSpriteFunctions) t.image.linkSpriteFunctions(core.handles.sprite);
    HandErrorCell(t.image.setErrorHandler);
    HandCoreData(t.image.passCoreData);
    if (t.image.setColorKey) t.image.setColorKey(0, 0, 0);

    // The sprite module takes CoreData before its error cell.
    core.present.sprite = 1;
    if (t.sprite.constructor) t.sprite.constructor(display, core.handles.image);
    HandCoreData(t.sprite.passCoreData);
    HandErrorCell(t.sprite.setErrorHandler);
}

void StartOtherModules(HINSTANCE instance) {
    CoreData& core = *g_CoreData;
    const ModuleLinkTableRecord& t = ModuleLinkTable;
    const ModuleHandles& h = core.handles;
    ModulePresentFlags& p = core.present;

    StartModule(p.input, t.input, instance);
    StartModule(p.system, t.system);
    StartModule(p.sound, t.sound, core.window);
    StartModule(p.music, t.music, core.window);
    StartModule(p.file, t.file);
    StartModule(p.ftp, t.ftp, instance);
    StartModule(p.memblocks, t.memblocks, instance);
    StartModule(p.animation, t.animation, instance);
    StartModule(p.bitmap, t.bitmap, instance);
    StartModule(p.multiplayer, t.multiplayer);
    StartModule(p.camera, t.camera, h.display, h.image);
    StartModule(p.light, t.light, h.display);
    StartModule(p.terrainMatrix, t.terrainMatrix, h.display, h.image);
    StartModule(p.basic3D, t.basic3D, h.display, h.image, h.camera, h.light);
    StartModule(p.world, t.world, h.display, h.image, h.camera, h.basic3D);
    StartModule(p.maths, t.maths, h.display);
    StartModule(p.particles, t.particles, h.display, h.image);
}

void StopModules() {
    const ModuleLinkTableRecord& t = ModuleLinkTable;
    ModulePresentFlags& p = g_CoreData->present;
    StopModule(p.maths, t.maths.destructor);
    StopModule(p.camera, t.camera.destructor);
    StopModule(p.light, t.light.destructor);
    StopModule(p.terrainMatrix, t.terrainMatrix.destructor);
    StopModule(p.basic3D, t.basic3D.destructor);
    StopModule(p.world, t.world.destructor);
    StopModule(p.particles, t.particles.destructor);
    StopModule(p.multiplayer, t.multiplayer.destructor);
    StopModule(p.bitmap, t.bitmap.destructor);
    StopModule(p.animation, t.animation.destructor);
    StopModule(p.memblocks, t.memblocks.destructor);
    StopModule(p.ftp, t.ftp.destructor);
    StopModule(p.file, t.file.destructor);
    StopModule(p.system, t.system.destructor);
    StopModule(p.input, t.input.destructor);
    StopModule(p.sound, t.sound.destructor);
    StopModule(p.music, t.music.destructor);
}

void StopCoreModules() {
    const ModuleLinkTableRecord& t = ModuleLinkTable;
    ModulePresentFlags& p = g_CoreData->present;
    StopModule(p.sprite, t.sprite.destructor);
    StopModule(p.image, t.image.destructor);
    StopModule(p.text, t.text.destructor);
    StopModule(p.basic2D, t.basic2D.destructor);
}
