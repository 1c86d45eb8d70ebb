#include "core/win32.h"

#include "core/load_budget.h"
#include "modelfile/conv_3ds.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace Conv3DS {

namespace {

// The text grows in place and keeps its length: an append never rescans what is written.
void Append(XTextBuffer& x, const char* text, std::size_t length) {
    if (x.overflow) return;
    // Twice the length: a string that grows by doubling holds up to twice its text.
    if (x.text.size() + length > kLargestXText || !ChargeLoad(length, 2)) {
        x.overflow = true;
        return;
    }
    x.text.append(text, length);
}

void Append(XTextBuffer& x, const std::string& text) {
    Append(x, text.data(), text.size());
}

void Appendf(XTextBuffer& x, const char* format, ...) {
    // Wide enough for any float with six decimals.
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    if (length > 0) Append(x, line, std::min(static_cast<std::size_t>(length), sizeof line - 1));
}

// The separator after item i of count: the list's own after the last.
const char* ListEnd(std::uint32_t i, std::uint32_t count, const char* more, const char* last) {
    return i + 1 < count ? more : last;
}

void WriteKeys(XTextBuffer& x, int type, const std::vector<TrackKey>& keys) {
    Appendf(x, "AnimationKey {\n%d;\n%d;\n", type, static_cast<int>(keys.size()));
    const auto count = static_cast<std::uint32_t>(keys.size());
    for (std::uint32_t i = 0; i < count; ++i) {
        const TrackKey& k = keys[i];
        const int frame = static_cast<std::int16_t>(k.frame);
        if (type == 0)
            Appendf(x, "%d; %d; %5.6f, %5.6f, %5.6f, %5.6f;;", frame, 4, k.w, k.x, k.y, k.z);
        else
            Appendf(x, "%d; %d; %5.6f, %5.6f, %5.6f;;", frame, 3, k.x, k.y, k.z);
        Append(x, ListEnd(i, count, ",\n", ";\n"));
    }
    Append(x, "}\n");
}

// A single scale key of (1, 1, 1) is no scaling at all.
bool OnlyUnitScale(const std::vector<TrackKey>& keys) {
    return keys.size() == 1 && keys[0].x == 1.0f && keys[0].y == 1.0f && keys[0].z == 1.0f;
}

} // namespace

void ApplyMaterialNameRule(std::string& name) {
    for (char& c : name) {
        if (c == '#' || c == '-')
            c = '_';
        else if (c >= '0' && c <= '9')
            c = static_cast<char>(c + 49);
    }
}

void WriteXHeader(XTextBuffer& x) {
    x.text.clear();
    x.overflow = false;
    Append(x, "xof 0302txt 0032\nHeader {\n1;\n0;\n1;\n}\n");
    x.writing = true;
}

void DisableXText(XTextBuffer& x) {
    x.writing = false;
}

std::size_t GetXTextLength(const XTextBuffer& x) {
    return x.text.size();
}

void WriteXFrame(XTextBuffer& x, const std::string& name) {
    if (x.writing) Append(x, "Frame " + name + " {\n");
}

void CloseXFrame(XTextBuffer& x) {
    if (x.writing) Append(x, "}\n");
}

void WriteXFrameTransformMatrix(XTextBuffer& x, const float values[16]) {
    if (!x.writing) return;
    Append(x, "FrameTransformMatrix {\n");
    for (int i = 0; i < 16; ++i) {
        Appendf(x, "%f", values[i]);
        if (i == 15)
            Append(x, ";;\n}\n");
        else
            Append(x, (i + 1) % 4 == 0 ? ",\n" : ",");
    }
}

void WriteXMesh(XTextBuffer& x, const std::string& name) {
    if (x.writing) Append(x, "Mesh " + name + " {\n");
}

void CloseXMesh(XTextBuffer& x) {
    if (x.writing) Append(x, "}\n");
}

void WriteXVectors(XTextBuffer& x, std::uint32_t count, const float* vectors) {
    if (!x.writing) return;
    Appendf(x, "%i;\n", static_cast<int>(count));
    for (std::uint32_t i = 0; i < count; ++i) {
        const float* v = vectors + 3 * i;
        Appendf(x, "%f;%f;%f", v[0], v[1], v[2]);
        Append(x, ListEnd(i, count, ";,\n", ";;\n"));
    }
}

