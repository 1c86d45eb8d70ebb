// The tree's storage: what it owns, how polygons are queued for a build, and its accessors.
#include "csg/bsp_tree.h"

#include <new>

namespace {

template <class T> void DeleteAll(BspArray<T*>& items) {
    for (int i = 0; i < items.Count(); ++i)
        delete items[i];
    items.RemoveAll();
}

} // namespace

void BspNode::GrowBounds(const BspTreePolygon* list, bool resetFirst) {
    if (resetFirst) bounds.Reset();
    for (; list; list = list->next)
        list->GrowBounds(bounds);
}

void BspLeaf::AddPolygons(const BspTreePolygon* list) {
    bounds.Reset();
    for (; list; list = list->next) {
        if (!polygonIds.Contains(list->polygonId)) polygonIds.Append(list->polygonId);
        list->GrowBounds(bounds);
    }
    idCount = polygonIds.Count();
}

void BspLeaf::AddPortal(int portalIndex) {
    portals.Append(portalIndex);
    portalCount = portals.Count();
}

BspTree::~BspTree() {
    Clear();
}

void BspTree::Clear() {
    DeleteList(buildList_);
    DeleteAll(nodes_);
    for (int i = 0; i < planes_.Count(); ++i)
        BspRelease(planes_[i]);
    planes_.RemoveAll();
    DeleteAll(leaves_);
    DeleteAll(polygons_);
    DeleteAll(portals_);
    DeleteAll(pending_);
    polygonCounter_ = 0;
    bounds_.Reset();
}

void BspTree::DeleteList(BspTreePolygon*& list, bool countDown) {
    while (BspTreePolygon* p = list) {
        list = p->next;
        delete p;
        if (countDown) --polygonCounter_;
    }
}

void BspTree::SetPlane(int i, const BspPlane& plane) {
    if (BspPlane* entry = GetPlane(i)) *entry = plane;
}

int BspTree::AppendPolygon(std::unique_ptr<BspTreePolygon> polygon) {
    if (!polygon) return -1;
    polygons_.Append(polygon.get());
    polygon.release();
    return polygons_.Count() - 1;
}

int BspTree::AppendPortal(std::unique_ptr<BspPortal> portal) {
    if (!portal) return -1;
    portals_.Append(portal.get());
    portal.release();
    return portals_.Count() - 1;
}

const BspPlane* BspTree::PlaneOf(const BspNode* node) const {
    return node ? GetPlane(node->planeIndex) : nullptr;
}

// Gives the polygon the next id and puts it at the head of the build list, and a copy of it
// into the polygon vector when asked.
void BspTree::QueuePolygon(std::unique_ptr<BspTreePolygon> polygon, bool copy) {
    polygon->polygonId = polygonCounter_;
    if (copy) {
        auto kept = NewBspPolygon(polygon.get());
        kept->polygonId = polygonCounter_;
        AppendPolygon(std::move(kept));
    }
    ++polygonCounter_;
    polygon->next = buildList_;
    buildList_ = polygon.release();
}

int BspTree::AddPolygons(BspFacePolygon* const* polygons, int count, bool copy) {
    if (!polygons || count < 1) return 1;
    if (!buildList_) Clear();
    if (settings_.storageMode == 1) copy = false;
    try {
        for (int i = 0; i < count; ++i) {
            const BspFacePolygon* source = polygons[i];
            // A polygon without vertices has no place to be split at.
            if (!source || source->count < 1 || !source->vertices) continue;
            QueuePolygon(NewBspPolygon(source), copy);
        }
    } catch (...) {
        Clear();
        throw;
    }
    return 0;
}

int BspTree::MakeEnclosingBoxPolygons(bool copy) {
    // There is nothing to enclose without polygons: their empty box would turn inside out.
    if (!buildList_) return 1;
    if (settings_.storageMode == 1) copy = false;
    BspBounds box;
    for (const BspTreePolygon* p = buildList_; p; p = p->next)
        p->GrowBounds(box);
    box.lowest -= BspVector(10, 10, 10);
    box.highest += BspVector(10, 10, 10);
    const BspVector c = box.Centre();
    const BspVector h = box.Size() / 2.0f;

    // Each face wound so that its fan normal is its face normal, facing into the box.
    struct Face {
        BspVector normal;
        float corners[4][3];
    };
    static const Face kFaces[6] = {
        {{0, -1, 0}, {{-1, 1, -1}, {1, 1, -1}, {1, 1, 1}, {-1, 1, 1}}},
        {{0, 1, 0}, {{-1, -1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, -1, -1}}},
        {{1, 0, 0}, {{-1, -1, -1}, {-1, 1, -1}, {-1, 1, 1}, {-1, -1, 1}}},
        {{-1, 0, 0}, {{1, -1, -1}, {1, -1, 1}, {1, 1, 1}, {1, 1, -1}}},
        {{0, 0, 1}, {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}}},
        {{0, 0, -1}, {{-1, -1, 1}, {-1, 1, 1}, {1, 1, 1}, {1, -1, 1}}},
    };
    for (const Face& face : kFaces) {
        auto polygon = NewBspPolygon();
        polygon->faceNormal = face.normal;
        polygon->AddVertices(4);
        for (int k = 0; k < 4; ++k) {
            const float* s = face.corners[k];
            BspVertex& v = polygon->vertices[k];
            v.position = c + BspVector(s[0] * h.x, s[1] * h.y, s[2] * h.z);
            v.normal = face.normal;
        }
        QueuePolygon(std::move(polygon), copy);
    }
    return 0;
}
