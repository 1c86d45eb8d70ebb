#include "core/win32.h"

#include "maths/maths.h"
#include "object3d/effect_commands.h"
#include "object3d/positioning.h"
#include "support/object_scene.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const D3DVERTEXELEMENT9& Element(std::int32_t slot, std::int32_t i) {
    return g_Object3D.vertexShaders[slot].elements[i];
}

// Draws every vertex in the colour of register c4; c0 to c3 hold the transposed
// world-view-projection matrix.
constexpr char kColourShader[] = "vs_1_1\n"
                                 "dcl_position v0\n"
                                 "m4x4 oPos, v0, c0\n"
                                 "mov oD0, c4\n";

} // namespace

TEST_F(ObjectScene, ShaderSlotsRefuseBadNumbersAndDeclarations) {
    BuildBox(1, 1);
    EXPECT_FALSE(VertexShaderExist(31));
    EXPECT_EQ(cell.number, 7701);
    cell.number = 0;
    EXPECT_FALSE(PixelShaderExist(-1));
    EXPECT_EQ(cell.number, 7701);
    cell.number = 0;
    SetVertexShaderOn(1, 31);
    EXPECT_EQ(cell.number, 7701);

    CreateVertexShaderDeclaration(0, 0);
    EXPECT_EQ(cell.number, 7702);
    cell.number = 0;
    CreateVertexShaderDeclaration(0, 65); // more than a device declaration holds
    EXPECT_EQ(cell.number, 7702);
    SetVertexShaderDeclarationElement(1, 1, D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3);
    EXPECT_EQ(cell.number, 7704); // no declaration made yet

    CreateVertexShaderDeclaration(0, 5);
    SetVertexShaderDeclarationElement(0, 0, D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3);
    EXPECT_EQ(cell.number, 7704);
    cell.number = 0;
    SetVertexShaderDeclarationElement(0, 6, D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3);
    EXPECT_EQ(cell.number, 7704);
    SetVertexShaderDeclarationElement(0, 1, 14, D3DDECLTYPE_FLOAT3);
    EXPECT_EQ(cell.number, 7705);

    // Offsets follow the device's sizes, so the declaration matches packed vertices.
    const BYTE types[5] = {D3DDECLTYPE_FLOAT3, D3DDECLTYPE_D3DCOLOR, D3DDECLTYPE_SHORT2,
                           D3DDECLTYPE_SHORT4, D3DDECLTYPE_UBYTE4};
    for (std::int32_t i = 0; i < 5; ++i)
        SetVertexShaderDeclarationElement(
            0, i + 1, i == 0 ? D3DDECLUSAGE_POSITION : D3DDECLUSAGE_TEXCOORD, types[i]);
    const WORD offsets[5] = {0, 12, 16, 20, 28};
    for (std::int32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(Element(0, i).Offset, offsets[i]);
        EXPECT_EQ(Element(0, i).Type, types[i]);
    }
    EXPECT_EQ(Element(0, 5).Stream, 0xFF);
    EXPECT_EQ(Element(0, 5).Type, D3DDECLTYPE_UNUSED);

    // A new declaration replaces the old; a deleted slot refuses elements instead of writing.
    CreateVertexShaderDeclaration(0, 2);
    EXPECT_EQ(g_Object3D.vertexShaders[0].elementCount, 2);
    EXPECT_EQ(Element(0, 0).Type, D3DDECLTYPE_FLOAT1);
    EXPECT_EQ(Element(0, 2).Stream, 0xFF);
    DeleteVertexShader(0);
    EXPECT_EQ(g_Object3D.vertexShaders[0].elements, nullptr);
    cell.number = 0;
    SetVertexShaderDeclarationElement(0, 1, D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3);
    EXPECT_EQ(cell.number, 7704);
}

