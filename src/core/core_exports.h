// The exported entries of the core's commands: each forwards its arguments unchanged to the
// command and returns its result. A command offered twice has a second, identical entry.
#pragma once

#include "core/core_data.h"

#include <cstdint>

void SyncOnExport();
void SyncOffExport();
std::int32_t SyncExport();
void SetSyncRateExport(std::int32_t rate);
void FastSyncExport();
void SetSceneSwapAtSyncEndExport();
void SetSceneSwapAtSyncStartExport();
void DrawSpritesFirstExport();
void DrawSpritesLastExport();
void SetCoreFlagResumeFramesExport();
void ClearResumeFramesFlagExport();
void ClearConsoleExport();
void SetPrintCursorExport(std::int32_t x, std::int32_t y);
void PrintIntegerExport(std::int64_t value);
void PrintFloatExport(double value);
void PrintStringExport(const char* text);
void PrintNewLineExport();
void PrintIntegerNoNewLineExport(std::int64_t value);
void PrintFloatNoNewLineExport(double value);
void PrintStringNoNewLineExport(const char* text);
char* InputStringLineExport(char* old);
std::int32_t GetTimerExport();
void RandomizeExport(std::int32_t seed);
float EaseValueExport(float target, float current, float speed);
float WrapAngleValueExport(float angle);
float MoveXByAngleExport(float x, float angle, float distance);
float MoveYByAngleExport(float y, float angle, float distance);
float MoveZByAngleExport(float z, float angle, float distance);
float EaseAngleExport(float target, float current, float speed);
char* GetInkeyTextExport(char* old);
void WaitMillisecondsExport(std::int32_t ms);
void WaitMillisecondsExport2(std::int32_t ms);
void WaitKeyExport();
void WaitKeyExport2();
void WaitMouseExport();
void WaitMouseExport2();
std::int32_t RndExport(std::int32_t n);
std::int32_t RndExport2(std::int32_t n);
float CosDegreesExport(float angle);
float CosDegreesExport2(float angle);
float SinDegreesExport(float angle);
float SinDegreesExport2(float angle);
float TanDegreesExport(float angle);
float TanDegreesExport2(float angle);
float ACosDegreesExport(float value);
float ACosDegreesExport2(float value);
float ASinDegreesExport(float value);
float ASinDegreesExport2(float value);
float ATanDegreesExport(float value);
float ATanDegreesExport2(float value);
float CosHDegreesExport(float value);
float CosHDegreesExport2(float value);
float SinHDegreesExport(float value);
float SinHDegreesExport2(float value);
float TanHDegreesExport(float value);
float TanHDegreesExport2(float value);
float SqrtFloatExport(float value);
float SqrtFloatExport2(float value);
float AbsFloatExport(float value);
float AbsFloatExport2(float value);
float ExpFloatExport(float value);
float ExpFloatExport2(float value);
float ATan2DegreesExport(float y, float x);
float ATan2DegreesExport2(float y, float x);
std::int32_t FloatToIntegerExport(float value);
std::int32_t FloatToIntegerExport2(float value);
char* GetEntryTextExport(char* old);
char* GetEntryTextExport2(char* old);
char* GetDateTextExport(char* old);
char* GetDateTextExport2(char* old);
char* GetTimeTextExport(char* old);
char* GetTimeTextExport2(char* old);

// Further entries of the core.
bool ConnectCoreDataExport();
void ShowFunctionMidProgramError();
void CoreMessageBox(std::int32_t unused, const char* text, const char* title);
bool CoreReturnFalse();
std::int32_t CoreReturnZero();
std::int32_t ProcessMessagesAlias();
