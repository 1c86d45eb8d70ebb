// Objects, hand-made blocks and a block walker for the native object format's tests.
#pragma once

#include "core/win32.h"

#include "object3d/object_records.h"

#include <cstdint>
#include <string>
#include <vector>

// Bytes of the format put together by hand.
class Bytes {
public:
    Bytes& U32(std::uint32_t v) { return Raw(&v, 4); }
    Bytes& F32(float v) { return Raw(&v, 4); }
    Bytes& Chars(const std::string& s) { return Raw(s.data(), s.size()); }
    Bytes& Str(const std::string& s) { return U32(static_cast<std::uint32_t>(s.size())).Chars(s); }
    Bytes& Matrix(const D3DXMATRIX& m) { return Raw(&m, 64); }
    Bytes& Vector(float x, float y, float z) { return F32(x).F32(y).F32(z); }
    Bytes& Block(std::uint32_t code, const Bytes& payload) {
        U32(code).U32(static_cast<std::uint32_t>(payload.data.size()));
        data += payload.data;
        return *this;
    }
    Bytes& End() { return U32(0).U32(0); }
    Bytes& Raw(const void* p, std::size_t n) {
        data.append(static_cast<const char*>(p), n);
        return *this;
    }
    std::string data;
};

// The 24 bytes before root block 1.
Bytes FileHeader();
// A frame list of a frame named name with a translation of x in its matrix and nothing else.
Bytes PlainFrame(const std::string& name, float x = 0);

// One block of a block as the walker found it: code, size word and where its header starts.
struct WalkedBlock {
    std::uint32_t code;
    std::uint32_t size;
    std::size_t at;
};
// Every header of a whole block in order, nested ones included.
std::vector<WalkedBlock> WalkBlocks(const std::string& bytes);
std::vector<WalkedBlock> BlocksOf(const std::vector<WalkedBlock>& blocks, std::uint32_t code);

// An object using every record and field the format stores: three frames, an FVF mesh with
// indices, bones, two texture slots, multi-materials, keyframes and an effect name, a mesh with a
// declaration, all four key kinds, baked matrices and custom data.
ObjectRecord* RichObject();
// The object written to a block, as bytes.
std::string BlockOf(const ObjectRecord* object);
// The object read from bytes, or null.
ObjectRecord* ObjectOf(const std::string& bytes);

// Bytes in use on the C runtime heap.
std::size_t HeapBytesInUse();
