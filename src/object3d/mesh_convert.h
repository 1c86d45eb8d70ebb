// Conversions of a mesh's geometry: to and from D3DX meshes, primitive layouts, copies to and from
// device buffers, splicing, the vertex backup, X mesh files and small helpers.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <vector>

struct MeshRecord;
struct ObjectRecord;

// For each vertex of the mesh last expanded by ExpandMeshIndices: the new number of the last
// corner that used it.
extern std::vector<std::uint32_t> ExpandedVertexRemap;

// Six words, all -1 when free; the first two are the pair's keys.
struct PairRecord {
    std::int32_t words[6];
};

// Eight multipliers of 1.0, eight zero words and a closing 10.0.
struct MultiplierBlock {
    float multipliers[8];
    std::uint32_t words[8];
    float last;
};

// D3DX meshes. MakeDXMeshFromMesh gives the caller a mesh to release (in the declaration or FVF
// given, else the mesh's own), null when it cannot be made: 7029 for 65,536 vertices or more.
ID3DXMesh* MakeDXMeshFromMesh(MeshRecord* mesh, const D3DVERTEXELEMENT9* declaration,
                              std::uint32_t fvf);
// A mesh's shape: its format, its arrays and their counts, exchanged whole.
void SwapMeshShape(MeshRecord& a, MeshRecord& b) noexcept;
// The mesh takes the D3DX mesh's format, vertices and indices (a plain list past 65,535 indices);
// false, and the mesh as it was, when the new arrays cannot be made. Where old is given (a record
// of no shape), it receives the mesh's old shape, which SwapMeshShape can put back.
bool UpdateMeshFromDXMesh(MeshRecord* mesh, ID3DXMesh* dxMesh, MeshRecord* old = nullptr);
void RebuildMeshViaDXMesh(MeshRecord* mesh);
// These three are false only when the mesh's new arrays cannot be made (it keeps its old ones); a
// mesh the platform cannot take is left as it is. What they make as they go may throw
// std::bad_alloc, before the mesh changes.
bool ConvertMeshToFVF(MeshRecord* mesh, std::uint32_t fvf, MeshRecord* old = nullptr);
bool FreeMeshOriginalData(MeshRecord* mesh, std::uint32_t fvf, MeshRecord* old = nullptr);
bool ComputeMeshNormals(MeshRecord* mesh, MeshRecord* old = nullptr);
// The same, adding a normal to a declaration that lacks one.
void ComputeMeshNormalsKeepFormat(MeshRecord* mesh);

// Primitive layouts.
// Strips and fans become indexed triangle lists; true when something was converted.
bool ConvertStripToList(MeshRecord* mesh);
// An indexed triangle list becomes a plain list, one vertex per index.
void ExpandMeshIndices(MeshRecord* mesh);
// Re-points triangle corners to earlier vertices closer than distance.
void WeldMeshVertices(MeshRecord* mesh, float distance);
// Collapses the triangles whose summed normal faces away from the mode's direction.
void CullFacesByDirection(std::int32_t mode, MeshRecord* mesh);

// Device buffer copies, from the given start (indices counted in entries, vertices in 32-bit
// words); false when the buffer cannot be locked or the mesh has nothing to copy.
bool CopyIndicesToIndexBuffer16(MeshRecord* mesh, IDirect3DIndexBuffer9* buffer,
                                std::uint32_t startIndex);
bool WidenIndicesToIndexBuffer32(MeshRecord* mesh, IDirect3DIndexBuffer9* buffer,
                                 std::uint32_t startIndex);
bool CopyIndicesToIndexBuffer32(MeshRecord* mesh, IDirect3DIndexBuffer9* buffer,
                                std::uint32_t startIndex);
bool CopyVerticesToVertexBuffer(MeshRecord* mesh, IDirect3DVertexBuffer9* buffer,
                                std::uint32_t start);
bool ReadIndexBufferIntoMesh(MeshRecord* mesh, IDirect3DIndexBuffer9* buffer,
                             std::uint32_t startIndex);
bool ReadVertexBufferIntoMesh(MeshRecord* mesh, IDirect3DVertexBuffer9* buffer,
                              std::uint32_t start);

// Splicing, within the arrays' bounds.
void CopyMeshIndicesAt(MeshRecord* target, const MeshRecord* source, std::int32_t at,
                       std::int32_t count);
void OffsetMeshIndices(MeshRecord* mesh, std::int32_t first, std::int32_t count, std::int32_t add);
void CopyMeshVerticesAt(MeshRecord* target, const MeshRecord* source, std::int32_t at,
                        std::int32_t count);

// Shader and effect binding.
void CopyMeshMaterialState(MeshRecord* target, const MeshRecord* source);
void CopyMeshMaterialStateMarkSource(MeshRecord* target, MeshRecord* source);
void ReleaseMeshShaders(MeshRecord* mesh);
void SetMeshEffectMode(MeshRecord* mesh, IDirect3DPixelShader9* pixelShader);
void ClearMeshEffectMode(MeshRecord* mesh);

// The vertex backup.
void BackupMeshVertices(MeshRecord* mesh);
void RestoreMeshVertices(MeshRecord* mesh);
void RestoreAllMeshVertices(ObjectRecord* object);

// X mesh files. LoadXMesh gives a new mesh, or false and null; SaveXMesh writes text .x beside
// the name and replaces a file there only once the new one is whole.
bool LoadXMesh(const char* fileName, MeshRecord** mesh);
bool SaveXMesh(const char* fileName, MeshRecord* mesh);
// Destroys and frees a mesh; true.
bool DeleteMesh(MeshRecord* mesh);

// Small helpers.
float ColourAlphaToFloat(D3DCOLOR colour);
float ColourRedToFloat(D3DCOLOR colour);
float ColourGreenToFloat(D3DCOLOR colour);
float ColourByteToFloat(std::uint32_t byte);
// r, g, b, a into out; the alpha byte.
std::uint32_t ColourToFloat4(float* out, D3DCOLOR colour);
// Whether the program runs under Wine, whose D3DX lacks or aborts in a few mesh functions.
bool RunningUnderWine();
bool SupportsVertexShaders();
bool SupportsPixelShaders();
// (x, y, z) times the matrix's upper 4 x 3 part, translation added, no division by w.
void TransformCoordByMatrix(float x, float y, float z, const D3DXMATRIX* matrix, D3DXVECTOR3* out);
void InitPairRecord(PairRecord* record);
// The first record keyed (b, a), else the first free one, else -1.
std::int32_t FindMeshPairIndex(std::int32_t a, std::int32_t b, const PairRecord* records,
                               std::int32_t count);
void InitMultiplierBlock(MultiplierBlock* block);
