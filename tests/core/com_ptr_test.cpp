#include "core/win32.h"

#include "core/com_ptr.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>

namespace {

// Counts its releases; the holder needs nothing else of an interface.
struct Counted {
    int releases = 0;
    unsigned long Release() { return static_cast<unsigned long>(++releases); }
};

// What a platform call with an out-parameter does.
void Fill(Counted** out, Counted* with) {
    *out = with;
}

} // namespace

static_assert(!std::is_copy_constructible_v<ComPtr<Counted>>);
static_assert(!std::is_copy_assignable_v<ComPtr<Counted>>);

TEST(ComPtr, ReleasesEachReferenceExactlyOnce) {
    Counted a, b, c;
    {
        ComPtr<Counted> held(&a);
        held.Reset(&b); // a goes, b stays
        EXPECT_EQ(a.releases, 1);
        EXPECT_EQ(b.releases, 0);
        ComPtr<Counted> moved(std::move(held));
        EXPECT_EQ(held.Get(), nullptr);
        ComPtr<Counted>& same = moved;
        moved = std::move(same); // a self-move keeps the reference
        EXPECT_EQ(moved.Get(), &b);
        ComPtr<Counted> other(&c);
        other = std::move(moved); // c goes, b moves over
        EXPECT_EQ(c.releases, 1);
        EXPECT_EQ(b.releases, 0);
    }
    EXPECT_EQ(a.releases, 1);
    EXPECT_EQ(b.releases, 1);
    EXPECT_EQ(c.releases, 1);
}

TEST(ComPtr, OutParametersAndDetachHandOwnershipOver) {
    Counted a, b;
    ComPtr<Counted> held(&a);
    Fill(held.PutAddress(), &b); // the old reference is released before the call fills it
    EXPECT_EQ(a.releases, 1);
    EXPECT_EQ(held.Get(), &b);
    Counted* raw = held; // reads as the raw pointer
    EXPECT_EQ(raw, &b);
    EXPECT_EQ(held.Detach(), &b);
    held.Reset();
    EXPECT_EQ(b.releases, 0); // detached: the caller releases it
    EXPECT_EQ(held.PutVoid(), reinterpret_cast<void**>(held.PutAddress()));
}
