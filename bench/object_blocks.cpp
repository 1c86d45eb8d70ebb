// Cost of the native object format: writing and reading a 100,000-vertex object, each against
// copying the same number of bytes with memcpy.
#include "core/win32.h"

#include "clock.h"

#include "modelfile/object_block.h"
#include "object3d/object_records.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr std::int32_t kVertices = 100000;
constexpr int kRounds = 20;

ObjectRecord* BigObject() {
    auto* object = new ObjectRecord;
    object->rootFrame = new FrameRecord;
    MeshRecord* mesh = object->rootFrame->mesh = new MeshRecord;
    mesh->fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
    mesh->vertexSize = 32;
    mesh->vertexCount = kVertices;
    mesh->vertices = new std::uint8_t[32 * kVertices];
    for (std::size_t i = 0; i < 32u * kVertices; ++i)
        mesh->vertices[i] = static_cast<std::uint8_t>(i);
    mesh->indexCount = kVertices / 2 * 3;
    mesh->indices = new std::uint16_t[mesh->indexCount];
    for (std::int32_t i = 0; i < mesh->indexCount; ++i)
        mesh->indices[i] = static_cast<std::uint16_t>(i % 65536 % kVertices);
    return object;
}

// The best time of the rounds.
template <typename Fn> double Best(Fn&& fn) {
    double best = 1e9;
    for (int r = 0; r < kRounds; ++r) {
        const double start = Now();
        fn();
        best = std::min(best, Now() - start);
    }
    return best;
}

} // namespace

int main() {
    ObjectRecord* object = BigObject();
    TLOBlock block;
    if (!WriteObjectToBlock(object, block.Out(), block.OutSize())) return 1;
    std::vector<std::uint8_t> copy(block.Size());
    const double write = Best([&] {
        TLOBlock written;
        WriteObjectToBlock(object, written.Out(), written.OutSize());
    });
    const double read = Best([&] {
        ObjectRecord* read = nullptr;
        ReadObjectFromBlock(block.Data(), block.Size(), &read);
        delete read;
    });
    const double memcpyTime = Best([&] {
        std::vector<std::uint8_t> fresh(block.Size());
        std::memcpy(fresh.data(), block.Data(), block.Size());
        copy.swap(fresh);
    });
    std::printf("object block of %u bytes (%d vertices): write %.3f ms, read %.3f ms, "
                "memcpy into a new buffer %.3f ms; write %.1fx, read %.1fx the copy\n",
                block.Size(), kVertices, write * 1e3, read * 1e3, memcpyTime * 1e3,
                write / memcpyTime, read / memcpyTime);
    delete object;
    return 0;
}
