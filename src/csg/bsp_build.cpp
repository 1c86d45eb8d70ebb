// Compiling a tree: shared planes, splitter choice, the node build and the leaves.
#include "csg/bsp_tree.h"

#include <cmath>
#include <new>

namespace {

constexpr float kPlaneMatch = 1e-5f;
constexpr int kNoBestScore = 10000000;

// Scores beyond the int range (an extreme split weight) would not convert; any score that
// large is the worst a candidate can get.
int ScoreToInt(float score) {
    constexpr float kWorst = 9999999.0f;
    if (!(score < kWorst)) return static_cast<int>(kWorst);
    if (score < -kWorst) return -static_cast<int>(kWorst);
    return static_cast<int>(score);
}

BspVector Centroid(const BspPolygon& p) {
    BspVector sum;
    for (int i = 0; i < p.count; ++i)
        sum += p.vertices[i].position;
    return p.count ? sum / static_cast<float>(p.count) : sum;
}

void Prepend(BspTreePolygon*& list, BspTreePolygon* p) {
    p->next = list;
    list = p;
}

} // namespace

// The polygons a call of the node build holds: the unprocessed rest of its input and the two
// lists it is filling. Each polygon is held by exactly one list at a time, so a failure can
// gather every one of them without repeats.
struct BspTree::WorkLists {
    BspTreePolygon* rest = nullptr;
    BspTreePolygon* front = nullptr;
    BspTreePolygon* back = nullptr;
};

// A node still to be built with its list; backOf >= 0 asks for a new node as the back child of
// that node first.
struct BspTree::BuildTask {
    int node;
    int backOf;
    BspTreePolygon* list;
};

BspTreePolygon* ChooseBspSplitter(BspTreePolygon* list, int candidateLimit, float splitWeight) {
    BspTreePolygon* best = nullptr;
    int bestScore = kNoBestScore;
    int tried = 0;
    for (BspTreePolygon* c = list; c; c = c->next) {
        if (c->splitterMark || c->count < 1 || !c->vertices) continue;
        const BspPlane plane = BspPlane::FromPointNormal(c->faceNormal, c->vertices[0].position);
        int front = 0, back = 0, spanning = 0;
        for (const BspTreePolygon* p = list; p; p = p->next) {
            switch (p->Classify(plane)) {
            case kBspFront:
                ++front;
                break;
            case kBspBack:
                ++back;
                break;
            case kBspSpanning:
                ++spanning;
                break;
            default:
                break;
            }
        }
        const int score =
            ScoreToInt(std::fabs(static_cast<float>(front - back)) + spanning * splitWeight);
        if (score < bestScore) {
            bestScore = score;
            best = c;
        }
        ++tried;
        if (candidateLimit != 0 && tried >= candidateLimit && best) break;
    }
    return best;
}

int BspTree::FindOrAddPlane(const BspPlane& candidate) {
    for (int i = 0; i < planes_.Count(); ++i) {
        const BspPlane& plane = *planes_[i];
        if (std::fabs(plane.d - candidate.d) < kPlaneMatch &&
            plane.normal.NearlyEqual(candidate.normal, kPlaneMatch))
            return i;
    }
    auto* plane = static_cast<BspPlane*>(BspAllocate(sizeof(BspPlane)));
    new (plane) BspPlane(candidate);
    try {
        planes_.Append(plane);
    } catch (...) {
        BspRelease(plane);
        throw;
    }
    return planes_.Count() - 1;
}

void BspTree::PreparePlanes() {
    for (BspTreePolygon* p = buildList_; p; p = p->next) {
        const BspPlane candidate = BspPlane::FromPointNormal(p->faceNormal, Centroid(*p));
        p->planeIndex = FindOrAddPlane(candidate);
        p->SnapToPlane(*planes_[p->planeIndex]);
    }
}

int BspTree::AppendNode() {
    auto node = std::make_unique<BspNode>();
    nodes_.Append(node.get());
    node.release();
    return nodes_.Count() - 1;
}

int BspTree::Build() {
    if (!buildList_) return 1;
    PreparePlanes();
    const int root = AppendNode();
    if (statistics_) {
        statistics_->polygonsBefore = polygonCounter_;
        statistics_->planes = planes_.Count();
    }
    BspTreePolygon* list = buildList_;
    buildList_ = nullptr;
    const int result = BuildNode(root, list);
    if (result < 0) return result;
    if (statistics_) {
        statistics_->polygonsKept = polygons_.Count();
        statistics_->nodes = nodes_.Count();
        statistics_->leaves = leaves_.Count();
    }
    bounds_.Reset();
    for (int i = 0; i < polygons_.Count(); ++i)
        polygons_[i]->GrowBounds(bounds_);
    return 0;
}

