// DATA lists, memory helpers and the string operators of the run-time support.
#include "core/win32.h"

#include "core/core.h"
#include "core/runtime_data.h"
#include "core/error_numbers.h"

#include <cstdlib>
#include <cstring>

namespace {

// The DATA area's three words. CoreData has no fields for them, so the module keeps them; the
// program's DATA statements set them once, every read moves the read pointer on.
struct State {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    std::uintptr_t read = 0;
};
State state;

// The item under the read pointer when it lies wholly inside the area, else null; the pointer
// moves on by one item either way.
const std::uint8_t* TakeItem() {
    const std::uintptr_t at = state.read;
    state.read += kDataItemBytes;
    if (at == 0 || at < state.start || at >= state.end || state.end - at < kDataItemBytes)
        return nullptr;
    return reinterpret_cast<const std::uint8_t*>(at);
}

bool ItemNumber(const std::uint8_t* item, double* value) {
    if (!item || item[0] != kDataNumber) return false;
    std::memcpy(value, item + 2, sizeof *value);
    return true;
}

std::int64_t TruncateDouble(double v) {
    // Out of range and NaN give the processor's "integer indefinite" instead of undefined code.
    if (!(v > -9223372036854775808.0 && v < 9223372036854775808.0)) return INT64_MIN;
    return static_cast<std::int64_t>(v);
}

// A new text holding first then second, handed to the caller in place of old; when it cannot be
// made (101 raised) the caller keeps old.
char* ReplaceText(char* old, const char* first, const char* second) {
    const std::size_t a = first ? std::strlen(first) : 0;
    const std::size_t b = second ? std::strlen(second) : 0;
    char* text = NewModuleString(g_CoreData, std::uint64_t{a} + b + 1);
    if (!text) return old;
    if (a) std::memcpy(text, first, a);
    if (b) std::memcpy(text + a, second, b);
    return HandOverModuleString(g_CoreData, old, text);
}

void FreeText(char* text) {
    if (text) ResizeModuleString(g_CoreData, &text, 0);
}

// strcmp's order of two texts; unordered when exactly one is null (neither greater nor less).
int CompareTexts(const char* a, const char* b, bool* ordered) {
    *ordered = (a && b) || (!a && !b);
    return a && b ? std::strcmp(a, b) : 0;
}

} // namespace

void SetDataArea(const void* start, const void* end) {
    state.start = reinterpret_cast<std::uintptr_t>(start);
    state.end = reinterpret_cast<std::uintptr_t>(end);
    state.read = state.start;
}

void RestoreData(const void* position) {
    state.read = position ? reinterpret_cast<std::uintptr_t>(position) : state.start;
}

const void* GetDataReadPointer() {
    return reinterpret_cast<const void*>(state.read);
}

std::int64_t ReadDataInteger() {
    double value = 0;
    return ItemNumber(TakeItem(), &value) ? TruncateDouble(value) : 0;
}

float ReadDataFloat() {
    double value = 0;
    return ItemNumber(TakeItem(), &value) ? static_cast<float>(value) : 0.0f;
}

double ReadDataDouble() {
    double value = 0;
    return ItemNumber(TakeItem(), &value) ? value : 0.0;
}

char* ReadDataString(char* oldText) {
    const std::uint8_t* item = TakeItem();
    const char* text = nullptr;
    if (item && item[0] == kDataString) std::memcpy(&text, item + 2, sizeof text);
    return ReplaceText(oldText, text, nullptr);
}

void* AllocMemory(std::int32_t size) {
    void* block = size < 0 ? nullptr : std::malloc(static_cast<std::size_t>(size));
    if (!block) RaiseRuntimeError(kStringNoMemory);
    return block;
}

void FillMemory(void* block, std::int32_t value, std::int32_t size) {
    if (block && size > 0) std::memset(block, value & 0xFF, static_cast<std::size_t>(size));
}

std::int32_t StringEqual(const char* a, const char* b) {
    return std::strcmp(a ? a : "", b ? b : "") == 0 ? 1 : 0;
}

std::int32_t StringNotEqual(const char* a, const char* b) {
    return 1 - StringEqual(a, b);
}

std::int32_t StringGreater(const char* a, const char* b) {
    bool ordered = false;
    const int order = CompareTexts(a, b, &ordered);
    return ordered && order > 0 ? 1 : 0;
}

std::int32_t StringLess(const char* a, const char* b) {
    bool ordered = false;
    const int order = CompareTexts(a, b, &ordered);
    return ordered && order < 0 ? 1 : 0;
}

// With one null text, "or equal" falls back on equality, where null is the empty text.
std::int32_t StringGreaterEqual(const char* a, const char* b) {
    bool ordered = false;
    const int order = CompareTexts(a, b, &ordered);
    return (ordered ? order >= 0 : StringEqual(a, b) == 1) ? 1 : 0;
}

std::int32_t StringLessEqual(const char* a, const char* b) {
    bool ordered = false;
    const int order = CompareTexts(a, b, &ordered);
    return (ordered ? order <= 0 : StringEqual(a, b) == 1) ? 1 : 0;
}

char* StringConcatenate(char* oldTarget, const char* a, const char* b) {
    return ReplaceText(oldTarget, a, b); // made first: a or b may be the old target itself
}

char* StringAssign(char* oldTarget, const char* text) {
    if (text) return ReplaceText(oldTarget, text, nullptr);
    FreeText(oldTarget);
    return nullptr;
}

char* StringFree(char* text) {
    FreeText(text);
    return nullptr;
}
