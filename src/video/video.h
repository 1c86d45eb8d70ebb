// Video texture module: up to 32 numbered animations, each a DirectShow filter graph whose frames
// reach a Direct3D texture through TextureRenderer, drawn on the screen or copied into an image.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void AnimationConstructor(HINSTANCE);
// Stop entry: releases everything the module holds.
void AnimationDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void AnimationSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void AnimationPassCoreData(CoreData* core);
// 0 releases every animation (they belong to the old device); 1 starts the module again.
void AnimationRefreshD3D(std::int32_t mode);
// Per frame, from Sync: frame copies, completion events and drawing.
void AnimationUpdate();

// Commands: animation numbers 1 to 32 (2001 otherwise, then 2004 when not loaded).
void LoadAnimation(const char* fileName, std::int32_t n);
// Opens the DVD drive's disc as animation n, shown in a child window.
void LoadDVDAnimation(std::int32_t n);
// Stops and releases animation n.
void DeleteAnimation(std::int32_t n);
// Plays once where the animation was last placed (or at its own size).
void PlayAnimation(std::int32_t n);
// Plays once at its own size from x, y.
void PlayAnimation(std::int32_t n, std::int32_t x, std::int32_t y);
// Plays once stretched over the rectangle.
void PlayAnimation(std::int32_t n, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                   std::int32_t y2);
// Plays once with its frames copied into image, clipped to the rectangle; an image smaller than
// the rectangle is made again at its size (made when missing). Each frame goes into the image the
// number names at that frame: into a new image made under it, nowhere while it names none.
void PlayAnimationToImage(std::int32_t n, std::int32_t image, std::int32_t x1, std::int32_t y1,
                          std::int32_t x2, std::int32_t y2);
// Plays over and over where it was last placed.
void LoopAnimation(std::int32_t n);
// Plays over and over stretched over the rectangle.
void LoopAnimation(std::int32_t n, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                   std::int32_t y2);
// Stops and rewinds the animation.
void StopAnimation(std::int32_t n);
// Stops the animation where it is.
void PauseAnimation(std::int32_t n);
// Goes on from where the animation was paused.
void ResumeAnimation(std::int32_t n);
// Where the animation is drawn from now on.
void PlaceAnimation(std::int32_t n, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                    std::int32_t y2);
// 1 when animation n is loaded.
std::int32_t AnimationExist(std::int32_t n);
// 1 while it plays.
std::int32_t AnimationPlaying(std::int32_t n);
// 1 while it is paused.
std::int32_t AnimationPaused(std::int32_t n);
// 1 while it loops.
std::int32_t AnimationLooping(std::int32_t n);
// The left edge it is drawn at, 0 before it is placed.
std::int32_t GetAnimationX(std::int32_t n);
// The top edge it is drawn at, 0 before it is placed.
std::int32_t GetAnimationY(std::int32_t n);
// The drawn width, else the video's own.
std::int32_t GetAnimationWidth(std::int32_t n);
// The drawn height, else the video's own.
std::int32_t GetAnimationHeight(std::int32_t n);
// The sound volume in percent.
void SetAnimationVolume(std::int32_t n, std::int32_t volume);
// The playback rate in percent, kept within 0 to 100.
void SetAnimationSpeed(std::int32_t n, std::int32_t speed);
// The volume in percent.
std::int32_t GetAnimationVolume(std::int32_t n);
// The speed in percent, as last set.
std::int32_t GetAnimationSpeed(std::int32_t n);
// Plays a DVD title (1 to 99) from a chapter (1 to 999).
void PlayDVDChapter(std::int32_t n, std::int32_t title, std::int32_t chapter);
// The chapter count of a DVD title 1..99; 0 for other titles, -1 without a DVD info interface.
std::int32_t GetDVDTitleChapters(std::int32_t n, std::int32_t title);
// While set, the per-frame copy of the video into its texture is skipped.
void SetAnimationSampleSkip(std::uint8_t flag);

// The texture that animation n's frames go into, with the UV scales of the video's area; null when
// there is none. For read-back by tools and tests.
IDirect3DTexture9* GetAnimationTexture(std::int32_t n, float* uScale = nullptr,
                                       float* vScale = nullptr);
