// One-dimensional arrays used as lists: the current position, append, insert and delete.
#include "core/win32.h"

#include "core/core.h"
#include "core/runtime_arrays.h"
#include "core/runtime_arrays_internal.h"
#include "core/error_numbers.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kBeforeFirst = 0xFFFFFFFF;

// True for a list the list commands may change; raises 55 for an array of more dimensions.
bool CheckList(RuntimeArray array) {
    if (!array) return false;
    if (IsOneDimensionalArray(array)) return true;
    RaiseRuntimeError(kArrayNotOneDimensional);
    return false;
}

bool CheckIndex(const ArrayHeader* header, std::int32_t index) {
    if (index >= 0 && static_cast<std::uint32_t>(index) < header->count) return true;
    RaiseRuntimeError(kArrayIndexOutOfRange);
    return false;
}

// Grows by n; the caller's array stays as it was, and 101 is raised, when the block cannot be made.
RuntimeArray GrowList(RuntimeArray array, std::uint32_t n, bool* grown) {
    RuntimeArray result = GrowArray(array, n);
    *grown = result != nullptr;
    if (!result) RaiseRuntimeError(kStringNoMemory);
    return result ? result : array;
}

} // namespace

void ArrayIndexToBottom(RuntimeArray array) {
    if (CheckList(array)) GetArrayHeader(array)->current = GetArrayHeader(array)->count - 1;
}

void ArrayIndexToTop(RuntimeArray array) {
    if (CheckList(array)) GetArrayHeader(array)->current = 0;
}

void NextArrayIndex(RuntimeArray array) {
    if (!array) return;
    ArrayHeader* header = GetArrayHeader(array);
    if (header->current == kBeforeFirst) {
        header->current = 0;
    } else if (header->current < header->count) {
        ++header->current;
    }
}

void PreviousArrayIndex(RuntimeArray array) {
    if (!array) return;
    ArrayHeader* header = GetArrayHeader(array);
    if (header->current != kBeforeFirst) header->current = header->current - 1;
}

std::int32_t ArrayIndexValid(RuntimeArray array) {
    if (!array) return 0;
    const ArrayHeader* header = GetArrayHeader(array);
    return header->current < header->count ? 1 : 0;
}

std::int32_t ArrayCount(RuntimeArray array) {
    if (!array) return -1;
    return static_cast<std::int32_t>(GetArrayHeader(array)->count) - 1;
}

bool IsOneDimensionalArray(RuntimeArray array) {
    if (!array) return false;
    const ArrayHeader* header = GetArrayHeader(array);
    return header->elementSize <= kArrayMaxElementSize && header->multipliers[1] == 0;
}

RuntimeArray ArrayAppendElements(RuntimeArray array, std::int32_t n) {
    if (!CheckList(array)) return array;
    const std::uint32_t added = n < 1 ? 1 : static_cast<std::uint32_t>(n);
    bool grown = false;
    array = GrowList(array, added, &grown);
    if (grown) GetArrayHeader(array)->current = GetArrayHeader(array)->count - added;
    return array;
}

RuntimeArray ArrayAppendElement(RuntimeArray array) {
    return ArrayAppendElements(array, 1);
}

RuntimeArray ArrayAppendAndSelect(RuntimeArray array) {
    if (!CheckList(array)) return array;
    bool grown = false;
    array = GrowList(array, 1, &grown);
    if (grown) GetArrayHeader(array)->current = GetArrayHeader(array)->count - 1;
    return array;
}

RuntimeArray ArrayInsertAtTopN(RuntimeArray array, std::int32_t n) {
    if (!CheckList(array)) return array;
    const std::uint32_t added = n < 1 ? 1 : static_cast<std::uint32_t>(n);
    bool grown = false;
    array = GrowList(array, added, &grown);
    if (!grown) return array;
    ArrayHeader* header = GetArrayHeader(array);
    // Only the pointer table is reordered, in place: the new elements' pointers move to the front.
    std::rotate(array, array + header->count - added, array + header->count);
    header->current = 0;
    return array;
}

RuntimeArray ArrayInsertAtTop(RuntimeArray array) {
    return ArrayInsertAtTopN(array, 1);
}

RuntimeArray ArrayInsertAtElement(RuntimeArray array, std::int32_t index) {
    if (!CheckList(array) || !CheckIndex(GetArrayHeader(array), index)) return array;
    bool grown = false;
    array = GrowList(array, 1, &grown);
    if (!grown) return array;
    ArrayHeader* header = GetArrayHeader(array);
    void* added = array[header->count - 1];
    std::memmove(array + index + 1, array + index, (header->count - 1 - index) * sizeof(void*));
    array[index] = added;
    header->current = static_cast<std::uint32_t>(index);
    return array;
}

void ArrayDeleteElement(RuntimeArray array, std::int32_t index) {
    if (!CheckList(array)) return;
    ArrayHeader* header = GetArrayHeader(array);
    if (!CheckIndex(header, index)) return;
    // The pointers behind the element move down one place; no element is copied, so a list of any
    // size loses one without needing memory. Its storage is cleared and stays unused until the
    // list next grows, which lays the elements down afresh in table order.
    const std::uint32_t remaining = header->count - 1;
    std::memset(array[index], 0, header->elementSize);
    std::memmove(array + index, array + index + 1, (remaining - index) * sizeof(void*));
    array[remaining] = nullptr;
    std::uint8_t* flags = ArrayFlags(array);
    std::memmove(flags + index, flags + index + 1, remaining - index);
    header->count = remaining;
    if (header->current >= remaining) header->current = remaining - 1;
}

void ArrayDeleteCurrent(RuntimeArray array) {
    if (!array || GetArrayHeader(array)->count == 0) return;
    ArrayDeleteElement(array, static_cast<std::int32_t>(GetArrayHeader(array)->current));
}

void ArrayDeleteLast(RuntimeArray array) {
    if (!array) return;
    ArrayHeader* header = GetArrayHeader(array);
    const std::uint32_t before = header->count;
    ArrayDeleteElement(array, static_cast<std::int32_t>(header->count) - 1);
    if (header->count != before) header->current = header->count - 1;
}

void ArrayDeleteFirst(RuntimeArray array) {
    if (!array) return;
    ArrayHeader* header = GetArrayHeader(array);
    const std::uint32_t before = header->count;
    ArrayDeleteElement(array, 0);
    if (header->count != before) header->current = 0;
}

void ArrayEmpty(RuntimeArray array) {
    if (!array) return;
    ArrayHeader* header = GetArrayHeader(array);
    const std::uint32_t count = header->count;
    // Through the table: after a delete an element's storage need not lie among the first count.
    for (std::uint32_t i = 0; i < count; ++i)
        std::memset(array[i], 0, header->elementSize);
    std::memset(ArrayFlags(array), 0, count);
    std::memset(array, 0, count * sizeof(void*));
    header->count = 0;
    header->current = 0;
}
