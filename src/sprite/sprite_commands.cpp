#include "core/win32.h"

#include "sprite/sprite.h"
#include "sprite/sprite_state.h"
#include "core/core.h"
#include "image/image.h"
#include "core/error_numbers.h"
#include "core/no_throw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

SpriteState& s = g_Sprite;

constexpr std::int32_t kMaxNumber = 22000000;
constexpr float kDegrees = 0.017453292f;
constexpr std::int64_t kLargestFrameCount = 0x7FFFFFFF;

bool ValidNumber(std::int32_t n) {
    return n >= 1 && n <= kMaxNumber;
}

// The sprite for a command: 301 for a bad number, 302 when it is missing.
SpriteRecord* Checked(std::int32_t n) {
    return CheckedItem(n, kSpriteNumbers,
                       [](std::int32_t id) { return s.current = s.manager.FindSprite(id); });
}

void Rebuild(SpriteRecord& r) {
    BuildSpriteCorners(r, static_cast<std::int32_t>(r.x), static_cast<std::int32_t>(r.y));
}

// Shows one cell of an animated sprite.
void ShowFrame(SpriteRecord& r, std::int32_t frame) {
    r.frame = frame;
    r.width = r.cellWidth;
    r.height = r.cellHeight;
    BuildSpriteTexture(r);
}

template <typename Get> std::int32_t Query(std::int32_t n, Get get) {
    const SpriteRecord* r = Checked(n);
    return r ? get(*r) : -1;
}

bool InByteRange(std::int32_t v) {
    return v >= 0 && v <= 255;
}

void MakeSprite(std::int32_t n, float x, float y, std::int32_t image) {
    if (s.firstSprite) {
        s.firstSprite = false;
        s.backSaveMode = 2;
    }
    SpriteRecord r;
    r.device = s.device;
    r.x = x;
    r.y = y;
    r.image = image;
    ReadSpriteImage(r, image);
    if (image != -1 && !r.texture) RaiseRuntimeError(kImageNumberIllegal);
    BuildSpriteTexture(r);
    if (SpriteRecord* made = s.manager.AddSprite(r, n)) {
        s.current = made;
        Rebuild(*made);
    }
}

// Loads the picture into the image: whether no error came of it (a thrown one becomes 300). An
// error from before the call stays when none is raised.
bool LoadedWithoutError(const char* fileName, std::int32_t image) {
    RuntimeErrorRecord* cell = GetModuleErrorPointer();
    const std::int32_t before = cell ? cell->number : 0;
    if (cell) cell->number = 0;
    const bool thrown = !NoThrow(kSpriteNotMade, [&] { LoadImage(fileName, image, 1); });
    const bool raised = thrown || (cell && cell->number != 0);
    if (cell && !raised) cell->number = before;
    return !raised;
}

} // namespace

void ReadSpriteImage(SpriteRecord& r, std::int32_t image) {
    const ImageBridge& b = s.images;
    if (image == -1 || !b.getPointer) {
        r.texture = nullptr;
        return;
    }
    r.width = std::max(0, b.getWidth(image));
    r.height = std::max(0, b.getHeight(image));
    r.texture = b.getPointer(image);
    r.uMax = b.getUScale(image);
    r.vMax = b.getVScale(image);
}

std::int32_t CountSprites() {
    return s.manager.CountSprites();
}

void PlaceSprite(std::int32_t n, float x, float y, std::int32_t image) {
    if (!CheckItemNumber(n, kSpriteNumbers)) return;
    if (image != -1 && (image < 1 || image > kMaxNumber))
        return RaiseRuntimeError(kImageNumberIllegal);
    SpriteRecord* r = s.manager.FindSprite(n);
    if (!r) return MakeSprite(n, x, y, image);
    s.current = r;
    r->x = x;
    r->y = y;
    if (r->kind == 0 && r->image != image) {
        ReadSpriteImage(*r, image);
        r->image = image;
        BuildSpriteTexture(*r);
    }
    Rebuild(*r);
}

void PasteSprite(std::int32_t n, std::int32_t x, std::int32_t y) {
    const SpriteRecord* r = Checked(n);
    if (!r) return;
    SpriteRecord copy = *r;
    copy.visible = 1;
    BuildSpriteCorners(copy, x, y);
    s.manager.DrawSpriteNow(copy);
}

void SetSprite(std::int32_t n, std::int32_t backSaveMode, std::int32_t transparency) {
    if (!CheckItemNumber(n, kSpriteNumbers)) return;
    if (backSaveMode < 0 || backSaveMode > 2) return RaiseRuntimeError(kSpriteBackSaveIllegal);
    if (transparency < 0 || transparency > 1) return RaiseRuntimeError(kSpriteTransparencyIllegal);
    s.backSaveMode = backSaveMode;
    s.firstSprite = false;
    if (!s.manager.FindSprite(n)) MakeSprite(n, 0, 0, -1);
    if (SpriteRecord* r = s.manager.FindSprite(n)) {
        s.current = r;
        r->transparent = static_cast<std::uint8_t>(transparency);
    }
}

