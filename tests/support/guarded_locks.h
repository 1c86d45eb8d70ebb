// While a GuardedLocks lives, every Lock of a vertex or index buffer and every LockRect of a
// texture level or a surface hands out a copy of exactly the locked bytes, placed right before an
// inaccessible page; the matching Unlock copies them back (unless the lock was read-only) and then
// unlocks the real resource. One byte written or read past what was locked crashes the test.
// It patches the interfaces' shared method tables (one per interface here), so only one may live
// at a time. Formats whose bytes per pixel it does not know are locked unguarded.
#pragma once

#include "core/win32.h"

class GuardedLocks {
public:
    explicit GuardedLocks(IDirect3DDevice9* device);
    ~GuardedLocks();
    GuardedLocks(const GuardedLocks&) = delete;
    GuardedLocks& operator=(const GuardedLocks&) = delete;
    // Whether the method tables were patched (a device was given and the resources were made).
    bool Active() const { return active_; }
    // Locks handed out guarded since this object was made.
    int Count() const;

private:
    bool active_ = false;
};
