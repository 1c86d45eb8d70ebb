#include "core/win32.h"

#include "block_fixtures.h"
#include "modelfile/object_block.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstring>
#include <random>

namespace {

FrameRecord* Named(const char* name) {
    auto* frame = new FrameRecord;
    std::strcpy(frame->name, name);
    return frame;
}

template <typename T> T* Copy(std::initializer_list<T> values) {
    T* array = new T[values.size()];
    std::copy(values.begin(), values.end(), array);
    return array;
}

// A mesh of count vertices of the format, filled from the generator.
MeshRecord* FilledMesh(std::uint32_t fvf, std::uint32_t stride, std::int32_t count,
                       std::mt19937& random) {
    auto* mesh = new MeshRecord;
    mesh->fvf = mesh->savedFVF = fvf;
    mesh->vertexSize = stride;
    mesh->vertexCount = count;
    mesh->vertices = new std::uint8_t[stride * count];
    std::uniform_real_distribution<float> value(-10, 10);
    auto* words = reinterpret_cast<float*>(mesh->vertices);
    for (std::uint32_t i = 0; i < stride / 4 * count; ++i)
        words[i] = value(random);
    mesh->drawVertexCount = count;
    mesh->drawPrimitiveCount = count / 3;
    return mesh;
}

void FillBones(MeshRecord* mesh) {
    mesh->boneCount = 2;
    mesh->bones = new BoneRecord[2];
    std::strcpy(mesh->bones[0].name, "Arm");
    mesh->bones[0].influenceCount = 2;
    mesh->bones[0].vertices = Copy<std::uint32_t>({0, 3});
    mesh->bones[0].weights = Copy<float>({0.25f, 1});
    D3DXMatrixRotationZ(&mesh->bones[0].offsetMatrix, 0.5f);
    std::strcpy(mesh->bones[1].name, "Leg");
    mesh->bones[1].offsetMatrix = kIdentityMatrix; // a bone that moves nothing
}

void FillTexturesAndMaterials(MeshRecord* mesh) {
    mesh->materialOn = 1;
    mesh->material.Diffuse = {0.5f, 0.25f, 0.125f, 1};
    mesh->material.Power = 7;
    mesh->textureCount = 2;
    mesh->textures = new TextureRecord[2];
    std::strcpy(mesh->textures[0].fileName, "wood.bmp");
    mesh->textures[0].imageNumber = 12; // not stored
    std::strcpy(mesh->textures[1].fileName, "bump.dds");
    mesh->textures[1].stage = 1;
    mesh->textures[1].colourOperation = D3DTOP_MODULATE;
    mesh->textures[1].coordinateMode = 11;
    mesh->textures[1].extra[1] = 0xDEADBEEF;
    mesh->multiMaterialOn = 1;
    mesh->multiMaterialCount = 2;
    mesh->multiMaterials = new MultiMaterialRecord[2]();
    std::strcpy(mesh->multiMaterials[0].name, "wood.bmp");
    mesh->multiMaterials[0].indexCount = 3;
    mesh->multiMaterials[0].primitiveCount = 1;
    mesh->multiMaterials[1].startIndex = 3;
    mesh->multiMaterials[1].indexCount = 3;
    mesh->multiMaterials[1].primitiveCount = 1;
    mesh->multiMaterials[1].material.Emissive = {0, 1, 0, 1};
}

void FillRenderSettings(MeshRecord* mesh) {
    mesh->wireframe = 1;
    mesh->lighting = 0;
    mesh->fog = 0;
    mesh->transparency = 1;
    mesh->ghost = 1;
    mesh->ghostMode = 4;
    mesh->visible = 0;
    mesh->formatFlag = 1;
    mesh->formatWord = 0xABCD1234;
    mesh->effectInUse = 1;
    std::strcpy(mesh->effectFileName, "shine.fx");
    mesh->depthBiasOn = 1;
    mesh->slopeScaleDepthBias = 0.5f;
    mesh->depthBias = -0.001f;
    mesh->depthWrite = 0;
    mesh->alphaReference = 128;
}

AnimationSetRecord* FillAnimation() {
    auto* set = new AnimationSetRecord;
    std::strcpy(set->name, "Walk");
    set->length = 40;
    AnimationRecord* root = set->animation = new AnimationRecord;
    std::strcpy(root->name, "Root");
    root->positionKeyCount = 2;
    root->positionKeys = Copy<PositionKey>({{0, {0, 0, 0}, {1, 0, 0}}, {40, {40, 0, 0}, {}}});
    root->rotationKeyCount = 1;
    root->rotationKeys = Copy<RotationKey>({{5, {0, 0.70710677f, 0, 0.70710677f}}});
    root->scaleKeyCount = 1;
    root->scaleKeys = Copy<ScaleKey>({{0, {2, 2, 2}, {}}});
    root->matrixKeyCount = 2;
    root->matrixKeys = new MatrixKey[2];
    for (std::uint32_t k = 0; k < 2; ++k) {
        root->matrixKeys[k].time = 20 * k;
        D3DXMatrixTranslation(&root->matrixKeys[k].value, 0, static_cast<float>(k), 0);
        root->matrixKeys[k].delta = kZeroMatrix;
    }
    AnimationRecord* arm = root->next = new AnimationRecord;
    std::strcpy(arm->name, "Arm");
    arm->keyed = 0;
    arm->bakedIndexCount = 3;
    arm->bakedIndices = Copy<std::uint32_t>({0, 1, 1});
    arm->bakedFrameCount = 3;
    arm->bakedMatricesPerFrame = 2;
    arm->bakedFrames = new D3DXMATRIX*[3];
    for (int f = 0; f < 3; ++f) {
        arm->bakedFrames[f] = new D3DXMATRIX[2];
        D3DXMatrixScaling(&arm->bakedFrames[f][0], 1, static_cast<float>(f), 1);
        D3DXMatrixRotationX(&arm->bakedFrames[f][1], static_cast<float>(f));
    }
    AnimationRecord* leg = arm->next = new AnimationRecord;
    std::strcpy(leg->name, "Leg"); // driven by nothing yet
    return set;
}

} // namespace

