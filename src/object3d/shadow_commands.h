// The object commands for stencil shadows and mirrors, the shadow light and shadow colours, the
// renderer's global shadow switch, and the wire boxes and spheres that show objects' bounds. Each
// object command checks the object first (an instance fails that check silently).
#pragma once

#include <cstdint>

// Shadow volumes for the object's own meshes (mesh 0) or, on its first limb, for mesh item `mesh`.
// shaderFlag 0 moves the volume on the processor (range -1: rebuilt from the shadow light each
// frame); 1 extrudes it in a shadow effect out to the range (-1: 1000), falling back to 0 when the
// effect cannot be used. On a paused shadow it only resumes, taking the range when shaderFlag is 1.
void SetShadowShadingOn(std::int32_t n);
void SetShadowShadingOn(std::int32_t n, std::int32_t mesh, float range, std::int32_t shaderFlag);
// The shadow stops being drawn, and is kept, until SetShadowShadingOn.
void PauseObjectShadow(std::int32_t n);
// The object becomes a mirror (its shadow goes); needs a stencil buffer.
void SetReflectionShadingOn(std::int32_t n);
// Ends the object's shadow or mirror.
void SetShadingOff(std::int32_t n);
// Shadows fall from device light `light`, or from (x, y, z) when it is -1.
void SetShadowPosition(std::int32_t light, float x, float y, float z);

// Shadow colours: kept for the program; the shadow pass draws with the renderer's own.
struct ShadowColourSettings {
    std::uint32_t colour = 0; // 0x00RRGGBB
    std::int32_t value = 0;
    std::int32_t shades = 1; // 1 to 64
    std::uint32_t argb = 0;
};
void SetShadowColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::int32_t value);
void SetShadowShades(std::int32_t count);
void SetShadowColorARGB(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                        std::uint8_t alpha);
const ShadowColourSettings& GetShadowColourSettings();

void SetGlobalShadowsOn();
void SetGlobalShadowsOff();

// Bound display: every limb's bound box, and its bound sphere unless boxesOnly is 1.
void ShowObjectBounds(std::int32_t n, std::int32_t boxesOnly = 0);
// The boxes of the object, drawn only around the one limb.
void ShowLimbBounds(std::int32_t n, std::int32_t limb);
void HideObjectBounds(std::int32_t n);
