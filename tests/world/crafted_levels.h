// Levels written byte by byte from a builder's one wall, made expensive by the records they
// share: the helpers that replace a lump or repeat a record, the crafted levels of the budget
// tests, and the shader script that draws them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The level with one lump replaced by bytes appended after everything else.
std::string Appended(std::string level, int lump, const std::string& bytes);
std::string Repeated(const std::string& record, std::size_t count);
// One wall, a polygon of four vertices, as face 0, textured "textures/test/wall".
std::string WallLevel();
// Face record index of the level, as stored.
std::string FaceOf(const std::string& level, std::size_t face);

// A chain of nodes, node i over node i + 1 in front (the last node over the builder's empty leaf
// 1) and over leaf 0 behind, every box holding the whole level; leaf 0 lists face 0 leafFaces
// times. One node makes a plain tree; more name leaf 0 once each.
std::string SharedLeafLevel(std::int32_t nodes, std::int32_t leafFaces);
// faces polygons, all listed by leaf 0 so that a frame draws them: each a fan over the same run
// of fanVertices vertices or, with none, the wall's first triangle.
std::string FacesLevel(std::int32_t faces, std::int32_t fanVertices = 0);
// The script of shader "textures/test/wall", drawn from both sides: stages stages of a white
// picture, each with the lines of stage.
std::string WallShader(int stages, const std::string& stage = "");
