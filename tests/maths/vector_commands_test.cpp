#include "core/win32.h"

#include "maths_fixture.h"

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
