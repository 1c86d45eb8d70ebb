#include "core/win32.h"

#include "maths_fixture.h"

#include <climits>

TEST_F(MathsItems, ANumberKeepsTheKindItWasLastMadeAs) {
    MakeMatrix(10);
    TranslateMatrix(10, 1, 2, 3);
    ASSERT_TRUE(MakeVector3(10));
    ExpectVector3(10, 0, 0, 0);
    RotateXMatrix(10, 1.0f);
    EXPECT_EQ(TakeError(), 7801);
    EXPECT_EQ(GetMatrixExport(10)._11, 0.0f);
    EXPECT_EQ(TakeError(), 7801);

    // Deleted, the number keeps its kind: a mismatch still, not a missing item.
    EXPECT_TRUE(DeleteVector3(10));
    EXPECT_EQ(MathsItemExists(10), 0);
    SetIdentityMatrix(10);
    EXPECT_EQ(TakeError(), 7801);
    EXPECT_EQ(TakeText(), "");
    EXPECT_TRUE(DeleteMatrix(999)); // never made: no error
    EXPECT_EQ(TakeError(), 0);
}

TEST_F(MathsItems, BeforeTheCoreDataPassOnlyKindMismatchesRaise) {
    MathsDestructor();
    MakeVector3(1);
    AddVector3(1, 1, 3);
    EXPECT_EQ(TakeError(), 0);
    EXPECT_EQ(TakeText(), "AddVector3 - vector b does not exist");
    RotateXMatrix(1, 1.0f);
    EXPECT_EQ(TakeError(), 7801);
    MathsRefreshD3D(1); // a rebuilt device readies the module too
    AddVector3(1, 1, 3);
    EXPECT_EQ(TakeError(), 7801);
}

TEST_F(MathsItems, MissingItemsNameTheirCommandAndRole) {
    Make3(1, 1, 2, 3);
    AddVector3(1, 1, 2);
    EXPECT_EQ(TakeError(), 7801);
    EXPECT_EQ(TakeText(), "AddVector3 - vector b does not exist");
    CopyVector3(20, 21); // (destination, source): the source is looked up first
    EXPECT_EQ(TakeText(), "CopyVector3 - source vector does not exist");
    MakeMatrix(30);
    EXPECT_EQ(InverseMatrix(30, 31), 0.0f);
    EXPECT_EQ(TakeError(), 7802);
    EXPECT_EQ(TakeText(), "InverseMatrix - source matrix does not exist");
    BuildLookAtLHMatrix(30, 1, 1, 40); // a vector in a matrix command: 7801
    EXPECT_EQ(TakeError(), 7801);
    EXPECT_EQ(TakeText(), "BuildLookAtLHMatrix - up vector does not exist");
    GetWorldMatrix(31); // and the getters' matrices
    EXPECT_EQ(TakeError(), 7801);

    // Commands without a role raise all the same, and pass no text.
    TakeText();
    SetVector2(50, 1, 2);
    EXPECT_EQ(TakeError(), 7801);
    EXPECT_EQ(GetWVector4(50), 0.0f);
    EXPECT_EQ(TakeError(), 7801);
    EXPECT_EQ(TakeText(), "");
}

TEST_F(MathsItems, EveryKindIsCheckedBeforeAnyItemIsLookedUp) {
    Make3(1, 1, 2, 3);
    MakeMatrix(2);
    AddVector3(9, 1, 2); // 9 is missing, but 2's kind fails first
    EXPECT_EQ(TakeError(), 7801);
    MultiplyMatrix(9, 2, 1); // 7801 for the vector3, not 7802 for the missing result
    EXPECT_EQ(TakeError(), 7801);
    EXPECT_EQ(TakeText(), "");

    RotateXMatrix(77, 0.5f);
    EXPECT_EQ(TakeError(), 7802);
    RotateXMatrix(1, 0.5f);
    EXPECT_EQ(TakeError(), 7801);
    ExpectVector3(1, 1, 2, 3);
}

TEST_F(MathsItems, AnyNumberIsAnOrdinaryNumber) {
    for (std::int32_t id : {0, -5, INT_MAX}) {
        ASSERT_TRUE(MakeVector4(id));
        SetVector4(id, 1, 2, 3, static_cast<float>(id));
        EXPECT_EQ(GetVector4Export(id).w, static_cast<float>(id));
    }
    ASSERT_TRUE(MakeMatrix(-5)); // replaces the vector4
    TranslateMatrix(-5, 7, 8, 9);
    EXPECT_EQ(GetMatrixExport(-5)._42, 8.0f);
    EXPECT_EQ(GetWVector4(INT_MAX), static_cast<float>(INT_MAX));
    EXPECT_EQ(MathsItemExists(0) + MathsItemExists(-5) + MathsItemExists(1), 2);
    EXPECT_EQ(TakeError(), 0);
}

TEST_F(MathsItems, GettersGivenNoPlaceOnlyCheck) {
    MakeVector2(2);
    MakeVector3(3);
    MakeVector4(4);
    MakeMatrix(16);
    const struct {
        float* (*get)(float*, std::int32_t);
        std::int32_t present;
    } getters[] = {{GetVector2, 2}, {GetVector3, 3}, {GetVector4, 4}, {GetMatrix, 16}};
    for (const auto& g : getters) {
        EXPECT_EQ(g.get(nullptr, g.present), nullptr);
        EXPECT_EQ(TakeError(), 0) << g.present;
        g.get(nullptr, 99); // missing
        EXPECT_EQ(TakeError(), 7801) << g.present;
    }
}
