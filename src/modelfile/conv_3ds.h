// The 3DS converter: a 3DS scene becomes the text of an X model file, which the X converter then
// reads into an object. The text writer and the keyframer records live here too, so that both
// can be driven without a device.
#pragma once

#include "core/win32.h"

#include "modelfile/converters.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ObjectRecord;

namespace Conv3DS {

// One key of a keyframer track. Rotation keys hold a quaternion (x, y, z, w); position and scale
// keys a vector in x, y, z.
struct TrackKey {
    std::uint16_t frame = 0; // written as a signed 16-bit value
    float w = 0;
    float x = 0, y = 0, z = 0;
};

// One object node of the keyframer, with its three tracks in file order.
struct KeyframeNode {
    std::int32_t id = -1;
    std::string name; // at most 255 characters
    std::vector<TrackKey> positionKeys;
    std::vector<TrackKey> rotationKeys;
    std::vector<TrackKey> scaleKeys;
};

// The X text of one pass. Only the line and text operations write while it is disabled; the
// header starts the text and enables it. Text past kLargestXText, or past the running load's
// budget (each piece is charged as it is added), is refused (overflow is set). The text becomes a
// file in the temporary folder: it is held to what that folder may be given by one load.
struct XTextBuffer {
    std::string text;
    bool writing = false;
    bool overflow = false;
};
constexpr std::size_t kLargestXText = 16u << 20;

// The writer: each operation appends one piece of the X text format.
void WriteXHeader(XTextBuffer& x);
void DisableXText(XTextBuffer& x);
std::size_t GetXTextLength(const XTextBuffer& x);
void WriteXFrame(XTextBuffer& x, const std::string& name);
void CloseXFrame(XTextBuffer& x);
void WriteXFrameTransformMatrix(XTextBuffer& x, const float values[16]);
void WriteXMesh(XTextBuffer& x, const std::string& name);
void CloseXMesh(XTextBuffer& x);
// count vectors of three floats.
void WriteXVectors(XTextBuffer& x, std::uint32_t count, const float* vectors);
// count triangles of three indices.
void WriteXFaces(XTextBuffer& x, std::uint32_t count, const std::uint32_t* faces);
void WriteXMeshNormals(XTextBuffer& x);
void CloseXMeshNormals(XTextBuffer& x);
void WriteXMeshTextureCoords(XTextBuffer& x);
// count pairs (u, v); each v of the array is negated, as the text holds it.
void WriteXTextureCoords(XTextBuffer& x, std::uint32_t count, float* pairs);
void CloseXMeshTextureCoords(XTextBuffer& x);
// The material index of each of faceCount faces (defaultIndex for all when faceMaterials is
// empty), then a reference to each group name, or a white material of the list's own when there
// is none. Both lists are emptied afterwards.
void WriteXMeshMaterialList(XTextBuffer& x, std::uint32_t materialCount, std::uint32_t faceCount,
                            std::uint32_t defaultIndex, std::vector<std::uint16_t>& faceMaterials,
                            std::vector<std::string>& groupNames);
struct XMaterial {
    std::string name; // changed in place by the name rule
    float face[4] = {1, 1, 1, 1};
    float power = 0;
    float specular[3] = {0, 0, 0};
    float emissive[3] = {0, 0, 0};
    float mapAmount = -1; // not written
    std::string texture;
};
void WriteXMaterial(XTextBuffer& x, XMaterial& material);
void WriteXLine(XTextBuffer& x, const std::string& text);
void AppendXText(XTextBuffer& x, const std::string& text);
void WriteXAnimationSet(XTextBuffer& x, const std::vector<KeyframeNode>& nodes);
// The material name rule: '#' and '-' become '_', digits become the letters 'a' to 'j'.
void ApplyMaterialNameRule(std::string& name);

// The X text of a 3DS file held in memory; false when the text grew past its limit or memory ran
// out. Damaged files give what could be read.
bool Build3DSXText(const std::uint8_t* bytes, std::size_t size, std::string& text);
// 0, or -4 when the source cannot be read (nothing is written).
int Write3DSAsXFile(const char* source, const char* destination);
// The file through the temporary X file into the converter's own object; false when the source
// cannot be read or the temporary file does not load.
bool ConvertViaTempX(const char* fileName);
bool ConvertFile(const char* fileName, std::uint8_t** block, std::uint32_t* size);

// The object of the last conversion (null after Free or a failure).
ObjectRecord* LoadedObject();

// Where the readers' trace lines go: standard output unless set; null drops them.
using TraceSink = void (*)(const char* line);
void SetTraceSink(TraceSink sink);
void WriteToStandardOutput(const char* line);

} // namespace Conv3DS
