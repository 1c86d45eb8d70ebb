// The seven high-score tables and "records.bin".
#pragma once

struct HiScoreTable {
    void Load();
};

HiScoreTable& HiScores();
