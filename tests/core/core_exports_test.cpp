#include "core/win32.h"

#include "core/console.h"
#include "core/core_exports.h"
#include "core/runtime_maths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(CoreExports, EntriesReturnWhatTheirCommandsReturn) {
    for (float a : {-30.0f, 0.0f, 45.5f, 720.0f}) {
        EXPECT_EQ(CosDegreesExport(a), CosDegrees(a));
        EXPECT_EQ(CosDegreesExport2(a), CosDegrees(a));
        EXPECT_EQ(WrapAngleValueExport(a), WrapAngleValue(a));
        EXPECT_EQ(FloatToIntegerExport(a + 0.7f), FloatToInteger(a + 0.7f));
        EXPECT_EQ(FloatToIntegerExport2(a + 0.7f), FloatToInteger(a + 0.7f));
        EXPECT_EQ(EaseAngleExport(a, 10.0f, 4.0f), EaseAngle(a, 10.0f, 4.0f));
    }
    EXPECT_EQ(ATan2DegreesExport(1.0f, -1.0f), ATan2Degrees(1.0f, -1.0f));
    EXPECT_EQ(ATan2DegreesExport2(1.0f, -1.0f), ATan2Degrees(1.0f, -1.0f));

    // Both random entries draw from the one generator.
    Randomize(77);
    const std::int32_t a = Rnd(1000), b = Rnd(1000);
    RandomizeExport(77);
    EXPECT_EQ(RndExport(1000), a);
    EXPECT_EQ(RndExport2(1000), b);
    EXPECT_EQ(RndExport(0), 0);

    EXPECT_FALSE(CoreReturnFalse());
    EXPECT_EQ(CoreReturnZero(), 0);
}

TEST(CoreExports, NewTextsPassTheOldTextThrough) {
    SetEntryTextSource("typed");
    char* first = GetEntryTextExport(nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "typed");
    char* second = GetEntryTextExport2(first); // frees the first
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second, "typed");
    char* date = GetDateTextExport(second);
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(std::strlen(date), std::strlen("12/06/26")) << date;
    FreeText(date);
    SetEntryTextSource(nullptr);
}