void DeleteSprite(std::int32_t n) {
    if (!Checked(n)) return;
    s.manager.DeleteSpriteRecord(n);
    if (s.manager.CountSprites() == 0) s.backSaveMode = 0;
}

void CloneSprite(std::int32_t n, std::int32_t newNumber) {
    const SpriteRecord* r = Checked(n);
    if (!r) return;
    if (!CheckItemNumber(newNumber, kSpriteNumbers)) return;
    if (s.manager.FindSprite(newNumber)) return RaiseRuntimeError(kSpriteNumberTaken);
    const SpriteRecord copy = *r;
    s.manager.AddSprite(copy, newNumber);
}

void HideSprite(std::int32_t n) {
    if (SpriteRecord* r = Checked(n)) r->visible = 0;
}

void ShowSprite(std::int32_t n) {
    if (SpriteRecord* r = Checked(n)) r->visible = 1;
}

void HideSpriteIfPresent(std::int32_t n) {
    if (!CheckItemNumber(n, kSpriteNumbers)) return;
    if (SpriteRecord* r = s.manager.FindSprite(n)) r->visible = 0;
}

void ShowSpriteIfPresent(std::int32_t n) {
    if (!CheckItemNumber(n, kSpriteNumbers)) return;
    if (SpriteRecord* r = s.manager.FindSprite(n)) r->visible = 1;
}

void HideAllSprites() {
    s.manager.HideAllSprites();
}
void ShowAllSprites() {
    s.manager.ShowAllSprites();
}

void SetSpritePriority(std::int32_t n, std::int32_t priority) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    r->priority = priority;
    s.highestPriority = std::max(s.highestPriority, priority);
}

void SetSpriteAlpha(std::int32_t n, std::int32_t alpha) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    if (!InByteRange(alpha)) return RaiseRuntimeError(kSpriteAlphaIllegal);
    r->alpha = alpha;
    SetSpriteColour(*r);
}

void SetSpriteDiffuse(std::int32_t n, std::int32_t red, std::int32_t green, std::int32_t blue) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    if (!InByteRange(red) || !InByteRange(green) || !InByteRange(blue))
        return RaiseRuntimeError(kSpriteDiffuseIllegal);
    r->red = red;
    r->green = green;
    r->blue = blue;
    SetSpriteColour(*r);
}

void SetSpriteImage(std::int32_t n, std::int32_t value) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    if (value < 0 || value > kMaxNumber) return RaiseRuntimeError(kImageNumberIllegal);
    if (r->kind == 1) {
        const std::int32_t frame = value > 0 ? value - 1 : 0;
        if (frame >= r->frameCount) return;
        ShowFrame(*r, frame);
        r->previousFrame = frame;
        return;
    }
    // A plain sprite takes the value as an image number.
    if (value == 0 || !s.images.exist || !s.images.exist(value)) return;
    r->image = value;
    ReadSpriteImage(*r, value);
    BuildSpriteTexture(*r);
    Rebuild(*r);
}

void SetSpriteTexture(std::int32_t n, std::int32_t image) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    if (!ValidNumber(image)) return RaiseRuntimeError(kImageNumberIllegal);
    const std::int32_t width = r->width, height = r->height;
    r->image = image;
    ReadSpriteImage(*r, image);
    if (r->kind == 1) { // an animated sprite keeps its cell size
        r->width = width;
        r->height = height;
    }
    BuildSpriteTexture(*r);
}

void SetSpriteTextureCoordinates(std::int32_t n, std::int32_t vertex, float u, float v) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    if (vertex < 0 || vertex > 3) return RaiseRuntimeError(kSpriteVertexIllegal);
    r->vertices[vertex].u = u;
    r->vertices[vertex].v = v;
}

void SizeSprite(std::int32_t n, std::int32_t width, std::int32_t height) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    if (width < 0 || height < 0) return RaiseRuntimeError(kSpriteSizeIllegal);
    r->sizeX = r->width = width;
    r->sizeY = r->height = height;
    r->scaleX = static_cast<float>(width) * 0.01f;
    r->scaleY = static_cast<float>(height) * 0.01f;
    Rebuild(*r);
}

void ScaleSprite(std::int32_t n, float percent) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    if (!(percent >= 0 && percent <= 250000)) return RaiseRuntimeError(kSpriteScaleIllegal);
    r->sizeX = r->sizeY = 0;
    if (r->kind == 0 && r->image > 0) ReadSpriteImage(*r, r->image);
    if (r->kind == 1) {
        r->width = r->cellWidth;
        r->height = r->cellHeight;
    }
    r->scaleX = r->scaleY = percent * 0.01f;
    Rebuild(*r);
}

