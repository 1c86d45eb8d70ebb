// Running out of memory in the maths commands: the make's error, the item and its kind as they
// were, no exception and no memory held. This program's allocator is the failing heap.
#include "core/win32.h"

#include "maths_fixture.h"
#include "support/failing_heap_impl.h"
#include "support/failing_rows.h"

namespace {

// An item's kind record and values, as the lookups see them.
std::string Item(std::int32_t id) {
    const auto* kind = static_cast<const std::int32_t*>(g_Maths.items.kinds.Find(id));
    const auto* values = static_cast<const float*>(g_Maths.items.values.Find(id));
    std::string print = kind ? std::to_string(*kind) : "-";
    for (int i = 0; values && i < 3; ++i)
        print += " " + std::to_string(values[i]);
    return print;
}

} // namespace

TEST_F(MathsItems, OutOfMemoryKeepsTheItemAndItsKind) {
    g_Maths.report = [](const char*) {};
    Make3(1, 1.0f, 2.0f, 3.0f);
    MakeMatrix(2);
    using failing_heap::FailingRow;
    failing_heap::CheckFailingRows({
        FailingRow{"MakeVector3", [] { MakeVector3(1); }, [] { return Item(1); }, kValueOutOfRange},
        FailingRow{"MakeMatrix", [] { MakeMatrix(2); }, [] { return Item(2); }, kMatrixMissing},
        FailingRow{"MakeVector2", [] { MakeVector2(5); }, [] { return Item(5); }, kValueOutOfRange},
    });
}
