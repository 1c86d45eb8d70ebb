// The engine with camera 0 at the origin looking along +z, for the particles module's tests.
#pragma once

#include "core/win32.h"

#include "particles/particles.h"
#include "particles/particles_state.h"
#include "support/object_scene.h"
#include "support/recording_device.h"
#include "support/temp_folder.h"

#include <cstdint>
#include <vector>

constexpr std::uint32_t kClear = 0xFF204060;

class ParticleScene : public ObjectScene {
protected:
    void SetUp() override;
    void TearDown() override;
    static ParticleEmitter* Emitter(std::int32_t id) {
        return static_cast<ParticleEmitter*>(g_Particles.emitters.Find(id));
    }
    // Runs the camera pass n times, outside the frame loop.
    static void Passes(std::int32_t n);
    // The live particles of emitter id: {primaries, fragments}.
    static std::pair<std::int32_t, std::int32_t> LiveByType(std::int32_t id);
    // The run-time error that fn raises (0 for none).
    template <typename Fn> std::int32_t ErrorOf(Fn&& fn) {
        cell.number = 0;
        fn();
        return cell.number;
    }
    // Image n: 8 x 8 pixels of one opaque colour (0xRRGGBB).
    void LoadPlain(std::int32_t image, std::uint32_t colour);
    TempFolder folder;
};

// Hands the particles module (and every emitter) a recording device for the scope's lifetime.
class ParticleRecording {
public:
    ParticleRecording();
    ~ParticleRecording();
    ParticleRecording(const ParticleRecording&) = delete;
    ParticleRecording& operator=(const ParticleRecording&) = delete;
    RecordingDevice device;

private:
    static void Point(IDirect3DDevice9* to);
    IDirect3DDevice9* real_ = g_Particles.device;
};
