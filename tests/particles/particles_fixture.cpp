#include "core/win32.h"

#include "particles_fixture.h"
#include "core/frame_loop.h"
#include "image/image.h"
#include "support/image_files.h"

#include <cstdlib>

void ParticleScene::SetUp() {
    ObjectScene::SetUp();
    std::srand(1);
    // Inside a scene, as the frame loop's passes are.
    Sync();
}

void ParticleScene::TearDown() {
    DeleteAllParticleEmitters();
    ObjectScene::TearDown();
}

void ParticleScene::Passes(std::int32_t n) {
    for (std::int32_t k = 0; k < n; ++k)
        ParticlesUpdate();
}

std::pair<std::int32_t, std::int32_t> ParticleScene::LiveByType(std::int32_t id) {
    std::pair<std::int32_t, std::int32_t> counts{0, 0};
    for (const PointParticle* p = Emitter(id)->live; p; p = p->next)
        ++(p->type == 0 ? counts.first : counts.second);
    return counts;
}

void ParticleScene::LoadPlain(std::int32_t image, std::uint32_t colour) {
    const std::string png = PngBytes(8, 8, [colour](int, int) { return 0xFF000000u | colour; });
    LoadImage(folder.Write("plain" + std::to_string(image) + ".png", png).c_str(), image);
}

ParticleRecording::ParticleRecording() : device(g_Particles.device) {
    Point(&device);
}

ParticleRecording::~ParticleRecording() {
    Point(real_);
}

void ParticleRecording::Point(IDirect3DDevice9* to) {
    g_Particles.device = to;
    for (IdListNode* node = g_Particles.emitters.first; node; node = node->next)
        static_cast<ParticleEmitter*>(node->data)->device = to;
}
