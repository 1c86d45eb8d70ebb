// The union of polygon sets: one tree per set, each overlapping pair clipped against each other.
#include "csg/csg_node.h"

#include <memory>
#include <vector>

namespace {

// Boxes this close count as touching.
const BspVector kOverlapMargin(0.1f, 0.1f, 0.1f);

std::unique_ptr<BspTree> CompileSet(const BspPolygonSet& set) {
    auto tree = std::make_unique<BspTree>();
    tree->SetSettings(kCsgTreeSettings);
    if (tree->AddPolygons(set.polygons, set.count, true) < 0 || tree->Build() < 0)
        throw CsgBuildError();
    return tree;
}

bool HasPolygons(const std::unique_ptr<BspTree>& tree) {
    return tree && tree->PolygonCount() > 0;
}

// Each side keeps what lies outside the other; on shared faces facing the same way the first
// tree's go (to the back, into the second's solid) and the second's stay.
void ClipPair(BspTree& first, BspTree& second) {
    const BspBounds a = *first.Bounds();
    const BspBounds b = *second.Bounds();
    if (!a.OverlapsWithMargin(b, kOverlapMargin) || !second.IntersectsPolygonsOf(&first)) return;
    first.ClipPolygons(&second, true, false);
    second.ClipPolygons(&first, true, true);
    first.ScanFragments();
    second.ScanFragments();
}

} // namespace

int CsgUnionBuilder::Unite() {
    CsgUnionStatistics unused;
    CsgUnionStatistics& stats = statistics ? *statistics : unused;
    const int n = sets.Count();
    stats.sets = n;
    stats.polygonsIn = 0;
    for (int i = 0; i < n; ++i)
        if (sets[i]) stats.polygonsIn += sets[i]->count;

    std::vector<std::unique_ptr<BspTree>> trees(static_cast<std::size_t>(n));
    auto out = std::make_unique<BspPolygonSet>();
    for (int i = 0; i < n; ++i)
        if (sets[i]) trees[i] = CompileSet(*sets[i]);
    for (int i = 0; i < n; ++i) {
        if (!HasPolygons(trees[i])) continue;
        for (int j = 0; j < n; ++j)
            if (j != i && HasPolygons(trees[j])) ClipPair(*trees[i], *trees[j]);
        out->CopyFromTree(trees[i].get(), false);
        trees[i].reset();
    }
    stats.polygonsOut = out->count;
    stats.polygonsRemoved = stats.polygonsIn - stats.polygonsOut;
    result = std::move(out);
    return 0;
}
