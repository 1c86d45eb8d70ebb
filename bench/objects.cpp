// Cost of the 3D object pass: the pass with no objects, making 10,000 objects, and the CPU a frame
// of the drawing thread for 1,000 and 10,000 objects against a bare loop that draws the same
// meshes straight from their buffers, in shared buffers and in buffers of their own.
#include "core/win32.h"

#include "clock.h"

#include "core/core.h"
#include "core/engine.h"
#include "core/frame_loop.h"
#include "core/window.h"
#include "display/display.h"
#include "object3d/object3d.h"
#include "object3d/object_state.h"
#include "object3d/positioning.h"
#include "object3d/vertex_layout.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Vertex {
    float x, y, z, nx, ny, nz;
};
constexpr std::uint32_t kFormat = D3DFVF_XYZ | D3DFVF_NORMAL;

// A small box of 24 vertices and 36 indices: the kind of mesh a scene has many of.
void MakeBox(std::int32_t n) {
    CreateNewObject(n, "box");
    MeshRecord* mesh = g_Object3D.objects[n]->rootFrame->mesh;
    const float h = 0.05f;
    std::vector<Vertex> v;
    for (int face = 0; face < 6; ++face)
        for (int k = 0; k < 4; ++k)
            v.push_back({(k & 1) ? h : -h, (k & 2) ? h : -h, face * 0.01f - h, 0, 0, -1});
    SetMeshFromRawVertices(mesh, kFormat, sizeof(Vertex), v.data(), 24, D3DPT_TRIANGLELIST);
    mesh->indices = new std::uint16_t[36];
    for (int face = 0; face < 6; ++face) {
        const std::uint16_t b = static_cast<std::uint16_t>(4 * face);
        const std::uint16_t quad[6] = {b, std::uint16_t(b + 1), std::uint16_t(b + 3),
                                       b, std::uint16_t(b + 3), std::uint16_t(b + 2)};
        std::copy(quad, quad + 6, mesh->indices + 6 * face);
    }
    mesh->indexCount = 36;
    mesh->drawPrimitiveCount = 12;
    SetupNewObject(n, -1.0f);
    PositionObject(n, (n % 100) * 0.08f - 4.0f, (n / 100 % 100) * 0.06f - 3.0f, 10.0f);
}

// Every object gone at once, as a device reset does it (deleting them one by one re-places the
// buffer-mates of each).
void DeleteAll() {
    Basic3DRefreshD3D(0);
    Basic3DRefreshD3D(1);
}

// The drawing thread's CPU a frame over frames drawn by draw, best of three rounds. The thread's
// clock ticks coarsely: each round lasts long enough for many ticks.
template <typename Draw> double CpuPerFrame(int frames, Draw draw) {
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double cpu = ThreadCpu();
        for (int f = 0; f < frames; ++f)
            draw();
        best = std::min(best, (ThreadCpu() - cpu) * 1000.0 / frames);
    }
    return best;
}

// The same meshes drawn with the fewest calls a program could make: the states once, then for
// each a world matrix, the stream and indices when they change, and the draw.
void BareFrame(std::int32_t count) {
    IDirect3DDevice9* device = g_Object3D.device;
    BeginDisplayScene();
    device->SetVertexShader(nullptr);
    device->SetFVF(kFormat);
    IDirect3DVertexBuffer9* stream = nullptr;
    IDirect3DIndexBuffer9* indices = nullptr;
    for (std::int32_t n = 1; n <= count; ++n) {
        const ObjectRecord* o = g_Object3D.objects[n];
        const DrawItem* item = o->rootFrame->mesh->drawItem;
        device->SetTransform(D3DTS_WORLD, &o->position.matWorld);
        if (item->vertexBuffer != stream)
            device->SetStreamSource(0, stream = item->vertexBuffer, 0, item->stride);
        if (item->indexBuffer != indices) device->SetIndices(indices = item->indexBuffer);
        device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, item->baseVertex, item->startVertex,
                                     item->vertexCount, item->startIndex, item->primitiveCount);
    }
    // The engine's own present, which waits for the previous frame without spinning.
    EndDisplayScene();
    PresentDisplay();
}

void ObjectPass() {
    Basic3DUpdate();
    Basic3DRenderLayerFour();
}

} // namespace

int main() {
    RuntimeErrorRecord cell;
    LinkModules();
    SetCoreErrorHandler(&cell);
    if (CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), "") != 0) return 1;
    SyncOn();
    SetSyncRate(0);
    for (int f = 0; f < 30; ++f)
        Sync();

    constexpr int kEmptyPasses = 5000;
    double empty = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double cpu = ThreadCpu();
        for (int i = 0; i < kEmptyPasses; ++i)
            ObjectPass();
        empty = std::min(empty, (ThreadCpu() - cpu) * 1000.0 / kEmptyPasses);
    }
    std::printf("object pass with no objects: %.4f ms of CPU\n", empty);

    for (std::uint8_t own : {0, 1}) {
        g_Object3D.newObjectOwnBuffers = own;
        const char* buffers = own ? "own buffers" : "shared buffers";
        const double start = Now();
        for (std::int32_t n = 1; n <= 10000; ++n)
            MakeBox(n);
        const double made = Now();
        Sync(); // places every mesh in the device buffers
        std::printf("10,000 objects, %s: made in %.0f ms, placed in %.0f ms\n", buffers,
                    (made - start) * 1000.0, (Now() - made) * 1000.0);
        for (std::int32_t count : {10000, 1000}) {
            if (count == 1000) {
                DeleteAll();
                for (std::int32_t n = 1; n <= count; ++n)
                    MakeBox(n);
            }
            Sync();
            const int frames = 600000 / count;
            const double engine = CpuPerFrame(frames, [] { Sync(); });
            const double bare = CpuPerFrame(frames, [count] { BareFrame(count); });
            std::printf("%d objects, %s: %.2f ms of CPU a frame, a bare loop %.2f ms: %.2f times\n",
                        count, buffers, engine, bare, engine / bare);
        }
        DeleteAll();
    }
    ShutdownEngine();
    return 0;
}
