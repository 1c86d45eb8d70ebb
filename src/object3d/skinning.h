// Vertex animation on the processor: bone skinning, vertex keyframes and per-vertex matrices.
#pragma once

struct ObjectRecord;
struct FrameRecord;
struct MeshRecord;

// Animates the frame's mesh by whichever kind of vertex animation it carries; true.
bool UpdateFrameMesh(ObjectRecord* object, FrameRecord* frame);
bool UpdateFrameMeshVertices(ObjectRecord* object, FrameRecord* frame, MeshRecord* mesh);
