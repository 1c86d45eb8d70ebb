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
#define SWEEP_KNOWN(name, reason) {#name, reason},
const std::vector<SweepExclusion>& SweepKnownFaults() {
    static const std::vector<SweepExclusion> list = {
#include "sweep/exclusions.h"
    };
    return list;
}
#undef SWEEP_KNOWN
#define SWEEP_KNOWN(name, reason)

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
