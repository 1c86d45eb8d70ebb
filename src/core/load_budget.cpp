#include "core/win32.h"

#include "core/load_budget.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace {

// Who writes: the LoadScope that started the load (and ends it), the readers inside it through
// ChargeLoad. It lives for one load on one thread.
struct Budget {
    int depth = 0;
    std::uint64_t limit = 0;
    std::uint64_t charged = 0;
    bool over = false;
};

thread_local Budget t_budget;
thread_local std::uint64_t t_lastCharged = 0;
thread_local std::uint64_t t_lastLimit = 0;
thread_local std::vector<std::string> t_tempFiles;

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    return b > std::numeric_limits<std::uint64_t>::max() - a
               ? std::numeric_limits<std::uint64_t>::max()
               : a + b;
}

std::uint64_t Share(std::uint64_t fileBytes) {
    return fileBytes > kLoadBudgetCeiling / kLoadBudgetRatio ? kLoadBudgetCeiling
                                                             : fileBytes * kLoadBudgetRatio;
}

} // namespace

std::uint64_t LoadBudgetFor(std::uint64_t fileBytes) {
    return std::min(kLoadBudgetCeiling, SaturatingAdd(kLoadBudgetFloor, Share(fileBytes)));
}

LoadScope::LoadScope(std::uint64_t fileBytes) : firstTempFile_(t_tempFiles.size()) {
    if (t_budget.depth++ > 0) return;
    outermost_ = true;
    t_budget.limit = LoadBudgetFor(fileBytes);
    t_budget.charged = 0;
    t_budget.over = false;
}

LoadScope::~LoadScope() {
    --t_budget.depth;
    // A load that did not load, or the part of one that failed, leaves nothing behind in the
    // temporary folder; an outer load that goes on keeps what came before its inner one.
    if (!loaded_ || t_budget.over) {
        for (std::size_t i = firstTempFile_; i < t_tempFiles.size(); ++i)
            DeleteFileA(t_tempFiles[i].c_str());
        t_tempFiles.resize(std::min(firstTempFile_, t_tempFiles.size()));
    }
    if (!outermost_) return;
    t_lastCharged = t_budget.charged;
    t_lastLimit = t_budget.limit;
    t_tempFiles.clear();
    t_budget = Budget{};
}

void AddLoadFile(std::uint64_t fileBytes) {
    if (t_budget.depth == 0) return;
    t_budget.limit = std::min(kLoadBudgetCeiling, SaturatingAdd(t_budget.limit, Share(fileBytes)));
}

void NoteLoadTempFile(const char* path) {
    if (t_budget.depth > 0) t_tempFiles.emplace_back(path);
}

bool ChargeLoad(std::uint64_t bytes) {
    if (t_budget.depth == 0) return true;
    if (t_budget.over || bytes > t_budget.limit - t_budget.charged) {
        t_budget.over = true;
        return false;
    }
    t_budget.charged += bytes;
    return true;
}

bool ChargeLoad(std::uint64_t count, std::uint64_t each) {
    if (each != 0 && count > std::numeric_limits<std::uint64_t>::max() / each)
        return ChargeLoad(std::numeric_limits<std::uint64_t>::max());
    return ChargeLoad(count * each);
}

void RequireLoad(std::uint64_t bytes) {
    if (!ChargeLoad(bytes)) throw std::bad_alloc();
}

void RequireLoad(std::uint64_t count, std::uint64_t each) {
    if (!ChargeLoad(count, each)) throw std::bad_alloc();
}

bool LoadRunning() {
    return t_budget.depth > 0;
}
bool LoadOverBudget() {
    return t_budget.over;
}
std::uint64_t LoadCharged() {
    return t_budget.charged;
}
std::uint64_t LoadLimit() {
    return t_budget.limit;
}
std::uint64_t LastLoadCharged() {
    return t_lastCharged;
}
std::uint64_t LastLoadLimit() {
    return t_lastLimit;
}
