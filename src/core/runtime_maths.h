// The core's runtime support: float maths in degrees, random numbers, angle easing, the
// millisecond timer, waits that keep the window alive, and the typed-text and clock texts.
// Commands that return a new text free the caller's old one (null for none); when the new one
// cannot be made they raise 101 and give the old one back.
#pragma once

#include <cstdint>

float AbsFloat(float value);
std::int32_t FloatToInteger(float value);
float SqrtFloat(float value);
float ExpFloat(float value);
float CeilFloat(float value);
float FloorFloat(float value);
float CosDegrees(float angle);
float SinDegrees(float angle);
float TanDegrees(float angle);
float CosHDegrees(float value);
float SinHDegrees(float value);
float TanHDegrees(float value);
float ACosDegrees(float value);
float ASinDegrees(float value);
float ATanDegrees(float value);
float ATan2Degrees(float y, float x);

// Into 0 <= a < 360; 0 for angles that cannot be brought there (NaN, huge values).
float WrapAngle(float angle);
float WrapAngleValue(float angle);
float EaseValue(float target, float current, float speed);
float EaseAngle(float target, float current, float speed);
float MoveXByAngle(float x, float angle, float distance);
float MoveZByAngle(float z, float angle, float distance);
float MoveYByAngle(float y, float angle, float distance);

void Randomize(std::int32_t seed);
// 0..n inclusive, also above the C library's largest random value; 0 when n < 1.
std::int32_t Rnd(std::int32_t n);

std::int32_t GetTimer();
void WaitMilliseconds(std::int32_t ms);
void WaitKey();
void WaitMouse();
void SetPumpSleep(std::int32_t flag);

char* GetEntryText(char* old);
void SetEntryTextSource(const char* source);
char* GetInkeyText(char* old);
char* GetCoreDataText(char* old);
char* GetDateText(char* old);
char* GetTimeText(char* old);
std::uint32_t GetSessionRandom();
void DisableSessionRandom();
