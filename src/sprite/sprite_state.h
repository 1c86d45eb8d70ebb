// The sprite module's state and manager, shared by its source files only.
#pragma once

#include "sprite/sprite_record.h"
#include "core/com_ptr.h"
#include "core/idlist.h"
#include "core/item_lookup.h"
#include "image/image_bridge.h"
#include "core/error_numbers.h"

#include <vector>

// The numbered sprites and the buffer they are gathered into, in drawing order, each frame.
class SpriteManager {
public:
    ~SpriteManager() { DeleteAllSprites(); }
    SpriteRecord* FindSprite(std::int32_t n) const;
    SpriteRecord* AddSprite(const SpriteRecord& record, std::int32_t n);
    void DeleteSpriteRecord(std::int32_t n);
    void DeleteAllSprites();
    void HideAllSprites();
    void ShowAllSprites();
    std::int32_t CountSprites() const { return list.Count(); }
    void DrawSprites(std::int32_t highestPriority);
    void DrawSpriteNow(const SpriteRecord& record);
    const IdList& List() const { return list; }
    // List nodes the gathering has visited since start, for tests that bound its work.
    std::int64_t GatherSteps() const { return gatherSteps; }

private:
    bool GrowBuffers(std::size_t wanted);
    void SortByPriority();

    IdList list;
    // At least one more than the sprites, so that drawing them (and a paste) needs no memory.
    std::vector<SpriteRecord> buffer = std::vector<SpriteRecord>(100);
    std::vector<SpriteRecord> scratch = std::vector<SpriteRecord>(100); // the sort's
    std::int32_t count = 0;
    std::int64_t gatherSteps = 0;
};

// Written only by the sprite module, on the main thread. A device reset (RefreshD3D 0) runs the
// Destructor: every sprite is deleted and the surfaces and recorded states are released; RefreshD3D
// 1 runs the Constructor, which takes the new device and the image bridge again. The sprites
// themselves are not rebuilt: the program places them anew.
struct SpriteState {
    // Survive a reset.
    CoreData* core = nullptr;
    bool smoothing = false;        // SetSpriteSmoothing
    std::int32_t backSaveMode = 0; // 0 none, 1 restore the saved picture, 2 clear to the backdrop
    bool firstSprite = true;
    // Taken again by every Constructor.
    IDirect3DDevice9* device = nullptr;
    ImageBridge images{};
    float cosTable[360] = {}, sinTable[360] = {};
    std::int32_t highestPriority = 0;
    // Released by the Destructor and made again on first use with the new device.
    ComPtr<IDirect3DStateBlock9> runStates; // recorded for runStatesDevice and smoothing
    IDirect3DDevice9* runStatesDevice = nullptr;
    bool runStatesSmooth = false;
    ComPtr<IDirect3DSurface9> backBuffer;
    ComPtr<IDirect3DSurface9> savedCopy;
    // Deleted by the Destructor.
    SpriteRecord paste; // the one-off record of image pastes
    SpriteRecord* current = nullptr;
    SpriteManager manager;
};

extern SpriteState g_Sprite;

constexpr ItemNumbers kSpriteNumbers{1, 22000000, kSpriteNumberIllegal, kSpriteMissing};

// Reads width, height, texture and scales from the record's image.
void ReadSpriteImage(SpriteRecord& r, std::int32_t image);
