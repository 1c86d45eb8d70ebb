// The level's structure file: writing a built world out and reading one back into a fresh world.
#include "core/win32.h"

#include "universe/universe_file.h"
#include "core/load_budget.h"
#include "core/media.h"
#include "core/replacing_file.h"
#include "universe/universe.h"
#include "universe/universe_build.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>

namespace {

constexpr std::size_t kAreaHeadBytes = 3 * 12 + 4; // three vectors and the first count
constexpr std::size_t kHeaderBytes = 16;
// What the records a file names cost in memory, charged to a running load before they are made:
// a holder is a small heap block, its list slot and (for a second batch) an entry of the
// first-holder map; an area and a portal each come with a debug box node.
constexpr std::uint64_t kHeapBlockBytes = 16;
constexpr std::uint64_t kHolderBytes = sizeof(void*) + 2 * kHeapBlockBytes;
constexpr std::uint64_t kAreaBytes = sizeof(UniverseArea) + sizeof(UniverseNode) + sizeof(void*);
constexpr std::uint64_t kPortalRecordBytes =
    sizeof(UniversePortal) + sizeof(UniverseNode) + sizeof(void*);
constexpr std::uint64_t kSharedEntryBytes = sizeof(std::int32_t) + sizeof(UniverseBatch*);

// Appends little-endian fields.
class FieldWriter {
public:
    explicit FieldWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void Int(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int shift = 0; shift < 32; shift += 8)
            out_.push_back(static_cast<std::uint8_t>(u >> shift));
    }
    void Float(float f) {
        std::int32_t bits;
        std::memcpy(&bits, &f, 4);
        Int(bits);
    }
    void Vector(const D3DXVECTOR3& v) {
        Float(v.x);
        Float(v.y);
        Float(v.z);
    }
    void Bytes(const void* data, std::size_t n) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        out_.insert(out_.end(), p, p + n);
    }

private:
    std::vector<std::uint8_t>& out_;
};

// Reads fields in order; each read fails, moving nothing, when the bytes are not there.
class FieldReader {
public:
    explicit FieldReader(ByteSpan bytes) : bytes_(bytes) {}
    bool Int(std::int32_t& v) { return Step(bytes_.I32(at_, v), 4); }
    bool Float(float& v) { return Step(bytes_.F32(at_, v), 4); }
    bool Vector(D3DXVECTOR3& v) { return Float(v.x) && Float(v.y) && Float(v.z); }
    bool Bytes(void* to, std::size_t n) {
        if (!bytes_.Has(at_, n)) return false;
        if (n) std::memcpy(to, bytes_.data + at_, n);
        at_ += n;
        return true;
    }
    // A count of records of at least `unit` bytes each: refused when negative or when the bytes
    // left cannot hold that many, so that no count from the file sizes an allocation unchecked.
    bool Count(std::int32_t& n, std::size_t unit) {
        std::int32_t v = 0;
        if (!bytes_.I32(at_, v) || v < 0 || static_cast<std::uint64_t>(v) * unit > Left() - 4)
            return false;
        at_ += 4;
        n = v;
        return true;
    }
    std::size_t Left() const { return bytes_.size - at_; }

private:
    bool Step(bool ok, std::size_t n) {
        if (ok) at_ += n;
        return ok;
    }
    ByteSpan bytes_;
    std::size_t at_ = 0;
};

// A float extent as the file stores it: truncated toward zero, held inside the int32 range.
std::int32_t TruncatedExtent(float f) {
    if (!(f == f)) return 0;
    const double t = std::trunc(static_cast<double>(f));
    return static_cast<std::int32_t>(std::clamp(t, -2147483648.0, 2147483647.0));
}

// The first position of each mesh in the world's mesh list, looked up rather than searched for
// each of the many entries that may name it.
class MeshIndices {
public:
    explicit MeshIndices(const std::vector<MeshRecord*>& list) {
        for (std::size_t i = 0; i < list.size(); ++i)
            first_.try_emplace(list[i], static_cast<std::int32_t>(i));
    }
    // kNoIndex for none or a mesh not listed.
    std::int32_t operator()(const MeshRecord* mesh) const {
        const auto found = mesh ? first_.find(mesh) : first_.end();
        return found == first_.end() ? kNoIndex : found->second;
    }

private:
    std::unordered_map<const MeshRecord*, std::int32_t> first_;
};

