#include "core/win32.h"

#include "maths_fixture.h"

#include <cstring>

namespace {

bool SameBits(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

TEST_F(MathsItems, ProductsApplyTheLeftMatrixFirst) {
    for (std::int32_t m : {1, 2, 3})
        MakeMatrix(m);
    TranslateMatrix(1, 1, 0, 0);
    ScaleMatrix(2, 2, 2, 2);
    MultiplyMatrix(3, 1, 2);
    MakeVector3(4);
    TransformVectorCoordinates3(4, 4, 3);
    ExpectVector3(4, 2, 0, 0);
    MultiplyMatrix(1, 1, 2); // m = m times n, in place
    EXPECT_TRUE(IsEqualMatrix(1, 3));
    EXPECT_EQ(TakeError(), 0);
}

TEST_F(MathsItems, InverseReturnsTheDeterminant) {
    MakeMatrix(1);
    MakeMatrix(2);
    ScaleMatrix(1, 2, 2, 2);
    EXPECT_EQ(InverseMatrix(2, 1), 8.0f);
    const D3DXMATRIX half = GetMatrixExport(2);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(half[i], i == 15 ? 1.0f : i % 5 == 0 ? 0.5f : 0.0f, 1e-6f) << i;
    MakeMatrix(3); // singular: the result stays as it was
    EXPECT_EQ(InverseMatrix(2, 3), 0.0f);
    EXPECT_TRUE(SameBits(GetMatrixExport(2), half));
}

TEST_F(MathsItems, EqualityIsBitwiseButIdentityAcceptsNegativeZero) {
    MakeMatrix(1);
    SetIdentityMatrix(1);
    MakeMatrix(2);
    CopyMatrix(1, 2); // (source, destination)
    EXPECT_TRUE(IsEqualMatrix(1, 2));
    static_cast<float*>(g_Maths.items.values.Find(2))[6] = -0.0f;
    EXPECT_FALSE(IsEqualMatrix(1, 2));
    EXPECT_TRUE(IsIdentityMatrix(2));
    MultiplyMatrix(1, 1.0000001f);
    EXPECT_FALSE(IsIdentityMatrix(1));
}

TEST_F(MathsItems, BuildersOverwriteTheWholeItem) {
    MakeMatrix(1);
    TranslateMatrix(1, 5, 5, 5);
    Make3(2, 0, 0, -5);
    Make3(3, 0, 0, 0);
    Make3(4, 0, 1, 0);
    BuildLookAtLHMatrix(1, 2, 3, 4); // from (0, 0, -5) the origin lies 5 ahead
    MakeVector3(5);
    TransformVectorCoordinates3(5, 3, 1);
    ExpectVector3(5, 0, 0, 5);
    BuildReflectionMatrix(1, 0, 2, 0, -2); // the plane y = 1
    TransformVectorCoordinates3(5, 3, 1);
    ExpectVector3(5, 0, 2, 0);
    GetWorldMatrix(1);
    EXPECT_TRUE(IsIdentityMatrix(1));
    EXPECT_EQ(TakeError(), 0);
}

TEST_F(MathsItems, BuildersTransposeAndSumsMatchTheirFormulas) {
    MakeMatrix(1);
    TranslateMatrix(1, 1, 2, 3);
    MakeMatrix(2);
    ScaleMatrix(2, 2, 3, 4);
    MakeMatrix(3);
    Make3(4, 0, 0, -3);
    constexpr float c = 0.8660254f; // cos 30; sin 30 is 0.5
    struct Row {
        const char* name;
        void (*run)();
        float m[16];
    };
    // Width 4 and height 2 (or a quarter-turn fov at aspect 2), near 2, far 6: a swap of any two
    // changes some element.
    const Row rows[] = {
        {"OrthoLH",
         [] { BuildOrthoLHMatrix(3, 4, 2, 2, 6); },
         {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0.25f, 0, 0, 0, -0.5f, 1}},
        {"OrthoRH",
         [] { BuildOrthoRHMatrix(3, 4, 2, 2, 6); },
         {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, -0.25f, 0, 0, 0, -0.5f, 1}},
        {"PerspectiveLH",
         [] { BuildPerspectiveLHMatrix(3, 4, 2, 2, 6); },
         {1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1.5f, 1, 0, 0, -3, 0}},
        {"PerspectiveRH",
         [] { BuildPerspectiveRHMatrix(3, 4, 2, 2, 6); },
         {1, 0, 0, 0, 0, 2, 0, 0, 0, 0, -1.5f, -1, 0, 0, -3, 0}},
        {"PerspectiveFovLH",
         [] { BuildPerspectiveFovLHMatrix(3, D3DX_PI / 2, 2, 2, 6); },
         {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.5f, 1, 0, 0, -3, 0}},
        {"PerspectiveFovRH",
         [] { BuildPerspectiveFovRHMatrix(3, D3DX_PI / 2, 2, 2, 6); },
         {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1.5f, -1, 0, 0, -3, 0}},
        {"RotateX",
         [] { RotateXMatrix(3, D3DX_PI / 6); },
         {1, 0, 0, 0, 0, c, 0.5f, 0, 0, -0.5f, c, 0, 0, 0, 0, 1}},
        {"RotateY",
         [] { RotateYMatrix(3, D3DX_PI / 6); },
         {c, 0, -0.5f, 0, 0, 1, 0, 0, 0.5f, 0, c, 0, 0, 0, 0, 1}},
        {"RotateZ",
         [] { RotateZMatrix(3, D3DX_PI / 6); },
         {c, 0.5f, 0, 0, -0.5f, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        // About -z, so the turn runs the other way round.
        {"RotationAxis",
         [] { BuildRotationAxisMatrix(3, 4, D3DX_PI / 6); },
         {c, -0.5f, 0, 0, 0.5f, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        // Roll 180 about z, then pitch 30 about x, then yaw 90 about y.
        {"YawPitchRoll",
         [] { RotateYawPitchRollMatrix(3, D3DX_PI / 2, D3DX_PI / 6, D3DX_PI); },
         {0, 0, 1, 0, -0.5f, -c, 0, 0, c, -0.5f, 0, 0, 0, 0, 0, 1}},
        {"Transpose",
         [] { TransposeMatrix(3, 1); },
         {1, 0, 0, 1, 0, 1, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1}},
        {"Add", [] { AddMatrix(3, 1, 2); }, {3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 5, 0, 1, 2, 3, 2}},
        {"Subtract",
         [] { SubtractMatrix(3, 1, 2); },
         {-1, 0, 0, 0, 0, -2, 0, 0, 0, 0, -3, 0, 1, 2, 3, 0}},
    };
    for (const Row& row : rows) {
        SetIdentityMatrix(3);
        row.run();
        const D3DXMATRIX m = GetMatrixExport(3);
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(m[i], row.m[i], 1e-5f) << row.name << " element " << i;
    }
    EXPECT_EQ(GetMatrixExport(1)._41, 1.0f); // the operands are left as they were
    EXPECT_EQ(GetMatrixExport(2)._11, 2.0f);
    EXPECT_EQ(TakeError(), 0);
}
