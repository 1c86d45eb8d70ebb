#include "core/win32.h"

#include "sprite/sprite.h"
#include "sprite/sprite_state.h"
#include "display/display.h"
#include "core/no_throw.h"

#include <algorithm>
#include <new>

namespace {

SpriteState& s = g_Sprite;

struct Bounds {
    float minX = 100000.0f, minY = 100000.0f, maxX = -100000.0f, maxY = -100000.0f;
};

Bounds BoundsOf(const SpriteRecord& r) {
    Bounds b;
    for (const SpriteVertex& v : r.vertices) {
        b.minX = std::min(b.minX, v.x);
        b.minY = std::min(b.minY, v.y);
        b.maxX = std::max(b.maxX, v.x);
        b.maxY = std::max(b.maxY, v.y);
    }
    return b;
}

// A fresh one-off record showing a whole texture at its natural size.
SpriteRecord& FreshPasteRecord(float x, float y, float uScale, float vScale) {
    s.paste = SpriteRecord{};
    s.paste.device = s.device;
    s.paste.x = x;
    s.paste.y = y;
    s.paste.uMax = uScale;
    s.paste.vMax = vScale;
    BuildSpriteTexture(s.paste);
    return s.paste;
}

} // namespace

SpriteRecord* SpriteManager::FindSprite(std::int32_t n) const {
    return static_cast<SpriteRecord*>(list.Find(n));
}

// Makes the buffer and the sort's scratch hold at least wanted records; false (300) when they
// cannot be had, both as they were. What they hold is made again each frame.
bool SpriteManager::GrowBuffers(std::size_t wanted) {
    if (wanted <= buffer.size()) return true;
    return NoThrow(kSpriteNotMade, [&] {
        const std::size_t size = std::max(wanted, 2 * buffer.size());
        std::vector<SpriteRecord> more(size), spare(size);
        buffer.swap(more);
        scratch.swap(spare);
    });
}

SpriteRecord* SpriteManager::AddSprite(const SpriteRecord& record, std::int32_t n) {
    // The record, its place in the list and the room to draw it in every frame, before anything
    // goes: out of memory (300) keeps the sprites as they were.
    auto* copy = new (std::nothrow) SpriteRecord(record);
    if (!copy) {
        RaiseRuntimeError(kSpriteNotMade);
        return nullptr;
    }
    // A number in use takes the new record in its node, which needs no memory.
    auto* old = static_cast<SpriteRecord*>(list.Find(n));
    if (list.Add(n, copy, 0, 1) == 0) {
        delete copy;
        RaiseRuntimeError(kSpriteNotMade);
        return nullptr;
    }
    if (!GrowBuffers(static_cast<std::size_t>(list.Count()) + 1)) {
        if (old)
            list.Add(n, old, 0, 1);
        else
            list.Delete(n);
        delete copy;
        return nullptr;
    }
    if (old) {
        if (s.current == old) s.current = nullptr;
        delete old;
    }
    return copy;
}

void SpriteManager::DeleteSpriteRecord(std::int32_t n) {
    auto* r = static_cast<SpriteRecord*>(list.Find(n));
    if (!r) return;
    if (s.current == r) s.current = nullptr;
    list.Delete(n);
    delete r;
}

void SpriteManager::DeleteAllSprites() {
    for (IdListNode* node = list.first; node; node = node->next)
        delete static_cast<SpriteRecord*>(node->data);
    list.Clear();
    s.current = nullptr;
}

void SpriteManager::HideAllSprites() {
    for (IdListNode* node = list.first; node; node = node->next)
        static_cast<SpriteRecord*>(node->data)->visible = 0;
}

void SpriteManager::ShowAllSprites() {
    for (IdListNode* node = list.first; node; node = node->next)
        static_cast<SpriteRecord*>(node->data)->visible = 1;
}

