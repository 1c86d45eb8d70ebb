#include "core/win32.h"

#include "object3d/object_manager.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_textures.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace {

// A shared buffer holds at most this many entries, or what one mesh needs when that is more.
constexpr std::uint32_t kSharedEntries = 65535;

// The elements of the declaration up to and with its end marker.
std::size_t DeclarationLength(const D3DVERTEXELEMENT9* declaration) {
    std::size_t n = 0;
    while (declaration && n < MAX_FVF_DECL_SIZE && declaration[n++].Stream != 0xFF) {
    }
    return n;
}

bool SameDeclaration(const std::vector<D3DVERTEXELEMENT9>& a, const D3DVERTEXELEMENT9* b) {
    return a.size() == DeclarationLength(b) &&
           std::memcmp(a.data(), b, a.size() * sizeof(D3DVERTEXELEMENT9)) == 0;
}

// The size of a new buffer: one mesh's own, or the shared size the device allows.
std::uint32_t NewBufferEntries(std::uint32_t needed, bool ownBuffer, std::uint32_t deviceLimit) {
    if (ownBuffer) return needed;
    return std::min(deviceLimit, std::max(needed, kSharedEntries));
}

std::uint32_t DeviceIndexLimit() {
    const DWORD limit = g_Object3D.caps.MaxVertexIndex;
    return limit ? static_cast<std::uint32_t>(limit) : kSharedEntries;
}

// Buffers of a given size, halved after each failure; null when none can be made.
template <typename Create> auto CreateHalving(std::uint32_t& entries, Create&& create) {
    for (; entries > 0; entries /= 2)
        if (auto* buffer = create(entries)) return buffer;
    return decltype(create(entries)){nullptr};
}

// The chains are linked both ways and know their tails: placing or dropping one of thousands of
// buffers never walks the others. Each entry sits in its chain of every buffer and, when it takes
// more meshes, in the chain of the shared ones, through the other pair of links.
template <typename T> struct Links {
    T* T::*next;
    T* T::*previous;
};
template <typename Entry> constexpr Links<Entry> kEvery{&Entry::next, &Entry::previous};
template <typename Entry>
constexpr Links<Entry> kShared{&Entry::nextShared, &Entry::previousShared};

template <typename T> void Append(T*& head, T*& tail, T* entry, Links<T> l) {
    entry->*l.previous = tail;
    entry->*l.next = nullptr;
    (tail ? tail->*l.next : head) = entry;
    tail = entry;
}

template <typename T> void Unlink(T*& head, T*& tail, T* entry, Links<T> l) {
    T* const next = entry->*l.next;
    T* const previous = entry->*l.previous;
    (previous ? previous->*l.next : head) = next;
    (next ? next->*l.previous : tail) = previous;
    entry->*l.next = entry->*l.previous = nullptr;
}

