// Shape changes of several meshes that stand or fall together: each change hands the mesh's old
// shape to a record kept aside, and unless the changes are kept, every old shape is put back,
// last first, and what the changes made is freed.
#pragma once

#include "core/error_numbers.h"
#include "core/no_throw.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_records.h"

#include <memory>
#include <utility>
#include <vector>

class MeshShapeChanges {
public:
    MeshShapeChanges() = default;
    MeshShapeChanges(const MeshShapeChanges&) = delete;
    MeshShapeChanges& operator=(const MeshShapeChanges&) = delete;
    ~MeshShapeChanges() {
        if (!kept_) Undo();
    }

    // An empty record to take the mesh's old shape (or only its old backup); may throw
    // std::bad_alloc, before the mesh is changed.
    MeshRecord* Aside(MeshRecord* mesh) {
        changes_.reserve(changes_.size() + 1);
        changes_.push_back({mesh, std::make_unique<MeshRecord>()});
        return changes_.back().old.get();
    }

    // The meshes keep their new shapes; the old ones go with this.
    void Keep() noexcept { kept_ = true; }

    void Undo() noexcept {
        for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) {
            MeshRecord& mesh = *it->mesh;
            MeshRecord& old = *it->old;
            if (old.vertices)
                SwapMeshShape(mesh, old);
            else if (old.backupVertices)
                std::swap(mesh.backupVertices, old.backupVertices);
        }
        changes_.clear();
    }

private:
    struct Change {
        MeshRecord* mesh;
        std::unique_ptr<MeshRecord> old;
    };
    std::vector<Change> changes_;
    bool kept_ = false;
};

// The mesh's backup becomes a copy of its vertices as they are now; the old backup goes aside
// when no old shape holds it. False, the mesh as it was, when the copy cannot be made.
bool RenewMeshBackup(MeshRecord* mesh, MeshRecord* old);

// Runs change(mesh, aside) on each mesh forEach(fn) gives, recording them in changes: true when
// every change was made; out of memory (a change gives false or throws), the changes are undone
// and error 7002 is raised. The caller keeps the changes once whatever follows has worked.
template <typename ForEach, typename Change>
bool ChangeMeshShapes(MeshShapeChanges& changes, ForEach&& forEach, Change&& change) {
    bool made = true;
    const bool ran = NoThrow(kObjectNotMade, [&] {
        forEach([&](MeshRecord* mesh) {
            if (made) made = change(mesh, changes.Aside(mesh));
        });
    });
    if (ran && made) return true;
    if (ran) RaiseRuntimeError(kObjectNotMade);
    changes.Undo();
    return false;
}
