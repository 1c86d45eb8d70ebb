// Triangle meshes of a 3DS object: read with y and z exchanged, moved into the object's local
// space less its pivot, and written as an X mesh with flat normals, materials and coordinates.
#include "core/win32.h"

#include "core/load_budget.h"
#include "modelfile/conv_3ds_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Conv3DS {

namespace {

void ReadVertexList(MeshWork& m, Cursor body) {
    const std::uint32_t count = body.Word();
    Trace("      Found (%d) number of vertices\n", static_cast<int>(count));
    const std::uint32_t held = std::min<std::uint32_t>(count, body.Left() / 12);
    RequireLoad(held, 12);
    m.vertices.resize(3 * held);
    for (std::uint32_t i = 0; i < held; ++i) {
        float v[3];
        body.Floats(v, 3);
        m.vertices[3 * i] = v[0], m.vertices[3 * i + 1] = v[2], m.vertices[3 * i + 2] = v[1];
    }
}

void ReadFaceMaterial(Conversion& c, Cursor body) {
    MeshWork& m = c.mesh;
    const std::string name = XName(ReadLongName(body));
    const std::uint32_t count = body.Word();
    const std::size_t faces = m.faces.size() / 3;
    if (c.pass != Pass::write || faces == 0 || count == 0) return;
    RequireLoad(sizeof(std::string) + name.size() + (m.groupNames.empty() ? 2 * faces : 0));
    if (m.groupNames.empty()) m.faceMaterials.assign(faces, 0);
    const auto group = static_cast<std::uint16_t>(m.groupNames.size());
    m.groupNames.push_back(name);
    // Face numbers past the face list name no face.
    for (std::uint32_t i = 0; i < count && body.Left() >= 2; ++i) {
        const std::uint16_t face = body.Word();
        if (face < faces) m.faceMaterials[face] = group;
    }
}

void ReadFaceList(Conversion& c, Cursor body) {
    MeshWork& m = c.mesh;
    const std::uint32_t count = std::min<std::uint32_t>(body.Word(), body.Left() / 8);
    RequireLoad(count, 12);
    m.faces.resize(3 * count);
    m.faceMaterials.clear();
    m.groupNames.clear();
    for (std::uint32_t f = 0; f < count; ++f) {
        const std::uint16_t a = body.Word(), b = body.Word(), corner = body.Word();
        body.Word(); // edge flags
        m.faces[3 * f] = a, m.faces[3 * f + 1] = corner, m.faces[3 * f + 2] = b;
    }
    m.hasFaceList = true;
    for (Chunk chunk; NextChunk(body, chunk);)
        if (chunk.id == 0x4130) ReadFaceMaterial(c, chunk.body);
}

void ReadMapping(MeshWork& m, Cursor body) {
    const std::uint32_t count = std::min<std::uint32_t>(body.Word(), body.Left() / 8);
    RequireLoad(count, 8);
    m.mapping.resize(2 * count);
    body.Floats(m.mapping.data(), static_cast<int>(2 * count));
}

// Four rows of three (the last is the origin), then y and z exchanged on both sides.
void ReadLocalAxes(MeshWork& m, Cursor body) {
    D3DXMATRIX l;
    D3DXMatrixIdentity(&l);
    for (int row = 0; row < 4; ++row)
        body.Floats(l.m[row], 3);
    for (int k = 0; k < 4; ++k)
        std::swap(l.m[1][k], l.m[2][k]);
    for (int k = 0; k < 4; ++k)
        std::swap(l.m[k][1], l.m[k][2]);
    l._14 = l._24 = l._34 = 0;
    l._44 = 1;
    m.local = l;
    m.hasLocalAxes = true;
}

D3DXVECTOR3 Position(const std::vector<float>& v, std::uint32_t i) {
    return D3DXVECTOR3(v[3 * i], v[3 * i + 1], v[3 * i + 2]);
}

// The flat normal at one corner of a face; a face without area points along (1, 1, 1).
D3DXVECTOR3 CornerNormal(const D3DXVECTOR3 p[3], int corner) {
    const D3DXVECTOR3 a = p[corner], b = p[(corner + 1) % 3], c = p[(corner + 2) % 3];
    const D3DXVECTOR3 e1 = b - a, e2 = c - a;
    D3DXVECTOR3 n(e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x);
    const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (!(length > 0)) {
        const float third = 1.0f / std::sqrt(3.0f);
        return D3DXVECTOR3(third, third, third);
    }
    return n / length;
}

// What is written of the faces: those whose corners all name vertices, with their material
// numbers and corner normals (taken before the vertices move).
struct WrittenFaces {
    std::vector<std::uint32_t> faces;
    std::vector<std::uint16_t> materials;
    std::vector<float> normals;
    std::vector<std::uint32_t> normalFaces;
};

WrittenFaces KeepWholeFaces(const MeshWork& m) {
    WrittenFaces w;
    // Each face: its corners, its material, three normals and their corners.
    RequireLoad(m.faces.size() / 3, 12 + 2 + 36 + 12);
    const auto vertices = static_cast<std::uint32_t>(m.vertices.size() / 3);
    for (std::size_t f = 0; f < m.faces.size() / 3; ++f) {
        const std::uint32_t* face = &m.faces[3 * f];
        if (face[0] >= vertices || face[1] >= vertices || face[2] >= vertices) continue;
        const D3DXVECTOR3 p[3] = {Position(m.vertices, face[0]), Position(m.vertices, face[1]),
                                  Position(m.vertices, face[2])};
        const auto base = static_cast<std::uint32_t>(w.normals.size() / 3);
        for (int corner = 0; corner < 3; ++corner) {
            const D3DXVECTOR3 n = CornerNormal(p, corner);
            w.normals.insert(w.normals.end(), {n.x, n.y, n.z});
            w.normalFaces.push_back(base + corner);
        }
        w.faces.insert(w.faces.end(), face, face + 3);
        if (!m.faceMaterials.empty()) w.materials.push_back(m.faceMaterials[f]);
    }
    return w;
}

// Groups whose material the text does not hold (yet) lose their reference, and their faces take
// the first material: the platform's parser refuses a reference it cannot resolve.
void KeepWrittenMaterials(Conversion& c, std::vector<std::uint16_t>& faceMaterials) {
    std::vector<std::string>& names = c.mesh.groupNames;
    RequireLoad(names.size(), sizeof(std::uint16_t) + sizeof(std::string));
    std::vector<std::uint16_t> renumbered(names.size(), 0);
    std::vector<std::string> kept;
    for (std::size_t g = 0; g < names.size(); ++g) {
        std::string written = names[g];
        ApplyMaterialNameRule(written);
        if (!c.writtenMaterials.count(written)) continue;
        renumbered[g] = static_cast<std::uint16_t>(kept.size());
        kept.push_back(names[g]);
    }
    for (std::uint16_t& group : faceMaterials)
        group = group < renumbered.size() ? renumbered[group] : 0;
    names = std::move(kept);
}

D3DXMATRIX InverseOrIdentity(const D3DXMATRIX& m) {
    D3DXMATRIX inverse;
    if (!D3DXMatrixInverse(&inverse, nullptr, &m)) D3DXMatrixIdentity(&inverse);
    return inverse;
}

// Vertices into the object's local space, less its pivot; the frame matrix relative to the
// parent's world. The mesh's local matrix becomes the current world.
D3DXMATRIX PlaceVertices(Conversion& c) {
    MeshWork& m = c.mesh;
    D3DXMATRIX inverse = InverseOrIdentity(m.local);
    const std::int32_t k = c.objectCounter + 1;
    if (k >= 0 && k < kTableSize) {
        inverse._41 -= c.pivots[k].x;
        inverse._42 -= c.pivots[k].y;
        inverse._43 -= c.pivots[k].z;
    }
    for (std::size_t i = 0; i < m.vertices.size(); i += 3) {
        D3DXVECTOR3 v(m.vertices[i], m.vertices[i + 1], m.vertices[i + 2]);
        D3DXVec3TransformCoord(&v, &v, &inverse);
        m.vertices[i] = v.x, m.vertices[i + 1] = v.y, m.vertices[i + 2] = v.z;
    }
    const D3DXMATRIX parentInverse = InverseOrIdentity(c.parentWorld);
    D3DXMATRIX frame;
    D3DXMatrixMultiply(&frame, &m.local, &parentInverse);
    c.currentWorld = m.local;
    return frame;
}

// X names cannot start with a digit: a name that reads as a positive number gains an "x".
std::string MeshName(const std::string& objectName) {
    return std::strtol(objectName.c_str(), nullptr, 10) > 0 ? "x" + objectName : objectName;
}

void WriteMesh(Conversion& c, const std::string& objectName, const D3DXMATRIX& frame,
               WrittenFaces& w) {
    MeshWork& m = c.mesh;
    XTextBuffer& x = c.x;
    const auto vertices = static_cast<std::uint32_t>(m.vertices.size() / 3);
    const auto faces = static_cast<std::uint32_t>(w.faces.size() / 3);
    if (m.hasLocalAxes) WriteXFrameTransformMatrix(x, static_cast<const float*>(frame));
    WriteXMesh(x, MeshName(objectName));
    WriteXVectors(x, vertices, m.vertices.data());
    // A mesh without faces still says so: the format cannot leave the count out.
    WriteXFaces(x, faces, w.faces.data());
    if (m.hasFaceList) {
        KeepWrittenMaterials(c, w.materials);
        // The count is the materials the list names (its own white one when it names none).
        const auto count =
            static_cast<std::uint32_t>(std::max<std::size_t>(1, m.groupNames.size()));
        WriteXMeshMaterialList(x, count, faces, 0, w.materials, m.groupNames);
    }
    if (faces > 0) {
        WriteXMeshNormals(x);
        WriteXVectors(x, 3 * faces, w.normals.data());
        WriteXFaces(x, faces, w.normalFaces.data());
        CloseXMeshNormals(x);
    }
    // A mapping list shorter than the vertex list gives what it holds.
    const auto pairs = std::min<std::uint32_t>(vertices, m.mapping.size() / 2);
    if (pairs > 0) {
        WriteXMeshTextureCoords(x);
        WriteXTextureCoords(x, pairs, m.mapping.data());
        CloseXMeshTextureCoords(x);
    }
    CloseXMesh(x);
}

} // namespace

void ReadTriMesh(Conversion& c, Cursor body, const std::string& objectName) {
    c.mesh = MeshWork{};
    D3DXMatrixIdentity(&c.mesh.local);
    for (Chunk chunk; NextChunk(body, chunk);) {
        switch (chunk.id) {
        case 0x4110:
            ReadVertexList(c.mesh, chunk.body);
            break;
        case 0x4120:
            ReadFaceList(c, chunk.body);
            break;
        case 0x4140:
            ReadMapping(c.mesh, chunk.body);
            break;
        case 0x4160:
            ReadLocalAxes(c.mesh, chunk.body);
            break;
        default:
            break;
        }
    }
    if (c.pass == Pass::write) {
        WrittenFaces w = KeepWholeFaces(c.mesh);
        const D3DXMATRIX frame = PlaceVertices(c);
        if (!c.mesh.vertices.empty()) WriteMesh(c, objectName, frame, w);
    }
    c.mesh = MeshWork{};
}

} // namespace Conv3DS