bool CopyDeclaration(std::vector<D3DVERTEXELEMENT9>& to, const D3DVERTEXELEMENT9* from) noexcept {
    try {
        to.assign(from, from + DeclarationLength(from));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// An entry's items are linked through one of the item's two pairs of links; the list needs no
// tail, its order counts for nothing.
constexpr Links<DrawItem> kVertexItems{&DrawItem::vertexNext, &DrawItem::vertexPrevious};
constexpr Links<DrawItem> kIndexItems{&DrawItem::indexNext, &DrawItem::indexPrevious};

void ListItem(DrawItem*& first, DrawItem* item, Links<DrawItem> l) {
    item->*l.previous = nullptr;
    item->*l.next = first;
    if (first) first->*l.previous = item;
    first = item;
}

void UnlistItem(DrawItem*& first, DrawItem* item, Links<DrawItem> l) {
    DrawItem* noTail = nullptr;
    if (first == item || item->*l.previous) Unlink(first, noTail, item, l);
}

// Calls fn on every mesh in the object's frame slots.
template <typename Fn> void ForEachSlotMesh(ObjectRecord* object, Fn&& fn) {
    for (std::int32_t f = 0; object && object->frames && f < object->frameCount; ++f) {
        FrameRecord* frame = object->frames[f];
        for (int slot = 0; frame && slot < kFrameMeshSlots; ++slot)
            if (MeshRecord* mesh = frame->MeshSlot(slot)) fn(mesh);
    }
}

// The entries a removal takes away, chained through the entries themselves, in the order they
// were found; the ones whose items are not yet evicted start at unvisited.
template <typename Entry> struct GoingChain {
    Entry* first = nullptr;
    Entry* last = nullptr;
    Entry* unvisited = nullptr;

    void Add(Entry* e) {
        if (!e || e->going) return;
        e->going = true;
        e->nextGoing = nullptr;
        (last ? last->nextGoing : first) = e;
        last = e;
        if (!unvisited) unvisited = e;
    }
    Entry* Visit() {
        Entry* e = unvisited;
        if (e) unvisited = e->nextGoing;
        return e;
    }
    // The marks go, the entries stay.
    void Unmark() {
        for (Entry* e = first; e; e = e->nextGoing)
            e->going = false;
        first = last = unvisited = nullptr;
    }
};

// Marks the entries a removal of the object's meshes would take away, as TakeOutOfBuffers finds
// them, but leaves every item where it is.
void MarkGoing(ObjectRecord* object, GoingChain<VertexBufferEntry>& vertexGoing,
               GoingChain<IndexBufferEntry>& indexGoing) {
    auto mark = [&](const DrawItem* item) {
        vertexGoing.Add(item->vertexEntry);
        indexGoing.Add(item->indexEntry);
    };
    ForEachSlotMesh(object, [&](MeshRecord* mesh) {
        if (mesh->drawItem) mark(mesh->drawItem);
    });
    for (;;) {
        if (VertexBufferEntry* e = vertexGoing.Visit()) {
            for (DrawItem* item = e->items; item; item = item->vertexNext)
                mark(item);
        } else if (IndexBufferEntry* e = indexGoing.Visit()) {
            for (DrawItem* item = e->items; item; item = item->indexNext)
                mark(item);
        } else {
            break;
        }
    }
}

// The draw counts the mesh's own data can hold: larger ones (from a damaged file, say) would draw
// the buffer-mates' geometry or read past the buffer.
void SetDrawCounts(DrawItem* item, const MeshRecord* mesh) {
    item->primitiveCount = DrawablePrimitives(mesh);
    item->vertexCount = std::clamp(mesh->drawVertexCount, 0, std::max(mesh->vertexCount, 0));
}

} // namespace

std::int32_t DrawablePrimitives(const MeshRecord* mesh) {
    const bool indexed = mesh->indices && mesh->indexCount > 0;
    const std::int64_t points = indexed ? mesh->indexCount : mesh->vertexCount;
    std::int64_t most = 0;
    switch (mesh->primitiveType) {
    case D3DPT_POINTLIST:
        most = points;
        break;
    case D3DPT_LINELIST:
        most = points / 2;
        break;
    case D3DPT_LINESTRIP:
        most = points - 1;
        break;
    case D3DPT_TRIANGLELIST:
        most = points / 3;
        break;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        most = points - 2;
        break;
    default:
        break;
    }
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(mesh->drawPrimitiveCount, 0, std::max<std::int64_t>(most, 0)));
}

std::uint32_t NewVertexBufferEntries(std::uint32_t vertexCount, std::uint32_t indexCount,
                                     bool ownBuffer) {
    // An indexed mesh's buffer stays within what 16-bit indices reach.
    const std::uint32_t limit = DeviceIndexLimit();
    return NewBufferEntries(vertexCount, ownBuffer,
                            indexCount && limit > kSharedEntries ? kSharedEntries : limit);
}

std::uint32_t NewIndexBufferEntries(std::uint32_t indexCount, bool ownBuffer) {
    return NewBufferEntries(indexCount, ownBuffer, DeviceIndexLimit());
}

