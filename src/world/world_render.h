// The world's drawing pass inside the module: the states around it, which faces the world
// camera can see, and the drawing of face groups through plain textures or shader stages.
#pragma once

#include "core/win32.h"

#include "world/shader_table.h"
#include "world/world_level.h"

#include <cstdint>
#include <vector>

// What one pass works from. Written by RenderWorld at the start of each pass; the coordinate
// save area is kept and only grown.
struct WorldRenderState {
    D3DXPLANE viewPlane{0, 0, 0, 0};     // from the device's view transform
    D3DXVECTOR3 eye{0, 0, 0};            // the world camera, level units
    D3DXVECTOR3 environmentEye{0, 0, 0}; // camera 1, engine units
    bool coordinatesChanged = false;     // a face's surface coordinates differ from the level's
    std::vector<float> savedS, savedT;   // a patch's unchanged coordinates, sized to the patch
};

WorldRenderState& WorldRenderData();

void BeginWorldRenderStates();
void EndWorldRenderStates();
// 0: texture times lightmap; 1: texture times vertex colour.
void SetWorldTextureStages(std::int32_t mode);
void RenderWorld();
// Marks the faces the eye can see (level units) into the level's visibility flags.
void MarkVisibleFaces(WorldLevel& level, const D3DXVECTOR3& eye);
// A box of level units (minimum x, y, z, maximum x, y, z) wholly behind the view plane.
bool BoxOutsideView(const float (&box)[6]);
void DrawShadedFaces(const WorldFaceGroup& group);

// The frame of a stage's animation that shows at seconds.
std::int32_t ShaderStageFrame(const ShaderStage& stage, double seconds);
// Changes face's surface coordinates for one stage (environment, rotate, scale, scroll), saving
// a patch's first.
void UpdateShaderStages(std::int32_t face, const ShaderRecord& shader, const ShaderStage& stage);
void SaveFaceTexCoords(std::int32_t face);
void RestoreFaceTexCoords(std::int32_t face);
