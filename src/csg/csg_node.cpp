// The CSG operation object: its options, its steps and its triangle output.
#include "csg/csg_node.h"
#include "csg/csg_mesh.h"

#include <cstring>
#include <vector>

namespace {

// One group of bytes of the node, for the option and statistics accessors.
struct Group {
    const void* data;
    std::size_t size;
};

} // namespace

CsgBspNode::~CsgBspNode() {
    Clear();
}

void CsgBspNode::DeleteSets() {
    for (int i = 0; i < sets.Count(); ++i)
        delete sets[i];
    sets.RemoveAll();
}

void CsgBspNode::Clear() {
    DeleteSets();
    sets.Free();
    tree.reset();
    resultVertices.clear();
    resultVertices.shrink_to_fit();
}

void CsgBspNode::AddSet(std::unique_ptr<BspPolygonSet> set) {
    sets.Append(set.get());
    set.release();
}

void CsgBspNode::SetOption(int index, const void* data) {
    if (!data) return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    switch (index) {
    case 0:
        unionFlag = bytes[0];
        break;
    case 1:
        std::memcpy(&optionBlock, bytes, sizeof optionBlock);
        break;
    case 2:
        std::memcpy(&treeSettings, bytes, sizeof treeSettings);
        break;
    case 3:
        std::memcpy(&optionWords.first, bytes, sizeof optionWords.first);
        break;
    case 4:
        std::memcpy(&optionWords.second, bytes, sizeof optionWords.second);
        optionWords.third = bytes[sizeof optionWords.second];
        break;
    case 5:
        optionWords.last = bytes[0];
        break;
    default:
        break;
    }
}

void CsgBspNode::GetOption(int index, void* out) const {
    if (!out) return;
    auto* bytes = static_cast<std::uint8_t*>(out);
    switch (index) {
    case 0:
        bytes[0] = unionFlag;
        break;
    case 1:
        std::memcpy(bytes, &optionBlock, sizeof optionBlock);
        break;
    case 2:
        std::memcpy(bytes, &treeSettings, sizeof treeSettings);
        break;
    case 3:
        std::memcpy(bytes, &optionWords.first, sizeof optionWords.first);
        break;
    case 4:
        std::memcpy(bytes, &optionWords.second, sizeof optionWords.second);
        bytes[sizeof optionWords.second] = optionWords.third;
        break;
    case 5:
        bytes[0] = optionWords.last;
        break;
    default:
        break;
    }
}

void CsgBspNode::GetStatistics(int index, void* out) const {
    if (!out) return;
    const Group groups[] = {
        {&inputStatistics, sizeof inputStatistics},
        {&unionStatistics, sizeof unionStatistics},
        {record1, sizeof record1},
        {&treeStatistics, sizeof treeStatistics},
        {record3, sizeof record3},
        {record4, sizeof record4},
        {record5, sizeof record5},
    };
    if (index < -1 || index > 5) return;
    const Group& group = groups[index + 1];
    std::memcpy(out, group.data, group.size);
}

void CsgBspNode::ClearOptionBytes(bool keepLast) {
    optionBlock.words[0] &= ~0xFF;
    optionWords.first &= 0xFF00;
    optionWords.second &= 0xFF00;
    if (!keepLast) optionWords.last = 0;
}

bool CsgBspNode::UniteSets() {
    unionStatistics = CsgUnionStatistics{};
    int present = 0;
    for (int i = 0; i < sets.Count(); ++i)
        if (sets[i]) ++present;
    if (present < 2) return true;
    CsgUnionBuilder builder;
    builder.option = unionFlag;
    builder.owner = this;
    builder.statistics = &unionStatistics;
    for (int i = 0; i < sets.Count(); ++i)
        if (sets[i]) builder.AddSet(sets[i]);
    builder.Unite();
    if (builder.result) {
        DeleteSets();
        AddSet(std::move(builder.result));
    }
    return true;
}

bool CsgBspNode::BuildTree() {
    tree.reset();
    tree = std::make_unique<BspTree>();
    treeStatistics = BspTreeStatistics{};
    tree->SetSettings(treeSettings);
    tree->SetOwner(this);
    tree->SetStatistics(&treeStatistics);
    for (int i = 0; i < sets.Count(); ++i)
        if (sets[i]) tree->AddPolygons(sets[i]->polygons, sets[i]->count, true);
    if (treeSettings.enclosingBox) tree->MakeEnclosingBoxPolygons(true);
    if (tree->Build() < 0) throw CsgBuildError();
    DeleteSets();
    return true;
}

bool CsgBspNode::ClipAgainst(BspTree* otherTree, bool removeInSolid) {
    if (tree) tree->ClipPolygons(otherTree, removeInSolid, removeInSolid, 0, nullptr);
    return true;
}

void CsgBspNode::BuildResultVertices(bool fromLeaves) {
    if (!tree) return;
    resultVertices.clear();
    std::vector<BspVertex> out;
    auto emit = [&out](const BspTreePolygon* p) {
        if (!p || p->count < 3) return;
        for (int k = 0; k + 2 < p->count; ++k)
            out.insert(out.end(), {p->vertices[0], p->vertices[k + 1], p->vertices[k + 2]});
    };
    if (!fromLeaves) {
        for (int i = 0; i < tree->PolygonCount(); ++i)
            if (!tree->GetPolygon(i)->removed) emit(tree->GetPolygon(i));
    } else {
        // Pieces of one polygon may reach several leaves: it is emitted the first time.
        std::vector<bool> emitted(static_cast<std::size_t>(tree->PolygonCount()), false);
        for (int l = 0; l < tree->LeafCount(); ++l) {
            const BspLeaf* leaf = tree->GetLeaf(l);
            for (int k = 0; k < leaf->polygonIds.Count(); ++k) {
                const int id = leaf->polygonIds[k];
                if (id < 0 || id >= tree->PolygonCount() || emitted[id]) continue;
                emitted[id] = true;
                emit(tree->GetPolygon(id));
            }
        }
    }
    resultVertices = std::move(out);
}

void CsgBspNode::RunSteps() {
    busy = 1;
    if (unionFlag) {
        lastOperation = 1;
        UniteSets();
    }
    if (optionBlock.words[0] & 0xFF) lastOperation = 2;
    if (BuildTreeFlag()) {
        lastOperation = 3;
        BuildTree();
    }
    if (optionWords.first & 0xFF) lastOperation = 4;
    if (optionWords.second & 0xFF) lastOperation = 5;
    if (optionWords.last) lastOperation = 6;
    busy = 0;
}

bool CsgBspNode::Run(MeshRecord* meshA, const D3DXMATRIX&, MeshRecord* meshB, const D3DXMATRIX&) {
    if (!meshA) return false;
    try {
        auto setA = LoadCsgPolygonSet(meshA);
        if (!setA) return false;
        std::unique_ptr<BspPolygonSet> setB;
        if (meshB && !(setB = LoadCsgPolygonSet(meshB))) return false;
        Clear();
        inputStatistics = CsgInputStatistics{};
        for (BspPolygonSet* set : {setA.get(), setB.get()}) {
            if (!set) continue;
            ++inputStatistics.sets;
            inputStatistics.polygons += set->count;
        }
        AddSet(std::move(setA));
        if (setB) AddSet(std::move(setB));
        RunSteps();
        return true;
    } catch (const std::bad_alloc&) {
        busy = 0;
        Clear(); // nothing half-made is kept
        return CsgOutOfMemory();
    } catch (...) {
        // A build that gave up: nothing half-made is kept either.
        busy = 0;
        Clear();
        return false;
    }
}