template <typename Fn> void ObjectManager::ForEachLiveMesh(Fn&& fn) {
    const Object3DState& s = g_Object3D;
    for (std::int32_t i = 0; i < s.usedCount; ++i) {
        ObjectRecord* object = ObjectAt(s.usedNumbers[i]);
        if (!object) continue;
        for (std::int32_t f = 0; f < object->frameCount && object->frames; ++f) {
            FrameRecord* frame = object->frames[f];
            if (!frame) continue;
            for (int slot = 0; slot < kFrameMeshSlots; ++slot)
                if (MeshRecord* mesh = frame->MeshSlot(slot)) fn(object, mesh);
        }
    }
}

VertexBufferEntry* ObjectManager::FindOrCreateVertexBuffer(std::uint32_t fvf,
                                                           const D3DVERTEXELEMENT9* declaration,
                                                           std::uint32_t stride,
                                                           std::uint32_t vertexCount,
                                                           std::uint32_t indexCount, bool ownBuffer,
                                                           std::int32_t primitiveType) {
    IDirect3DDevice9* device = g_Object3D.device;
    if (!device || (fvf == 0 && !declaration) || stride == 0 || vertexCount == 0) return nullptr;
    const DWORD maxPrimitives = g_Object3D.caps.MaxPrimitiveCount;
    if ((indexCount ? indexCount : vertexCount) / 3 > maxPrimitives) return nullptr;
    const bool points = primitiveType == D3DPT_POINTLIST;
    // Fill levels are counted in words: a mesh of vertices of another size could not start where
    // the one before it ends, so it takes a buffer of its own.
    if (stride % 4 != 0) ownBuffer = true;
    if (!ownBuffer) {
        for (VertexBufferEntry* e = sharedVertexBuffers; e; e = e->nextShared) {
            if (e->going || e->fvf != fvf || e->stride != stride || e->points != points) continue;
            if (fvf == 0 && !SameDeclaration(e->declaration, declaration)) continue;
            if (e->usedVertices + vertexCount < e->capacity) return e;
        }
    }
    std::uint32_t entries = NewVertexBufferEntries(vertexCount, indexCount, ownBuffer);
    const DWORD usage = D3DUSAGE_WRITEONLY | (points ? D3DUSAGE_POINTS : 0);
    IDirect3DVertexBuffer9* buffer = CreateHalving(entries, [&](std::uint32_t n) {
        IDirect3DVertexBuffer9* b = nullptr;
        if (static_cast<std::uint64_t>(n) * stride > 0x7FFFFFFFu) return b;
        device->CreateVertexBuffer(n * stride, usage, fvf, D3DPOOL_DEFAULT, &b, nullptr);
        return b;
    });
    if (!buffer) return nullptr;
    if (entries < vertexCount) {
        buffer->Release();
        return nullptr;
    }
    auto* entry = new (std::nothrow) VertexBufferEntry;
    if (!entry) {
        buffer->Release();
        return nullptr;
    }
    entry->fvf = fvf;
    if (fvf == 0 && !CopyDeclaration(entry->declaration, declaration)) {
        buffer->Release();
        delete entry;
        return nullptr;
    }
    entry->capacity = entries;
    entry->stride = stride;
    entry->points = points;
    entry->buffer = buffer;
    entry->own = ownBuffer;
    if (!ownBuffer)
        Append(sharedVertexBuffers, sharedVertexTail, entry, kShared<VertexBufferEntry>);
    Append(vertexBuffers, vertexTail, entry, kEvery<VertexBufferEntry>);
    return entry;
}

IndexBufferEntry* ObjectManager::FindOrCreateIndexBuffer(std::uint32_t indexCount, bool ownBuffer) {
    IDirect3DDevice9* device = g_Object3D.device;
    if (!device || indexCount == 0) return nullptr;
    if (!ownBuffer) {
        for (IndexBufferEntry* e = sharedIndexBuffers; e; e = e->nextShared)
            if (!e->going && e->used + indexCount < e->capacity) return e;
    }
    std::uint32_t entries = NewIndexBufferEntries(indexCount, ownBuffer);
    IDirect3DIndexBuffer9* buffer = CreateHalving(entries, [&](std::uint32_t n) {
        IDirect3DIndexBuffer9* b = nullptr;
        device->CreateIndexBuffer(n * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &b,
                                  nullptr);
        return b;
    });
    if (!buffer) return nullptr;
    if (entries < indexCount) {
        buffer->Release();
        return nullptr;
    }
    auto* entry = new (std::nothrow) IndexBufferEntry;
    if (!entry) {
        buffer->Release();
        return nullptr;
    }
    entry->capacity = entries;
    entry->buffer = buffer;
    entry->own = ownBuffer;
    if (!ownBuffer) Append(sharedIndexBuffers, sharedIndexTail, entry, kShared<IndexBufferEntry>);
    Append(indexBuffers, indexTail, entry, kEvery<IndexBufferEntry>);
    return entry;
}

