// Run-time support of dynamic arrays: arrays of up to nine dimensions reached through a table of
// element pointers, one-dimensional arrays used as lists with a current position, and array files.
#pragma once

#include "core/win32.h"

#include <cstdint>

// The words in front of an array's element-pointer table, in the same heap block.
struct ArrayHeader {
    std::uint32_t multipliers[9]; // word n = word n-1 x size of dimension n+1; absent counts as 0
    std::uint32_t unused;
    std::uint32_t count;
    std::uint32_t elementSize;
    std::uint32_t typeCode; // 2: each element holds a pointer to a heap text
    std::uint32_t current;  // the list commands' position; 0xFFFFFFFF is before the first
};
static_assert(sizeof(ArrayHeader) == 14 * 4);

// An array is its element-pointer table: entry i points at element i.
using RuntimeArray = void**;

constexpr std::uint32_t kArrayStringType = 2;
constexpr std::uint32_t kArrayMaxElementSize = 0xFA000;

// The header of an array (null for null).
ArrayHeader* GetArrayHeader(RuntimeArray array);

RuntimeArray CreateArray(std::uint32_t count, std::uint32_t elementSize, std::uint32_t type);
void FreeArray(RuntimeArray array);
RuntimeArray GrowArray(RuntimeArray array, std::uint32_t n);
void ClearArrayItems(RuntimeArray array, std::uint32_t first, std::uint32_t count);

// typeArgument = element size x 10 + type; d1..d9 are highest indices (a dimension of n has n + 1
// elements). A 0 after the first means the dimension is absent. An array that cannot be made (too
// large for a 32-bit process, or out of memory) raises 101 and the old array comes back as it was.
RuntimeArray DimArray(RuntimeArray oldArray, std::int32_t typeArgument, std::int32_t d1,
                      std::int32_t d2, std::int32_t d3, std::int32_t d4, std::int32_t d5,
                      std::int32_t d6, std::int32_t d7, std::int32_t d8, std::int32_t d9);
RuntimeArray RedimArray(RuntimeArray oldArray, std::int32_t typeArgument, std::int32_t d1,
                        std::int32_t d2, std::int32_t d3, std::int32_t d4, std::int32_t d5,
                        std::int32_t d6, std::int32_t d7, std::int32_t d8, std::int32_t d9);
RuntimeArray DimOrRedim(RuntimeArray oldArray, std::int32_t typeArgument, std::int32_t d1,
                        std::int32_t d2, std::int32_t d3, std::int32_t d4, std::int32_t d5,
                        std::int32_t d6, std::int32_t d7, std::int32_t d8, std::int32_t d9);
RuntimeArray UndimArray(RuntimeArray array);

// Position of the list commands.
void ArrayIndexToBottom(RuntimeArray array);
void ArrayIndexToTop(RuntimeArray array);
void NextArrayIndex(RuntimeArray array);
void PreviousArrayIndex(RuntimeArray array);
std::int32_t ArrayIndexValid(RuntimeArray array);
std::int32_t ArrayCount(RuntimeArray array); // the highest index; -1 when empty or null
bool IsOneDimensionalArray(RuntimeArray array);

// List commands: each may return a new block, which replaces the caller's array. A list that
// cannot grow raises 101 and comes back as it was.
RuntimeArray ArrayAppendElement(RuntimeArray array);
RuntimeArray ArrayAppendElements(RuntimeArray array, std::int32_t n);
RuntimeArray ArrayInsertAtTop(RuntimeArray array);
RuntimeArray ArrayInsertAtTopN(RuntimeArray array, std::int32_t n);
RuntimeArray ArrayInsertAtElement(RuntimeArray array, std::int32_t index);
RuntimeArray ArrayAppendAndSelect(RuntimeArray array);
void ArrayDeleteElement(RuntimeArray array, std::int32_t index);
void ArrayDeleteCurrent(RuntimeArray array);
void ArrayDeleteLast(RuntimeArray array);
void ArrayDeleteFirst(RuntimeArray array);
void ArrayEmpty(RuntimeArray array);

// Array files. Load takes the caller's array variable.
void SaveArrayFile(const char* fileName, RuntimeArray array);
void LoadArrayFile(const char* fileName, RuntimeArray* arrayVariable);
void LoadArrayFileHooked(const char* fileName, RuntimeArray* arrayVariable);
