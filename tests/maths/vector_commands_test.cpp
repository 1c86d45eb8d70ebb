#include "core/win32.h"

#include "maths_fixture.h"

#include <iterator>
#include <limits>

namespace {

void Make2(std::int32_t id, float x, float y) {
    MakeVector2(id);
    SetVector2(id, x, y);
}

} // namespace

TEST_F(MathsItems, ArithmeticInPlaceAndIntoOperands) {
    Make3(1, 2, 4, 8);
    DivideVector3(1, 4.0f);
    ExpectVector3(1, 0.5f, 1, 2);
    Make3(2, 1, 1, 1);
    AddVector3(1, 1, 2);
    ExpectVector3(1, 1.5f, 2, 3);
    Make3(3, 1, 0, 0);
    Make3(4, 0, 1, 0);
    CrossProductVector3(3, 3, 4);
    ExpectVector3(3, 0, 0, 1);

    MakeVector4(6);
    MakeVector4(7);
    SetVector4(7, 1, 2, 3, 4);
    CopyVector4(6, 7); // (destination, source)
    EXPECT_EQ(GetWVector4(6), 4.0f);
    EXPECT_EQ(TakeError(), 0);
}

TEST_F(MathsItems, ComparisonsAndPlaneProducts) {
    Make2(1, 0.0f, 1.0f);
    Make2(2, -0.0f, 1.0f);
    EXPECT_TRUE(IsEqualVector2(1, 2));
    EXPECT_FALSE(IsNotEqualVector2(1, 2));
    Make2(3, std::numeric_limits<float>::quiet_NaN(), 1.0f);
    EXPECT_FALSE(IsEqualVector2(3, 3));
    EXPECT_TRUE(IsNotEqualVector2(3, 3));

    Make2(4, 1, 0);
    EXPECT_EQ(GetCCWVector2(4, 1), 1.0f);
    EXPECT_EQ(GetCCWVector2(1, 4), -1.0f);
    Make2(5, 3, 2);
    Make2(6, 1, 5);
    MaximizeVector2(5, 6, 5);
    EXPECT_EQ(GetXVector2(5), 3.0f);
    EXPECT_EQ(GetYVector2(5), 5.0f);
    EXPECT_EQ(TakeError(), 0);
}

TEST_F(MathsItems, SplinesPassThroughTheirPoints) {
    Make3(1, 0, 0, 0);
    Make3(2, 1, 2, 3);
    Make3(3, 4, 6, 8);
    Make3(4, 9, 9, 9);
    MakeVector3(5);
    CatmullRomVector3(5, 1, 2, 3, 4, 0.0f);
    ExpectVector3(5, 1, 2, 3);
    CatmullRomVector3(5, 1, 2, 3, 4, 1.0f);
    ExpectVector3(5, 4, 6, 8);
    HermiteVector3(5, 1, 2, 3, 4, 0.0f); // a and c the end points, b and d their tangents
    ExpectVector3(5, 0, 0, 0);
    GetBaryCentricCoordinatesVector3(1, 1, 2, 3, 0.5f, 0.25f); // into an operand
    ExpectVector3(1, 1.5f, 2.5f, 3.5f);
    CatmullRomVector2(5, 1, 2, 3, 4, 0.5f); // vector3 items for a vector2 command
    EXPECT_EQ(TakeError(), 7801);
    ExpectVector3(5, 0, 0, 0);
}

TEST_F(MathsItems, ProjectionWithoutADeviceLeavesTheResult) {
    Make3(1, 5, 5, 5);
    Make3(2, 0, 0, 10);
    for (std::int32_t m : {3, 4, 5})
        MakeMatrix(m);
    ProjectVector3(1, 2, 3, 4, 6);
    EXPECT_EQ(TakeError(), 7801);
    EXPECT_EQ(TakeText(), "ProjectVector3 - world matrix does not exist");
    ProjectVector3(1, 2, 3, 4, 5);
    EXPECT_EQ(TakeText(), "ProjectVector3 - device does not exist");
    ExpectVector3(1, 5, 5, 5);
}

TEST_F(MathsItems, LengthsProductsBlendsAndTransformsMatchTheirFormulas) {
    Make2(1, 3, 4);
    Make2(2, 1, -2);
    MakeVector2(3);
    Make3(4, 2, 3, 6);
    Make3(5, 1, -1, 2);
    MakeVector3(6);
    MakeVector4(7);
    SetVector4(7, 1, 2, 2, 4);
    MakeVector4(8);
    SetVector4(8, 5, 6, 10, 0);
    MakeVector4(9);
    // Scale (2, 3, 4), then move by (10, 20, 30).
    MakeMatrix(10);
    MakeMatrix(11);
    ScaleMatrix(10, 2, 3, 4);
    TranslateMatrix(11, 10, 20, 30);
    MultiplyMatrix(10, 10, 11);

    const float scalars[][2] = {
        {GetLengthVector2(1), 5},         {GetLengthVector3(4), 7},
        {GetLengthVector4(7), 5},         {GetLengthSquaredVector2(1), 25},
        {GetLengthSquaredVector3(4), 49}, {GetLengthSquaredVector4(7), 25},
        {DotProductVector2(1, 2), -5},    {DotProductVector3(4, 5), 11},
    };
    for (std::size_t i = 0; i < std::size(scalars); ++i)
        EXPECT_FLOAT_EQ(scalars[i][0], scalars[i][1]) << "scalar " << i;

    struct Row {
        const char* name;
        void (*run)();
        std::int32_t result;
        int size;
        float v[4];
    };
    const Row rows[] = {
        {"Normalize2", [] { NormalizeVector2(3, 1); }, 3, 2, {0.6f, 0.8f}},
        {"Normalize3", [] { NormalizeVector3(6, 4); }, 6, 3, {2 / 7.0f, 3 / 7.0f, 6 / 7.0f}},
        {"Normalize4", [] { NormalizeVector4(9, 7); }, 9, 4, {0.2f, 0.4f, 0.4f, 0.8f}},
        {"Interpolate2", [] { LinearInterpolationVector2(3, 1, 2, 0.25f); }, 3, 2, {2.5f, 2.5f}},
        {"Interpolate3", [] { LinearInterpolationVector3(6, 4, 5, 0.25f); }, 6, 3, {1.75f, 2, 5}},
        {"Interpolate4", [] { LinearInterpolationVector4(9, 7, 8, 0.25f); }, 9, 4, {2, 3, 4, 3}},
        {"Subtract3", [] { SubtractVector3(6, 4, 5); }, 6, 3, {1, 4, 4}},
        {"Subtract4", [] { SubtractVector4(9, 8, 7); }, 9, 4, {4, 4, 8, -4}},
        // A normal is scaled but not moved; a 4D point is moved by w and not divided by it.
        {"TransformNormal3", [] { TransformVectorNormalCoordinates3(6, 4, 10); }, 6, 3, {4, 9, 24}},
        {"Transform4", [] { TransformVectorCoordinates4(9, 7, 10); }, 9, 4, {42, 86, 128, 4}},
    };
    for (const Row& row : rows) {
        row.run();
        const auto* v = static_cast<const float*>(g_Maths.items.values.Find(row.result));
        for (int i = 0; i < row.size; ++i)
            EXPECT_FLOAT_EQ(v[i], row.v[i]) << row.name << " component " << i;
    }
    ExpectVector3(4, 2, 3, 6); // the operands are left as they were
    EXPECT_EQ(GetWVector4(7), 4.0f);
    EXPECT_EQ(TakeError(), 0);
}