DrawItem* ObjectManager::PlaceMesh(MeshRecord* mesh, bool ownBuffer) {
    if (!mesh->vertices || mesh->vertexCount <= 0) return nullptr;
    VertexBufferEntry* const keptVertexTail = vertexTail;
    IndexBufferEntry* const keptIndexTail = indexTail;
    const bool indexed = mesh->indices && mesh->indexCount > 0;
    VertexBufferEntry* vertices = FindOrCreateVertexBuffer(
        mesh->fvf, mesh->fvf ? nullptr : mesh->declaration, mesh->vertexSize,
        static_cast<std::uint32_t>(mesh->vertexCount),
        indexed ? static_cast<std::uint32_t>(mesh->indexCount) : 0, ownBuffer, mesh->primitiveType);
    IndexBufferEntry* indices =
        vertices && indexed
            ? FindOrCreateIndexBuffer(static_cast<std::uint32_t>(mesh->indexCount), ownBuffer)
            : nullptr;
    auto* item = vertices && (indices || !indexed) ? new (std::nothrow) DrawItem : nullptr;
    if (!item) {
        DropEntriesAfter(keptVertexTail, keptIndexTail);
        return nullptr;
    }
    ClearRecord56(item);
    item->mesh = mesh;
    ListItem(vertices->items, item, kVertexItems);
    item->vertexEntry = vertices;
    if (indices) ListItem(indices->items, item, kIndexItems);
    item->indexEntry = indices;
    item->vertexBuffer = vertices->buffer;
    item->indexBuffer = indices ? indices->buffer : nullptr;
    item->primitiveType = mesh->primitiveType;
    item->startVertex = vertices->usedSize * 4 / mesh->vertexSize;
    SetDrawCounts(item, mesh);
    item->stride = mesh->vertexSize;
    if (indices) {
        item->startIndex = indices->used;
        item->baseVertex = vertices->usedVertices;
        item->startVertex -= item->baseVertex;
        CopyIndicesToIndexBuffer16(mesh, indices->buffer, item->startIndex);
        indices->used += static_cast<std::uint32_t>(mesh->indexCount);
    }
    CopyVerticesToVertexBuffer(mesh, vertices->buffer, vertices->usedSize);
    vertices->usedSize += mesh->vertexSize / 4 * static_cast<std::uint32_t>(mesh->vertexCount);
    vertices->usedVertices += static_cast<std::uint32_t>(mesh->vertexCount);
    return item;
}

void ObjectManager::Unplace(DrawItem* item) {
    const MeshRecord* mesh = item->mesh;
    if (VertexBufferEntry* e = item->vertexEntry) {
        e->usedSize -= mesh->vertexSize / 4 * static_cast<std::uint32_t>(mesh->vertexCount);
        e->usedVertices -= static_cast<std::uint32_t>(mesh->vertexCount);
    }
    if (IndexBufferEntry* e = item->indexEntry)
        e->used -= static_cast<std::uint32_t>(mesh->indexCount);
    DeleteDrawItem(item);
}

void ObjectManager::DropEntriesAfter(VertexBufferEntry* keptVertexTail,
                                     IndexBufferEntry* keptIndexTail) {
    while (vertexTail != keptVertexTail)
        RemoveVertexEntry(vertexTail);
    while (indexTail != keptIndexTail)
        RemoveIndexEntry(indexTail);
}