Bytes FileHeader() {
    return Bytes().Str("MAGICTLO").U32(1062).U32(0).U32(0);
}

Bytes PlainFrame(const std::string& name, float x) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, 0, 0);
    return Bytes()
        .Block(101, Bytes().Str(name))
        .Block(102, Bytes().Matrix(m))
        .Block(103, Bytes().End())
        .Block(104, Bytes().End())
        .Block(105, Bytes().End())
        .Block(106, Bytes().Vector(0, 0, 0))
        .Block(107, Bytes().Vector(0, 0, 0))
        .Block(108, Bytes().Vector(1, 1, 1))
        .End();
}

namespace {

bool Nested(std::uint32_t code) {
    switch (code) {
    case 1:
    case 2:
    case 103:
    case 104:
    case 105:
    case 122:
    case 128:
    case 139:
    case 203:
    case 220:
        return true;
    default:
        return false;
    }
}

void WalkRange(const std::string& bytes, std::size_t at, std::size_t end,
               std::vector<WalkedBlock>& out) {
    while (at + 8 <= end) {
        WalkedBlock block{0, 0, at};
        std::memcpy(&block.code, bytes.data() + at, 4);
        std::memcpy(&block.size, bytes.data() + at + 4, 4);
        out.push_back(block);
        at += 8;
        if (block.code == 120) {
            at += 520;
        } else if (block.code == 138) {
            at += 4; // the keyframes' lists follow as blocks of this level
        } else {
            if (Nested(block.code)) WalkRange(bytes, at, at + block.size, out);
            at += block.size;
        }
    }
}

} // namespace

std::vector<WalkedBlock> WalkBlocks(const std::string& bytes) {
    std::vector<WalkedBlock> blocks;
    WalkRange(bytes, 24, bytes.size(), blocks);
    return blocks;
}

std::vector<WalkedBlock> BlocksOf(const std::vector<WalkedBlock>& blocks, std::uint32_t code) {
    std::vector<WalkedBlock> found;
    for (const WalkedBlock& b : blocks)
        if (b.code == code) found.push_back(b);
    return found;
}

ObjectRecord* RichObject() {
    std::mt19937 random(2026);
    auto* object = new ObjectRecord;
    FrameRecord* root = object->rootFrame = Named("Root");
    FrameRecord* arm = Named("Arm");
    root->child = arm;
    arm->parent = root;
    root->sibling = Named("Leg");
    D3DXMatrixTranslation(&root->initialMatrix, 1, 2, 3);
    root->offset = D3DXVECTOR3(4, 5, 6);
    root->rotation = D3DXVECTOR3(10, 20, 30);
    root->scale = D3DXVECTOR3(1, 2, 3);
    root->combinedMatrix._41 = 99; // derived: not stored

    MeshRecord* mesh = root->mesh =
        FilledMesh(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, 32, 4, random);
    mesh->indexCount = 6;
    mesh->indices = Copy<std::uint16_t>({0, 1, 2, 2, 3, 0});
    mesh->drawPrimitiveCount = 2;
    FillBones(mesh);
    FillTexturesAndMaterials(mesh);
    FillRenderSettings(mesh);
    mesh->keyFrameCount = 2;
    mesh->keyFrames = new FrameRecord[2];
    for (int k = 0; k < 2; ++k) {
        std::strcpy(mesh->keyFrames[k].name, k ? "key1" : "key0");
        mesh->keyFrames[k].mesh = FilledMesh(D3DFVF_XYZ, 12, 4, random);
    }

    MeshRecord* declared = arm->mesh = FilledMesh(0, 20, 3, random);
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END()};
    std::memcpy(declared->declaration, elements, sizeof elements);

    object->animationSet = FillAnimation();
    object->customSize = 5;
    object->customBufferB = Copy<std::uint8_t>({1, 2, 3, 4, 5});
    return object;
}

std::string BlockOf(const ObjectRecord* object) {
    TLOBlock block;
    if (!WriteObjectToBlock(object, block.Out(), block.OutSize())) return {};
    return std::string(reinterpret_cast<const char*>(block.Data()), block.Size());
}

ObjectRecord* ObjectOf(const std::string& bytes) {
    ObjectRecord* object = nullptr;
    ReadObjectFromBlock(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                        static_cast<std::uint32_t>(bytes.size()), &object);
    return object;
}

std::size_t HeapBytesInUse() {
    _HEAPINFO info{};
    std::size_t used = 0;
    while (_heapwalk(&info) == _HEAPOK)
        if (info._useflag == _USEDENTRY) used += info._size;
    return used;
}
