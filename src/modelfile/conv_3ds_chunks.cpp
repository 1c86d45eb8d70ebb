#include "core/win32.h"

#include "core/load_budget.h"
#include "modelfile/conv_3ds_internal.h"

#include <algorithm>
#include <cstring>

namespace Conv3DS {

namespace {

constexpr char kDummyNode[] = "$$$DUMMY";
// A name's entry in a set of written names, beside its characters.
constexpr std::uint64_t kSetEntry = 48;

bool InTable(std::int32_t i) {
    return i >= 0 && i < kTableSize;
}

// An object's frame opens at the first chunk that makes it more than a name.
void OpenObjectFrame(Conversion& c, const std::string& name) {
    WriteXFrame(c.x, name);
    if (c.pass != Pass::write) return;
    RequireLoad(kSetEntry + name.size());
    c.writtenFrames.insert(name);
    c.parentWorld = c.currentWorld;
    if (InTable(c.objectCounter + 1)) c.depths[c.objectCounter + 1] = c.openDepth;
    c.matrixStack[c.openDepth] = c.currentWorld;
}

// After an object's frame: it stays open when the next object is its child (by the keyframer's
// parent indices), else frames close back to the level of the next object's parent.
void EndObjectFrame(Conversion& c) {
    ++c.openDepth;
    const std::int32_t k = ++c.objectCounter;
    const std::int32_t p = InTable(k) ? c.parents[k] : -1;
    const std::int32_t q = InTable(k + 1) ? c.parents[k + 1] : -1;
    if (p < q && c.openDepth < kTableSize) return;
    // A next object without a parent is a root: every frame closes.
    const std::int32_t d = InTable(q) ? c.depths[q] + 1 : 0;
    while (c.openDepth > 0 && (c.openDepth > d || c.openDepth >= kTableSize)) {
        CloseXFrame(c.x);
        --c.openDepth;
    }
    c.currentWorld = c.matrixStack[c.openDepth];
}

void ReadObjectChunk(Conversion& c, Cursor body) {
    std::string name = XName(body.Name(kObjectName));
    if (name.empty()) {
        Trace(">>>>* Dummy Object found\n");
        name = kDefaultName;
    }
    Trace("     Found name : %s\n", name.c_str());
    bool opened = false;
    auto open = [&] {
        if (!opened) OpenObjectFrame(c, name);
        opened = true;
    };
    for (Chunk chunk; NextChunk(body, chunk);) {
        switch (chunk.id) {
        case 0x4100:
            Trace(">>>> Found Obj/Frame chunk id of %0X\n", chunk.id);
            open();
            ReadTriMesh(c, chunk.body, name);
            break;
        case 0x4010:
        case 0x4012:
        case 0xB000: // the node data an object may carry is not used
            open();
            break;
        case 0x4600:
            Trace(">>>> Found Light chunk id of %0X\n", chunk.id);
            ReadLight(c, chunk.body);
            break;
        case 0x4700:
            Trace(">>>> Found Camera chunk id of %0X\n", chunk.id);
            ReadCamera(chunk.body);
            break;
        default:
            break;
        }
    }
    if (opened && c.pass == Pass::write) EndObjectFrame(c);
}

void ReadTextureMap(Conversion& c, Cursor body, XMaterial& m) {
    for (Chunk chunk; NextChunk(body, chunk);) {
        if (ReadPercentage(c, chunk))
            m.mapAmount = c.percentage;
        else if (chunk.id == 0xA300)
            m.texture = ReadLongName(chunk.body);
    }
}

void ReadMaterial(Conversion& c, Cursor body) {
    XMaterial m;
    for (Chunk chunk; NextChunk(body, chunk);) {
        switch (chunk.id) {
        case 0xA000:
            m.name = XName(ReadLongName(chunk.body));
            break;
        case 0xA020:
        case 0xA030:
            // A colour the material does not carry keeps its default.
            if (ReadColourHolder(c, chunk.body, ">>>> "))
                std::copy(c.colour, c.colour + 3, chunk.id == 0xA020 ? m.face : m.specular);
            break;
        case 0xA040:
            c.percentage = m.power;
            ReadPercentageHolder(c, chunk.body);
            m.power = c.percentage;
            break;
        case 0xA200:
            ReadTextureMap(c, chunk.body, m);
            break;
        default:
            break;
        }
    }
    WriteXMaterial(c.x, m);
    if (c.pass != Pass::write) return;
    RequireLoad(kSetEntry + m.name.size());
    c.writtenMaterials.insert(m.name);
}

void ReadEditorChunk(Conversion& c, Cursor body) {
    for (Chunk chunk; NextChunk(body, chunk);) {
        switch (chunk.id) {
        case 0x4000:
            Trace(">>> Found Object chunk id of %0X\n", chunk.id);
            ReadObjectChunk(c, chunk.body);
            break;
        case 0xAFFF:
            Trace(">>> Found Materials chunk id of %0X\n", chunk.id);
            ReadMaterial(c, chunk.body);
            break;
        case 0x7001:
            Trace(">>> Found View main def chunk id of %0X\n", chunk.id);
            ReadViewport(c, chunk.body);
            break;
        case 0x1200:
            Trace(">>> Found Backgr chunk id of %0X\n", chunk.id);
            ReadColourHolder(c, chunk.body, ">> ");
            break;
        case 0x2100:
            Trace(">>> Found Ambient chunk id of %0X\n", chunk.id);
            ReadColourHolder(c, chunk.body, ">>>> ");
            break;
        default:
            break;
        }
    }
    if (c.pass != Pass::write) return;
    for (; c.openDepth > 0; --c.openDepth)
        CloseXFrame(c.x);
}

// Keys are a frame number, spline flags with a float for each of the five spline parameters
// they name, then the value.
void ReadTrack(Cursor body, std::vector<TrackKey>* keys, bool rotation) {
    body.at = std::min(body.end, body.at + 10);
    const std::uint32_t count = body.Word();
    body.Word();
    D3DXQUATERNION kept(0, 0, 0, 1);
    for (std::uint32_t i = 0; i < count && body.Left() >= 6; ++i) {
        TrackKey key;
        key.frame = body.Word();
        body.Word();
        const std::uint16_t spline = body.Word();
        for (int bit = 0; bit < 5; ++bit)
            if (spline & (1u << bit)) body.Float();
        if (body.Left() < (rotation ? 16u : 12u)) return;
        if (rotation) {
            const float angle = body.Float();
            float a[3];
            body.Floats(a, 3);
            const D3DXVECTOR3 axis(-a[0], -a[2], -a[1]);
            D3DXQUATERNION q;
            D3DXQuaternionRotationAxis(&q, &axis, angle);
            // Each key turns on from the one before it.
            const D3DXQUATERNION before = kept;
            if (i == 0)
                kept = q;
            else
                D3DXQuaternionMultiply(&kept, &before, &q);
            key.x = kept.x, key.y = kept.y, key.z = kept.z, key.w = kept.w;
        } else {
            float v[3];
            body.Floats(v, 3);
            key.x = v[0], key.y = v[2], key.z = v[1];
        }
        if (!keys) continue;
        RequireLoad(sizeof key);
        keys->push_back(key);
    }
}

void ReadNodeHeader(Conversion& c, Cursor body, KeyframeNode* node) {
    const std::string name = ReadLongName(body);
    if (node) node->name = name.substr(0, 255);
    if (name == kDummyNode) return;
    body.Word();
    body.Word();
    const auto parent = static_cast<std::int16_t>(body.Word());
    if (c.pass != Pass::collect) return;
    if (InTable(c.objectCounter)) {
        c.parents[c.objectCounter] = parent;
        c.pivots[c.objectCounter] = D3DXVECTOR3(0, 0, 0);
    }
    ++c.objectCounter;
}

void ReadObjectNode(Conversion& c, Cursor body) {
    KeyframeNode node;
    bool kept = c.pass == Pass::write;
    for (Chunk chunk; NextChunk(body, chunk);) {
        KeyframeNode* into = kept ? &node : nullptr;
        switch (chunk.id) {
        case 0xB010:
            ReadNodeHeader(c, chunk.body, into);
            break;
        case 0xB013: {
            float p[3];
            chunk.body.Floats(p, 3);
            if (c.pass == Pass::collect && InTable(c.objectCounter - 1))
                c.pivots[c.objectCounter - 1] = D3DXVECTOR3(p[0], p[2], p[1]);
            break;
        }
        case 0xB030: {
            const std::uint16_t id = chunk.body.Word();
            if (into) into->id = id;
            break;
        }
        case 0xB020:
        case 0xB021:
        case 0xB022:
            if (!into) break;
            ReadTrack(chunk.body,
                      chunk.id == 0xB020   ? &into->positionKeys
                      : chunk.id == 0xB021 ? &into->rotationKeys
                                           : &into->scaleKeys,
                      chunk.id == 0xB021);
            break;
        case 0xB011: // an instance: the node is not animated
            ReadLongName(chunk.body);
            kept = false;
            break;
        default:
            break;
        }
    }
    if (!kept) return;
    RequireLoad(sizeof node + node.name.size());
    c.nodes.push_back(std::move(node));
}

void ReadKeyframer(Conversion& c, Cursor body) {
    for (Chunk chunk; NextChunk(body, chunk);) {
        if (chunk.id == 0xB002)
            ReadObjectNode(c, chunk.body);
        else if (chunk.id == 0x7001)
            ReadViewport(c, chunk.body);
    }
}

} // namespace

std::string ReadLongName(Cursor& body, const char* missing) {
    std::string name = body.Name(kLongName);
    if (name.empty()) {
        Trace("%s", missing);
        name = kDefaultName;
    }
    Trace("Found name : %s\n", name.c_str());
    return name;
}

std::string XName(std::string name) {
    for (char& ch : name) {
        const bool kept = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                          (ch >= '0' && ch <= '9') || ch == '_' || ch == '-';
        if (!kept) ch = '_';
    }
    return name;
}

std::uint8_t Cursor::Byte() {
    if (Left() < 1) return 0;
    return data[at++];
}

std::uint16_t Cursor::Word() {
    if (Left() < 2) {
        at = end;
        return 0;
    }
    const auto v = static_cast<std::uint16_t>(data[at] | data[at + 1] << 8);
    at += 2;
    return v;
}

std::uint32_t Cursor::Dword() {
    if (Left() < 4) {
        at = end;
        return 0;
    }
    const std::uint32_t v = data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                            static_cast<std::uint32_t>(data[at + 3]) << 24;
    at += 4;
    return v;
}

float Cursor::Float() {
    const std::uint32_t bits = Dword();
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

std::string Cursor::Name(std::size_t keep) {
    std::string name;
    while (at < end) {
        const char ch = static_cast<char>(data[at++]);
        if (ch == 0) break;
        if (name.size() < keep) name += ch == ' ' ? '_' : ch;
    }
    return name;
}

bool NextChunk(Cursor& parent, Chunk& chunk) {
    if (parent.Left() < 6) return false;
    const std::size_t start = parent.at;
    chunk.id = parent.Word();
    const std::uint32_t length = parent.Dword();
    if (length < 6) {
        parent.at = parent.end;
        return false;
    }
    const std::size_t end = start + std::min<std::size_t>(length, parent.end - start);
    chunk.body = Cursor{parent.data, parent.at, end};
    parent.at = end;
    return true;
}

void KeepAnimatedFrames(Conversion& c) {
    RequireLoad(c.nodes.size(), sizeof(KeyframeNode));
    std::vector<KeyframeNode> kept;
    for (KeyframeNode& node : c.nodes) {
        if (node.name != kDummyNode) {
            node.name = XName(node.name.substr(0, kObjectName));
            if (!c.writtenFrames.count(node.name)) continue;
        }
        kept.push_back(std::move(node));
    }
    c.nodes = std::move(kept);
}

void ReadMainChunk(Conversion& c, const std::uint8_t* bytes, std::size_t size) {
    Cursor file{bytes, 0, size};
    Chunk main;
    if (!NextChunk(file, main) || main.id != 0x4D4D) return;
    Trace("> Found Main chunk id of %0X\n", main.id);
    for (Chunk chunk; NextChunk(main.body, chunk);) {
        if (chunk.id == 0x3D3D) {
            Trace(">> Found *Editor* chunk id of %0X\n", chunk.id);
            ReadEditorChunk(c, chunk.body);
        } else if (chunk.id == 0xB000) {
            Trace(">> Found *Keyframer* chunk id of %0X\n", chunk.id);
            ReadKeyframer(c, chunk.body);
        }
    }
}

} // namespace Conv3DS
