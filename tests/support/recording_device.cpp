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
