#include "core/win32.h"

#include "terrain/terrain.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void TerrainMatrixConstructor(HMODULE, HMODULE) {}
void TerrainMatrixDestructor() {}
void TerrainMatrixSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void TerrainMatrixPassCoreData(CoreData* core) {
    s.core = core;
}
void TerrainMatrixRefreshD3D(std::int32_t) {}
void TerrainMatrixRenderPass0() {}
void TerrainMatrixRenderPass1() {}
