// Hand-made polygons and solids for the CSG tests.
#pragma once

#include "csg/bsp_tree.h"

#include <initializer_list>
#include <memory>
#include <vector>

// A face polygon through the points, its face normal from their winding (or the one given).
std::unique_ptr<BspFacePolygon> MakeFace(std::initializer_list<BspVector> points);
std::unique_ptr<BspFacePolygon> MakeFace(const std::vector<BspVector>& points,
                                         const BspVector& normal);

// Polygons that a tree copies from: owned here, handed over as a pointer array.
struct FaceList {
    std::vector<std::unique_ptr<BspFacePolygon>> faces;
    std::vector<BspFacePolygon*> pointers;

    void Add(std::unique_ptr<BspFacePolygon> face);
    void AddAll(FaceList&& other);
    BspFacePolygon* const* Data() const { return pointers.data(); }
    int Count() const { return static_cast<int>(pointers.size()); }
};

// The six outward quads of the box from low to high.
FaceList MakeBox(const BspVector& low, const BspVector& high);

// Adds the faces and builds; the result of Build.
int BuildTree(BspTree& tree, const FaceList& faces, bool copy = true);
