// Sprite module: numbered sprites drawn each frame by priority, one-off pastes, and the sprite
// command set. Sprite numbers are 1 to 22000000 (301 otherwise; 302 for a missing sprite).
#pragma once

#include "core/core_data.h"

#include <cstdint>

void SpriteConstructor(HMODULE display, HMODULE image);
void SpriteDestructor();
void SpriteSetErrorHandler(RuntimeErrorRecord* cell);
void SpritePassCoreData(CoreData* core);
void SpriteRefreshD3D(std::int32_t mode);
// The frame loop's three points: draw the sprites, save the back buffer, restore or clear it.
void SpriteUpdate();
void SpriteSaveBackground();
void SpriteRestoreBackground();
void SetSpriteSmoothing(std::int32_t flag);

// Handed to the image module: every image load refreshes the sprites, and pastes draw here.
void RefreshSpriteImages();
void SpritePasteImage(std::int32_t image, std::int32_t x, std::int32_t y, float uScale,
                      float vScale, std::int32_t transparency);
// A texture stretched over a screen rectangle (upside down when vScale is negative).
void SpritePasteImageRect(IDirect3DTexture9* texture, float uScale, float vScale, std::int32_t left,
                          std::int32_t top, std::int32_t right, std::int32_t bottom);
std::int32_t SpritesOverlap(std::int32_t a, std::int32_t b);
// b > 0: whether a and b touch; b = 0: the first other sprite touching a, or 0.
std::int32_t FindSpriteCollision(std::int32_t a, std::int32_t b);
std::int32_t CountSprites();

void PlaceSprite(std::int32_t n, float x, float y, std::int32_t image);
void PasteSprite(std::int32_t n, std::int32_t x, std::int32_t y);
void SetSprite(std::int32_t n, std::int32_t backSaveMode, std::int32_t transparency);
void DeleteSprite(std::int32_t n);
void CloneSprite(std::int32_t n, std::int32_t newNumber);
void HideSprite(std::int32_t n);
void ShowSprite(std::int32_t n);
// The same, but a missing sprite is no error.
void HideSpriteIfPresent(std::int32_t n);
void ShowSpriteIfPresent(std::int32_t n);
void HideAllSprites();
void ShowAllSprites();
void SetSpritePriority(std::int32_t n, std::int32_t priority);
void SetSpriteAlpha(std::int32_t n, std::int32_t alpha);
void SetSpriteDiffuse(std::int32_t n, std::int32_t red, std::int32_t green, std::int32_t blue);
void SetSpriteImage(std::int32_t n, std::int32_t value);
void SetSpriteTexture(std::int32_t n, std::int32_t image);
void SetSpriteTextureCoordinates(std::int32_t n, std::int32_t vertex, float u, float v);
void SizeSprite(std::int32_t n, std::int32_t width, std::int32_t height);
void ScaleSprite(std::int32_t n, float percent);
void StretchSprite(std::int32_t n, float xPercent, float yPercent);
void OffsetSprite(std::int32_t n, std::int32_t x, std::int32_t y);
void MirrorSprite(std::int32_t n);
void FlipSprite(std::int32_t n);
void RotateSprite(std::int32_t n, float angle);
void MoveSprite(std::int32_t n, float distance);
void PlaySprite(std::int32_t n, std::int32_t first, std::int32_t last, std::int32_t delay);
void CreateAnimatedSprite(std::int32_t n, const char* fileName, std::int32_t across,
                          std::int32_t down, std::int32_t image);
std::int32_t SpriteHit(std::int32_t a, std::int32_t b);
std::int32_t SpriteCollision(std::int32_t a, std::int32_t b);
bool SpriteExist(std::int32_t n);
std::int32_t SpriteX(std::int32_t n);
std::int32_t SpriteY(std::int32_t n);
std::int32_t SpriteImage(std::int32_t n);
std::int32_t SpriteFrame(std::int32_t n);
std::int32_t SpriteWidth(std::int32_t n);
std::int32_t SpriteHeight(std::int32_t n);
std::int32_t SpriteScaleX(std::int32_t n);
std::int32_t SpriteScaleY(std::int32_t n);
std::int32_t SpriteMirrored(std::int32_t n);
std::int32_t SpriteFlipped(std::int32_t n);
std::int32_t SpriteOffsetX(std::int32_t n);
std::int32_t SpriteOffsetY(std::int32_t n);
float SpriteAngle(std::int32_t n);
std::int32_t SpriteAlpha(std::int32_t n);
std::int32_t SpriteRed(std::int32_t n);
std::int32_t SpriteGreen(std::int32_t n);
std::int32_t SpriteBlue(std::int32_t n);
std::int32_t SpriteVisible(std::int32_t n);
