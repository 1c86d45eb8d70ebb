#include "core/win32.h"

#include "input/input.h"
#include "input/input_state.h"
#include "core/core.h"
#include "core/error_numbers.h"

#include <initializer_list>

namespace {

InputState& s = g_Input;

constexpr DWORD kPushDuration = 100000;

// The longest durations whose microseconds a DWORD holds below INFINITE under each rule.
constexpr std::int32_t kLongestRuleA = 4294917; // (4294.917 + 0.05) s
constexpr std::int32_t kLongestRuleB = 4294999; // (4294 + 0.05) s

DWORD RuleA(std::int32_t ms) {
    return ms == 0 ? INFINITE : static_cast<DWORD>((ms * 0.001 + 0.05) * 1000000.0);
}

DWORD RuleB(std::int32_t ms) {
    return ms == 0 ? INFINITE : static_cast<DWORD>((ms / 1000 + 0.05) * 1000000.0);
}

// The checks of every effect command, in their order; true when the command may go on.
bool Allowed(std::int32_t magnitude, std::int32_t angle = 0, std::int32_t duration = 0,
             std::int32_t longest = kLongestRuleA) {
    std::int32_t error = 0;
    if (!s.forceFeedback || !s.joystick)
        error = kNoForceFeedback;
    else if (magnitude < 0 || magnitude > 100)
        error = kForceMagnitudeIllegal;
    else if (angle < 0 || angle > 360)
        error = kForceAngleIllegal;
    else if (duration < 0 || duration > longest) // longer would wrap into a short effect
        error = kForceDurationIllegal;
    if (error) RaiseRuntimeError(error);
    return error == 0;
}

// Everything an effect needs to be made or changed.
struct EffectParameters {
    DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
    LONG directions[2] = {0, 0};
    DICONSTANTFORCE constant{};
    DIPERIODIC periodic{};
    DICONDITION condition[2] = {};
    DIEFFECT effect{};
    GUID type = GUID_ConstantForce;

    explicit EffectParameters(DWORD duration) {
        effect.dwSize = sizeof effect;
        effect.dwFlags = DIEFF_POLAR | DIEFF_OBJECTOFFSETS;
        effect.dwDuration = duration;
        effect.dwSamplePeriod = 0;
        effect.dwGain = DI_FFNOMINALMAX;
        effect.dwTriggerButton = DIEB_NOTRIGGER;
        effect.dwTriggerRepeatInterval = 0;
        effect.cAxes = 2;
        effect.rgdwAxes = axes;
        effect.rglDirection = directions;
        effect.lpEnvelope = nullptr;
        effect.dwStartDelay = 0;
    }
};

BOOL CALLBACK TakeFirstPeriodic(const DIEFFECTINFOA* info, void* type) {
    *static_cast<GUID*>(type) = info->guid;
    return DIENUM_STOP;
}

// Makes or updates the effect of a slot; starts it unless told not to.
bool Play(ForceEffect slot, EffectParameters& p, DWORD updateFlags, bool start = true) {
    IDirectInputEffect*& effect = s.effects[slot];
    HRESULT hr = effect ? effect->SetParameters(&p.effect, updateFlags)
                        : s.joystick->CreateEffect(p.type, &p.effect, &effect, nullptr);
    if (!effect || (hr != DI_OK && hr != S_FALSE)) return false;
    if (!start) return true;
    effect->Start(1, 0);
    if (hr == S_FALSE) { // the device could not take the change while playing: make it again
        effect->Release();
        effect = nullptr;
        if (FAILED(s.joystick->CreateEffect(p.type, &p.effect, &effect, nullptr))) {
            effect = nullptr;
            return false;
        }
        effect->Start(1, 0);
    }
    return true;
}

void Push(ForceEffect slot, std::int32_t magnitude, LONG direction) {
    if (!Allowed(magnitude)) return;
    EffectParameters p(kPushDuration);
    p.directions[0] = direction;
    p.constant.lMagnitude = magnitude * 100;
    p.effect.cbTypeSpecificParams = sizeof p.constant;
    p.effect.lpvTypeSpecificParams = &p.constant;
    Play(slot, p, DIEP_START | DIEP_TYPESPECIFICPARAMS | DIEP_DIRECTION);
}

void Vibrate(ForceEffect slot, std::int32_t magnitude, std::int32_t duration, DWORD period) {
    if (!Allowed(magnitude, 0, duration)) return;
    EffectParameters p(RuleA(duration));
    if (FAILED(s.joystick->EnumEffects(TakeFirstPeriodic, &p.type, DIEFT_PERIODIC)) ||
        p.type == GUID_ConstantForce)
        return;
    p.periodic = DIPERIODIC{static_cast<DWORD>(magnitude * 100), 0, 0, period};
    p.effect.cbTypeSpecificParams = sizeof p.periodic;
    p.effect.lpvTypeSpecificParams = &p.periodic;
    Play(slot, p, DIEP_START | DIEP_TYPESPECIFICPARAMS | DIEP_DURATION);
}

void AutoCentre(DWORD on) {
    if (!s.forceFeedback || !s.joystick) return RaiseRuntimeError(kNoForceFeedback);
    DIPROPDWORD centre{};
    centre.diph.dwSize = sizeof centre;
    centre.diph.dwHeaderSize = sizeof centre.diph;
    centre.diph.dwHow = DIPH_DEVICE;
    centre.dwData = on;
    s.joystick->Unacquire();
    s.joystick->SetProperty(DIPROP_AUTOCENTER, &centre.diph);
    s.joystick->Acquire();
}

} // namespace