// The listed mesh at a stored index; null for kNoIndex and for any index outside the list.
MeshRecord* ListedMesh(const std::vector<MeshRecord*>& list, std::int32_t index) {
    return index >= 0 && static_cast<std::size_t>(index) < list.size() ? list[index] : nullptr;
}

void WriteHolders(FieldWriter& w, const MeshIndices& index,
                  const std::vector<std::unique_ptr<UniverseBatch>>& holders) {
    w.Int(static_cast<std::int32_t>(holders.size()));
    for (const std::unique_ptr<UniverseBatch>& holder : holders)
        w.Int(index(holder ? holder->mesh : nullptr));
}

void WritePortal(FieldWriter& w, const UniversePortal& p) {
    w.Int(p.neighbour);
    w.Int(p.side);
    w.Int(p.strength);
    for (const D3DXVECTOR3* v : {&p.minimum, &p.maximum, &p.centre, &p.halfExtents})
        w.Vector(*v);
    for (const D3DXVECTOR3& corner : p.corners)
        w.Vector(corner);
}

void WriteArea(FieldWriter& w, const MeshIndices& index, const UniverseArea& area) {
    w.Vector(area.minimum);
    w.Vector(area.maximum);
    w.Vector(area.centre);
    WriteHolders(w, index, area.batches);
    WriteHolders(w, index, area.secondBatches);
    w.Int(static_cast<std::int32_t>(area.sharedMeshes.size()));
    for (const UniverseBatch* holder : area.sharedMeshes)
        w.Int(index(holder ? holder->mesh : nullptr));
    w.Int(static_cast<std::int32_t>(area.portals.size()));
    for (const std::unique_ptr<UniversePortal>& portal : area.portals)
        WritePortal(w, *portal);
}

void WriteCell(FieldWriter& w, const Universe& world, const UniverseNode& cell) {
    w.Vector(cell.centre);
    w.Vector(cell.halfExtents);
    const UniverseNode* first = world.cells.data();
    for (const UniverseNode* n : cell.neighbours) {
        const bool inArray = n && n >= first && n < first + world.cells.size();
        w.Int(inArray ? static_cast<std::int32_t>(n - first) : kNoIndex);
    }
    w.Int(static_cast<std::int32_t>(cell.triangles.size()));
    w.Bytes(cell.triangles.data(), cell.triangles.size() * sizeof(UniverseTriangle));
}

// One area as read, with its shared entries still as indices (they are linked once every area
// is in).
struct ReadArea {
    std::unique_ptr<UniverseArea> area;
    std::vector<std::int32_t> shared;
};

bool ReadHolders(FieldReader& r, const std::vector<MeshRecord*>& meshes,
                 std::vector<std::unique_ptr<UniverseBatch>>& holders) {
    std::int32_t count = 0;
    if (!r.Count(count, 4) || !ChargeLoad(static_cast<std::uint32_t>(count), kHolderBytes))
        return false;
    for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t index = 0;
        auto holder = std::unique_ptr<UniverseBatch>(new (std::nothrow) UniverseBatch);
        if (!holder || !r.Int(index)) return false;
        holder->mesh = ListedMesh(meshes, index);
        holders.push_back(std::move(holder));
    }
    return true;
}

bool ReadPortal(FieldReader& r, UniversePortal& p) {
    if (!r.Int(p.neighbour) || !r.Int(p.side) || !r.Int(p.strength)) return false;
    for (D3DXVECTOR3* v : {&p.minimum, &p.maximum, &p.centre, &p.halfExtents})
        if (!r.Vector(*v)) return false;
    for (D3DXVECTOR3& corner : p.corners)
        if (!r.Vector(corner)) return false;
    return true;
}

bool ReadOneArea(FieldReader& r, const std::vector<MeshRecord*>& meshes, ReadArea& read) {
    if (!ChargeLoad(kAreaBytes)) return false;
    read.area.reset(new (std::nothrow) UniverseArea);
    UniverseArea* area = read.area.get();
    if (!area || !r.Vector(area->minimum) || !r.Vector(area->maximum) || !r.Vector(area->centre) ||
        !ReadHolders(r, meshes, area->batches) || !ReadHolders(r, meshes, area->secondBatches))
        return false;
    std::int32_t count = 0;
    if (!r.Count(count, 4) || !ChargeLoad(static_cast<std::uint32_t>(count), kSharedEntryBytes))
        return false;
    read.shared.resize(static_cast<std::size_t>(count));
    for (std::int32_t& index : read.shared)
        if (!r.Int(index)) return false;
    if (!r.Count(count, kPortalBytes) ||
        !ChargeLoad(static_cast<std::uint32_t>(count), kPortalRecordBytes))
        return false;
    for (std::int32_t i = 0; i < count; ++i) {
        auto portal = std::unique_ptr<UniversePortal>(new (std::nothrow) UniversePortal);
        if (!portal || !ReadPortal(r, *portal)) return false;
        area->portals.push_back(std::move(portal));
    }
    return true;
}

