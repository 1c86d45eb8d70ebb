#include "core/win32.h"

#include "sound/sound.h"
#include "sound/sound_state.h"
#include "core/core.h"

#include <cmath>
#include <initializer_list>

namespace {

SoundState& s = g_Sound;

IDirectSoundBuffer* Buffer0(const SoundRecord& r) {
    return r.sound ? r.sound->BufferAt(0) : nullptr;
}

// Stops every buffer, rewinds them, and starts a free one with the cursor of buffer 0 at from.
void Start(SoundRecord& r, DWORD from, DWORD flags) {
    if (!r.sound) return;
    r.sound->StopAll();
    r.sound->RewindAll();
    if (IDirectSoundBuffer* b = Buffer0(r)) b->SetCurrentPosition(from);
    r.sound->PlayIdle(0, flags);
}

template <typename Get> std::int32_t Query(std::int32_t n, Get get) {
    const SoundRecord* r = CheckedSound(n);
    return r ? get(*r) : 0;
}

float StoredPosition(std::int32_t n, int axis, const char* message) {
    const SoundRecord* r =
        SoundReady() ? static_cast<const SoundRecord*>(s.sounds.Find(n)) : nullptr;
    if (!r) {
        ReportInternalError(message);
        return 0.0f;
    }
    return r->position[axis];
}

// DirectSound is given finite values only: its 3D mix turns a value that is not a number into
// volumes and pans of no meaning.
bool Finite(std::initializer_list<float> values) {
    for (float v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

} // namespace

void PlaySound(std::int32_t n) {
    SoundRecord* r = CheckedSound(n);
    if (!r) return;
    r->paused = 0;
    r->playing = 1;
    r->looping = 0;
    Start(*r, 0, 0);
}

void PlaySoundEx(std::int32_t n, std::int32_t position) {
    SoundRecord* r = CheckedSound(n);
    if (!r) return;
    if (position < 0 || position > 22000000) return RaiseRuntimeError(kSoundPositionIllegal);
    r->paused = 0;
    r->playing = 1;
    r->looping = 0;
    Start(*r, static_cast<DWORD>(position), 0);
}

void LoopSound(std::int32_t n, std::int32_t start, std::int32_t end, std::int32_t initial) {
    SoundRecord* r = CheckedSound(n);
    if (!r || !r->sound) return;
    r->loopStart = static_cast<std::uint32_t>(start);
    r->loopEnd = static_cast<std::uint32_t>(end);
    r->paused = 0;
    r->playing = 1;
    r->looping = 1;
    r->sound->StopAll();
    r->sound->RewindAll();
    r->sound->StopAll();
    if (initial != -1)
        if (IDirectSoundBuffer* b = Buffer0(*r)) b->SetCurrentPosition(static_cast<DWORD>(initial));
    r->sound->PlayIdle(0, DSBPLAY_LOOPING);
}

void StopSound(std::int32_t n) {
    SoundRecord* r = CheckedSound(n);
    if (!r || !r->sound) return;
    r->playing = 0;
    r->sound->StopAll();
    r->sound->RewindAll();
    r->looping = 0;
    r->paused = 0;
    r->sound->StopAll();
}

void PauseSound(std::int32_t n) {
    SoundRecord* r = CheckedSound(n);
    if (!r || !r->sound) return;
    r->paused = 1;
    r->sound->StopAll();
}

void ResumeSound(std::int32_t n) {
    SoundRecord* r = CheckedSound(n);
    if (!r || !r->sound) return;
    r->paused = 0;
    r->sound->PlayIdle(0, 0);
}

void SetSoundPan(std::int32_t n, std::int32_t pan) {
    SoundRecord* r = CheckedSound(n);
    if (!r) return;
    if (pan < -10000 || pan > 10000) return RaiseRuntimeError(kSoundPanIllegal);
    if (IDirectSoundBuffer* b = Buffer0(*r)) b->SetPan(pan);
}

void SetSoundSpeed(std::int32_t n, std::int32_t frequency) {
    SoundRecord* r = CheckedSound(n);
    if (!r) return;
    if (frequency < 100 || frequency > 100000) return RaiseRuntimeError(kSoundFrequencyIllegal);
    if (IDirectSoundBuffer* b = Buffer0(*r)) b->SetFrequency(static_cast<DWORD>(frequency));
}

void SetSoundVolume(std::int32_t n, std::int32_t volume) {
    SoundRecord* r = CheckedSound(n);
    if (!r) return;
    if (volume < 0 || volume > 100) return RaiseRuntimeError(kSoundVolumeIllegal);
    r->volume = volume;
    if (IDirectSoundBuffer* b = Buffer0(*r))
        b->SetVolume(static_cast<LONG>((100 - volume) * 0.01 * -9600.0));
}

std::int32_t SoundExist(std::int32_t n) {
    if (!SoundReady()) return 0;
    if (!CheckItemNumber(n, kSoundNumbers)) return 0;
    return s.sounds.Find(n) ? 1 : 0;
}

std::int32_t SoundType(std::int32_t n) {
    return Query(n, [](const SoundRecord& r) { return r.is3D ? 1 : 0; });
}
std::int32_t SoundPlaying(std::int32_t n) {
    return Query(n, [](const SoundRecord& r) { return std::int32_t{r.playing}; });
}
std::int32_t SoundLooping(std::int32_t n) {
    return Query(n, [](const SoundRecord& r) { return std::int32_t{r.looping}; });
}
std::int32_t SoundPaused(std::int32_t n) {
    return Query(n, [](const SoundRecord& r) { return std::int32_t{r.paused}; });
}
std::int32_t SoundVolume(std::int32_t n) {
    return Query(n, [](const SoundRecord& r) { return r.volume; });
}

std::int32_t SoundPan(std::int32_t n) {
    return Query(n, [](const SoundRecord& r) {
        LONG pan = 0;
        if (IDirectSoundBuffer* b = r.is3D ? nullptr : Buffer0(r)) b->GetPan(&pan);
        return static_cast<std::int32_t>(pan);
    });
}

std::int32_t SoundSpeed(std::int32_t n) {
    return Query(n, [](const SoundRecord& r) {
        DWORD frequency = 0;
        if (IDirectSoundBuffer* b = Buffer0(r)) b->GetFrequency(&frequency);
        return static_cast<std::int32_t>(frequency);
    });
}

float SoundPositionX(std::int32_t n) {
    const SoundRecord* r = CheckedSound(n);
    return r ? r->position[0] * 100.0f : 0.0f;
}
float SoundPositionY(std::int32_t n) {
    const SoundRecord* r = CheckedSound(n);
    return r ? r->position[1] * 100.0f : 0.0f;
}
float SoundPositionZ(std::int32_t n) {
    const SoundRecord* r = CheckedSound(n);
    return r ? r->position[2] * 100.0f : 0.0f;
}

float GetSoundPositionX(std::int32_t n) {
    return StoredPosition(n, 0, "GetSoundPositionX - sound does not exist");
}
float GetSoundPositionY(std::int32_t n) {
    return StoredPosition(n, 1, "GetSoundPositionY - sound does not exist");
}
float GetSoundPositionZ(std::int32_t n) {
    return StoredPosition(n, 2, "GetSoundPositionZ - sound does not exist");
}

void PositionSound(std::int32_t n, float x, float y, float z) {
    SoundRecord* r = CheckedSound(n);
    if (!r || !r->buffer3D) return;
    r->position[0] = x * 0.01f;
    r->position[1] = y * 0.01f;
    r->position[2] = z * 0.01f;
    const float dx = r->position[0] - r->sentPosition[0], dy = r->position[1] - r->sentPosition[1],
                dz = r->position[2] - r->sentPosition[2];
    // Small moves are not worth a change of the 3D mix.
    if (std::sqrt(dx * dx + dy * dy + dz * dz) <= 0.09f) return;
    if (!Finite({r->position[0], r->position[1], r->position[2]})) return;
    r->buffer3D->SetPosition(r->position[0], r->position[1], r->position[2], DS3D_DEFERRED);
    for (int i = 0; i < 3; ++i)
        r->sentPosition[i] = r->position[i];
}

void PositionListener(float x, float y, float z) {
    if (!s.listener) return;
    s.listenerPosition[0] = x * 0.01f;
    s.listenerPosition[1] = y * 0.01f;
    s.listenerPosition[2] = z * 0.01f;
    if (!Finite({s.listenerPosition[0], s.listenerPosition[1], s.listenerPosition[2]})) return;
    s.listener->SetPosition(s.listenerPosition[0], s.listenerPosition[1], s.listenerPosition[2],
                            DS3D_DEFERRED);
}

void RotateListener(float ax, float ay, float az) {
    if (!s.listener) return;
    s.listenerAngles[0] = ax;
    s.listenerAngles[1] = ay;
    s.listenerAngles[2] = az;
    D3DXMATRIX r, step;
    D3DXMatrixIdentity(&r);
    // R = Rz x Ry x Rx, each rotation multiplied on the left in turn.
    D3DXMatrixRotationX(&step, ax * 0.0174533f);
    r = step * r;
    D3DXMatrixRotationY(&step, ay * 0.0174533f);
    r = step * r;
    D3DXMatrixRotationZ(&step, az * 0.0174533f);
    r = step * r;
    D3DXVECTOR3 front(0, 0, 1), top(0, 1, 0), f, t;
    D3DXVec3TransformNormal(&f, &front, &r);
    D3DXVec3TransformNormal(&t, &top, &r);
    if (!Finite({f.x, f.y, f.z, t.x, t.y, t.z})) return;
    s.listener->SetOrientation(f.x, f.y, f.z, t.x, t.y, t.z, DS3D_DEFERRED);
}

void ScaleListener(float scale) {
    if (!Finite({scale * 3000.0f})) return;
    for (IdListNode* node = s.sounds.first; node; node = node->next) {
        auto* r = static_cast<SoundRecord*>(node->data);
        if (!r->buffer3D) continue;
        r->buffer3D->SetMinDistance(scale, DS3D_DEFERRED);
        r->buffer3D->SetMaxDistance(scale * 3000.0f, DS3D_DEFERRED);
    }
}

float ListenerPositionX() {
    return s.listenerPosition[0] * 100.0f;
}
float ListenerPositionY() {
    return s.listenerPosition[1] * 100.0f;
}
float ListenerPositionZ() {
    return s.listenerPosition[2] * 100.0f;
}
float ListenerAngleX() {
    return s.listenerAngles[0];
}
float ListenerAngleY() {
    return s.listenerAngles[1];
}
float ListenerAngleZ() {
    return s.listenerAngles[2];
}

void SoundNotAvailable() {
    RaiseRuntimeError(kCommandNotAvailable);
}
float SoundVelocityX(std::int32_t) {
    return 0.0f;
}
float SoundVelocityY(std::int32_t) {
    return 0.0f;
}
float SoundVelocityZ(std::int32_t) {
    return 0.0f;
}
float ListenerVelocityX() {
    return 0.0f;
}
float ListenerVelocityY() {
    return 0.0f;
}
float ListenerVelocityZ() {
    return 0.0f;
}
