// The links one item can hold to another, each made with the engine's own commands. For each
// link the used item is deleted, or made again under its number; then frames are drawn and the
// user's commands called, while the test holds the item's device objects and watches every use
// of them (support/device_uses.h). A link added to the engine gets a row here.
#pragma once

#include "core/win32.h"

#include <string>
#include <vector>

// What a user may do once its item changed: a row allows a set of these.
enum Outcome : unsigned {
    kOld = 1,     // goes on with the old device object, by a reference of its own
    kNew = 2,     // uses what the number names now
    kWithout = 4, // uses neither
    kError = 8,   // its commands raise a run-time error
};

struct Change {
    const char* name; // a word or two, for the case's name
    void (*apply)();
    unsigned expect; // the outcomes allowed
};

struct Link {
    const char* name; // the case's name begins with it
    const char* item; // the used item, for the reports
    // The used item, then the user's link to it. The test holds the item's device objects
    // between the two and after the second.
    void (*make)();
    void (*link)();
    // The device objects the item has now: textures, surfaces, buffers, effects.
    std::vector<IUnknown*> (*objects)();
    // The user's commands after the change.
    void (*use)();
    std::vector<Change> changes;
    // After the change, before any frame: what the user still points at that the change freed,
    // in the engine's own records (empty: nothing). A frame would read freed memory, so the case
    // stops there, and the pointers are cleared for the engine to stop.
    std::string (*stale)() = nullptr;
    // A frame between the link and the change (the pixel lock is taken and changed in one go).
    bool frameFirst = true;
    // Whether the user uses the objects before the change; a world that hides its static object
    // does not.
    bool usedFirst = true;
};

const std::vector<Link>& Links();

// The temporary folder's pictures and files the rows load.
void WriteLinkFiles();
// Deletes what the rows make that the engine's stop would leave for the next case.
void DeleteLinkItems();

// A row whose fault another change mends: its failures are printed, not failed. The marks go as
// the mends land.
struct KnownFault {
    const char* link;
    const char* change;
    const char* reason;
};
const std::vector<KnownFault>& KnownFaults();
