// Block codes and limits of the native object format, shared by its writer and reader.
#pragma once

#include <cstdint>

namespace tlo {

inline constexpr char kMagic[] = "MAGICTLO";
inline constexpr std::uint32_t kMagicLength = 8;
inline constexpr std::uint32_t kVersion = 1062;
inline constexpr std::uint32_t kHeaderSize = 8;

// Frames chained through child and sibling blocks, and animations through next blocks, nest one
// level per link: a chain longer than this is refused by writer and reader alike.
inline constexpr int kMaxNesting = 65536;
// Keyframe meshes whose frames carry keyframe meshes of their own.
inline constexpr int kMaxKeyFrameNesting = 4;
// Entries of a stored vertex declaration, end marker included.
inline constexpr std::uint32_t kDeclarationEntries = 65;
inline constexpr std::uint32_t kDeclarationBytes = kDeclarationEntries * 8;

enum Code : std::uint32_t {
    kEnd = 0,
    kRootFrame = 1,
    kRootAnimationSet = 2,
    kRootCustomData = 406,

    kFrameName = 101,
    kFrameMatrix = 102,
    kFrameMesh = 103,
    kFrameChild = 104,
    kFrameSibling = 105,
    kFrameOffset = 106,
    kFrameRotation = 107,
    kFrameScale = 108,

    kMeshFVF = 111,
    kMeshVertexSize = 112,
    kMeshVertexCount = 113,
    kMeshIndexCount = 114,
    kMeshVertices = 115,
    kMeshIndices = 116,
    kMeshPrimitiveType = 117,
    kMeshDrawVertices = 118,
    kMeshDrawPrimitives = 119,
    kMeshDeclaration = 120,
    kMeshBoneCount = 121,
    kMeshBones = 122,
    kMeshMultiMaterialOn = 123,
    kMeshMultiMaterialCount = 124,
    kMeshMaterialOn = 125,
    kMeshMaterial = 126,
    kMeshTextureCount = 127,
    kMeshTextures = 128,
    kMeshWireframe = 129,
    kMeshLighting = 130,
    kMeshCulling = 131,
    kMeshFog = 132,
    kMeshAmbient = 133,
    kMeshTransparency = 134,
    kMeshGhost = 135,
    kMeshGhostMode = 136,
    kMeshFormatFlag = 137,
    kMeshKeyFrames = 138,
    kMeshMultiMaterials = 139,
    kMeshVisible = 140,
    kMeshEffectName = 154,
    kMeshFormatWord = 155,
    kMeshDepthBiasOn = 156,
    kMeshSlopeScaleDepthBias = 157,
    kMeshDepthBias = 158,
    kMeshDepthRead = 159,
    kMeshDepthWrite = 160,
    kMeshAlphaReference = 166,

    kTextureName = 141,
    kTextureFirstWord = 142, // to 153: the twelve stage words in record order
    kTextureLastWord = 153,

    kMultiMaterialName = 161,
    kMultiMaterialMaterial = 162,
    kMultiMaterialStartIndex = 163,
    kMultiMaterialIndexCount = 164,
    kMultiMaterialPrimitiveCount = 165,

    kSetName = 201,
    kSetLength = 202,
    kSetAnimation = 203,

    kAnimationName = 211,
    kPositionKeyCount = 212,
    kPositionKeys = 213,
    kRotationKeyCount = 214,
    kRotationKeys = 215,
    kScaleKeyCount = 216,
    kScaleKeys = 217,
    kMatrixKeyCount = 218,
    kMatrixKeys = 219,
    kAnimationNext = 220,
    kKeyed = 400,
    kBakedIndices = 401,
    kBakedIndexCount = 402,
    kBakedFrameCount = 403,
    kBakedMatricesPerFrame = 404,
    kBakedMatrices = 405,

    kBoneName = 301,
    kBoneInfluenceCount = 302,
    kBoneVertices = 303,
    kBoneWeights = 304,
    kBoneOffsetMatrix = 305,
};

} // namespace tlo
