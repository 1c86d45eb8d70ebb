#include "core/win32.h"

#include "maths/maths.h"
#include "support/error_cell.h"

#include <gtest/gtest.h>

namespace {

struct Vec {
    float v[3] = {9, 9, 9};
};

Vec Read(std::int32_t id) {
    Vec out;
    EXPECT_EQ(GetVector3(out.v, id), out.v);
    return out;
}

} // namespace

TEST(Vector3, MissingItemsBeforeStartAreSilent) {
    ErrorCellScope errors;
    MathsPassCoreData(nullptr);
    MakeVector3(404);
    MathsDestructor(); // the module ends: no CoreData, no items
    const Vec missing = Read(404);
    EXPECT_EQ(missing.v[0], 0.0f);
    EXPECT_EQ(missing.v[2], 0.0f);
    SetVector3(404, 1, 2, 3);
    EXPECT_EQ(MathsItemExists(404), 0);
    EXPECT_EQ(errors.Last(), 0);
}

TEST(Vector3, SetAndGetRoundTrip) {
    ErrorCellScope errors;
    MathsPassCoreData(nullptr);
    for (std::int32_t id : {0, -7, 12, 2000000000}) {
        ASSERT_TRUE(MakeVector3(id));
        EXPECT_EQ(MathsItemExists(id), 1);
        const Vec zero = Read(id);
        EXPECT_EQ(zero.v[1], 0.0f);
        SetVector3(id, 1.5f, -2.0f, 3.25f);
        const Vec got = Read(id);
        EXPECT_EQ(got.v[0], 1.5f);
        EXPECT_EQ(got.v[1], -2.0f);
        EXPECT_EQ(got.v[2], 3.25f);
    }
    ASSERT_TRUE(MakeVector3(12)); // re-made: zeros again
    EXPECT_EQ(Read(12).v[0], 0.0f);
    EXPECT_EQ(errors.Last(), 0);
}

TEST(Vector3, MissingItemsRaise7801OnceStarted) {
    ErrorCellScope errors;
    MathsPassCoreData(nullptr);
    const Vec missing = Read(55);
    EXPECT_EQ(missing.v[0], 0.0f);
    EXPECT_EQ(errors.Last(), 7801);
    errors.Clear();
    SetVector3(55, 1, 1, 1);
    EXPECT_EQ(errors.Last(), 7801);
    EXPECT_EQ(MathsItemExists(55), 0);

    MakeVector3(56);
    EXPECT_TRUE(DeleteVector3(56));
    EXPECT_TRUE(DeleteVector3(56)); // deleting a missing item is no error
    EXPECT_EQ(MathsItemExists(56), 0);
    errors.Clear();
    Read(56);
    EXPECT_EQ(errors.Last(), 7801);
}