bool ObjectManager::AddMeshToBuffers(MeshRecord* mesh, bool ownBuffer) {
    if (!mesh) return false;
    mesh->reAdd = 0;
    DeleteDrawItem(std::exchange(mesh->drawItem, nullptr));
    mesh->drawItem = PlaceMesh(mesh, ownBuffer);
    return mesh->drawItem != nullptr;
}

bool ObjectManager::AddObjectMeshesToBuffers(ObjectRecord* object) {
    if (!object || !object->frames) return false;
    bool all = true;
    for (std::int32_t f = 0; f < object->frameCount; ++f) {
        FrameRecord* frame = object->frames[f];
        if (!frame) continue;
        for (int slot = 0; slot < kFrameMeshSlots; ++slot)
            if (MeshRecord* mesh = frame->MeshSlot(slot))
                all = AddMeshToBuffers(mesh, object->ownBuffers != 0) && all;
    }
    return all;
}

bool ObjectManager::ReplaceObjectMeshes(ObjectRecord* object) {
    if (!object || !object->frames) return false;
    std::size_t meshes = 0;
    ForEachSlotMesh(object, [&](MeshRecord*) { ++meshes; });
    std::vector<DrawItem*> made;
    try {
        made.reserve(meshes);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The new places are found as if the old ones had gone: no buffer that goes with them takes
    // a new item.
    GoingChain<VertexBufferEntry> vertexGoing;
    GoingChain<IndexBufferEntry> indexGoing;
    MarkGoing(object, vertexGoing, indexGoing);
    VertexBufferEntry* const keptVertexTail = vertexTail;
    IndexBufferEntry* const keptIndexTail = indexTail;
    const bool own = object->ownBuffers != 0;
    bool all = true;
    ForEachSlotMesh(object, [&](MeshRecord* mesh) {
        DrawItem* item = all ? PlaceMesh(mesh, own) : nullptr;
        all = item != nullptr;
        if (item) made.push_back(item);
    });
    vertexGoing.Unmark();
    indexGoing.Unmark();
    if (!all) {
        for (auto it = made.rbegin(); it != made.rend(); ++it)
            Unplace(*it);
        DropEntriesAfter(keptVertexTail, keptIndexTail);
        return false;
    }
    RemoveObjectMeshesFromBuffers(object);
    for (DrawItem* item : made) {
        item->mesh->reAdd = 0;
        // A mesh in two slots keeps its last place, as when it is added twice.
        DeleteDrawItem(std::exchange(item->mesh->drawItem, item));
    }
    return true;
}

void ObjectManager::RemoveVertexEntry(VertexBufferEntry* entry) {
    Unlink(vertexBuffers, vertexTail, entry, kEvery<VertexBufferEntry>);
    if (!entry->own)
        Unlink(sharedVertexBuffers, sharedVertexTail, entry, kShared<VertexBufferEntry>);
    for (DrawItem* item = entry->items; item; item = item->vertexNext)
        item->vertexEntry = nullptr;
    if (entry->locked) entry->buffer->Unlock();
    if (entry->buffer) entry->buffer->Release();
    delete entry;
}

void ObjectManager::RemoveIndexEntry(IndexBufferEntry* entry) {
    Unlink(indexBuffers, indexTail, entry, kEvery<IndexBufferEntry>);
    if (!entry->own) Unlink(sharedIndexBuffers, sharedIndexTail, entry, kShared<IndexBufferEntry>);
    for (DrawItem* item = entry->items; item; item = item->indexNext)
        item->indexEntry = nullptr;
    if (entry->buffer) entry->buffer->Release();
    delete entry;
}

template <typename EachMesh> std::size_t ObjectManager::TakeOutOfBuffers(EachMesh&& eachMesh) {
    GoingChain<VertexBufferEntry> vertexGoing;
    GoingChain<IndexBufferEntry> indexGoing;
    auto mark = [&](const DrawItem* item) {
        vertexGoing.Add(item->vertexEntry);
        indexGoing.Add(item->indexEntry);
    };
    eachMesh([&](MeshRecord* mesh) {
        if (!mesh || !mesh->drawItem) return;
        mark(mesh->drawItem);
        DeleteDrawItem(std::exchange(mesh->drawItem, nullptr));
    });
    // A buffer that goes takes its mates' places with it: they are placed again later, and the
    // further buffers they sit in go too. Each item is looked at once, in the lists of the
    // buffers that go.
    std::size_t mates = 0;
    auto evict = [&](auto* entry) {
        while (DrawItem* item = entry->items) {
            mark(item);
            if (MeshRecord* mate = item->mesh; mate && mate->drawItem == item) {
                mate->drawItem = nullptr;
                mate->reAdd = 1;
                ++mates;
            }
            DeleteDrawItem(item);
        }
    };
    for (;;) {
        if (VertexBufferEntry* e = vertexGoing.Visit())
            evict(e);
        else if (IndexBufferEntry* e = indexGoing.Visit())
            evict(e);
        else
            break;
    }
    while (VertexBufferEntry* e = vertexGoing.first) {
        vertexGoing.first = e->nextGoing;
        RemoveVertexEntry(e);
    }
    while (IndexBufferEntry* e = indexGoing.first) {
        indexGoing.first = e->nextGoing;
        RemoveIndexEntry(e);
    }
    waitingMates += mates;
    return mates;
}

void ObjectManager::RemoveMeshFromBuffers(MeshRecord* mesh) {
    if (mesh && mesh->drawItem) TakeOutOfBuffers([mesh](auto&& fn) { fn(mesh); });
}

void ObjectManager::RemoveMeshesFromBuffers(const std::vector<MeshRecord*>& meshes) {
    TakeOutOfBuffers([&meshes](auto&& fn) {
        for (MeshRecord* mesh : meshes)
            fn(mesh);
    });
}

void ObjectManager::RemoveObjectMeshesFromBuffers(ObjectRecord* object) {
    TakeOutOfBuffers([object](auto&& fn) { ForEachSlotMesh(object, fn); });
}

void ObjectManager::RefreshChangedMeshBuffers() {
    // Only meshes that lost their place to a buffer that went wait to be placed again.
    if (waitingMates == 0) return;
    waitingMates = 0;
    ForEachLiveMesh([this](ObjectRecord* object, MeshRecord* mesh) {
        if (object->rebuild || !mesh->reAdd) return;
        AddMeshToBuffers(mesh, object->ownBuffers != 0);
    });
}

void ObjectManager::RemoveObject(ObjectRecord* object) {
    if (!object) return;
    RemoveObjectMeshesFromBuffers(object);
    // The object's own meshes go with it and must not be placed again.
    ForEachSlotMesh(object, [](MeshRecord* mesh) { mesh->reAdd = 0; });
    RefreshChangedMeshBuffers();
    MarkListDirty();
}

void ObjectManager::ApplyChanges() {
    if (!rebuildNeeded) return;
    const Object3DState& s = g_Object3D;
    for (std::int32_t i = 0; i < s.usedCount; ++i)
        if (ObjectRecord* o = ObjectAt(s.usedNumbers[i]); o && o->rebuild)
            RemoveObjectMeshesFromBuffers(o);
    RefreshChangedMeshBuffers();
    for (std::int32_t i = 0; i < s.usedCount; ++i) {
        ObjectRecord* o = ObjectAt(s.usedNumbers[i]);
        if (!o || !o->rebuild) continue;
        AddObjectMeshesToBuffers(o);
        o->rebuild = 0;
    }
    MarkListDirty();
    rebuildNeeded = 0;
}

bool ObjectManager::UpdateMeshVertices(MeshRecord* mesh) {
    DrawItem* item = mesh ? mesh->drawItem : nullptr;
    if (!item || !item->vertexEntry || !mesh->vertices) return false;
    VertexBufferEntry* entry = item->vertexEntry;
    const std::uint64_t first = static_cast<std::uint64_t>(item->startVertex) + item->baseVertex;
    // A mesh grown since it was placed would write into its neighbours: it waits for its rebuild.
    if (first + static_cast<std::uint64_t>(mesh->vertexCount) > entry->capacity ||
        mesh->vertexSize != entry->stride)
        return false;
    if (!entry->locked) {
        void* data = nullptr;
        if (FAILED(entry->buffer->Lock(0, 0, &data, 0)) || !data) return false;
        entry->locked = 1;
        entry->lockedData = static_cast<std::uint8_t*>(data);
    }
    std::memcpy(entry->lockedData + first * entry->stride, mesh->vertices,
                static_cast<std::size_t>(mesh->vertexCount) * entry->stride);
    SetDrawCounts(item, mesh);
    IndexBufferEntry* indices = item->indexEntry;
    if (indices && mesh->indices && mesh->indexCount > 0 &&
        item->startIndex + static_cast<std::uint64_t>(mesh->indexCount) <= indices->capacity)
        CopyIndicesToIndexBuffer16(mesh, indices->buffer, item->startIndex);
    return true;
}

bool CopyMeshVertexRangeToBuffer(MeshRecord* mesh, std::int32_t first, std::int32_t last) {
    const DrawItem* item = mesh ? mesh->drawItem : nullptr;
    if (!item || !item->vertexEntry || !mesh->vertices || first < 0 || last > mesh->vertexCount ||
        first >= last)
        return false;
    const VertexBufferEntry* entry = item->vertexEntry;
    const std::uint64_t at = static_cast<std::uint64_t>(item->startVertex) + item->baseVertex +
                             static_cast<std::uint64_t>(first);
    const std::uint32_t count = static_cast<std::uint32_t>(last - first);
    if (at + count > entry->capacity || mesh->vertexSize != entry->stride) return false;
    void* data = nullptr;
    if (FAILED(entry->buffer->Lock(static_cast<UINT>(at * entry->stride), count * entry->stride,
                                   &data, 0)) ||
        !data)
        return false;
    std::memcpy(data, mesh->vertices + static_cast<std::size_t>(first) * entry->stride,
                static_cast<std::size_t>(count) * entry->stride);
    entry->buffer->Unlock();
    return true;
}

void ObjectManager::UnlockVertexBuffers() {
    for (VertexBufferEntry* e = vertexBuffers; e; e = e->next) {
        if (!e->locked) continue;
        e->buffer->Unlock();
        e->locked = 0;
        e->lockedData = nullptr;
    }
}

void ObjectManager::RefreshUpdatedMeshes() {
    ForEachLiveMesh([this](ObjectRecord*, MeshRecord* mesh) {
        if (!mesh->verticesChanged) return;
        UpdateMeshVertices(mesh);
        mesh->verticesChanged = 0;
    });
    UnlockVertexBuffers();
}

void ObjectManager::RefreshIfMeshChanged(ObjectRecord* object) {
    if (!object || !object->frames) return;
    bool changed = false;
    for (std::int32_t f = 0; f < object->frameCount; ++f) {
        FrameRecord* frame = object->frames[f];
        for (int slot = 0; frame && slot < kFrameMeshSlots; ++slot) {
            MeshRecord* mesh = frame->MeshSlot(slot);
            if (mesh && mesh->needsRebuild) {
                mesh->needsRebuild = 0;
                changed = true;
            }
        }
    }
    if (changed) MarkObjectChanged(object);
}

void ObjectManager::MarkObjectChanged(ObjectRecord* object) {
    if (!object) return;
    object->rebuild = 1;
    rebuildNeeded = 1;
}

void ObjectManager::ApplyToAllMeshes(IDirect3DTexture9* before, IDirect3DTexture9* after) {
    ForEachLiveMesh([before, after](ObjectRecord*, MeshRecord* mesh) {
        ReplaceTextureReference(mesh, before, after);
    });
}

void ObjectManager::ReleaseBufferChains() {
    // Meshes may outlive the buffers (a device reset): their items forget the entries.
    while (vertexBuffers)
        RemoveVertexEntry(vertexBuffers);
    while (indexBuffers)
        RemoveIndexEntry(indexBuffers);
    waitingMates = 0;
}

void DeleteDrawItem(DrawItem* item) {
    if (!item) return;
    if (item->vertexEntry) UnlistItem(item->vertexEntry->items, item, kVertexItems);
    if (item->indexEntry) UnlistItem(item->indexEntry->items, item, kIndexItems);
    delete item;
}
