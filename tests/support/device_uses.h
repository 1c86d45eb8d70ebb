// Device objects a test holds, and every use the engine makes of them. The test takes a reference
// of its own on each object it holds, so none is ever freed while it watches: a use after the
// engine let go shows every run, not only when the memory is reused. While a DeviceUses lives, the
// device's binds (textures, render targets, depth surface, streams, indices), its copies between
// surfaces, the locks of textures, surfaces and buffers, and the effect methods of the class
// handed to WatchEffects are watched; a use of a held object that the engine no longer holds is
// recorded with the call's name. It swaps shared method tables, so only one may live at a time;
// a GuardedLocks made before it stays underneath.
#pragma once

#include "core/win32.h"

#include <string>
#include <vector>

class DeviceUses {
public:
    explicit DeviceUses(IDirect3DDevice9* device);
    // Ends the locks still open on held objects, puts the methods back and lets the holds go:
    // destroy it after the engine stopped, so that nothing the engine still points at is freed
    // under it.
    ~DeviceUses();
    DeviceUses(const DeviceUses&) = delete;
    DeviceUses& operator=(const DeviceUses&) = delete;
    // Whether the device's methods were swapped.
    bool Active() const { return active_; }

    // Holds object (a texture, standalone surface, buffer or effect; a texture's surface is
    // counted as its texture), named `what` in the reports. Holding one twice holds it once.
    void Hold(IUnknown* object, const std::string& what);
    // Watches Begin, BeginPass, SetTechnique, SetMatrix and SetTexture of every effect of the
    // class that made this one; a second class is not watched.
    void WatchEffects(ID3DXEffect* effect);
    // Whether the engine holds none of its references any more: the test's and the device's
    // bindings aside.
    bool Released(IUnknown* object) const;
    // Uses of a held object since the last ClearUses: binds, locks, copies and effect calls.
    int Uses(IUnknown* object) const;
    // The names of the calls that used it since the last ClearUses: "SetTexture, effect Begin".
    std::string Calls(IUnknown* object) const;
    void ClearUses();
    // Locks of a held object that were taken and not ended.
    int OpenLocks(IUnknown* object) const;
    // Every use of a held object after the engine let it go, and every lock left open on one it
    // let go: "LockRect of image 1's texture, which the engine had let go".
    std::vector<std::string> Faults() const;

private:
    bool active_ = false;
};
