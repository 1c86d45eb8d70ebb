#include "core/win32.h"

#include "display/display.h"
#include "display/display_state.h"
#include "core/core.h"
#include "core/error_numbers.h"
#include "core/no_throw.h"

#include <algorithm>
#include <vector>

namespace {

DisplayState& d = g_Display;

constexpr std::int32_t kMaxExcludedRects = 256; // a longer list is read only this far
constexpr DWORD kFrameWaitLimitMs = 250;        // a renderer slower than this is not waited for

bool Contains(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

RECT Clip(const RECT& r, LONG width, LONG height) {
    return RECT{std::clamp(r.left, 0L, width), std::clamp(r.top, 0L, height),
                std::clamp(r.right, 0L, width), std::clamp(r.bottom, 0L, height)};
}

std::vector<RECT> ExcludedRects(const CoreData& core, LONG width, LONG height) {
    std::vector<RECT> rects;
    if (core.excludedRectCount > 0 && core.excludedRects) {
        const std::int32_t count = std::min(core.excludedRectCount, kMaxExcludedRects);
        for (std::int32_t i = 0; i < count; ++i) {
            const RECT r = Clip(core.excludedRects[i], width, height);
            if (r.left < r.right && r.top < r.bottom) rects.push_back(r);
        }
        // Rectangles wholly inside another add nothing.
        std::vector<RECT> kept;
        for (std::size_t i = 0; i < rects.size(); ++i) {
            bool inside = false;
            for (std::size_t j = 0; j < rects.size() && !inside; ++j) {
                inside = i != j && Contains(rects[j], rects[i]) &&
                         !(Contains(rects[i], rects[j]) && j > i);
            }
            if (!inside) kept.push_back(rects[i]);
        }
        return kept;
    }
    if (core.excludedRect.right != 0) {
        const RECT r = Clip(core.excludedRect, width, height);
        if (r.left < r.right && r.top < r.bottom) rects.push_back(r);
    }
    return rects;
}

HRESULT PresentPieces(const std::vector<RECT>& pieces, double scaleX, double scaleY) {
    HRESULT result = D3D_OK;
    for (const RECT& src : pieces) {
        RECT dst{static_cast<LONG>(src.left * scaleX), static_cast<LONG>(src.top * scaleY),
                 static_cast<LONG>(src.right * scaleX), static_cast<LONG>(src.bottom * scaleY)};
        const HRESULT hr = d.device->Present(&src, &dst, nullptr, nullptr);
        if (FAILED(hr)) result = hr;
    }
    return result;
}

// A lost device is left alone until it can be reset; then every module releases, a new device
// is made at the last mode made, and every module rebuilds. The display size and the window are
// as they were: one that took its size from the screen or the work area keeps it.
void RecoverIfLost(HRESULT presented) {
    if (presented != D3DERR_DEVICELOST || !d.device || !d.hasLastMode) return;
    if (d.device->TestCooperativeLevel() != D3DERR_DEVICENOTRESET) return;
    const DisplayModeRequest last = d.lastMode;
    ChangeDisplayMode(last, false);
}

// Waits, sleeping, until the renderer has finished the frame presented kFramesInFlight
// presents ago. Otherwise Present spins on the platform's frame-latency limit and takes the game's
// thread with it while the renderer lags. A device that cannot make or answer the query is not
// waited for.
void WaitForEarlierFrame() {
    const std::int32_t slot = d.nextFrameQuery;
    ComPtr<IDirect3DQuery9>& query = d.frameQueries[slot];
    if (!query && FAILED(d.device->CreateQuery(D3DQUERYTYPE_EVENT, query.PutAddress()))) {
        query.Detach(); // a failed call leaves nothing to release
        return;
    }
    if (!d.frameQueryIssued[slot]) return;
    d.frameQueryIssued[slot] = false;
    const DWORD start = timeGetTime();
    while (query->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE &&
           timeGetTime() - start < kFrameWaitLimitMs)
        Sleep(1);
}

void MarkFrameEnd() {
    const std::int32_t slot = d.nextFrameQuery;
    if (d.frameQueries[slot])
        d.frameQueryIssued[slot] = SUCCEEDED(d.frameQueries[slot]->Issue(D3DISSUE_END));
    d.nextFrameQuery = (slot + 1) % kFramesInFlight;
}

} // namespace

void ReleaseFrameQueries() {
    for (int i = 0; i < kFramesInFlight; ++i) {
        d.frameQueries[i].Reset();
        d.frameQueryIssued[i] = false;
    }
    d.nextFrameQuery = 0;
}

// Cuts the display into horizontal bands at every rectangle edge; in each band, the stretches not
// covered by any rectangle are the pieces to present. Every uncovered pixel is in one piece.
std::vector<RECT> UncoveredPieces(std::vector<RECT> covered, LONG width, LONG height) {
    std::vector<LONG> ys = {0, height};
    for (const RECT& r : covered) {
        ys.push_back(r.top);
        ys.push_back(r.bottom);
    }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    std::vector<RECT> pieces;
    for (std::size_t i = 0; i + 1 < ys.size(); ++i) {
        const LONG top = ys[i], bottom = ys[i + 1];
        std::vector<std::pair<LONG, LONG>> spans;
        for (const RECT& r : covered) {
            if (r.top <= top && r.bottom >= bottom && r.left < r.right)
                spans.push_back({r.left, r.right});
        }
        std::sort(spans.begin(), spans.end());
        LONG x = 0;
        for (const auto& [left, right] : spans) {
            if (left > x) pieces.push_back(RECT{x, top, left, bottom});
            x = std::max(x, right);
        }
        if (x < width) pieces.push_back(RECT{x, top, width, bottom});
    }
    return pieces;
}

void PresentDisplay() {
    if (!d.device || !d.core) return;
    const CoreData& core = *d.core;
    const LONG width = core.displayWidth, height = core.displayHeight;
    RECT client{};
    GetClientRect(d.window, &client);
    const double scaleX = width > 0 ? static_cast<double>(client.right) / width : 1.0;
    const double scaleY = height > 0 ? static_cast<double>(client.bottom) / height : 1.0;

    WaitForEarlierFrame();
    HRESULT hr = E_OUTOFMEMORY;
    std::vector<RECT> excluded;
    // Pieces that cannot be had for want of memory present nothing this frame (101), rather than
    // the whole frame over what is excluded.
    const bool listed =
        NoThrow(kStringNoMemory, [&] { excluded = ExcludedRects(core, width, height); });
    if (core.excludedRectCount > 0 || core.excludedRect.right != 0) {
        if (listed)
            NoThrow(kStringNoMemory, [&] {
                hr = PresentPieces(UncoveredPieces(excluded, width, height), scaleX, scaleY);
            });
    } else if (d.offsetX == 0 && d.offsetY == 0) {
        hr = d.device->Present(nullptr, nullptr, nullptr, nullptr);
    } else {
        const RECT source{0, 0, width, height};
        hr = d.device->Present(&source, nullptr, nullptr, nullptr);
    }
    if (SUCCEEDED(hr)) MarkFrameEnd();
    RecoverIfLost(hr);
}
