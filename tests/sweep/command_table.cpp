// The rows of the generated command table, and the sweep's own tables from exclusions.h.
#include "core/win32.h"

#include "sweep/sweep.h"

#define SWEEP_ROW(...)                                                                             \
    SweepRow {                                                                                     \
        __VA_ARGS__                                                                                \
    }
#include "sweep_commands.inc"

#include <algorithm>

int SweepBridgeCount() {
    return SWEEP_BRIDGE_COUNT;
}
int SweepEntryCount() {
    return SWEEP_ENTRY_COUNT;
}

const std::vector<SweepRow>& SweepRows() {
    static const std::vector<SweepRow> rows = {SWEEP_ROWS};
    return rows;
}

#define SWEEP_EXCLUDE(name, reason) {#name, reason},
const std::vector<SweepExclusion>& SweepExclusions() {
    static const std::vector<SweepExclusion> list = {
#include "sweep/exclusions.h"
    };
    return list;
}
#undef SWEEP_EXCLUDE
#define SWEEP_EXCLUDE(name, reason)

#undef SWEEP_KNOWN
#undef SWEEP_KNOWN_PAIRS
#undef SWEEP_KNOWN_MEMORY
#define SWEEP_KNOWN(name, reason) {#name, reason},
#define SWEEP_KNOWN_PAIRS(name, reason)
#define SWEEP_KNOWN_MEMORY(name, reason)
namespace {
const std::vector<SweepExclusion> kKnownWrongValues = {
#include "sweep/exclusions.h"
};
} // namespace
#undef SWEEP_KNOWN
#undef SWEEP_KNOWN_PAIRS
#define SWEEP_KNOWN(name, reason)
#define SWEEP_KNOWN_PAIRS(name, reason) {#name, reason},
namespace {
const std::vector<SweepExclusion> kKnownPairs = {
#include "sweep/exclusions.h"
};
} // namespace
#undef SWEEP_KNOWN_PAIRS
#undef SWEEP_KNOWN_MEMORY
#define SWEEP_KNOWN_PAIRS(name, reason)
#define SWEEP_KNOWN_MEMORY(name, reason) {#name, reason},
namespace {
const std::vector<SweepExclusion> kKnownMemory = {
#include "sweep/exclusions.h"
};
} // namespace
#undef SWEEP_KNOWN_MEMORY
#undef SWEEP_KNOWN_MEMORY_ENDS
#define SWEEP_KNOWN_MEMORY(name, reason)
#define SWEEP_KNOWN_MEMORY_ENDS(name, reason) {#name, reason},
namespace {
const std::vector<SweepExclusion> kKnownMemoryEnds = {
#include "sweep/exclusions.h"
};
} // namespace
#undef SWEEP_KNOWN_MEMORY_ENDS
#define SWEEP_KNOWN_MEMORY_ENDS(name, reason)

const std::vector<SweepExclusion>& SweepKnownEnds() {
    return kKnownMemoryEnds;
}

const std::vector<SweepExclusion>& SweepKnownFaults(SweepPass pass) {
    return pass == SweepPass::WrongValues ? kKnownWrongValues
           : pass == SweepPass::Pairs     ? kKnownPairs
                                          : kKnownMemory;
}

namespace {
bool Listed(const std::vector<SweepExclusion>& list, const std::string& name) {
    return std::any_of(list.begin(), list.end(),
                       [&](const SweepExclusion& e) { return name == e.name; });
}
} // namespace

#undef SWEEP_QUIET
#define SWEEP_QUIET(name, reason) {#name, reason},
bool SweepQuietAllowed(const std::string& name) {
    static const std::vector<SweepExclusion> list = {
#include "sweep/exclusions.h"
    };
    return Listed(list, name);
}
#undef SWEEP_QUIET
#define SWEEP_QUIET(name, reason)

#undef SWEEP_TOUCHES
#define SWEEP_TOUCHES(name, reason) {#name, reason},
bool SweepTouchesAllowed(const std::string& name) {
    static const std::vector<SweepExclusion> list = {
#include "sweep/exclusions.h"
    };
    return Listed(list, name);
}
#undef SWEEP_TOUCHES
#define SWEEP_TOUCHES(name, reason)

#undef SWEEP_SLOW
#define SWEEP_SLOW(name, reason) {#name, reason},
bool SweepSlowAllowed(const std::string& name) {
    static const std::vector<SweepExclusion> list = {
#include "sweep/exclusions.h"
    };
    return Listed(list, name);
}
#undef SWEEP_SLOW
#define SWEEP_SLOW(name, reason)

#undef SWEEP_DROPS_OLD
#define SWEEP_DROPS_OLD(name, reason) {#name, reason},
bool SweepDropsOldAllowed(const std::string& name) {
    static const std::vector<SweepExclusion> list = {
#include "sweep/exclusions.h"
    };
    return Listed(list, name);
}
#undef SWEEP_DROPS_OLD
#define SWEEP_DROPS_OLD(name, reason)

#undef SWEEP_ALONE
#define SWEEP_ALONE(name, reason) {#name, reason},
const std::vector<SweepExclusion>& SweepAlone() {
    static const std::vector<SweepExclusion> list = {
#include "sweep/exclusions.h"
    };
    return list;
}
#undef SWEEP_ALONE
#define SWEEP_ALONE(name, reason)

#undef SWEEP_SHARES
#define SWEEP_SHARES(name, shares, reason) {#name, shares},
int SweepShares(const std::string& name) {
    static const struct {
        const char* name;
        int shares;
    } list[] = {
#include "sweep/exclusions.h"
    };
    for (const auto& entry : list)
        if (name == entry.name) return entry.shares;
    return 1;
}
#undef SWEEP_SHARES
#define SWEEP_SHARES(name, shares, reason)
