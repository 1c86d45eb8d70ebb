#include "core/win32.h"

#include "object3d/frame_hierarchy.h"
#include "object3d/object_records.h"

#include <utility>
#include <vector>

namespace {

constexpr float kDegreesToRadians = 0.017453292f;

} // namespace

bool UpdateFrameMatrices(FrameRecord* frame, const D3DXMATRIX* parent) {
    if (!frame || !parent) return false;
    // Depth first; each sibling chain walked in a loop so only the tree's depth uses the stack.
    std::vector<std::pair<FrameRecord*, D3DXMATRIX>> pending{{frame, *parent}};
    while (!pending.empty()) {
        auto [f, above] = pending.back();
        pending.pop_back();
        for (; f; f = f->sibling) {
            f->combinedMatrix = f->transformMatrix * above;
            if (f->combinedMatrix._44 == 0.0f) f->combinedMatrix._44 = 1.0f;
            if (f->child) pending.emplace_back(f->child, f->combinedMatrix);
        }
    }
    return true;
}

void RebuildFrameTransforms(FrameRecord* frame) {
    std::vector<FrameRecord*> pending;
    if (frame) pending.push_back(frame);
    while (!pending.empty()) {
        FrameRecord* f = pending.back();
        pending.pop_back();
        for (; f; f = f->sibling) {
            f->transformMatrix = f->userMatrix * f->initialMatrix;
            f->computed = 0;
            if (f->child) pending.push_back(f->child);
        }
    }
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
