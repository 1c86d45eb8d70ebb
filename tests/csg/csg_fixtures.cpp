#include "csg/csg_fixtures.h"

std::unique_ptr<BspFacePolygon> MakeFace(const std::vector<BspVector>& points,
                                         const BspVector& normal) {
    auto face = std::make_unique<BspFacePolygon>();
    face->AddVertices(static_cast<int>(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
        face->vertices[i] = BspVertex(points[i]);
        face->vertices[i].normal = normal;
    }
    face->faceNormal = normal;
    return face;
}

std::unique_ptr<BspFacePolygon> MakeFace(std::initializer_list<BspVector> points) {
    auto face = MakeFace(std::vector<BspVector>(points), BspVector());
    face->faceNormal = face->ComputeNormal();
    for (int i = 0; i < face->count; ++i)
        face->vertices[i].normal = face->faceNormal;
    return face;
}

void FaceList::Add(std::unique_ptr<BspFacePolygon> face) {
    pointers.push_back(face.get());
    faces.push_back(std::move(face));
}

void FaceList::AddAll(FaceList&& other) {
    for (auto& face : other.faces)
        Add(std::move(face));
    other.faces.clear();
    other.pointers.clear();
}

FaceList MakeBox(const BspVector& l, const BspVector& h) {
    FaceList box;
    box.Add(MakeFace({{l.x, l.y, l.z}, {l.x, l.y, h.z}, {l.x, h.y, h.z}, {l.x, h.y, l.z}})); // -x
    box.Add(MakeFace({{h.x, l.y, l.z}, {h.x, h.y, l.z}, {h.x, h.y, h.z}, {h.x, l.y, h.z}})); // +x
    box.Add(MakeFace({{l.x, l.y, l.z}, {h.x, l.y, l.z}, {h.x, l.y, h.z}, {l.x, l.y, h.z}})); // -y
    box.Add(MakeFace({{l.x, h.y, l.z}, {l.x, h.y, h.z}, {h.x, h.y, h.z}, {h.x, h.y, l.z}})); // +y
    box.Add(MakeFace({{l.x, l.y, l.z}, {l.x, h.y, l.z}, {h.x, h.y, l.z}, {h.x, l.y, l.z}})); // -z
    box.Add(MakeFace({{l.x, l.y, h.z}, {h.x, l.y, h.z}, {h.x, h.y, h.z}, {l.x, h.y, h.z}})); // +z
    return box;
}

int BuildTree(BspTree& tree, const FaceList& faces, bool copy) {
    const int added = tree.AddPolygons(faces.Data(), faces.Count(), copy);
    if (added != 0) return added;
    return tree.Build();
}
