// The record of every numbered sprite, of the one-off paste and of video frames.
#pragma once

#include "core/core_data.h"

#include <cstdint>

struct SpriteVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};
static_assert(sizeof(SpriteVertex) == 28);

constexpr DWORD kSpriteVertexFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct SpriteRecord {
    IDirect3DDevice9* device = nullptr;
    float x = 0, y = 0;
    std::int32_t alpha = 255, red = 255, green = 255, blue = 255;
    std::int32_t offsetX = 0, offsetY = 0; // the hot spot placed at the position
    std::int32_t width = 0, height = 0;    // the picture's, or one cell's
    float uMax = 1, vMax = 1;              // texture coordinates of the right and bottom edges
    float scaleX = 1, scaleY = 1;
    std::uint8_t transparent = 1;
    std::int32_t sizeX = 0, sizeY = 0; // an explicit size; 0 = width x scale
    float angle = 0;                   // degrees, clockwise on screen
    std::int32_t priority = 0;
    IDirect3DTexture9* texture = nullptr; // the image's, not owned
    std::int32_t image = 0;               // 0 none, -1 a sprite made without an image
    std::uint8_t visible = 1;
    std::uint8_t flipped = 0;
    std::uint8_t mirrored = 0;
    std::int32_t lastHit = 0;
    std::uint8_t playing = 0;
    std::int32_t kind = 0; // 0 a whole image, 1 one cell of a grid
    std::int32_t firstFrame = 0, lastFrame = 0;
    std::uint32_t lastFrameTime = 0, now = 0;
    std::int32_t delay = 0;
    std::int32_t cellWidth = 0, cellHeight = 0;
    std::int32_t frameCount = 0;
    std::int32_t across = 0, down = 0;
    std::int32_t frame = 0, previousFrame = 0;
    SpriteVertex vertices[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                {0, 0, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                                {0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 1},
                                {0, 0, 0.5f, 1, 0xFFFFFFFF, 1, 1}};
};

// Builds the four corners at the whole-pixel position, rotated by the record's angle.
void BuildSpriteCorners(SpriteRecord& r, std::int32_t x, std::int32_t y);
// Texture coordinates from the record's kind, frame, mirror and flip.
void BuildSpriteTexture(SpriteRecord& r);
void SetSpriteColour(SpriteRecord& r);
// Draws records in order with shared render states (nothing for an empty run).
void DrawSpriteRun(const SpriteRecord* records, std::int32_t count);
