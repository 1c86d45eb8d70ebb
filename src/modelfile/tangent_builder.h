// The tangent-space builder: per-vertex tangent frames (tangent along increasing u, binormal along
// increasing v, normal) for an indexed triangle list given as named attributes, and the adapter
// that gives a D3DX mesh its tangents and binormals.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <string>
#include <vector>

// One named per-vertex array: "position", "normal", "tex0", "tangent" and "binormal" hold three
// floats a vertex; "indices" holds three integers a triangle.
struct VertexAttribute {
    std::string name;
    std::vector<std::int32_t> ints;
    std::vector<float> floats;
};

class MeshTangentBuilder {
public:
    // Tangent splitting.
    static constexpr int kSplitAtCreases = 0;
    static constexpr int kNeverSplit = 1;
    // Cylindrical wrap.
    static constexpr int kFixWrapSeams = 2;
    static constexpr int kLeaveWrapSeams = 3;
    // Normal weighting.
    static constexpr int kWeightedNormals = 4;
    static constexpr int kEqualNormals = 5;

    // Fills output from input: every output attribute is emptied, then receives the input
    // attribute of its name; what the input lacks (normals, cylindrical texture coordinates,
    // tangent frames) is computed, and vertices added at seams and creases are appended to every
    // output attribute but "indices". The vertex count is "position"'s; a triangle naming a
    // vertex that is not there is left as it is and takes no part. False, with a message, when
    // "indices" or "position" is missing.
    bool Build(const std::vector<VertexAttribute>& input, std::vector<VertexAttribute>& output,
               float creaseAngle, const D3DXMATRIX* textureMatrix, int tangentSplitting,
               int cylindricalWrap, int normalWeighting);

    // One message for each failure, oldest first.
    const std::vector<std::string>& Messages() const { return messages_; }

private:
    std::vector<std::string> messages_;
};

// Takes over the caller's reference to mesh and returns one reference to the mesh to use from
// then on: a new mesh of the same declaration whose position, normal, first texture coordinates,
// tangent and binormal (and float colour, set to 255) come from the builder, every other element
// kept from mesh; mesh itself when a step fails. Normals that are all zero count as missing and
// are computed.
ID3DXMesh* ComputeMeshTangentFrames(ID3DXMesh* mesh, bool splitAtCreases, bool fixWrap,
                                    bool weightNormals);
