// The panels that close a level or a game: a review of the score that waits for a click, and the
// name entry for a high-score table.
#pragma once

#include <cstdint>

enum class ReviewKind { GameOver, LevelComplete, KeepyUppy, TimeAttack };

struct ReviewPanel {
    ReviewKind kind = ReviewKind::GameOver;
    std::int32_t state = 0; // 0 fade-in, 1..9 reveal, 10 wait, 11 closing, 12 finished
    std::int32_t counter = 0;
    void Open();
    void SetState(std::int32_t n);
    // False once the panel has closed.
    bool Step();
    void Draw();
    void HandleInput();
};

ReviewPanel& Review(ReviewKind kind);

struct NameEntryPanel {
    // 0 fade-in, 1 shown, 2 finished, 3 the save failed: the panel says so for a while (the entry
    // stays in the table for the session)
    std::int32_t state = 0;
    std::int32_t counter = 0;
    char name[10] = {};
    std::int32_t length = 0;
    std::int32_t keyDelay = 0;
    // Each key the entry reads, by key code: the time (ms) the frames first saw it down in its
    // current press (0 while up), whether that press has typed, whether a character of it came
    // while the frames saw it up (the press the next frame sees down then has typed), and whether
    // its characters this frame are the system's repeats.
    static constexpr int kKeys = 51; // Backspace, Return and every letter
    std::uint32_t downSince[kKeys] = {};
    bool pressTyped[kKeys] = {};
    bool typedWhileUp[kKeys] = {};
    bool repeating[kKeys] = {};
    void Open();
    void SetState(std::int32_t n);
    bool Step();
    void Draw();
    void HandleInput();
    // The name typed goes into the table, which is saved (Return does this).
    void Submit();

private:
    void WatchKeys(std::uint32_t now);
    bool TakeTypedKeys();
    bool TypeKey(std::int32_t key);
};

NameEntryPanel& NameEntry();
