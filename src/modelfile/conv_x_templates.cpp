#include "core/win32.h"

#include "modelfile/conv_x_internal.h"

namespace ConvX {

const GUID kFrame = {0x3D82AB46, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
const GUID kFrameTransformMatrix = {
    0xF6F23F41, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
const GUID kMesh = {0x3D82AB44, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
const GUID kMeshNormals = {
    0xF6F23F43, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
const GUID kMeshTextureCoords = {
    0xF6F23F40, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
const GUID kMeshVertexColors = {
    0x1630B821, 0x7842, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
const GUID kMeshMaterialList = {
    0xF6F23F42, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
const GUID kMaterial = {
    0x3D82AB4D, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
const GUID kTextureFilename = {
    0xA42790E1, 0x7810, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
const GUID kAnimationSet = {
    0x3D82AB50, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
const GUID kAnimation = {
    0x3D82AB4F, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
const GUID kAnimationKey = {
    0x10DD46A8, 0x775B, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
const GUID kAnimationOptions = {
    0xE2BF56C0, 0x840F, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
const GUID kXSkinMeshHeader = {
    0x3CF169CE, 0xFF7C, 0x44AB, {0x93, 0xC0, 0xF7, 0x8F, 0x62, 0xD1, 0x72, 0xE2}};
const GUID kSkinWeights = {
    0x6F0D123B, 0xBAD2, 0x4167, {0xA0, 0xD0, 0x80, 0x22, 0x4F, 0x25, 0xFA, 0xBB}};
const GUID kFVFData = {
    0xB6E70A0E, 0x8EF9, 0x4E83, {0x94, 0xAD, 0xEC, 0xC8, 0xB0, 0xC0, 0x48, 0x97}};

// The standard templates of the X format, and those of skinned meshes and extra vertex data,
// declared as the format publishes them.
const char* TemplateText() {
    return "xof 0302txt 0032\n"
           "template Header { <3D82AB43-62DA-11CF-AB39-0020AF71E433> WORD major; WORD minor; "
           "DWORD flags; }\n"
           "template Vector { <3D82AB5E-62DA-11CF-AB39-0020AF71E433> FLOAT x; FLOAT y; FLOAT z; }\n"
           "template Coords2d { <F6F23F44-7686-11CF-8F52-0040333594A3> FLOAT u; FLOAT v; }\n"
           "template Matrix4x4 { <F6F23F45-7686-11CF-8F52-0040333594A3> array FLOAT matrix[16]; }\n"
           "template ColorRGBA { <35FF44E0-6C7C-11CF-8F52-0040333594A3> FLOAT red; FLOAT green; "
           "FLOAT blue; FLOAT alpha; }\n"
           "template ColorRGB { <D3E16E81-7835-11CF-8F52-0040333594A3> FLOAT red; FLOAT green; "
           "FLOAT blue; }\n"
           "template IndexedColor { <1630B820-7842-11CF-8F52-0040333594A3> DWORD index; "
           "ColorRGBA indexColor; }\n"
           "template Boolean { <4885AE61-78E8-11CF-8F52-0040333594A3> WORD truefalse; }\n"
           "template Boolean2d { <4885AE63-78E8-11CF-8F52-0040333594A3> Boolean u; Boolean v; }\n"
           "template MaterialWrap { <4885AE60-78E8-11CF-8F52-0040333594A3> Boolean u; "
           "Boolean v; }\n"
           "template TextureFilename { <A42790E1-7810-11CF-8F52-0040333594A3> STRING filename; }\n"
           "template Material { <3D82AB4D-62DA-11CF-AB39-0020AF71E433> ColorRGBA faceColor; "
           "FLOAT power; ColorRGB specularColor; ColorRGB emissiveColor; [...] }\n"
           "template MeshFace { <3D82AB5F-62DA-11CF-AB39-0020AF71E433> DWORD nFaceVertexIndices; "
           "array DWORD faceVertexIndices[nFaceVertexIndices]; }\n"
           "template MeshFaceWraps { <4885AE62-78E8-11CF-8F52-0040333594A3> DWORD "
           "nFaceWrapValues; array Boolean2d faceWrapValues[nFaceWrapValues]; }\n"
           "template MeshTextureCoords { <F6F23F40-7686-11CF-8F52-0040333594A3> DWORD "
           "nTextureCoords; array Coords2d textureCoords[nTextureCoords]; }\n"
           "template MeshMaterialList { <F6F23F42-7686-11CF-8F52-0040333594A3> DWORD nMaterials; "
           "DWORD nFaceIndexes; array DWORD faceIndexes[nFaceIndexes]; [Material <3D82AB4D-62DA-"
           "11CF-AB39-0020AF71E433>] }\n"
           "template MeshNormals { <F6F23F43-7686-11CF-8F52-0040333594A3> DWORD nNormals; array "
           "Vector normals[nNormals]; DWORD nFaceNormals; array MeshFace "
           "faceNormals[nFaceNormals]; }\n"
           "template MeshVertexColors { <1630B821-7842-11CF-8F52-0040333594A3> DWORD "
           "nVertexColors; array IndexedColor vertexColors[nVertexColors]; }\n"
           "template Mesh { <3D82AB44-62DA-11CF-AB39-0020AF71E433> DWORD nVertices; array Vector "
           "vertices[nVertices]; DWORD nFaces; array MeshFace faces[nFaces]; [...] }\n"
           "template FrameTransformMatrix { <F6F23F41-7686-11CF-8F52-0040333594A3> Matrix4x4 "
           "frameMatrix; }\n"
           "template Frame { <3D82AB46-62DA-11CF-AB39-0020AF71E433> [...] }\n"
           "template FloatKeys { <10DD46A9-775B-11CF-8F52-0040333594A3> DWORD nValues; array FLOAT "
           "values[nValues]; }\n"
           "template TimedFloatKeys { <F406B180-7B3B-11CF-8F52-0040333594A3> DWORD time; "
           "FloatKeys tfkeys; }\n"
           "template AnimationKey { <10DD46A8-775B-11CF-8F52-0040333594A3> DWORD keyType; DWORD "
           "nKeys; array TimedFloatKeys keys[nKeys]; }\n"
           "template AnimationOptions { <E2BF56C0-840F-11CF-8F52-0040333594A3> DWORD openclosed; "
           "DWORD positionquality; }\n"
           "template Animation { <3D82AB4F-62DA-11CF-AB39-0020AF71E433> [...] }\n"
           "template AnimationSet { <3D82AB50-62DA-11CF-AB39-0020AF71E433> [Animation <3D82AB4F-"
           "62DA-11CF-AB39-0020AF71E433>] }\n"
           "template XSkinMeshHeader { <3CF169CE-FF7C-44AB-93C0-F78F62D172E2> WORD "
           "nMaxSkinWeightsPerVertex; WORD nMaxSkinWeightsPerFace; WORD nBones; }\n"
           "template VertexDuplicationIndices { <B8D65549-D7C9-4995-89CF-53A9A8B031E3> DWORD "
           "nIndices; DWORD nOriginalVertices; array DWORD indices[nIndices]; }\n"
           "template SkinWeights { <6F0D123B-BAD2-4167-A0D0-80224F25FABB> STRING "
           "transformNodeName; DWORD nWeights; array DWORD vertexIndices[nWeights]; array FLOAT "
           "weights[nWeights]; Matrix4x4 matrixOffset; }\n"
           "template FVFData { <B6E70A0E-8EF9-4E83-94AD-ECC8B0C04897> DWORD dwFVF; DWORD nDWords; "
           "array DWORD data[nDWords]; }\n"
           "template VertexElement { <F752461C-1E23-48F6-B9F8-8350850F336F> DWORD Type; DWORD "
           "Method; DWORD Usage; DWORD UsageIndex; }\n"
           "template DeclData { <BF22E553-292C-4781-9FEA-62BD554BDD93> DWORD nElements; array "
           "VertexElement Elements[nElements]; DWORD nDWords; array DWORD data[nDWords]; }\n"
           "template AnimTicksPerSecond { <9E415A43-7BA6-4A73-8743-B73D47E88476> DWORD "
           "AnimTicksPerSecond; }\n";
}

} // namespace ConvX
