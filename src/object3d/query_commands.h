// Read-only object commands: visibility, sizes and screen position, picking with a ray from the
// current camera, the box-in-object test, the current camera's vectors and view matrix, the
// drawing statistics, and the device capability queries. A failed object check gives 0 (0.0 for
// floats); the check has raised its own error.
#pragma once

#include "core/win32.h"

#include <cstdint>

struct ObjectRecord;

// Object queries.
bool ObjectVisible(std::int32_t n); // shown by its area and not hidden
float ObjectRadius(std::int32_t n);
// The radius; scaled 1 multiplies it by the mean of the three scale factors.
float ObjectSize(std::int32_t n, std::uint8_t scaled);
// The box's extent on one axis (the source's for an instance), turned by the pivot when there is
// one, as a magnitude; scaled 1 multiplies it by that axis's scale factor.
float ObjectSizeX(std::int32_t n, std::uint8_t scaled = 0);
float ObjectSizeY(std::int32_t n, std::uint8_t scaled = 0);
float ObjectSizeZ(std::int32_t n, std::uint8_t scaled = 0);
// Where the object's position lands in the current camera's viewport, in pixels.
std::int32_t ObjectScreenX(std::int32_t n);
std::int32_t ObjectScreenY(std::int32_t n);
// 1 when a sphere of 2.5 times the object's scaled radius reaches into the current camera's view
// and the position lies in front of the camera, within its far range.
std::int32_t ObjectInScreen(std::int32_t n);
// Component 0, 1 or 2 of (x, y, z), turned by the object's pivot when it has one; 0 for any other
// component.
float GetPivotedComponent(const ObjectRecord* object, std::int32_t component, float x, float y,
                          float z);
// 1 when some mesh's box holds the box from (x1, y1, z1) to (x2, y2, z2) and a grid of rays
// through that mesh finds geometry.
std::int32_t ObjectContainsBox(std::int32_t n, float x1, float y1, float z1, float x2, float y2,
                               float z2);

// Picking through the current camera. PickObject gives the nearest visible object numbered first
// to last under the screen point, or 0 leaving the pick results as they were; PickScreen sets the
// results to the point at that distance under the screen point, with no object.
std::int32_t PickObject(std::int32_t x, std::int32_t y, std::int32_t first, std::int32_t last);
void PickScreen(std::int32_t x, std::int32_t y, float distance);
float GetPickDistance();
// The pick vector runs from the camera to the picked point.
float GetPickVectorX();
float GetPickVectorY();
float GetPickVectorZ();

// The current camera's values into the caller's buffer: three floats (zeros without a camera), or
// sixteen for the view matrix (the identity without one); nothing for a null buffer. The camera
// module's GetCameraViewMatrix(destination, camera) is the numbered form.
void GetCameraLookVector(float* buffer);
void GetCameraUpVector(float* buffer);
void GetCameraRightVector(float* buffer);
void GetCameraPositionVector(float* buffer);
void GetCameraViewMatrix(float* buffer);

// 1 and 5: the last frame's polygons and draw calls; 2: stencil shadows are possible; 3 and 4:
// the world module's counters; 6 to 9: the static world's counters (8 and 9 restart at 0 once
// read), 0 without a world; any other code 0.
std::int32_t GetStatistic(std::int32_t code);

