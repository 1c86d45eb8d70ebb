// Sprite module: numbered sprites drawn each frame by priority, one-off pastes, and the sprite
// command set. Sprite numbers are 1 to 22000000 (301 otherwise; 302 for a missing sprite).
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void SpriteConstructor(HMODULE display, HMODULE image);
// Stop entry: releases everything the module holds.
void SpriteDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void SpriteSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void SpritePassCoreData(CoreData* core);
// Around every device re-creation: mode 0 before (release), mode 1 after (rebuild).
void SpriteRefreshD3D(std::int32_t mode);
// The frame loop's three points: draw the sprites, save the back buffer, restore or clear it.
void SpriteUpdate();
// Keeps a copy of the back buffer for back-save mode 1.
void SpriteSaveBackground();
// Puts that copy back (mode 1) or clears to the backdrop colour (mode 2).
void SpriteRestoreBackground();
// Linear (flag set) or point filtering for sprites drawn from now on.
void SetSpriteSmoothing(std::int32_t flag);

// Handed to the image module: every image load refreshes the sprites, and pastes draw here.
void RefreshSpriteImages();
// Draws an image at once at x, y, scaled by its texture share.
void SpritePasteImage(std::int32_t image, std::int32_t x, std::int32_t y, float uScale,
                      float vScale, std::int32_t transparency);
// A texture stretched over a screen rectangle (upside down when vScale is negative).
void SpritePasteImageRect(IDirect3DTexture9* texture, float uScale, float vScale, std::int32_t left,
                          std::int32_t top, std::int32_t right, std::int32_t bottom);
// 1 when the bounding boxes of two sprites with images overlap.
std::int32_t SpritesOverlap(std::int32_t a, std::int32_t b);
// b > 0: whether a and b touch; b = 0: the first other sprite touching a, or 0.
std::int32_t FindSpriteCollision(std::int32_t a, std::int32_t b);
// How many numbered sprites exist.
std::int32_t CountSprites();

// Places sprite n at x, y showing an image, making it when missing.
void PlaceSprite(std::int32_t n, float x, float y, std::int32_t image);
// Draws sprite n at x, y at once, without moving it.
void PasteSprite(std::int32_t n, std::int32_t x, std::int32_t y);
// The back-save mode (0 to 2, else 303) and the transparency flag (0 or 1, else 304).
void SetSprite(std::int32_t n, std::int32_t backSaveMode, std::int32_t transparency);
// Deletes sprite n.
void DeleteSprite(std::int32_t n);
// Copies sprite n under a free number (321 when it is taken).
void CloneSprite(std::int32_t n, std::int32_t newNumber);
// Leaves sprite n out of the frame's drawing.
void HideSprite(std::int32_t n);
// Draws sprite n again.
void ShowSprite(std::int32_t n);
// The same, but a missing sprite is no error.
void HideSpriteIfPresent(std::int32_t n);
// The same as ShowSprite, a missing sprite being no error.
void ShowSpriteIfPresent(std::int32_t n);
// Hides every sprite.
void HideAllSprites();
// Shows every sprite.
void ShowAllSprites();
// The drawing order: higher priorities are drawn later, on top.
void SetSpritePriority(std::int32_t n, std::int32_t priority);
// The sprite's alpha, 0 to 255 (314 otherwise).
void SetSpriteAlpha(std::int32_t n, std::int32_t alpha);
// The colour the sprite's picture is multiplied by.
void SetSpriteDiffuse(std::int32_t n, std::int32_t red, std::int32_t green, std::int32_t blue);
// The image (or, for an animated sprite, the frame) the sprite shows.
void SetSpriteImage(std::int32_t n, std::int32_t value);
// The image whose texture the sprite shows, keeping the sprite's size.
void SetSpriteTexture(std::int32_t n, std::int32_t image);
// The texture coordinates of one corner, vertex 0 to 3 (317 otherwise).
void SetSpriteTextureCoordinates(std::int32_t n, std::int32_t vertex, float u, float v);
// The sprite's size in pixels, whatever its picture's size.
void SizeSprite(std::int32_t n, std::int32_t width, std::int32_t height);
// Both scales in percent, 0 to 250000 (311 otherwise).
void ScaleSprite(std::int32_t n, float percent);
// The two scales in percent, 0 to 250000 each (311 otherwise).
void StretchSprite(std::int32_t n, float xPercent, float yPercent);
// Where the sprite's picture lies against its position.
void OffsetSprite(std::int32_t n, std::int32_t x, std::int32_t y);
// Mirrors the sprite left to right; again to undo.
void MirrorSprite(std::int32_t n);
// Flips the sprite upside down; again to undo.
void FlipSprite(std::int32_t n);
// The angle in degrees, clockwise.
void RotateSprite(std::int32_t n, float angle);
// Moves the sprite along its angle.
void MoveSprite(std::int32_t n, float distance);
// Steps an animated sprite through frames first to last, delay milliseconds apart.
void PlaySprite(std::int32_t n, std::int32_t first, std::int32_t last, std::int32_t delay);
// Loads the file as image `image` and cuts it into across x down frames.
void CreateAnimatedSprite(std::int32_t n, const char* fileName, std::int32_t across,
                          std::int32_t down, std::int32_t image);
// Like SpriteCollision, but only a touch that began since the last call counts.
std::int32_t SpriteHit(std::int32_t a, std::int32_t b);
// b > 0: 1 when a and b touch; b = 0: the first sprite touching a, or 0.
std::int32_t SpriteCollision(std::int32_t a, std::int32_t b);
// Whether sprite n exists (301 for a bad number).
bool SpriteExist(std::int32_t n);
// The sprite's x position.
std::int32_t SpriteX(std::int32_t n);
// The sprite's y position.
std::int32_t SpriteY(std::int32_t n);
// The image the sprite shows.
std::int32_t SpriteImage(std::int32_t n);
// The frame an animated sprite shows, else its image.
std::int32_t SpriteFrame(std::int32_t n);
// The sprite's width in pixels, -1 when missing.
std::int32_t SpriteWidth(std::int32_t n);
// The sprite's height in pixels, -1 when missing.
std::int32_t SpriteHeight(std::int32_t n);
// The horizontal scale in percent.
std::int32_t SpriteScaleX(std::int32_t n);
// The vertical scale in percent.
std::int32_t SpriteScaleY(std::int32_t n);
// 1 while mirrored.
std::int32_t SpriteMirrored(std::int32_t n);
// 1 while flipped.
std::int32_t SpriteFlipped(std::int32_t n);
// The picture's x offset.
std::int32_t SpriteOffsetX(std::int32_t n);
// The picture's y offset.
std::int32_t SpriteOffsetY(std::int32_t n);
// The angle in degrees.
float SpriteAngle(std::int32_t n);
// The alpha, 0 to 255.
std::int32_t SpriteAlpha(std::int32_t n);
// The red part of the diffuse colour.
std::int32_t SpriteRed(std::int32_t n);
// The green part of the diffuse colour.
std::int32_t SpriteGreen(std::int32_t n);
// The blue part of the diffuse colour.
std::int32_t SpriteBlue(std::int32_t n);
// 1 while the sprite is shown.
std::int32_t SpriteVisible(std::int32_t n);