void WriteXFaces(XTextBuffer& x, std::uint32_t count, const std::uint32_t* faces) {
    if (!x.writing) return;
    Appendf(x, "\n%i;\n", static_cast<int>(count));
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t* f = faces + 3 * i;
        Appendf(x, "3;%i,%i,%i", static_cast<int>(f[0]), static_cast<int>(f[1]),
                static_cast<int>(f[2]));
        Append(x, ListEnd(i, count, ";,\n", ";;\n"));
    }
}

void WriteXMeshNormals(XTextBuffer& x) {
    if (x.writing) Append(x, "MeshNormals  {\n");
}

void CloseXMeshNormals(XTextBuffer& x) {
    if (x.writing) Append(x, "}\n");
}

void WriteXMeshTextureCoords(XTextBuffer& x) {
    if (x.writing) Append(x, "MeshTextureCoords {\n");
}

void WriteXTextureCoords(XTextBuffer& x, std::uint32_t count, float* pairs) {
    if (!x.writing) return;
    Appendf(x, "%i;\n", static_cast<int>(count));
    for (std::uint32_t i = 0; i < count; ++i) {
        float* p = pairs + 2 * i;
        p[1] = -p[1];
        Appendf(x, "%f;%f;", p[0], p[1]);
        Append(x, ListEnd(i, count, ",\n", ";\n"));
    }
}

void CloseXMeshTextureCoords(XTextBuffer& x) {
    if (x.writing) Append(x, "}\n");
}

void WriteXMeshMaterialList(XTextBuffer& x, std::uint32_t materialCount, std::uint32_t faceCount,
                            std::uint32_t defaultIndex, std::vector<std::uint16_t>& faceMaterials,
                            std::vector<std::string>& groupNames) {
    if (!x.writing) return;
    Appendf(x, "MeshMaterialList {\n%i;\n%i;\n", static_cast<int>(materialCount),
            static_cast<int>(faceCount));
    for (std::uint32_t f = 0; f < faceCount; ++f) {
        const std::uint32_t index = f < faceMaterials.size() ? faceMaterials[f] : defaultIndex;
        Appendf(x, "%i", static_cast<int>(index));
        Append(x, ListEnd(f, faceCount, ",\n", ";;\n"));
    }
    for (std::string& name : groupNames) {
        ApplyMaterialNameRule(name);
        Append(x, "{" + name + "}\n");
    }
    // A list that names no material holds a plain white one: the platform's mesh loader refuses
    // a list with fewer materials than it declares.
    if (groupNames.empty())
        Append(x, "Material {\n1.000000,1.000000,1.000000,1.000000;;\n0.000000;\n"
                  "0.000000,0.000000,0.000000;;\n0.000000,0.000000,0.000000;;\n}\n");
    Append(x, "}\n");
    faceMaterials.clear();
    groupNames.clear();
}

void WriteXMaterial(XTextBuffer& x, XMaterial& m) {
    if (!x.writing) return;
    ApplyMaterialNameRule(m.name);
    Append(x, "Material " + m.name + " {\n");
    Appendf(x, "%f,%f,%f,%f;;\n", m.face[0], m.face[1], m.face[2], m.face[3]);
    Appendf(x, "%f;\n", m.power);
    Appendf(x, "%f,%f,%f;;\n", m.specular[0], m.specular[1], m.specular[2]);
    Appendf(x, "%f,%f,%f;;\n", m.emissive[0], m.emissive[1], m.emissive[2]);
    Append(x, "TextureFilename {\n\"" + m.texture.substr(0, 255) + "\";\n}\n");
    Append(x, "}\n");
}

void WriteXLine(XTextBuffer& x, const std::string& text) {
    Append(x, text + "\n");
}

void AppendXText(XTextBuffer& x, const std::string& text) {
    Append(x, text);
}

void WriteXAnimationSet(XTextBuffer& x, const std::vector<KeyframeNode>& nodes) {
    if (nodes.empty()) return;
    WriteXLine(x, "AnimationSet x3ds_animset_0 {");
    int number = 0;
    for (const KeyframeNode& node : nodes) {
        if (node.name == "$$$DUMMY") continue;
        Appendf(x, "Animation x3ds_anim_%d {\n", number++);
        Append(x, "{" + node.name + "}\n");
        if (!node.rotationKeys.empty()) WriteKeys(x, 0, node.rotationKeys);
        if (!node.scaleKeys.empty() && !OnlyUnitScale(node.scaleKeys))
            WriteKeys(x, 1, node.scaleKeys);
        if (!node.positionKeys.empty()) WriteKeys(x, 2, node.positionKeys);
        Append(x, "}\n");
    }
    WriteXLine(x, "}");
}

} // namespace Conv3DS