using FirstHolders = std::unordered_map<const MeshRecord*, UniverseBatch*>;

// The first second batch that holds each mesh, areas and their batches in order: a shared entry
// refers to that one, as the batch assembly links them. Looked up, not searched, so that a file
// of many entries loads in time linear in its size.
FirstHolders FindFirstHolders(const Universe& world) {
    FirstHolders first;
    for (const std::unique_ptr<UniverseArea>& area : world.areas)
        for (const std::unique_ptr<UniverseBatch>& holder : area->secondBatches)
            if (holder && holder->mesh) first.try_emplace(holder->mesh, holder.get());
    return first;
}

// An entry no second batch holds gets a holder of its own; false when the load cannot pay for it.
bool LinkSharedEntries(Universe& world, const FirstHolders& first, UniverseArea& area,
                       const std::vector<std::int32_t>& list) {
    for (std::int32_t index : list) {
        MeshRecord* mesh = ListedMesh(world.textureMeshes, index);
        const auto held = mesh ? first.find(mesh) : first.end();
        UniverseBatch* found = held == first.end() ? nullptr : held->second;
        if (!found) {
            if (!ChargeLoad(kHolderBytes)) return false;
            auto own = std::unique_ptr<UniverseBatch>(new (std::nothrow) UniverseBatch);
            if (!own) continue;
            own->mesh = mesh;
            found = own.get();
            area.loadedShared.push_back(std::move(own));
        }
        area.sharedMeshes.push_back(found);
    }
    return true;
}

// Appends the areas read whole; false when the list stopped early.
bool ReadAreas(FieldReader& r, Universe& world) {
    std::int32_t count = 0;
    if (!r.Count(count, kAreaHeadBytes)) return false;
    const std::size_t before = world.areas.size();
    std::vector<std::vector<std::int32_t>> shared;
    bool whole = true;
    for (std::int32_t i = 0; i < count && whole; ++i) {
        ReadArea read;
        whole = ReadOneArea(r, world.textureMeshes, read);
        if (!whole) break;
        world.areas.push_back(std::move(read.area));
        shared.push_back(std::move(read.shared));
    }
    const auto areaCount = static_cast<std::int32_t>(world.areas.size());
    const FirstHolders first = FindFirstHolders(world);
    for (std::size_t i = before; i < world.areas.size(); ++i) {
        UniverseArea& area = *world.areas[i];
        // A portal into no loaded area could never be walked through.
        std::erase_if(area.portals, [&](const std::unique_ptr<UniversePortal>& p) {
            return p->neighbour < 0 || p->neighbour >= areaCount;
        });
        for (const std::unique_ptr<UniversePortal>& portal : area.portals)
            world.debugColour = GivePortalBox(*portal);
        world.debugColour = GiveAreaBox(area);
        whole = LinkSharedEntries(world, first, area, shared[i - before]) && whole;
    }
    g_Universe.areaCount = areaCount;
    return whole;
}

// A cell as read, its links still as indices: only what the file holds, the node comes later.
struct ReadCell {
    D3DXVECTOR3 centre{0, 0, 0};
    D3DXVECTOR3 halfExtents{0, 0, 0};
    std::int32_t neighbours[kUniverseSides] = {};
    std::vector<UniverseTriangle> triangles;
};

bool ReadOneCell(FieldReader& r, ReadCell& cell) {
    if (!r.Vector(cell.centre) || !r.Vector(cell.halfExtents)) return false;
    for (std::int32_t& n : cell.neighbours)
        if (!r.Int(n)) return false;
    std::int32_t count = 0;
    if (!r.Count(count, sizeof(UniverseTriangle)) ||
        !ChargeLoad(static_cast<std::uint32_t>(count), sizeof(UniverseTriangle)))
        return false;
    cell.triangles.resize(static_cast<std::size_t>(count));
    return r.Bytes(cell.triangles.data(), cell.triangles.size() * sizeof(UniverseTriangle));
}

