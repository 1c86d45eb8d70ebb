// Array blocks: creation, growth and the shapes of DimArray and RedimArray.
#include "core/win32.h"

#include "core/core.h"
#include "core/runtime_arrays.h"
#include "core/runtime_arrays_internal.h"
#include "core/error_numbers.h"

#include <cstdlib>
#include <cstring>

namespace {

// Every block stays below 2 GiB: a 32-bit process could not hold more, and the sizes below are
// computed in 64 bits so an impossible shape never wraps into a short block.
constexpr std::uint64_t kMaxBlockBytes = 0x7FFFFFFF;
constexpr std::uint64_t kHeaderBytes = sizeof(ArrayHeader);
// A hidden word in front of the header keeps the number of slots the block was made with: the
// delete commands shrink the count in place, and the flags and storage must not move with it.
constexpr std::uint64_t kPrefixBytes = 8;

// Element storage starts on an 8-byte boundary so doubles and 64-bit integers are aligned.
std::uint64_t StorageOffset(std::uint64_t count) {
    const std::uint64_t end = kPrefixBytes + kHeaderBytes + count * sizeof(void*) + count;
    return (end + 7) & ~std::uint64_t{7};
}

// The whole block's size, or 0 when it cannot exist.
std::uint64_t BlockBytes(std::uint64_t count, std::uint64_t elementSize) {
    if (count > kMaxBlockBytes || elementSize > kMaxBlockBytes) return 0;
    const std::uint64_t total = StorageOffset(count) + count * elementSize;
    return total > kMaxBlockBytes ? 0 : total;
}

std::uint8_t* BlockOf(RuntimeArray array) {
    return reinterpret_cast<std::uint8_t*>(array) - kHeaderBytes - kPrefixBytes;
}

std::uint32_t SlotsOf(RuntimeArray array) {
    std::uint32_t slots = 0;
    std::memcpy(&slots, BlockOf(array), sizeof slots);
    return slots;
}

// The extents a shape gives each of the nine dimensions; an absent dimension has extent 0.
struct Shape {
    std::uint32_t extent[9] = {};
    std::uint64_t count = 0;
};

Shape ShapeFromIndices(const std::int32_t (&indices)[9]) {
    Shape shape;
    shape.count = 1;
    for (int d = 0; d < 9; ++d) {
        if (d > 0 && indices[d] == 0) continue;
        // A negative highest index is read as the unsigned word the caller passed.
        const std::uint64_t size =
            static_cast<std::uint64_t>(static_cast<std::uint32_t>(indices[d])) + 1;
        shape.extent[d] = size > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(size);
        shape.count *= size;
        if (shape.count > 0xFFFFFFFFu) {
            shape.count = 0x100000000ull; // marks "does not fit"
            return shape;
        }
    }
    return shape;
}

void SetMultipliers(ArrayHeader* header, const Shape& shape) {
    std::uint64_t word = shape.extent[0];
    header->multipliers[0] = static_cast<std::uint32_t>(word);
    for (int n = 1; n < 9; ++n) {
        word *= shape.extent[n];
        header->multipliers[n] = static_cast<std::uint32_t>(word);
    }
}

// The old array's extents, read back from its multipliers. A list keeps the first multiplier of
// its first shape while it grows, so its one extent is its count.
Shape ShapeOfArray(const ArrayHeader* header) {
    Shape shape;
    shape.count = header->count;
    if (header->multipliers[1] == 0) {
        shape.extent[0] = header->count;
        return shape;
    }
    shape.extent[0] = header->multipliers[0];
    for (int n = 1; n < 9 && header->multipliers[n] != 0 && header->multipliers[n - 1] != 0; ++n)
        shape.extent[n] = header->multipliers[n] / header->multipliers[n - 1];
    return shape;
}

// Maps a linear index of the old shape to the new shape's; false when it lies outside the new.
bool MapIndex(std::uint32_t linear, const Shape& from, const Shape& to, std::uint64_t* result) {
    std::uint64_t rest = linear, out = 0, stride = 1;
    for (int d = 0; d < 9; ++d) {
        const std::uint32_t fromExtent = from.extent[d] ? from.extent[d] : 1;
        const std::uint32_t toExtent = to.extent[d] ? to.extent[d] : 1;
        const std::uint64_t index = rest % fromExtent;
        rest /= fromExtent;
        if (index >= toExtent) return false;
        out += index * stride;
        stride *= toExtent;
    }
    if (rest != 0 || out >= to.count) return false;
    *result = out;
    return true;
}

void SplitTypeArgument(std::int32_t typeArgument, std::uint32_t* size, std::uint32_t* type) {
    const std::uint32_t value = static_cast<std::uint32_t>(typeArgument);
    *size = value / 10;
    *type = value % 10;
}

RuntimeArray CreateShaped(const Shape& shape, std::int32_t typeArgument) {
    if (shape.count > 0xFFFFFFFFu) return nullptr;
    std::uint32_t size = 0, type = 0;
    SplitTypeArgument(typeArgument, &size, &type);
    RuntimeArray array = CreateArray(static_cast<std::uint32_t>(shape.count), size, type);
    if (array) SetMultipliers(GetArrayHeader(array), shape);
    return array;
}

} // namespace

std::uint8_t* ArrayFlags(RuntimeArray array) {
    return reinterpret_cast<std::uint8_t*>(array + SlotsOf(array));
}

std::uint8_t* ArrayStorage(RuntimeArray array) {
    return BlockOf(array) + StorageOffset(SlotsOf(array));
}

void RebuildArrayTable(RuntimeArray array) {
    const ArrayHeader* header = GetArrayHeader(array);
    std::uint8_t* storage = ArrayStorage(array);
    for (std::uint32_t i = 0; i < header->count; ++i)
        array[i] = storage + static_cast<std::size_t>(i) * header->elementSize;
}

