// One budget per load. Every command that reads a file works within a budget that the bytes it
// was given set: a floor, plus a ratio times the file's size, under one ceiling. Whatever the load
// makes because the file says so (an array a count sizes, a table many records share, a reference,
// a key frame, a tessellation, an inflated member, a file written to the temporary folder) is
// charged before it is made; past the budget the load fails with its usual error. Charges are never
// given back: a load's charge is all it made, temporaries included, so a small file can make
// neither much memory nor, since every step of a reader makes something, much time.
//
// The budget belongs to the thread that runs the load (a LoadScope), so readers deep inside a load
// charge it without one being handed down; outside any load nothing is charged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <stdexcept>

constexpr std::uint64_t kLoadBudgetFloor = std::uint64_t{64} << 20;
constexpr std::uint64_t kLoadBudgetRatio = 1024;
constexpr std::uint64_t kLoadBudgetCeiling = std::uint64_t{192} << 20;

// The budget that a load of files totalling fileBytes gets.
std::uint64_t LoadBudgetFor(std::uint64_t fileBytes);

// A load running on this thread for as long as it lives. A scope made inside another one joins the
// running load and changes nothing (a 3DS scene's temporary X file, a universe's object file):
// more files that the load is given are added with AddLoadFile by the reader that opens them.
// A scope learns its load's outcome from Guard (and Fail): one that ends without having loaded
// deletes the temporary files noted while it lived.
class LoadScope {
public:
    explicit LoadScope(std::uint64_t fileBytes);
    ~LoadScope();
    LoadScope(const LoadScope&) = delete;
    LoadScope& operator=(const LoadScope&) = delete;

    // Runs the load's body as GuardLoad does: true when it loaded within the budget, which is
    // then the scope's outcome.
    template <class Body> bool Guard(Body&& body) noexcept;
    // A refusal after the body ran (a later check, a failed copy): the load did not load.
    void Fail() { loaded_ = false; }

private:
    bool outermost_ = false;
    bool loaded_ = false;
    std::size_t firstTempFile_ = 0;
};

// Another file the running load was given (a universe's object file, a level's archives, a model's
// parts): its size raises the budget by the ratio, never past the ceiling; nothing outside a load.
void AddLoadFile(std::uint64_t fileBytes);

// A file the running load made in the temporary folder: deleted when the scope it was noted in
// ends without having loaded (refused, failed or past its budget); nothing outside a load.
void NoteLoadTempFile(const char* path);

// Charges bytes (or count items of `each` bytes, overflow-safe) to the running load: false, and
// the load over budget from then on, when they do not fit; always true outside a load.
bool ChargeLoad(std::uint64_t bytes);
bool ChargeLoad(std::uint64_t count, std::uint64_t each);

// As ChargeLoad, for readers that cannot hand a failure back: past the budget it throws
// std::bad_alloc, which the load command's boundary (GuardLoad) turns into the load's error.
void RequireLoad(std::uint64_t bytes);
void RequireLoad(std::uint64_t count, std::uint64_t each);

// Whether a load is running on this thread, and whether it has gone over its budget.
bool LoadRunning();
bool LoadOverBudget();

// What the running load has charged and may charge; 0 outside a load. The last load's charge
// stays readable after it ends (measuring real files against their sizes).
std::uint64_t LoadCharged();
std::uint64_t LoadLimit();
std::uint64_t LastLoadCharged();
std::uint64_t LastLoadLimit();

// Runs a load command's body: an allocation that fails anywhere inside it (a real one or a charge
// past the budget) makes it return false instead of ending the process.
template <class Body> bool GuardLoad(Body&& body) noexcept {
    try {
        return static_cast<bool>(body());
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

template <class Body> bool LoadScope::Guard(Body&& body) noexcept {
    loaded_ = GuardLoad(static_cast<Body&&>(body)) && !LoadOverBudget();
    return loaded_;
}
