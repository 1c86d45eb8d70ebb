// The numbers under which the game loads its pictures and sounds (assets.cpp), and its three
// modes. A run of numbered frames is named by its first number.
#pragma once

#include <cstdint>

// Pictures.
constexpr std::int32_t kLoadingImage = 1;
constexpr std::int32_t kLogoImage = 2;
constexpr std::int32_t kSmallLogoImage = 3;
constexpr std::int32_t kQuorvaneImage = 4;
constexpr std::int32_t kScreenImage = 5;
constexpr std::int32_t kComboOutText = 6;
constexpr std::int32_t kGoText = 7;
constexpr std::int32_t kGreatFindText = 8;
constexpr std::int32_t kLevelCompleteText = 9;
constexpr std::int32_t kReadyText = 10;
constexpr std::int32_t kTimeUpText = 11;
constexpr std::int32_t kBigStarImage = 12;
constexpr std::int32_t kPopImages = 13; // six frames
constexpr std::int32_t kPuffImage = 19;
constexpr std::int32_t kTwinkleImages = 20; // eleven frames
constexpr std::int32_t kCursorImages = 31;  // the plain cursor, then fifteen edge pieces
constexpr std::int32_t kInsideCursorImage = 47;
constexpr std::int32_t kSelectorImage = 48;
constexpr std::int32_t kHelpImages = 49; // four pages
constexpr std::int32_t kComboBarImage = 53;
constexpr std::int32_t kComboBoxImage = 54;
constexpr std::int32_t kGameBoardImage = 56;
constexpr std::int32_t kLevelBoxImage = 57;
constexpr std::int32_t kPointerImage = 60;
constexpr std::int32_t kReviewClickImage = 61;
constexpr std::int32_t kReviewMaxComboImage = 62;
constexpr std::int32_t kReviewPanelImage = 63;
constexpr std::int32_t kReviewPanelGameOverImage = 64;
constexpr std::int32_t kReviewPanelHiScoreImage = 65;
constexpr std::int32_t kReviewTimeBonusImage = 67;
constexpr std::int32_t kReviewTotalScoreImage = 68;
constexpr std::int32_t kScoreBoxImage = 69;
constexpr std::int32_t kTimeBoxImage = 70;
constexpr std::int32_t kLetterImages = 71; // 'a' to 'z'
constexpr std::int32_t kDigitImages = 97;  // '0' to '9'
constexpr std::int32_t kSignImages = 107;  // ':', ',', '.', '*', '/'
constexpr std::int32_t kBombIcon = 112;
constexpr std::int32_t kClockIcon = 113;
constexpr std::int32_t kKookyIcon = 114;
constexpr std::int32_t kStarIcon = 115;
constexpr std::int32_t kClockWhiteImage = 116;
constexpr std::int32_t kDotWhiteImage = 117;
constexpr std::int32_t kQuestionWhiteImage = 118;
constexpr std::int32_t kStarWhiteImage = 119;
constexpr std::int32_t kSmallTileImage = 120;
constexpr std::int32_t kTileImages = 121; // one per colour, 'A' to 'G'
constexpr std::int32_t kTileZeroImage = 128;

// Sounds.
constexpr std::int32_t kPopSounds = 1; // three of them
constexpr std::int32_t kPopSoundCount = 3;
constexpr std::int32_t kGameTune = 4;
constexpr std::int32_t kExplosionSound = 5;
constexpr std::int32_t kNegativeSound = 6;
constexpr std::int32_t kPositiveSound = 7;
constexpr std::int32_t kBleepSound = 8;
constexpr std::int32_t kClockSound = 9;
constexpr std::int32_t kQuestionSound = 10;
constexpr std::int32_t kStarChimeSound = 11;
constexpr std::int32_t kMenuTune = 12;

// The modes of GameSettings::mode (0 before the first game).
constexpr std::int32_t kPuzzleMode = 1;
constexpr std::int32_t kTimeAttackMode = 2;
constexpr std::int32_t kKeepyUppyMode = 3;
