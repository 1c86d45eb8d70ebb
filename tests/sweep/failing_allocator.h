// The sweep program's own allocator: operator new and delete are replaced, malloc, calloc, realloc
// and free are wrapped at link time (test_sweep only), and the program's import-table entries of
// GlobalAlloc, GlobalReAlloc and GlobalFree are pointed here once the first arming comes, so every
// allocation the program's code makes (the engine's, not the platform DLLs') passes through here.
// While one thread is armed, its allocations are counted and the k-th fails; the blocks it made and
// has not freed are held.
#pragma once

struct AllocationTally {
    int made = 0;        // allocations asked for while armed, the failed one included
    bool failed = false; // the k-th was asked for, and refused
    int held = 0;        // blocks made while armed and not freed since; -1: too many to follow
};

// Arms the calling thread: its allocations are counted, and the failAt-th fails (0: none fails).
void ArmAllocations(int failAt);
AllocationTally DisarmAllocations();
