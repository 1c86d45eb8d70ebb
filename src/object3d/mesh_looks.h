// A look change of several meshes (a shading: effect, texture slots and shape together) that
// stands or falls whole: before a mesh changes, it takes copies of its arrays and slots to change,
// and its own ones wait aside with a hold on its old effect and shaders; unless the change is
// kept, every mesh takes its own back, last first, and what the change made goes with the copies.
// Kept, the old arrays and effects go instead.
#pragma once

#include "object3d/object_records.h"

#include <memory>
#include <vector>

class MeshLooks {
public:
    MeshLooks() = default;
    MeshLooks(const MeshLooks&) = delete;
    MeshLooks& operator=(const MeshLooks&) = delete;
    ~MeshLooks();

    // Sets the mesh's look aside; false, the mesh untouched, when the copies cannot be made.
    // May throw std::bad_alloc, before the mesh changes.
    bool Aside(MeshRecord* mesh);
    // The meshes keep their new looks; the old ones (their effects too) go with this.
    void Keep() noexcept { kept_ = true; }
    void Undo() noexcept;

private:
    struct Look {
        MeshRecord* mesh;
        std::unique_ptr<MeshRecord> old;
    };
    std::vector<Look> looks_;
    bool kept_ = false;
};
