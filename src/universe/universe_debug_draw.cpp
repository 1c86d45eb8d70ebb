// Debug drawing of the world: area boxes, portal quads and the last ray, straight on the object
// module's device. The object manager forgets its cached states after the world's draw, so the
// states set here need no restoring beyond depth.
#include "core/win32.h"

#include "universe/universe.h"
#include "object3d/object_state.h"

#include <algorithm>

namespace {

// The portal's normal for the facing test, by side.
const D3DXVECTOR3 kPortalNormals[kUniverseSides] = {{0, 0, 1},  {0, 0, -1}, {0, 1, 0},
                                                    {0, -1, 0}, {-1, 0, 0}, {1, 0, 0}};

// Fixed-function drawing of plain coloured vertices: no shaders, no texture, no lighting.
IDirect3DDevice9* PlainDevice() {
    IDirect3DDevice9* device = g_Object3D.device;
    if (!device) return nullptr;
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    device->SetTexture(0, nullptr);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    return device;
}

// What every debug draw leaves behind.
void EndPlainDrawing(IDirect3DDevice9* device) {
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
}

// Position-only lines, drawn from memory; the vertex format in force comes back afterwards.
void DrawPlainLines(const D3DXVECTOR3* points, UINT lines, D3DCOLOR colour) {
    IDirect3DDevice9* device = PlainDevice();
    if (!device || lines == 0) return;
    DWORD format = 0;
    device->GetFVF(&format);
    device->SetFVF(D3DFVF_XYZ);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, colour);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->DrawPrimitiveUP(D3DPT_LINELIST, lines, points, sizeof(D3DXVECTOR3));
    device->SetFVF(format);
    EndPlainDrawing(device);
}

constexpr D3DCOLOR kLineColour = D3DCOLOR_XRGB(255, 255, 255);

} // namespace

void ResetWorldTransform() {
    if (IDirect3DDevice9* device = g_Object3D.device)
        device->SetTransform(D3DTS_WORLD, &kIdentityMatrix);
}

void DrawWireQuad(const UniverseNodeSide& side) {
    IDirect3DDevice9* device = PlainDevice();
    if (!device) return;
    device->SetFVF(kUniverseQuadFormat);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    // The corners run round the face, so a fan of two triangles covers it.
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, side.quad, sizeof(UniverseQuadVertex));
    EndPlainDrawing(device);
}

void DrawRecordSegmentLine(const D3DXVECTOR3& from, const D3DXVECTOR3& to) {
    const D3DXVECTOR3 points[2] = {from, to};
    DrawPlainLines(points, 1, kLineColour);
}

void DrawBoundingBoxLines(const UniverseNode& box) {
    D3DXVECTOR3 corners[8];
    GetNodeCorners(box, corners);
    // Corner i has bit 0 for +x, bit 1 for +y, bit 2 for +z: an edge joins corners one bit apart.
    D3DXVECTOR3 points[24];
    UINT n = 0;
    for (int i = 0; i < 8; ++i)
        for (int bit = 1; bit < 8; bit <<= 1)
            if (!(i & bit)) points[n++] = corners[i], points[n++] = corners[i | bit];
    DrawPlainLines(points, n / 2, kLineColour);
}

bool PortalFacing(const UniversePortal& portal, const D3DXVECTOR3* eye) {
    if (!eye || portal.side < 0 || portal.side >= kUniverseSides) return true;
    const D3DXVECTOR3 towards = portal.centre - *eye;
    return D3DXVec3Dot(&kPortalNormals[portal.side], &towards) >= 0;
}

std::uint64_t Universe::DebugFrameDraws() const {
    if (cellCount <= 0 || cells.empty()) return 0;
    std::uint64_t portals = 0;
    for (const std::unique_ptr<UniverseArea>& area : areas)
        if (area) portals = std::max<std::uint64_t>(portals, area->portals.size());
    // Every area's box lines and faces, and the faces of the current area's portals; the ray.
    return (1 + kUniverseSides) * std::uint64_t{areas.size()} + kUniverseSides * portals + 1;
}

void Universe::DrawNodeBounds() {
    if (cellCount <= 0 || cells.empty()) return;
    const std::int32_t current = g_Universe.currentArea - 1;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(areas.size()); ++i) {
        const UniverseArea* area = areas[i].get();
        if (!area) continue;
        if (i != current) {
            if (!area->box) continue;
            DrawBoundingBoxLines(*area->box);
            for (const UniverseNodeSide& side : area->box->sides)
                DrawWireQuad(side);
            continue;
        }
        for (const std::unique_ptr<UniversePortal>& portal : area->portals)
            if (portal && portal->box)
                for (const UniverseNodeSide& side : portal->box->sides)
                    DrawWireQuad(side);
    }
}