// Device capabilities, read from the module's copy of the device's caps. Each flag: its command,
// the caps field and the flag's mask.
#define OBJECT3D_CAPABILITY_FLAGS(X)                                                               \
    X(CanCalibrateGamma, Caps2, D3DCAPS2_CANCALIBRATEGAMMA)                                        \
    X(CanFullscreenGamma, Caps2, D3DCAPS2_FULLSCREENGAMMA)                                         \
    X(CanBltSysToNonLocal, DevCaps, D3DDEVCAPS_CANBLTSYSTONONLOCAL)                                \
    X(CanRenderAfterFlip, DevCaps, D3DDEVCAPS_CANRENDERAFTERFLIP)                                  \
    X(CanDrawPrimTLVertex, DevCaps, D3DDEVCAPS_DRAWPRIMTLVERTEX)                                   \
    X(CanHardwareTransformAndLight, DevCaps, D3DDEVCAPS_HWTRANSFORMANDLIGHT)                       \
    X(HasSeparateTextureMemories, DevCaps, D3DDEVCAPS_SEPARATETEXTUREMEMORIES)                     \
    X(CanTextureSystemMemory, DevCaps, D3DDEVCAPS_TEXTURESYSTEMMEMORY)                             \
    X(CanTextureVideoMemory, DevCaps, D3DDEVCAPS_TEXTUREVIDEOMEMORY)                               \
    X(CanTextureNonLocalVideoMemory, DevCaps, D3DDEVCAPS_TEXTURENONLOCALVIDMEM)                    \
    X(CanTLVertexSystemMemory, DevCaps, D3DDEVCAPS_TLVERTEXSYSTEMMEMORY)                           \
    X(CanTLVertexVideoMemory, DevCaps, D3DDEVCAPS_TLVERTEXVIDEOMEMORY)                             \
    X(CanBlendOp, PrimitiveMiscCaps, D3DPMISCCAPS_BLENDOP)                                         \
    X(CanClipPlaneScaledPoints, PrimitiveMiscCaps, D3DPMISCCAPS_CLIPPLANESCALEDPOINTS)             \
    X(CanClipTLVerts, PrimitiveMiscCaps, D3DPMISCCAPS_CLIPTLVERTS)                                 \
    X(CanColorWriteEnable, PrimitiveMiscCaps, D3DPMISCCAPS_COLORWRITEENABLE)                       \
    X(CanCullCCW, PrimitiveMiscCaps, D3DPMISCCAPS_CULLCCW)                                         \
    X(CanCullCW, PrimitiveMiscCaps, D3DPMISCCAPS_CULLCW)                                           \
    X(CanSeparateAlphaBlend, PrimitiveMiscCaps, D3DPMISCCAPS_SEPARATEALPHABLEND)                   \
    X(CanColorPerspective, RasterCaps, D3DPRASTERCAPS_COLORPERSPECTIVE)                            \
    X(CanDither, RasterCaps, D3DPRASTERCAPS_DITHER)                                                \
    X(CanFogRange, RasterCaps, D3DPRASTERCAPS_FOGRANGE)                                            \
    X(CanFogTable, RasterCaps, D3DPRASTERCAPS_FOGTABLE)                                            \
    X(CanFogVertex, RasterCaps, D3DPRASTERCAPS_FOGVERTEX)                                          \
    X(CanMipmapLodBias, RasterCaps, D3DPRASTERCAPS_MIPMAPLODBIAS)                                  \
    X(CanWBuffer, RasterCaps, D3DPRASTERCAPS_WBUFFER)                                              \
    X(CanWFog, RasterCaps, D3DPRASTERCAPS_WFOG)                                                    \
    X(CanZFog, RasterCaps, D3DPRASTERCAPS_ZFOG)                                                    \
    X(CanAlphaTexture, TextureCaps, D3DPTEXTURECAPS_ALPHA)                                         \
    X(CanCubeMap, TextureCaps, D3DPTEXTURECAPS_CUBEMAP)                                            \
    X(CanMipCubeMap, TextureCaps, D3DPTEXTURECAPS_MIPCUBEMAP)                                      \
    X(CanMipMap, TextureCaps, D3DPTEXTURECAPS_MIPMAP)                                              \
    X(CanMipVolumeMap, TextureCaps, D3DPTEXTURECAPS_MIPVOLUMEMAP)                                  \
    X(CanNonPow2Conditional, TextureCaps, D3DPTEXTURECAPS_NONPOW2CONDITIONAL)                      \
    X(CanPerspectiveTexture, TextureCaps, D3DPTEXTURECAPS_PERSPECTIVE)                             \
    X(CanProjectedTexture, TextureCaps, D3DPTEXTURECAPS_PROJECTED)                                 \
    X(IsSquareTextureOnly, TextureCaps, D3DPTEXTURECAPS_SQUAREONLY)                                \
    X(CanVolumeMap, TextureCaps, D3DPTEXTURECAPS_VOLUMEMAP)                                        \
    X(CanLineBlend, LineCaps, D3DLINECAPS_BLEND)                                                   \
    X(CanLineFog, LineCaps, D3DLINECAPS_FOG)                                                       \
    X(CanLineAlphaCompare, LineCaps, D3DLINECAPS_ALPHACMP)                                         \
    X(CanLineTexture, LineCaps, D3DLINECAPS_TEXTURE)                                               \
    X(CanLineZTest, LineCaps, D3DLINECAPS_ZTEST)

// The value queries: command and caps field.
#define OBJECT3D_CAPABILITY_VALUES(X)                                                              \
    X(GetDeviceType, DeviceType)                                                                   \
    X(GetMaxTextureWidth, MaxTextureWidth)                                                         \
    X(GetMaxTextureHeight, MaxTextureHeight)                                                       \
    X(GetMaxVolumeExtent, MaxVolumeExtent)                                                         \
    X(GetMaxVertexShaderConstants, MaxVertexShaderConst)                                           \
    X(GetMaxActiveLights, MaxActiveLights)

enum class CapabilityFlag {
#define OBJECT3D_CAPABILITY_ENUM(name, field, mask) name,
    OBJECT3D_CAPABILITY_FLAGS(OBJECT3D_CAPABILITY_ENUM)
#undef OBJECT3D_CAPABILITY_ENUM
        Count
};

// The rule every flag query follows, on any caps record: 1 when the flag's mask is set in its
// field, else 0; 0 for a flag outside the table.
std::int32_t CapabilityFlagOf(const D3DCAPS9& caps, CapabilityFlag flag);
// A shader version word as major.minor (1.1, 3.0); 0.0 on a device that has no streams.
float ShaderVersionOf(const D3DCAPS9& caps, DWORD version);

// The flag queries on the module's caps: 0 or 1.
#define OBJECT3D_CAPABILITY_DECLARE_FLAG(name, field, mask) std::uint8_t name();
OBJECT3D_CAPABILITY_FLAGS(OBJECT3D_CAPABILITY_DECLARE_FLAG)
#undef OBJECT3D_CAPABILITY_DECLARE_FLAG
#define OBJECT3D_CAPABILITY_DECLARE_VALUE(name, field) std::int32_t name();
OBJECT3D_CAPABILITY_VALUES(OBJECT3D_CAPABILITY_DECLARE_VALUE)
#undef OBJECT3D_CAPABILITY_DECLARE_VALUE
float GetPixelShaderMaxValue();
float GetVertexShaderVersion();
float GetPixelShaderVersion();
// Queries of capabilities every device has: 1 without reading anything.
std::uint8_t AlwaysTrueCapabilityA();
std::uint8_t AlwaysTrueCapabilityB();
std::uint8_t AlwaysTrueCapabilityC();
std::uint8_t AlwaysTrueQuery();