// Replaces the cell array by the cells read whole and a spare; false when the list stopped early.
bool ReadCells(FieldReader& r, Universe& world) {
    std::int32_t count = 0;
    // The cells as read and then as nodes, a spare among them.
    if (!r.Count(count, kCellHeadBytes) ||
        !ChargeLoad(static_cast<std::uint32_t>(count) + 1, sizeof(ReadCell) + sizeof(UniverseNode)))
        return false;
    std::vector<ReadCell> read;
    read.reserve(static_cast<std::size_t>(count));
    bool whole = true;
    for (std::int32_t i = 0; i < count && whole; ++i) {
        ReadCell cell;
        whole = ReadOneCell(r, cell);
        if (whole) read.push_back(std::move(cell));
    }
    // The grid and the areas' cell lists point into the old array.
    world.cellGrid = {};
    world.cellFlags = {};
    world.gridSlots = 0;
    for (const std::unique_ptr<UniverseArea>& area : world.areas)
        area->cells.clear();
    world.cells = std::vector<UniverseNode>(read.size() + 1);
    world.cellCount = static_cast<std::int32_t>(read.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        world.cells[i].centre = read[i].centre;
        world.cells[i].halfExtents = read[i].halfExtents;
        world.cells[i].triangles = std::move(read[i].triangles);
        for (int s = 0; s < kUniverseSides; ++s) {
            const std::int32_t n = read[i].neighbours[s];
            // Up to the spare record, as the writer's array ran; anything else is no neighbour.
            world.cells[i].neighbours[s] =
                n >= 0 && static_cast<std::size_t>(n) < world.cells.size() ? &world.cells[n]
                                                                           : nullptr;
        }
    }
    return whole;
}

} // namespace

std::vector<std::uint8_t> EncodeUniverse(const Universe& world) {
    std::vector<std::uint8_t> bytes;
    FieldWriter w(bytes);
    const D3DXVECTOR3 extents = world.root ? world.root->halfExtents : D3DXVECTOR3(0, 0, 0);
    w.Int(TruncatedExtent(extents.x));
    w.Int(TruncatedExtent(extents.y));
    w.Int(TruncatedExtent(extents.z));
    w.Int(static_cast<std::int32_t>(world.areas.size()));
    const MeshIndices index(world.textureMeshes);
    for (const std::unique_ptr<UniverseArea>& area : world.areas)
        WriteArea(w, index, *area);
    const std::int32_t cells =
        std::clamp<std::int32_t>(world.cellCount, 0, static_cast<std::int32_t>(world.cells.size()));
    w.Int(cells);
    for (std::int32_t i = 0; i < cells; ++i)
        WriteCell(w, world, world.cells[i]);
    return bytes;
}

bool DecodeUniverse(Universe& world, ByteSpan bytes) {
    FieldReader r(bytes);
    std::int32_t extents[3];
    if (bytes.size < kHeaderBytes) return false;
    for (std::int32_t& e : extents)
        r.Int(e);
    world.CreateRootNode(static_cast<float>(extents[0]), static_cast<float>(extents[1]),
                         static_cast<float>(extents[2]));
    return ReadAreas(r, world) && ReadCells(r, world) && r.Left() == 0;
}

std::string UniverseFileName(const char* levelName) {
    std::string name = levelName ? levelName : "";
    const std::size_t n = name.size();
    const bool hasExtension =
        n >= 5 && name[n - 4] == '.' && name.find_first_of("\\/.:", n - 3) == std::string::npos;
    if (hasExtension) name.resize(n - 4);
    return name + ".tlu";
}

bool Universe::Save(ReplacingFile& file) const {
    const std::vector<std::uint8_t> bytes = EncodeUniverse(*this);
    return file.WriteAll(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

bool Universe::Save(const char* fileName) const {
    if (!fileName) return false;
    ReplacingFile file(fileName);
    // An existing file is never replaced, nor one that appears while this one is written.
    return Save(file) && file.Commit(false, /*replaceExisting=*/false);
}

bool Universe::Load(const char* fileName) {
    // The whole file is held while it is decoded.
    if (!ChargeLoad(MediaFileSize(fileName))) return false;
    std::uint32_t size = 0;
    void* block = CoreReadWholeFile(fileName, &size);
    if (!block) return false;
    const bool whole = DecodeUniverse(*this, ByteSpan{static_cast<std::uint8_t*>(block), size});
    GlobalFree(block);
    return whole;
}
