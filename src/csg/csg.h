// CSG commands on 3D objects and meshes. The object forms combine every mesh of object A with
// every drawn mesh of object B in world space and write the result over A's mesh; the mesh forms
// combine the mesh open for vertex-data editing with mesh item n. Bad numbers raise the object
// engine's errors (7006 and 7008 for objects, 7001 and 7003 for meshes) before anything changes;
// an instance is passed over without an error. Each command has a second, identical entry.
#pragma once

#include <cstdint>

// Modes of the two bodies.
enum CsgMode : std::int32_t {
    kCsgUnion = 1,
    kCsgDifference = 2,
    kCsgClip = 3,
    kCsgBoxRemoval = 4, // object form only
};

// A becomes the union of A and B.
void PerformCsgUnion(std::int32_t a, std::int32_t b);
// A becomes A minus B, with B's surface inside A as the walls of the cut.
void PerformCsgDifference(std::int32_t a, std::int32_t b);
// The part of A's surface inside B goes, no walls added.
void PerformCsgClip(std::int32_t a, std::int32_t b);
// A's triangles lying inside B's box go.
void PerformCsgBoxRemoval(std::int32_t a, std::int32_t b);
void PerformCsgUnionOnMesh(std::int32_t mesh);
void PerformCsgDifferenceOnMesh(std::int32_t mesh);
void PerformCsgClipOnMesh(std::int32_t mesh);

void PerformCsgUnionExport(std::int32_t a, std::int32_t b);
void PerformCsgDifferenceExport(std::int32_t a, std::int32_t b);
void PerformCsgClipExport(std::int32_t a, std::int32_t b);
void PerformCsgBoxRemovalExport(std::int32_t a, std::int32_t b);
void PerformCsgUnionOnMeshExport(std::int32_t mesh);
void PerformCsgDifferenceOnMeshExport(std::int32_t mesh);
void PerformCsgClipOnMeshExport(std::int32_t mesh);

// The bodies: any other mode does nothing beyond the checks (and, for objects, marking A).
void PerformCsgOperation(std::int32_t a, std::int32_t b, std::int32_t mode);
void PerformCsgOnMesh(std::int32_t n, std::int32_t mode);