ArrayHeader* GetArrayHeader(RuntimeArray array) {
    return array ? reinterpret_cast<ArrayHeader*>(BlockOf(array) + kPrefixBytes) : nullptr;
}

RuntimeArray CreateArray(std::uint32_t count, std::uint32_t elementSize, std::uint32_t type) {
    const std::uint64_t bytes = BlockBytes(count, elementSize);
    if (bytes == 0) return nullptr;
    auto* block = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(bytes), 1));
    if (!block) return nullptr;
    std::memcpy(block, &count, sizeof count);
    auto* header = reinterpret_cast<ArrayHeader*>(block + kPrefixBytes);
    header->count = count;
    header->elementSize = elementSize;
    header->typeCode = type;
    RuntimeArray array = reinterpret_cast<RuntimeArray>(block + kPrefixBytes + kHeaderBytes);
    std::memset(ArrayFlags(array), 1, count);
    RebuildArrayTable(array);
    return array;
}

void FreeArray(RuntimeArray array) {
    if (array) std::free(BlockOf(array));
}

RuntimeArray GrowArray(RuntimeArray array, std::uint32_t n) {
    if (!array) return nullptr;
    const ArrayHeader* old = GetArrayHeader(array);
    const std::uint64_t newCount = std::uint64_t{old->count} + n;
    if (newCount > 0xFFFFFFFFu) return nullptr;
    RuntimeArray grown =
        CreateArray(static_cast<std::uint32_t>(newCount), old->elementSize, old->typeCode);
    if (!grown) return nullptr;
    ArrayHeader* header = GetArrayHeader(grown);
    std::memcpy(header->multipliers, old->multipliers, 10 * sizeof(std::uint32_t));
    // Copied in table order, so the order the insert commands made survives the move.
    for (std::uint32_t i = 0; i < old->count; ++i)
        std::memcpy(grown[i], array[i], old->elementSize);
    std::memcpy(ArrayFlags(grown), ArrayFlags(array), old->count);
    FreeArray(array);
    return grown;
}

void ClearArrayItems(RuntimeArray array, std::uint32_t first, std::uint32_t count) {
    if (!array) return;
    const ArrayHeader* header = GetArrayHeader(array);
    if (first >= header->count) return;
    const std::uint32_t end = count > header->count - first ? header->count : first + count;
    for (std::uint32_t i = first; i < end; ++i)
        std::memset(array[i], 0, header->elementSize);
}

// The new array is made before the old one goes: a shape that cannot be held raises 101 and leaves
// the caller its old array.
RuntimeArray DimArray(RuntimeArray oldArray, std::int32_t typeArgument, std::int32_t d1,
                      std::int32_t d2, std::int32_t d3, std::int32_t d4, std::int32_t d5,
                      std::int32_t d6, std::int32_t d7, std::int32_t d8, std::int32_t d9) {
    const std::int32_t indices[9] = {d1, d2, d3, d4, d5, d6, d7, d8, d9};
    RuntimeArray array = CreateShaped(ShapeFromIndices(indices), typeArgument);
    if (!array) {
        RaiseRuntimeError(kStringNoMemory);
        return oldArray;
    }
    FreeArray(oldArray); // the new array takes the old one's place in the variable
    return array;
}

// Null only for an array DimOrRedim must make anew (elements too large to be a list); an array
// that cannot be made raises 101 and the old one comes back.
RuntimeArray RedimArray(RuntimeArray oldArray, std::int32_t typeArgument, std::int32_t d1,
                        std::int32_t d2, std::int32_t d3, std::int32_t d4, std::int32_t d5,
                        std::int32_t d6, std::int32_t d7, std::int32_t d8, std::int32_t d9) {
    if (!oldArray) return nullptr;
    const ArrayHeader* old = GetArrayHeader(oldArray);
    if (old->elementSize > kArrayMaxElementSize) return nullptr;
    std::uint32_t size = 0, type = 0;
    SplitTypeArgument(typeArgument, &size, &type);
    if (size != old->elementSize || type != old->typeCode) return oldArray;
    const std::int32_t indices[9] = {d1, d2, d3, d4, d5, d6, d7, d8, d9};
    const Shape to = ShapeFromIndices(indices);
    RuntimeArray array = CreateShaped(to, typeArgument);
    if (!array) {
        RaiseRuntimeError(kStringNoMemory);
        return oldArray;
    }
    const Shape from = ShapeOfArray(old);
    std::uint8_t* oldFlags = ArrayFlags(oldArray);
    std::uint8_t* newFlags = ArrayFlags(array);
    for (std::uint32_t i = 0; i < old->count; ++i) {
        std::uint64_t target = 0;
        if (!MapIndex(i, from, to, &target)) continue;
        std::memcpy(array[target], oldArray[i], old->elementSize);
        newFlags[target] = oldFlags[i];
    }
    FreeArray(oldArray);
    return array;
}

RuntimeArray DimOrRedim(RuntimeArray oldArray, std::int32_t typeArgument, std::int32_t d1,
                        std::int32_t d2, std::int32_t d3, std::int32_t d4, std::int32_t d5,
                        std::int32_t d6, std::int32_t d7, std::int32_t d8, std::int32_t d9) {
    if (oldArray) {
        RuntimeArray array = RedimArray(oldArray, typeArgument, d1, d2, d3, d4, d5, d6, d7, d8, d9);
        if (array) return array;
    }
    return DimArray(oldArray, typeArgument, d1, d2, d3, d4, d5, d6, d7, d8, d9);
}

RuntimeArray UndimArray(RuntimeArray array) {
    FreeArray(array);
    return nullptr;
}
