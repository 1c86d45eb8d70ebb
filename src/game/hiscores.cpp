#include "core/win32.h"

#include "game/hiscores.h"

// The tables and their file come with the high-score step; nothing is kept yet.
namespace {
HiScoreTable table;
}

HiScoreTable& HiScores() {
    return table;
}

void HiScoreTable::Load() {}
