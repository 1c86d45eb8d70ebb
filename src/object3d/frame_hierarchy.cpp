#include "core/win32.h"

#include "object3d/frame_hierarchy.h"
#include "object3d/object_records.h"

#include <utility>

namespace {

constexpr float kDegreesToRadians = 0.017453292f;

} // namespace

bool UpdateFrameMatrices(FrameRecord* frame, const D3DXMATRIX* parent) {
    if (!frame || !parent) return false;
    // Each chain of siblings shares its parent's combined matrix; children wait on a stack with
    // a pointer to theirs, so only the tree's breadth is held, never its depth in calls.
    SmallStack<std::pair<FrameRecord*, const D3DXMATRIX*>, 32> pending;
    pending.Push({frame, parent});
    while (!pending.Empty()) {
        auto [f, above] = pending.Pop();
        for (; f; f = f->sibling) {
            f->combinedMatrix = Multiply(f->transformMatrix, *above);
            if (f->combinedMatrix._44 == 0.0f) f->combinedMatrix._44 = 1.0f;
            if (f->child) pending.Push({f->child, &f->combinedMatrix});
        }
    }
    return true;
}

void RebuildFrameTransforms(FrameRecord* frame) {
    WalkFrameTree(frame, [](FrameRecord* f) {
        f->transformMatrix = Multiply(f->userMatrix, f->initialMatrix);
        f->computed = 0;
    });
}

void BuildFrameUserMatrix(FrameRecord* frame) {
    if (!frame) return;
    D3DXMATRIX scale, x, y, z, translation;
    D3DXMatrixScaling(&scale, frame->scale.x, frame->scale.y, frame->scale.z);
    D3DXMatrixRotationX(&x, frame->rotation.x * kDegreesToRadians);
    D3DXMatrixRotationY(&y, frame->rotation.y * kDegreesToRadians);
    D3DXMatrixRotationZ(&z, frame->rotation.z * kDegreesToRadians);
    D3DXMatrixTranslation(&translation, frame->offset.x, frame->offset.y, frame->offset.z);
    frame->userMatrix = scale * x * y * z * translation;
}

// Stand-in until the frame tree's shadow volumes are built: no volume is ever rebuilt.
bool UpdateFrameShadow(FrameRecord* frame, std::int32_t, std::int32_t, float, float, float) {
    return frame && frame->mesh && frame->shadowMesh;
}
