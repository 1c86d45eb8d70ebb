// Texts far longer than the screen: only the glyphs inside the viewport reach the vertex buffer,
// counted by its locks (one a batch).
#include "core/win32.h"

#include "display/display.h"
#include "support/engine_fixture.h"
#include "support/guarded_locks.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class TextClip : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
    }
    // The vertex-buffer locks one call of draw makes.
    template <typename Draw> int LocksOf(Draw draw) {
        GuardedLocks guard(GetDirect3DDevice());
        EXPECT_TRUE(guard.Active());
        draw();
        return guard.Count();
    }
};

} // namespace

TEST_F(TextClip, GlyphsOutsideTheViewportAreSteppedOver) {
    const std::string line(1 << 20, 'a');
    std::string lines;
    for (int i = 0; i < 20000; ++i)
        lines += "abcdefgh\n";
    // 64 screens of glyphs to the left, then the screen's row: a batch or two, not thousands.
    EXPECT_LE(LocksOf([&] { TextAt(-640 * 64, 10, line.c_str()); }), 3);
    EXPECT_GE(LocksOf([&] { TextAt(-640 * 64, 10, line.c_str()); }), 1) << "the row that shows";
    EXPECT_LE(LocksOf([&] { CenterTextAt(320, 10, line.c_str()); }), 3);
    // 20,000 lines: those below the screen's bottom draw nothing.
    EXPECT_LE(LocksOf([&] { TextAt(0, 0, lines.c_str()); }), 40);
    EXPECT_EQ(LocksOf([&] { TextAt(0, 1 << 30, lines.c_str()); }), 1) << "only the first lock";
}