void StretchSprite(std::int32_t n, float xPercent, float yPercent) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    if (!(xPercent >= 0 && xPercent <= 250000 && yPercent >= 0 && yPercent <= 250000))
        return RaiseRuntimeError(kSpriteScaleIllegal);
    r->sizeX = r->sizeY = 0;
    r->scaleX = xPercent * 0.01f;
    r->scaleY = yPercent * 0.01f;
    Rebuild(*r);
}

void OffsetSprite(std::int32_t n, std::int32_t x, std::int32_t y) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    r->offsetX = x;
    r->offsetY = y;
    Rebuild(*r);
}

void MirrorSprite(std::int32_t n) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    r->mirrored = !r->mirrored;
    BuildSpriteTexture(*r);
    Rebuild(*r);
}

void FlipSprite(std::int32_t n) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    r->flipped = !r->flipped;
    BuildSpriteTexture(*r);
    Rebuild(*r);
}

void RotateSprite(std::int32_t n, float angle) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    r->angle = angle;
    Rebuild(*r);
}

void MoveSprite(std::int32_t n, float distance) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    r->x += std::sin(r->angle * kDegrees) * distance;
    r->y -= std::cos(r->angle * kDegrees) * distance;
    Rebuild(*r);
}

void PlaySprite(std::int32_t n, std::int32_t first, std::int32_t last, std::int32_t delay) {
    SpriteRecord* r = Checked(n);
    if (!r) return;
    if (!ValidNumber(first) || !ValidNumber(last)) return RaiseRuntimeError(kImageNumberIllegal);
    if (delay < 0 || delay > kMaxNumber) return RaiseRuntimeError(kSpriteDelayIllegal);
    r->firstFrame = first - 1;
    r->lastFrame = last - 1;
    r->delay = delay;
    if (!r->playing) {
        r->frame = r->firstFrame;
        r->playing = 1;
        return;
    }
    if (r->kind == 1 && r->frame >= r->frameCount) return RaiseRuntimeError(kImageNumberIllegal);
    r->now = timeGetTime();
    if (r->now - r->lastFrameTime <= static_cast<std::uint32_t>(r->delay)) return;
    if (r->kind == 1) {
        ShowFrame(*r, r->frame);
    } else if (s.images.exist && s.images.exist(r->frame + 1)) {
        // A plain sprite steps through image numbers first..last.
        r->image = r->frame + 1;
        ReadSpriteImage(*r, r->image);
        BuildSpriteTexture(*r);
        Rebuild(*r);
    }
    r->previousFrame = r->frame;
    r->frame = r->frame >= r->lastFrame ? r->firstFrame : r->frame + 1;
    r->lastFrameTime = r->now;
}

void CreateAnimatedSprite(std::int32_t n, const char* fileName, std::int32_t across,
                          std::int32_t down, std::int32_t image) {
    if (!CheckItemNumber(n, kSpriteNumbers)) return;
    if (s.manager.FindSprite(n)) return RaiseRuntimeError(kSpriteNumberTaken);
    if (!ValidNumber(across)) return RaiseRuntimeError(kSpriteAcrossIllegal);
    // The frame count across x down is an int32: a grid of more cells has no frame numbers.
    if (!ValidNumber(down) || std::int64_t{across} * down > kLargestFrameCount)
        return RaiseRuntimeError(kSpriteDownIllegal);
    if (image < 0 || image > kMaxNumber) return RaiseRuntimeError(kSpriteImageIllegal);
    // The sprite is had before the picture loads into its image, so that out of memory for it
    // (300) leaves the image as it was, and a load that fails takes the bare sprite away again.
    const bool firstSprite = s.firstSprite;
    const std::int32_t backSaveMode = s.backSaveMode;
    MakeSprite(n, -1000000, -1000000, -1);
    if (!s.manager.FindSprite(n)) return;
    // LoadImage passes the name through the media redirect and the scrambler hooks itself. A load
    // that fails may keep the old image: the error it raises, not the image, tells.
    const bool loaded =
        LoadedWithoutError(fileName, image) && s.images.exist && s.images.exist(image);
    SpriteRecord* r = s.manager.FindSprite(n);
    if (!loaded || !r) {
        s.manager.DeleteSpriteRecord(n);
        s.firstSprite = firstSprite;
        s.backSaveMode = backSaveMode;
        return;
    }
    s.current = r;
    r->image = image;
    ReadSpriteImage(*r, image);
    if (!r->texture) RaiseRuntimeError(kImageNumberIllegal);
    r->kind = 1;
    r->cellWidth = s.images.getWidth(image) / across;
    r->cellHeight = s.images.getHeight(image) / down;
    r->uMax = s.images.getUScale(image);
    r->vMax = s.images.getVScale(image);
    r->frameCount = across * down; // held within int32 by the check above
    r->frame = r->previousFrame = 0;
    r->across = across;
    r->down = down;
    ShowFrame(*r, 0);
    SizeSprite(n, r->cellWidth, r->cellHeight);
}