void SpriteManager::DrawSprites(std::int32_t highestPriority) {
    count = 0;
    // One walk, then a stable sort by priority: the order of a walk per priority value, list
    // order within a priority, at a cost that does not grow with the values. Negative
    // priorities never draw. The buffer holds every sprite (AddSprite grows it): a frame needs
    // no memory.
    for (IdListNode* node = list.first; node; node = node->next) {
        ++gatherSteps;
        const auto* r = static_cast<const SpriteRecord*>(node->data);
        if (r->priority < 0 || r->priority > highestPriority) continue;
        if (count == static_cast<std::int32_t>(buffer.size())) break;
        buffer[count++] = *r;
    }
    SortByPriority();
    DrawSpriteRun(buffer.data(), count);
    count = 0;
}

// A merge sort by priority through the scratch beside the buffer: stable, and needing no memory
// of its own as std::stable_sort would.
void SpriteManager::SortByPriority() {
    SpriteRecord* from = buffer.data();
    SpriteRecord* to = scratch.data();
    const auto n = static_cast<std::size_t>(count);
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t left = 0; left < n; left += 2 * width) {
            const std::size_t middle = std::min(left + width, n),
                              right = std::min(left + 2 * width, n);
            std::size_t a = left, b = middle, out = left;
            while (a < middle && b < right)
                to[out++] = from[b].priority < from[a].priority ? from[b++] : from[a++];
            while (a < middle)
                to[out++] = from[a++];
            while (b < right)
                to[out++] = from[b++];
        }
        std::swap(from, to);
    }
    if (from != buffer.data()) std::copy(from, from + n, buffer.data());
}

void SpriteManager::DrawSpriteNow(const SpriteRecord& record) {
    buffer[0] = record;
    DrawSpriteRun(buffer.data(), 1);
}

void RefreshSpriteImages() {
    s.device = GetDirect3DDevice();
    for (IdListNode* node = s.manager.List().first; node; node = node->next) {
        auto* r = static_cast<SpriteRecord*>(node->data);
        r->device = s.device;
        if (r->image > 0) ReadSpriteImage(*r, r->image);
    }
}

void SpritePasteImage(std::int32_t image, std::int32_t x, std::int32_t y, float uScale,
                      float vScale, std::int32_t transparency) {
    SpriteRecord& r =
        FreshPasteRecord(static_cast<float>(x), static_cast<float>(y), uScale, vScale);
    r.image = image;
    r.width = s.images.getWidth ? s.images.getWidth(image) : 0;
    r.height = s.images.getHeight ? s.images.getHeight(image) : 0;
    r.texture = s.images.getPointer ? s.images.getPointer(image) : nullptr;
    r.transparent = transparency == 1 ? 1 : 0;
    BuildSpriteCorners(r, x, y);
    s.manager.DrawSpriteNow(r);
}

void SpritePasteImageRect(IDirect3DTexture9* texture, float uScale, float vScale, std::int32_t left,
                          std::int32_t top, std::int32_t right, std::int32_t bottom) {
    SpriteRecord& r =
        FreshPasteRecord(static_cast<float>(left), static_cast<float>(top), uScale, vScale);
    r.texture = texture;
    r.width = right - left;
    r.height = bottom - top;
    r.transparent = 0;
    if (vScale < 0) { // upside down
        for (int i = 0; i < 4; ++i)
            r.vertices[i].v = i < 2 ? 1.0f : 0.0f;
    }
    BuildSpriteCorners(r, left, top);
    s.manager.DrawSpriteNow(r);
}

std::int32_t SpritesOverlap(std::int32_t a, std::int32_t b) {
    const SpriteRecord* ra = s.manager.FindSprite(a);
    const SpriteRecord* rb = s.manager.FindSprite(b);
    if (!ra || !rb || ra->image <= 0 || rb->image <= 0) return 0;
    const Bounds ba = BoundsOf(*ra), bb = BoundsOf(*rb);
    return bb.minX <= ba.maxX && ba.minX <= bb.maxX && bb.minY <= ba.maxY && ba.minY <= bb.maxY ? 1
                                                                                                : 0;
}

std::int32_t FindSpriteCollision(std::int32_t a, std::int32_t b) {
    if (b > 0) return s.manager.FindSprite(b) ? SpritesOverlap(a, b) : 0;
    for (IdListNode* node = s.manager.List().first; node; node = node->next) {
        if (node->id != a && SpritesOverlap(a, node->id)) return node->id;
    }
    return 0;
}
