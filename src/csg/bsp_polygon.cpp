#include "csg/bsp_polygon.h"

#include <cstring>

BspPolygon::~BspPolygon() {
    Clear();
}

int BspPolygon::AddVertices(int n) {
    if (n < 1) return -1;
    const int old = count;
    BspVertex* grown = static_cast<BspVertex*>(
        BspAllocateArray(static_cast<std::size_t>(old) + n, sizeof(BspVertex)));
    if (old) std::memcpy(grown, vertices, static_cast<std::size_t>(old) * sizeof(BspVertex));
    for (int i = old; i < old + n; ++i)
        grown[i] = BspVertex();
    BspRelease(vertices);
    vertices = grown;
    count = old + n;
    return old;
}

void BspPolygon::Clear() {
    BspRelease(vertices);
    vertices = nullptr;
    count = 0;
}

bool BspPolygon::InsertVertex(int at) {
    if (at < 0 || at > count) return false;
    AddVertices(1);
    std::memmove(vertices + at + 1, vertices + at,
                 static_cast<std::size_t>(count - 1 - at) * sizeof(BspVertex));
    vertices[at] = BspVertex();
    return true;
}

void BspPolygon::SetVertices(const BspVertex* source, int n) {
    if (!source || n < 1) {
        Clear();
        return;
    }
    BspBlock<BspVertex> copy(static_cast<std::size_t>(n));
    std::memcpy(copy.Get(), source, static_cast<std::size_t>(n) * sizeof(BspVertex));
    AdoptVertices(copy.Release(), n);
}

void BspPolygon::AdoptVertices(BspVertex* array, int n) {
    BspRelease(vertices);
    vertices = array;
    count = array ? n : 0;
}

void BspPolygon::SnapToPlane(const BspPlane& plane) {
    for (int i = 0; i < count; ++i) {
        BspVector& p = vertices[i].position;
        p += plane.normal * (plane.d - plane.normal.Dot(p));
    }
}

bool BspFacePolygon::InitFromPlaneKeepingNormal(const BspPlane& plane, const BspBounds& bounds) {
    if (!BspPolygon::InitFromPlane(plane, bounds)) return false;
    faceNormal = plane.normal;
    return true;
}

void BspFacePolygon::CopyFaceFrom(const BspFacePolygon& source) {
    faceNormal = source.faceNormal;
    std::memcpy(attributes, source.attributes, sizeof attributes);
}

int BspFacePolygon::SplitKeepingAttributes(const BspPlane& plane, BspFacePolygon* front,
                                           BspFacePolygon* back) {
    const int result = Split(plane, front, back);
    if (result < 0) return result;
    if (front) front->CopyFaceFrom(*this);
    if (back) back->CopyFaceFrom(*this);
    return result;
}

int BspTreePolygon::SplitKeepingTreeFields(const BspPlane& plane, BspTreePolygon* front,
                                           BspTreePolygon* back) {
    const int result = SplitKeepingAttributes(plane, front, back);
    if (result < 0) return result;
    for (BspTreePolygon* part : {front, back}) {
        if (!part) continue;
        part->splitterMark = splitterMark;
        part->polygonId = polygonId;
        part->planeIndex = planeIndex;
    }
    return result;
}

int BspPortal::SplitKeepingPortalFields(const BspPlane& plane, BspPortal* front, BspPortal* back) {
    const int result = Split(plane, front, back);
    if (result < 0) return result;
    for (BspPortal* part : {front, back}) {
        if (!part) continue;
        part->leafCount = leafCount;
        part->nodeIndex = nodeIndex;
        part->frontLeaf = frontLeaf;
        part->backLeaf = backLeaf;
    }
    return result;
}

std::unique_ptr<BspTreePolygon> NewBspPolygon(const BspFacePolygon* source) {
    auto polygon = std::make_unique<BspTreePolygon>();
    if (source) {
        polygon->CopyFaceFrom(*source);
        polygon->CopyVerticesFrom(*source);
    }
    return polygon;
}

std::unique_ptr<BspPortal> NewBspPortal() {
    return std::make_unique<BspPortal>();
}

int CountBspPolygons(const BspTreePolygon* list) {
    int unmarked = 0;
    for (; list; list = list->next)
        if (!list->splitterMark) ++unmarked;
    return unmarked;
}

BspPolygonSet::~BspPolygonSet() {
    Clear();
}

void BspPolygonSet::Clear() {
    for (int i = 0; i < count; ++i)
        delete polygons[i];
    BspRelease(polygons);
    polygons = nullptr;
    count = 0;
}

int BspPolygonSet::Grow(int n) {
    if (n < 1) return -1;
    const std::size_t total = static_cast<std::size_t>(count) + static_cast<std::size_t>(n);
    BspBlock<BspFacePolygon*> grown(total);
    std::size_t made = count;
    if (count) std::memcpy(grown.Get(), polygons, static_cast<std::size_t>(count) * sizeof(void*));
    try {
        for (; made < total; ++made)
            grown[made] = new BspFacePolygon();
    } catch (...) {
        for (std::size_t i = count; i < made; ++i)
            delete grown[i];
        throw;
    }
    BspRelease(polygons);
    polygons = grown.Release();
    const int first = count;
    count = static_cast<std::int32_t>(total);
    return first;
}

void BspPolygonSet::ComputeBounds() {
    bounds.Reset();
    for (int i = 0; i < count; ++i)
        if (polygons[i]) polygons[i]->GrowBounds(bounds);
}

BspPolygonBuffer::BspPolygonBuffer(std::uint16_t bytes) : size(bytes) {
    secondBuffer = BspAllocate(bytes);
}

BspPolygonBuffer::~BspPolygonBuffer() {
    ReleaseBuffers();
}

bool BspPolygonBuffer::Resize(std::uint16_t bytes) {
    BspRelease(secondBuffer);
    secondBuffer = nullptr;
    size = bytes;
    try {
        secondBuffer = BspAllocate(bytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void BspPolygonBuffer::ReleaseBuffers() {
    BspRelease(buffer);
    BspRelease(secondBuffer);
    buffer = secondBuffer = nullptr;
}