// Builds the node and everything below it, depth first with the front side before the back,
// on a stack of its own rather than the call stack: a convex solid of many faces makes a chain
// as deep as its face count. 0 done, 1 when the node itself found no splitter, a negative split
// result as it came. Whatever the build still holds when it stops early is gathered for
// deletion.
int BspTree::BuildNode(int nodeIndex, BspTreePolygon* list) {
    BspArray<BuildTask> tasks;
    WorkLists lists;
    lists.rest = list;
    auto abandon = [&] {
        CollectForDeletion(lists);
        while (!tasks.Empty()) {
            BuildTask task = tasks.PopLast();
            CollectForDeletion(task.list);
        }
    };
    try {
        for (bool top = true;; top = false) {
            const int result = DistributeAtNode(nodeIndex, lists);
            if (result < 0) {
                abandon();
                return result;
            }
            if (result == 0) {
                FinishNode(nodeIndex, lists, tasks);
            } else {
                // No splitter below the root leaves a node without a plane: solid space to
                // every query. The build goes on. (With no splitter nothing was sorted yet.)
                PendList(lists.rest);
                if (top) return 1;
            }
            if (tasks.Empty()) return 0;
            const BuildTask task = tasks.PopLast();
            lists.rest = task.list;
            nodeIndex = task.node;
            if (task.backOf >= 0) {
                nodeIndex = AppendNode();
                nodes_[task.backOf]->backChild = nodeIndex;
            }
        }
    } catch (...) {
        abandon();
        throw;
    }
}

// Chooses the node's splitter and sorts the rest of the list into the front and back lists,
// splitting what spans the plane. 1 when no splitter is left.
int BspTree::DistributeAtNode(int nodeIndex, WorkLists& lists) {
    BspTreePolygon* splitter =
        ChooseBspSplitter(lists.rest, settings_.candidateLimit, settings_.splitWeight);
    if (!splitter || !GetPlane(splitter->planeIndex)) return 1;
    splitter->splitterMark = 1;
    const int planeIndex = splitter->planeIndex;
    const BspPlane plane = *planes_[planeIndex];
    BspNode* node = nodes_[nodeIndex];
    node->planeIndex = planeIndex;

    while (BspTreePolygon* p = lists.rest) {
        const int side = p->planeIndex == planeIndex ? kBspOnPlane : p->Classify(plane);
        if (side == kBspSpanning) {
            auto front = NewBspPolygon();
            auto back = NewBspPolygon();
            const int result = p->SplitKeepingTreeFields(plane, front.get(), back.get());
            if (result < 0) return result;
            const BspPlane& own = *planes_[p->planeIndex];
            front->SnapToPlane(own);
            back->SnapToPlane(own);
            ++polygonCounter_;
            lists.rest = p->next;
            delete p;
            Prepend(lists.front, front.release());
            Prepend(lists.back, back.release());
            continue;
        }
        lists.rest = p->next;
        if (side == kBspOnPlane) {
            p->splitterMark = 1;
            const BspPlane* own = GetPlane(p->planeIndex);
            const bool sameWay = own && own->normal.RoughlyEqual(plane.normal);
            Prepend(sameWay ? lists.front : lists.back, p);
        } else {
            Prepend(side == kBspFront ? lists.front : lists.back, p);
        }
    }
    node->GrowBounds(lists.front, true);
    node->GrowBounds(lists.back, false);
    return 0;
}

// The node's children: a leaf for a front list with nothing left to split by, else a node still
// to build; a node still to build for the back list, unless it is empty, or, when marked
// polygons are dropped, holds nothing unmarked: then the back is solid.
void BspTree::FinishNode(int nodeIndex, WorkLists& lists, BspArray<BuildTask>& tasks) {
    int frontNode = -1;
    if (CountBspPolygons(lists.front) == 0) {
        auto leaf = std::make_unique<BspLeaf>();
        leaves_.Append(leaf.get());
        leaf.release();
        nodes_[nodeIndex]->frontChild = -leaves_.Count();
        MakeLeaf(leaves_.Count() - 1, lists.front);
    } else {
        frontNode = AppendNode();
        nodes_[nodeIndex]->frontChild = frontNode;
    }

    const bool buildBack =
        settings_.dropBackSplitters ? CountBspPolygons(lists.back) > 0 : lists.back != nullptr;
    nodes_[nodeIndex]->backChild = -1;
    if (buildBack) {
        tasks.Append({-1, nodeIndex, lists.back});
        lists.back = nullptr;
    } else {
        DeleteList(lists.back, true);
    }
    // Pushed last, so built first.
    if (frontNode >= 0) {
        tasks.Append({frontNode, -1, lists.front});
        lists.front = nullptr;
    }
}

void BspTree::MakeLeaf(int leafIndex, BspTreePolygon*& list) {
    BspLeaf* leaf = leaves_[leafIndex];
    if (settings_.storageMode == 0) {
        leaf->AddPolygons(list);
        DeleteList(list, true);
        return;
    }
    BspTreePolygon* head = list;
    while (BspTreePolygon* p = list) {
        polygons_.Append(p);
        list = p->next;
        p->polygonId = polygons_.Count() - 1;
    }
    leaf->AddPolygons(head);
}

void BspTree::PendList(BspTreePolygon*& list) {
    while (BspTreePolygon* p = list) {
        pending_.Append(p);
        list = p->next;
        p->next = nullptr;
    }
}

void BspTree::CollectForDeletion(BspTreePolygon*& list) noexcept {
    try {
        PendList(list);
    } catch (const std::bad_alloc&) {
        DeleteList(list); // no room to keep them for later: they go now
    }
}

void BspTree::CollectForDeletion(WorkLists& lists) noexcept {
    CollectForDeletion(lists.rest);
    CollectForDeletion(lists.front);
    CollectForDeletion(lists.back);
}
