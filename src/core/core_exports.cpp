#include "core/win32.h"

#include "core/core_exports.h"
#include "core/console.h"
#include "core/frame_loop.h"
#include "core/core.h"
#include "core/runtime_maths.h"

void SyncOnExport() {
    SyncOn();
}

void SyncOffExport() {
    SyncOff();
}

std::int32_t SyncExport() {
    return Sync();
}

void SetSyncRateExport(std::int32_t rate) {
    SetSyncRate(rate);
}

void FastSyncExport() {
    FastSync();
}

void SetSceneSwapAtSyncEndExport() {
    SetSceneSwapAtSyncEnd();
}

void SetSceneSwapAtSyncStartExport() {
    SetSceneSwapAtSyncStart();
}

void DrawSpritesFirstExport() {
    DrawSpritesFirst();
}

void DrawSpritesLastExport() {
    DrawSpritesLast();
}

void SetCoreFlagResumeFramesExport() {
    SetCoreFlagResumeFrames();
}

void ClearResumeFramesFlagExport() {
    ClearResumeFramesFlag();
}

void ClearConsoleExport() {
    ClearConsole();
}

void SetPrintCursorExport(std::int32_t x, std::int32_t y) {
    SetPrintCursor(x, y);
}

void PrintIntegerExport(std::int64_t value) {
    PrintInteger(value);
}

void PrintFloatExport(double value) {
    PrintFloat(value);
}

void PrintStringExport(const char* text) {
    PrintString(text);
}

void PrintNewLineExport() {
    PrintNewLine();
}

void PrintIntegerNoNewLineExport(std::int64_t value) {
    PrintIntegerNoNewLine(value);
}

void PrintFloatNoNewLineExport(double value) {
    PrintFloatNoNewLine(value);
}

void PrintStringNoNewLineExport(const char* text) {
    PrintStringNoNewLine(text);
}

char* InputStringLineExport(char* old) {
    return InputStringLine(old);
}

std::int32_t GetTimerExport() {
    return GetTimer();
}

void RandomizeExport(std::int32_t seed) {
    Randomize(seed);
}

float EaseValueExport(float target, float current, float speed) {
    return EaseValue(target, current, speed);
}

float WrapAngleValueExport(float angle) {
    return WrapAngleValue(angle);
}

float MoveXByAngleExport(float x, float angle, float distance) {
    return MoveXByAngle(x, angle, distance);
}

float MoveYByAngleExport(float y, float angle, float distance) {
    return MoveYByAngle(y, angle, distance);
}

float MoveZByAngleExport(float z, float angle, float distance) {
    return MoveZByAngle(z, angle, distance);
}

float EaseAngleExport(float target, float current, float speed) {
    return EaseAngle(target, current, speed);
}

char* GetInkeyTextExport(char* old) {
    return GetInkeyText(old);
}

void WaitMillisecondsExport(std::int32_t ms) {
    WaitMilliseconds(ms);
}

void WaitMillisecondsExport2(std::int32_t ms) {
    WaitMilliseconds(ms);
}

void WaitKeyExport() {
    WaitKey();
}

void WaitKeyExport2() {
    WaitKey();
}

void WaitMouseExport() {
    WaitMouse();
}

void WaitMouseExport2() {
    WaitMouse();
}

std::int32_t RndExport(std::int32_t n) {
    return Rnd(n);
}

std::int32_t RndExport2(std::int32_t n) {
    return Rnd(n);
}

float CosDegreesExport(float angle) {
    return CosDegrees(angle);
}

float CosDegreesExport2(float angle) {
    return CosDegrees(angle);
}

float SinDegreesExport(float angle) {
    return SinDegrees(angle);
}

float SinDegreesExport2(float angle) {
    return SinDegrees(angle);
}

float TanDegreesExport(float angle) {
    return TanDegrees(angle);
}

float TanDegreesExport2(float angle) {
    return TanDegrees(angle);
}

float ACosDegreesExport(float value) {
    return ACosDegrees(value);
}

float ACosDegreesExport2(float value) {
    return ACosDegrees(value);
}

float ASinDegreesExport(float value) {
    return ASinDegrees(value);
}

float ASinDegreesExport2(float value) {
    return ASinDegrees(value);
}

float ATanDegreesExport(float value) {
    return ATanDegrees(value);
}

float ATanDegreesExport2(float value) {
    return ATanDegrees(value);
}

float CosHDegreesExport(float value) {
    return CosHDegrees(value);
}

float CosHDegreesExport2(float value) {
    return CosHDegrees(value);
}

float SinHDegreesExport(float value) {
    return SinHDegrees(value);
}

float SinHDegreesExport2(float value) {
    return SinHDegrees(value);
}

float TanHDegreesExport(float value) {
    return TanHDegrees(value);
}

float TanHDegreesExport2(float value) {
    return TanHDegrees(value);
}

float SqrtFloatExport(float value) {
    return SqrtFloat(value);
}

float SqrtFloatExport2(float value) {
    return SqrtFloat(value);
}

float AbsFloatExport(float value) {
    return AbsFloat(value);
}

float AbsFloatExport2(float value) {
    return AbsFloat(value);
}

float ExpFloatExport(float value) {
    return ExpFloat(value);
}

float ExpFloatExport2(float value) {
    return ExpFloat(value);
}

float ATan2DegreesExport(float y, float x) {
    return ATan2Degrees(y, x);
}

float ATan2DegreesExport2(float y, float x) {
    return ATan2Degrees(y, x);
}

std::int32_t FloatToIntegerExport(float value) {
    return FloatToInteger(value);
}

std::int32_t FloatToIntegerExport2(float value) {
    return FloatToInteger(value);
}

char* GetEntryTextExport(char* old) {
    return GetEntryText(old);
}

char* GetEntryTextExport2(char* old) {
    return GetEntryText(old);
}

char* GetDateTextExport(char* old) {
    return GetDateText(old);
}

char* GetDateTextExport2(char* old) {
    return GetDateText(old);
}

char* GetTimeTextExport(char* old) {
    return GetTimeText(old);
}

char* GetTimeTextExport2(char* old) {
    return GetTimeText(old);
}

bool ConnectCoreDataExport() {
    return ConnectCoreData();
}

void ShowFunctionMidProgramError() {
    MessageBoxA(nullptr, "You have hit a FUNCTION declaration mid-program!", "Early Exit Error",
                MB_OK);
}

void CoreMessageBox(std::int32_t, const char* text, const char* title) {
    MessageBoxA(nullptr, text, title, MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL | MB_TOPMOST);
}

bool CoreReturnFalse() {
    return false;
}

std::int32_t CoreReturnZero() {
    return 0;
}

std::int32_t ProcessMessagesAlias() {
    return ProcessMessages();
}