std::int32_t SpriteHit(std::int32_t a, std::int32_t b) {
    if (!ValidNumber(a) || b < 0 || b > kMaxNumber) {
        RaiseRuntimeError(kSpriteNumberIllegal);
        return 0;
    }
    SpriteRecord* r = Checked(a);
    if (!r) return 0;
    const std::int32_t hit = FindSpriteCollision(a, b);
    const bool fresh = hit > 0 && r->lastHit == 0;
    r->lastHit = hit;
    return fresh ? hit : 0;
}

std::int32_t SpriteCollision(std::int32_t a, std::int32_t b) {
    if (!ValidNumber(a) || b < 0 || b > kMaxNumber) {
        RaiseRuntimeError(kSpriteNumberIllegal);
        return 0;
    }
    if (!Checked(a)) return 0;
    if (b != 0 && !s.manager.FindSprite(b)) {
        RaiseRuntimeError(kSpriteMissing);
        return 0;
    }
    return FindSpriteCollision(a, b);
}

bool SpriteExist(std::int32_t n) {
    if (!CheckItemNumber(n, kSpriteNumbers)) return false;
    return s.manager.FindSprite(n) != nullptr;
}

std::int32_t SpriteX(std::int32_t n) {
    return Query(n, [](const SpriteRecord& r) { return static_cast<std::int32_t>(r.x); });
}
std::int32_t SpriteY(std::int32_t n) {
    return Query(n, [](const SpriteRecord& r) { return static_cast<std::int32_t>(r.y); });
}
std::int32_t SpriteImage(std::int32_t n) {
    return Query(n, [](const SpriteRecord& r) { return r.image; });
}

std::int32_t SpriteFrame(std::int32_t n) {
    return Query(n,
                 [](const SpriteRecord& r) { return r.kind == 1 ? r.previousFrame + 1 : r.image; });
}

std::int32_t SpriteWidth(std::int32_t n) {
    SpriteRecord* r = Checked(n);
    if (!r) return -1;
    if (r->kind == 0 && r->image > 0 && r->sizeX == 0) ReadSpriteImage(*r, r->image);
    return r->sizeX ? r->sizeX : static_cast<std::int32_t>(r->width * r->scaleX);
}

std::int32_t SpriteHeight(std::int32_t n) {
    SpriteRecord* r = Checked(n);
    if (!r) return -1;
    if (r->kind == 0 && r->image > 0 && r->sizeY == 0) ReadSpriteImage(*r, r->image);
    return r->sizeY ? r->sizeY : static_cast<std::int32_t>(r->height * r->scaleY);
}

std::int32_t SpriteScaleX(std::int32_t n) {
    return Query(n,
                 [](const SpriteRecord& r) { return static_cast<std::int32_t>(r.scaleX * 100); });
}
std::int32_t SpriteScaleY(std::int32_t n) {
    return Query(n,
                 [](const SpriteRecord& r) { return static_cast<std::int32_t>(r.scaleY * 100); });
}
std::int32_t SpriteMirrored(std::int32_t n) {
    return Query(n, [](const SpriteRecord& r) { return static_cast<std::int32_t>(r.mirrored); });
}
std::int32_t SpriteFlipped(std::int32_t n) {
    return Query(n, [](const SpriteRecord& r) { return static_cast<std::int32_t>(r.flipped); });
}
std::int32_t SpriteOffsetX(std::int32_t n) {
    return Query(n, [](const SpriteRecord& r) { return r.offsetX; });
}
std::int32_t SpriteOffsetY(std::int32_t n) {
    return Query(n, [](const SpriteRecord& r) { return r.offsetY; });
}

float SpriteAngle(std::int32_t n) {
    const SpriteRecord* r = Checked(n);
    return r ? r->angle : 0.0f;
}

std::int32_t SpriteAlpha(std::int32_t n) {
    return Query(n, [](const SpriteRecord& r) { return r.alpha; });
}
std::int32_t SpriteRed(std::int32_t n) {
    return Query(n, [](const SpriteRecord& r) { return r.red; });
}
std::int32_t SpriteGreen(std::int32_t n) {
    return Query(n, [](const SpriteRecord& r) { return r.green; });
}
std::int32_t SpriteBlue(std::int32_t n) {
    return Query(n, [](const SpriteRecord& r) { return r.blue; });
}
std::int32_t SpriteVisible(std::int32_t n) {
    return Query(n, [](const SpriteRecord& r) { return static_cast<std::int32_t>(r.visible); });
}