void ReleaseEffects() {
    for (IDirectInputEffect*& effect : s.effects) {
        if (effect) effect->Release();
        effect = nullptr;
    }
}

void ForcePushUp(std::int32_t magnitude) {
    Push(kPushUp, magnitude, 18000);
}
void ForcePushDown(std::int32_t magnitude) {
    Push(kPushDown, magnitude, 0);
}
void ForcePushLeft(std::int32_t magnitude) {
    Push(kPushLeft, magnitude, 9000);
}
void ForcePushRight(std::int32_t magnitude) {
    Push(kPushRight, magnitude, 27000);
}

void ForcePushAngle(std::int32_t magnitude, std::int32_t angle, std::int32_t duration) {
    if (!Allowed(magnitude, angle, duration, kLongestRuleB)) return;
    EffectParameters p(RuleB(duration));
    p.directions[0] = angle * 100;
    p.constant.lMagnitude = magnitude * 100;
    p.effect.cbTypeSpecificParams = sizeof p.constant;
    p.effect.lpvTypeSpecificParams = &p.constant;
    Play(kPushAngle, p, DIEP_START | DIEP_TYPESPECIFICPARAMS | DIEP_DIRECTION | DIEP_DURATION);
}

void ForceVibrateFast(std::int32_t magnitude, std::int32_t duration) {
    Vibrate(kVibrateFast, magnitude, duration, 50000);
}

void ForceVibrateSlow(std::int32_t magnitude, std::int32_t duration) {
    Vibrate(kVibrateSlow, magnitude, duration, 100000);
}

void PlayConstantForce(std::int32_t magnitude, std::int32_t duration) {
    if (!Allowed(magnitude, 0, duration)) return;
    EffectParameters p(RuleA(duration));
    p.constant.lMagnitude = magnitude * 100;
    p.effect.cbTypeSpecificParams = sizeof p.constant;
    p.effect.lpvTypeSpecificParams = &p.constant;
    // Made on the first call, played from the second on.
    const bool exists = s.effects[kConstant] != nullptr;
    Play(kConstant, p, DIEP_START | DIEP_TYPESPECIFICPARAMS | DIEP_DIRECTION | DIEP_DURATION,
         exists);
}

void ForceDamper(std::int32_t magnitude, std::int32_t duration) {
    if (!Allowed(magnitude, 0, duration)) return;
    EffectParameters a(RuleA(duration)), b(RuleA(duration));
    for (EffectParameters* p : {&a, &b}) {
        p->type = GUID_Damper;
        p->effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
        for (DICONDITION& c : p->condition)
            c = DICONDITION{0, magnitude * 50, 0, 10000, 0, 0};
        p->effect.cbTypeSpecificParams = sizeof p->condition;
        p->effect.lpvTypeSpecificParams = p->condition;
    }
    a.directions[0] = a.directions[1] = 1;
    b.directions[0] = b.directions[1] = -1;
    const DWORD flags = DIEP_START | DIEP_TYPESPECIFICPARAMS | DIEP_DURATION;
    if (Play(kDamperA, a, flags, false) && Play(kDamperB, b, flags, false)) {
        s.effects[kDamperA]->Start(1, 0);
        s.effects[kDamperB]->Start(1, 0);
    }
}

void StopForceEffects() {
    if (!s.forceFeedback) return RaiseRuntimeError(kNoForceFeedback);
    for (IDirectInputEffect* effect : s.effects)
        if (effect) effect->Stop();
}

void ForceAutoCentreOn() {
    AutoCentre(1);
}
void ForceAutoCentreOff() {
    AutoCentre(0);
}
