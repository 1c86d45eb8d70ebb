// The static level world that object collision queries and the object manager draws before its
// layers. The object module keeps the one pointer to it, null until a world is built.
// Stand-in until the universe is built: an empty world that draws and holds nothing.
#pragma once

struct ObjectRecord;

class Universe {
public:
    Universe() = default;
    ~Universe() = default;
    Universe(const Universe&) = delete;
    Universe& operator=(const Universe&) = delete;

    // The world's own draw, before the object layers.
    void Render() {}
    // Takes the object out of the world's static-object list.
    void RemoveStaticObject(ObjectRecord*) {}
    // Adds the world's area entries to the list.
    void GatherAreaEntries(void*) {}
};