TEST_F(ObjectScene, ShaderFilesAssembleIntoTheirSlots) {
    TempFolder folder;
    BuildBox(1, 1);
    LoadVertexShader(2, folder.Write("bad.vsh", "vs_1_1\nbogus r0, v0\n").c_str());
    EXPECT_EQ(cell.number, 7707);
    EXPECT_FALSE(VertexShaderExist(2));
    cell.number = 0;
    LoadPixelShader(2, folder.File("missing.psh").c_str());
    EXPECT_EQ(cell.number, 7707);

    LoadPixelShader(3, folder.Write("grey.psh", "ps_1_1\nmov r0, v0\n").c_str());
    EXPECT_TRUE(PixelShaderExist(3));
    SetPixelShaderOn(1, 3);
    EXPECT_EQ(FirstMesh(1)->pixelShaderOn, 1);
    EXPECT_EQ(FirstMesh(1)->pixelShader, g_Object3D.pixelShaders[3]);
    DeletePixelShader(3);
    EXPECT_FALSE(PixelShaderExist(3));
    EXPECT_NE(FirstMesh(1)->pixelShader, nullptr); // the mesh holds its own reference
    SetPixelShaderOff(1);
    EXPECT_EQ(FirstMesh(1)->pixelShader, nullptr);

    // A shader without a declaration is not put on objects.
    cell.number = 0;
    LoadVertexShader(4, folder.Write("colour.vsh", kColourShader).c_str());
    EXPECT_EQ(cell.number, 0);
    EXPECT_TRUE(VertexShaderExist(4));
    SetVertexShaderOn(1, 4);
    EXPECT_EQ(cell.number, 7708);
    EXPECT_EQ(FirstMesh(1)->vertexShader, nullptr);
}

TEST_F(ObjectScene, AVertexShaderColoursTheBoxFromItsConstant) {
    TempFolder folder;
    CreateVertexShaderDeclaration(0, 3);
    SetVertexShaderDeclarationElement(0, 1, D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3);
    SetVertexShaderDeclarationElement(0, 2, D3DDECLUSAGE_NORMAL, D3DDECLTYPE_FLOAT3);
    SetVertexShaderDeclarationElement(0, 3, D3DDECLUSAGE_TEXCOORD, D3DDECLTYPE_FLOAT2);
    LoadVertexShader(0, folder.Write("colour.vsh", kColourShader).c_str());
    ASSERT_TRUE(VertexShaderExist(0));
    ASSERT_NE(g_Object3D.vertexShaders[0].declaration, nullptr);

    BuildBox(1, 1);
    PositionObject(1, 0, 0, 5);
    const std::uint32_t plain = SyncAndReadCentre(0xFF000000) & 0xFFFFFF;
    SetVertexShaderOn(1, 0);
    EXPECT_EQ(FirstMesh(1)->vertexShaderOn, 1);

    ASSERT_TRUE(MakeMatrix(10) && MakeMatrix(11) && MakeMatrix(12) && MakeMatrix(13) &&
                MakeMatrix(14));
    TranslateMatrix(10, 0, 0, 5);
    GetViewMatrix(11);
    GetProjectionMatrix(12);
    MultiplyMatrix(13, 10, 11);
    MultiplyMatrix(14, 13, 12);
    TransposeMatrix(13, 14);
    SetVertexShaderMatrix(0, 0, 13);
    ASSERT_TRUE(MakeVector4(20));
    SetVector4(20, 1, 0, 0, 1);
    SetVertexShaderVector(0, 4, 20);
    EXPECT_EQ(SyncAndReadCentre(0xFF000000) & 0xFFFFFF, 0xFF0000u);
    SetVector4(20, 0, 1, 0, 1);
    SetVertexShaderVector(0, 4, 20);
    EXPECT_EQ(SyncAndReadCentre(0xFF000000) & 0xFFFFFF, 0x00FF00u);

    SetVertexShaderOff(1);
    EXPECT_EQ(FirstMesh(1)->vertexShader, nullptr);
    EXPECT_EQ(SyncAndReadCentre(0xFF000000) & 0xFFFFFF, plain);
}
