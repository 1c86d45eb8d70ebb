#include "core/win32.h"

#include "core/runtime_maths.h"
#include "core/core.h"
#include "core/core_state.h"
#include "core/frame_loop.h"
#include "core/runtime_data.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr float kToRadians = 0.017453292f;
constexpr float kToDegrees = 57.29578f;
constexpr int kWrapPasses = 10000;
constexpr std::int32_t kClockTextSize = 255;
constexpr std::uint32_t kNoSessionRandom = 0xFFFFFFFF;

// Survives for the whole run; written only by the commands below.
struct RuntimeState {
    const char* entryTextSource = nullptr;
    bool sessionRandomChosen = false;
    bool sessionRandomDisabled = false;
    std::uint32_t sessionRandom = 0;
};
RuntimeState s;

// The new text is made before the old one goes: out of memory (101), the caller keeps its old.
char* NewCopy(char* old, const char* source) {
    return ReplaceModuleString(g_CoreData, old, source, source ? std::strlen(source) : 0);
}

char* NewClockText(char* old, const char* format) {
    char* text = NewModuleString(g_CoreData, kClockTextSize);
    if (!text) return old;
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    if (local) std::strftime(text, kClockTextSize, format, local);
    return HandOverModuleString(g_CoreData, old, text);
}

std::uint32_t TimeNow() {
    timeBeginPeriod(1);
    const std::uint32_t now = timeGetTime();
    timeEndPeriod(1);
    return now;
}

// Pumps until done() holds or a quit is reported; false on a quit.
template <typename Done> bool PumpWhileNot(Done done) {
    while (!done())
        if (ProcessMessages() == 1) return false;
    return true;
}

} // namespace

float AbsFloat(float value) {
    return std::fabs(value);
}
std::int32_t FloatToInteger(float value) {
    // The run-time conversion's rule: out of range and NaN give the lowest value, never undefined
    // code.
    return ConvertFloatToInteger(value);
}
float SqrtFloat(float value) {
    return std::sqrt(value);
}
float ExpFloat(float value) {
    return std::exp(value);
}
float CeilFloat(float value) {
    return std::ceil(value);
}
float FloorFloat(float value) {
    return std::floor(value);
}
float CosDegrees(float angle) {
    return std::cos(angle * kToRadians);
}
float SinDegrees(float angle) {
    return std::sin(angle * kToRadians);
}
float TanDegrees(float angle) {
    return std::tan(angle * kToRadians);
}
float CosHDegrees(float value) {
    return std::cosh(value * kToRadians);
}
float SinHDegrees(float value) {
    return std::sinh(value * kToRadians);
}
float TanHDegrees(float value) {
    return std::tanh(value * kToRadians);
}
float ACosDegrees(float value) {
    return std::acos(value) * kToDegrees;
}
float ASinDegrees(float value) {
    return std::asin(value) * kToDegrees;
}
float ATanDegrees(float value) {
    return std::atan(value) * kToDegrees;
}
float ATan2Degrees(float y, float x) {
    return std::atan2(y, x) * kToDegrees;
}

float WrapAngle(float angle) {
    // Outside the integer range the truncation is undefined; the passes then decide.
    const bool fits = angle > static_cast<float>(INT_MIN) && angle < static_cast<float>(INT_MAX);
    const std::int32_t t = fits ? static_cast<std::int32_t>(angle) : 0;
    float a = angle - static_cast<float>(t - t % 360);
    for (int pass = 0; pass < kWrapPasses; ++pass) {
        if (a >= 0.0f && a < 360.0f) return a;
        if (a < 0.0f)
            a += 360.0f;
        else if (a >= 360.0f)
            a -= 360.0f;
    }
    return 0.0f;
}

float WrapAngleValue(float angle) {
    return WrapAngle(angle);
}

float EaseValue(float target, float current, float speed) {
    if (speed < 1.0f) speed = 1.0f;
    return current + (target - current) / speed;
}

float EaseAngle(float target, float current, float speed) {
    if (speed < 1.0f) speed = 1.0f;
    const float t = WrapAngle(target);
    const float c = WrapAngle(current);
    float d = t - c;
    if (d < -180.0f)
        d = t + 360.0f - c;
    else if (d > 180.0f)
        d = t - (360.0f + c);
    return WrapAngle(c + d / speed);
}

float MoveXByAngle(float x, float angle, float distance) {
    return x + SinDegrees(angle) * distance;
}
float MoveZByAngle(float z, float angle, float distance) {
    return z + CosDegrees(angle) * distance;
}
float MoveYByAngle(float y, float angle, float distance) {
    return y - SinDegrees(angle) * distance;
}

void Randomize(std::int32_t seed) {
    std::srand(static_cast<unsigned>(seed));
}

std::int32_t Rnd(std::int32_t n) {
    if (n < 1) return 0;
    std::int32_t r = 0;
    if (n > 1000) r += std::rand() * 1000;
    if (n > 100) r += std::rand() * 100;
    if (n > 10) r += std::rand() * 10;
    r += std::rand();
    // n + 1 overflows for the largest n; the remainder of a wider type covers it.
    return static_cast<std::int32_t>(static_cast<std::int64_t>(r) %
                                     (static_cast<std::int64_t>(n) + 1));
}

std::int32_t GetTimer() {
    return static_cast<std::int32_t>(TimeNow());
}

void WaitMilliseconds(std::int32_t ms) {
    const std::uint32_t start = TimeNow();
    PumpWhileNot([&] { return static_cast<std::int64_t>(timeGetTime() - start) > ms; });
}

void WaitKey() {
    const CoreWindowState& w = g_CoreWindow;
    if (w.lastKeyCode != 0 && !PumpWhileNot([&] { return w.lastKeyCode == 0; })) return;
    PumpWhileNot([&] { return w.lastKeyCode != 0; });
}

void WaitMouse() {
    const CoreData& core = *g_CoreData;
    if (core.mouseButtons != 0 && !PumpWhileNot([&] { return core.mouseButtons == 0; })) return;
    PumpWhileNot([&] { return core.mouseButtons != 0; });
}

void SetPumpSleep(std::int32_t flag) {
    g_FrameLoop.pumpSleep = flag == 1;
}

char* GetEntryText(char* old) {
    return NewCopy(old, s.entryTextSource);
}

void SetEntryTextSource(const char* source) {
    s.entryTextSource = source;
}

char* GetInkeyText(char* old) {
    // The window procedure clears the second byte when the key goes up.
    const char held[2] = {g_CoreWindow.lastCharacter[1], 0};
    return NewCopy(old, held);
}

char* GetCoreDataText(char* old) {
    char* text = NewModuleString(g_CoreData, kClockTextSize);
    if (!text) return old;
    const char* extra = g_CoreData ? g_CoreData->extraText : nullptr;
    if (extra) std::strncpy(text, extra, kClockTextSize - 1);
    return HandOverModuleString(g_CoreData, old, text);
}

char* GetDateText(char* old) {
    return NewClockText(old, "%m/%d/%y");
}

char* GetTimeText(char* old) {
    return NewClockText(old, "%H:%M:%S");
}

std::uint32_t GetSessionRandom() {
    if (s.sessionRandomDisabled) return kNoSessionRandom;
    // Seeding once only: reseeding on every call would replay the game's random numbers.
    if (!s.sessionRandomChosen) {
        std::srand(timeGetTime());
        s.sessionRandom = static_cast<std::uint32_t>(std::rand() % 1000000);
        s.sessionRandomChosen = true;
    }
    return s.sessionRandom;
}

void DisableSessionRandom() {
    s.sessionRandomDisabled = true;
}
