// The numbered effect slots (1 to 65535): effects loaded from .fx files once and shared by the
// meshes that use them; and the command that loads one file effect onto every mesh of an object.
#pragma once

#include <cstdint>

class EffectBase;
struct ObjectRecord;

// What a slot holds: one effect, owned.
struct EffectHolder {
    // A plain file effect, not loaded yet; the pointer stays null when it cannot be allocated.
    EffectHolder();
    explicit EffectHolder(EffectBase* owned) : effect(owned) {}
    ~EffectHolder();
    EffectHolder(const EffectHolder&) = delete;
    EffectHolder& operator=(const EffectHolder&) = delete;

    EffectBase* effect = nullptr; // owned
};

// Destroys the holder's effect and clears its pointer; the holder itself is left.
void ReleaseEffectHolder(EffectHolder* holder);
// The effect of slot n; null for an empty slot or a number outside the slots. Raises nothing.
EffectBase* EffectInSlot(std::int32_t n);

// Loads the file into the free slot n (7721, 7723; 105 for a missing file). With flag 1 the
// textures its annotations name are loaded now, else the meshes' own are used. A file that does
// not compile leaves the slot empty without an error.
void LoadEffect(const char* fileName, std::int32_t n, std::int32_t flag);
// Empties slot n (7721, 7722); meshes drawn with its effect lose it first.
void DeleteEffect(std::int32_t n);
// Loads the file as one effect that every mesh of object n owns together; a free number first gets
// a pyramid of size 1, which then takes the effect file's own model when it names one. A file that
// does not load, or a mesh that refuses the effect, raises 7703 (a pyramid made here goes again).
void SetObjectEffectFromFile(std::int32_t n, const char* fileName, std::int32_t flag);

// The object's meshes placed in the shared buffers anew, after their effects changed.
void RebufferObject(ObjectRecord* object);
// Empties every slot; the module's end.
void FreeEffectSlots();
