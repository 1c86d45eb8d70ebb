#include "core/win32.h"

#include "support/recording_device.h"

#include <algorithm>

int RecordingDevice::RenderStateCount(D3DRENDERSTATETYPE state) const {
    return static_cast<int>(
        std::count_if(renderStates.begin(), renderStates.end(), [state](const RecordedState& r) {
            return r.type == static_cast<DWORD>(state);
        }));
}

DWORD RecordingDevice::LastRenderState(D3DRENDERSTATETYPE state, DWORD fallback) const {
    for (auto r = renderStates.rbegin(); r != renderStates.rend(); ++r)
        if (r->type == static_cast<DWORD>(state)) return r->value;
    return fallback;
}

DWORD RecordingDevice::RenderStateAtDraw(std::size_t draw, D3DRENDERSTATETYPE state,
                                         DWORD fallback) const {
    if (draw >= draws.size()) return fallback;
    for (std::size_t i = draws[draw].renderStatesBefore; i-- > 0;)
        if (renderStates[i].type == static_cast<DWORD>(state)) return renderStates[i].value;
    return fallback;
}

void RecordingDevice::RecordStripColour(UINT start) {
    IDirect3DVertexBuffer9* buffer = streams.empty() ? nullptr : streams.back();
    void* data = nullptr;
    // x, y, z and rhw come first: the colour is the fifth word.
    if (!buffer || stride_ < 20 ||
        FAILED(buffer->Lock(start * stride_, stride_, &data, D3DLOCK_READONLY)) || !data)
        return;
    stripColours.push_back(static_cast<const D3DCOLOR*>(data)[4]);
    buffer->Unlock();
}

void RecordingDevice::RecordUserDraw(D3DPRIMITIVETYPE type, bool indexed, UINT primitives,
                                     const void* data, UINT stride) {
    RecordedUserDraw draw{type, indexed, primitives, data, {}, nullptr};
    if (data) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        draw.firstVertex.assign(bytes, bytes + stride);
    }
    // The stage's texture is only compared, never used: the reference is let go at once.
    if (SUCCEEDED(real_->GetTexture(0, &draw.stageZero)) && draw.stageZero)
        draw.stageZero->Release();
    userDraws.push_back(std::move(draw));
}
