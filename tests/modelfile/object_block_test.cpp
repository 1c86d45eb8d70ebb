#include "core/win32.h"

#include "block_fixtures.h"
#include "core/load_budget.h"
#include "modelfile/object_block.h"
#include "object3d/model_files.h"
#include "object3d/object_lists.h"
#include "support/error_cell.h"
#include "support/guarded_bytes.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <random>

namespace {

using ObjectPtr = std::unique_ptr<ObjectRecord>;

std::uint32_t WordAt(const std::string& bytes, std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

void SetWordAt(std::string& bytes, std::size_t at, std::uint32_t v) {
    std::memcpy(&bytes[at], &v, 4);
}

// Reads the bytes from memory that ends where they end: a read past them crashes.
bool Reads(const std::string& bytes) {
    GuardedBytes guarded(bytes);
    ObjectRecord* object = nullptr;
    const bool read =
        ReadObjectFromBlock(guarded.Data(), static_cast<std::uint32_t>(guarded.Size()), &object);
    EXPECT_EQ(read, object != nullptr);
    delete object;
    return read;
}

// A chain of depth lists, each opened by its blocks (of one length in all but the first) and
// holding the next in its link block, nested as the format nests them, built from the outside in
// without copying.
template <typename NameBlock>
std::string NestedChain(int depth, std::uint32_t linkCode, NameBlock nameBlock) {
    // The blocks, the link header and the end marker of each list inside the first.
    const std::size_t level = nameBlock(depth - 1).size() + 8 + 8;
    std::string out;
    out.reserve(depth * level + 8);
    for (int i = 0; i < depth; ++i) {
        out += nameBlock(i);
        out +=
            Bytes().U32(linkCode).U32(static_cast<std::uint32_t>((depth - i - 1) * level + 8)).data;
    }
    out += Bytes().End().data;
    for (int i = 0; i < depth; ++i)
        out += Bytes().End().data;
    return out;
}

// A frame chain of depth frames, each the sibling of the one before.
std::string SiblingChain(int depth) {
    return NestedChain(depth, 105, [](int) { return Bytes().Block(101, Bytes().Str("f")).data; });
}

// The mesh given vertices of another size, zeroed, and (for a declared mesh) another declaration.
void Relayout(MeshRecord* mesh, std::uint32_t vertexSize,
              std::initializer_list<D3DVERTEXELEMENT9> elements = {}) {
    delete[] mesh->vertices;
    mesh->vertexSize = vertexSize;
    mesh->vertices = new std::uint8_t[vertexSize * mesh->vertexCount + 1]();
    if (mesh->fvf) return;
    std::copy(elements.begin(), elements.end(), mesh->declaration);
    mesh->declaration[elements.size()] = D3DDECL_END();
}

// Whether the rich object reads with its declared mesh (three vertices) in the given layout.
bool ReadsWithArmLayout(std::uint32_t vertexSize,
                        std::initializer_list<D3DVERTEXELEMENT9> elements) {
    ObjectPtr object(RichObject());
    Relayout(object->rootFrame->child->mesh, vertexSize, elements);
    return Reads(BlockOf(object.get()));
}

std::string WithFrames(const std::string& frameList, const Bytes& set = Bytes().End()) {
    Bytes frames;
    frames.Raw(frameList.data(), frameList.size());
    return FileHeader().Block(1, frames).Block(2, set).End().data;
}

// A file of one frame holding the mesh list.
std::string WithMesh(const Bytes& meshList) {
    return WithFrames(Bytes().Block(101, Bytes().Str("m")).Block(103, meshList).End().data);
}

// The bytes loaded as a native file: loaded whole within the load's budget, charged at least what
// their records make, or refused with the load's error when those cannot fit any budget of
// their size.
void ExpectLoadedWithinBudgetOrRefused(const std::string& bytes, std::uint64_t made) {
    ErrorCellScope errors;
    TempFolder folder;
    const std::string path = folder.Write("crafted.tlo", bytes);
    ObjectRecord* object = nullptr;
    const bool loaded = LoadObjectFile(path.c_str(), &object);
    EXPECT_EQ(loaded, object != nullptr);
    delete object;
    if (made > LoadBudgetFor(bytes.size())) {
        EXPECT_FALSE(loaded);
    }
    if (loaded) {
        EXPECT_GE(LastLoadCharged(), made);
        EXPECT_LE(LastLoadCharged(), LastLoadLimit());
    } else {
        EXPECT_EQ(errors.Last(), 7018);
    }
}

// A name of the given letter and number, all such names of one length and alike but for their
// last characters, so that telling two apart takes a while.
std::string LongName(char letter, int number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%c%06d", letter, number);
    return std::string(40, 'n') + digits;
}

} // namespace

TEST(ObjectBlock, AOneFrameObjectIsExactlyTheFormatsBytes) {
    ObjectRecord object;
    object.rootFrame = new FrameRecord;
    std::strcpy(object.rootFrame->name, "abcd");
    const Bytes expected = FileHeader()
                               .Block(1, PlainFrame("abcd"))
                               .Block(2, Bytes().End())
                               .Block(406, Bytes().U32(0))
                               .End();
    const std::string block = BlockOf(&object);
    EXPECT_EQ(block.size(), 272u);
    EXPECT_EQ(WordAt(block, 28), 204u); // root block 1's size
    EXPECT_TRUE(block == expected.data);

    // Cut right after the animation set: complete, without custom data.
    ObjectPtr read(ObjectOf(block.substr(0, 272 - 20)));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->customBufferB, nullptr);
    EXPECT_STREQ(read->rootFrame->name, "abcd");
    EXPECT_EQ(read->animationSet, nullptr);
    EXPECT_EQ(read->rootFrame->mesh, nullptr);
}

TEST(ObjectBlock, EveryRecordRoundTripsByteForByte) {
    ObjectPtr object(RichObject());
    const std::string block = BlockOf(object.get());
    ASSERT_FALSE(block.empty());
    const std::vector<WalkedBlock> blocks = WalkBlocks(block);
    // The walk of all the size words ends exactly at the block's end marker.
    EXPECT_EQ(blocks.back().at + 8, block.size());
    EXPECT_EQ(blocks.back().code, 0u);

    ObjectPtr read(ObjectOf(block));
    ASSERT_TRUE(read);
    EXPECT_TRUE(BlockOf(read.get()) == block);

    FrameRecord* root = read->rootFrame;
    FrameRecord* arm = root->child;
    ASSERT_TRUE(arm && root->sibling);
    EXPECT_EQ(arm->parent, root); // children know their parent again
    EXPECT_EQ(root->sibling->parent, nullptr);
    EXPECT_EQ(root->initialMatrix._42, 2);
    EXPECT_EQ(root->combinedMatrix, kIdentityMatrix); // derived matrices are not stored
    EXPECT_EQ(root->scale, D3DXVECTOR3(1, 2, 3));
    const MeshRecord* mesh = root->mesh;
    EXPECT_EQ(std::memcmp(mesh->vertices, object->rootFrame->mesh->vertices, 128), 0);
    EXPECT_EQ(mesh->indices[4], 3);
    EXPECT_EQ(mesh->bones[0].weights[0], 0.25f);
    EXPECT_EQ(mesh->bones[1].vertices, nullptr);
    EXPECT_STREQ(mesh->textures[1].fileName, "bump.dds");
    EXPECT_EQ(mesh->textures[0].imageNumber, 0);
    EXPECT_EQ(mesh->textures[1].extra[1], 0xDEADBEEFu);
    EXPECT_EQ(mesh->multiMaterials[1].startIndex, 3u);
    EXPECT_TRUE(mesh->effectInUse && mesh->effect == nullptr);
    EXPECT_EQ(mesh->depthBias, -0.001f);
    EXPECT_EQ(mesh->visible, 0);
    ASSERT_EQ(mesh->keyFrameCount, 2);
    EXPECT_STREQ(mesh->keyFrames[1].name, "key1");
    EXPECT_EQ(arm->mesh->declaration[1].Usage, D3DDECLUSAGE_TEXCOORD);
    const AnimationRecord* walk = read->animationSet->animation;
    EXPECT_EQ(walk->frame, nullptr); // bound only when the object is set up
    EXPECT_EQ(walk->matrixKeys[1].value._42, 1);
    EXPECT_EQ(walk->next->bakedFrames[2][1],
              object->animationSet->animation->next->bakedFrames[2][1]);
    EXPECT_STREQ(walk->next->next->name, "Leg");
    EXPECT_EQ(read->customSize, 5u);
    EXPECT_EQ(read->customBufferB[4], 5);
}

TEST(ObjectBlock, AbsentRecordsAndTheTwoOddBlocks) {
    ObjectPtr object(RichObject());
    const std::string block = BlockOf(object.get());
    const std::vector<WalkedBlock> blocks = WalkBlocks(block);
    // The Leg frame has no mesh, child or sibling: three blocks of one end marker each.
    std::size_t empty = 0;
    for (std::uint32_t code : {103u, 104u, 105u})
        for (const WalkedBlock& b : BlocksOf(blocks, code))
            empty += b.size == 8;
    EXPECT_GE(empty, 3u);
    // One declaration block, for the mesh without an FVF: size word 4, then 520 bytes.
    const auto declarations = BlocksOf(blocks, 120);
    ASSERT_EQ(declarations.size(), 1u);
    EXPECT_EQ(declarations[0].size, 4u);
    EXPECT_EQ(WordAt(block, declarations[0].at + 8 + 520), 138u);
    // Keyframes: the rich mesh's count of 2, then a 0 for each of its keyframes' meshes and for
    // the arm's mesh.
    const auto keys = BlocksOf(blocks, 138);
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(WordAt(block, keys[0].at + 8), 2u);
    for (std::size_t k = 1; k < keys.size(); ++k)
        EXPECT_EQ(WordAt(block, keys[k].at + 8), 0u);
    // Index data only where there are indices.
    EXPECT_EQ(BlocksOf(blocks, 116).size(), 1u);
}

TEST(ObjectBlock, LongNamesAndUnknownBlocksAreSteppedOver) {
    Bytes frame;
    frame.Block(101, Bytes().Str(std::string(300, 'n')))
        .Block(999, Bytes().U32(1).U32(2).Chars("x"))
        .Block(102, Bytes().Matrix(kIdentityMatrix))
        .Block(103, Bytes().Block(777, Bytes()).Block(111, Bytes().U32(D3DFVF_XYZ)).End())
        .Block(106, Bytes().Vector(7, 8, 9))
        .End();
    Bytes set;
    set.Block(201, Bytes().Str("s"))
        .Block(203, Bytes().Block(211, Bytes().Str("a")).Block(250, Bytes().U32(5)).End())
        .End();
    const Bytes file = FileHeader().Block(1, frame).Block(2, set).Block(500, Bytes().U32(1)).End();
    ObjectPtr read(ObjectOf(file.data));
    ASSERT_TRUE(read);
    EXPECT_EQ(std::string(read->rootFrame->name), std::string(255, 'n'));
    EXPECT_EQ(read->rootFrame->offset, D3DXVECTOR3(7, 8, 9));
    EXPECT_EQ(read->rootFrame->mesh->fvf, static_cast<DWORD>(D3DFVF_XYZ));
    EXPECT_STREQ(read->animationSet->animation->name, "a");
    EXPECT_EQ(read->customSize, 0u);
}

TEST(ObjectBlock, DeepChainsReadAndWriteWithoutRecursion) {
    // A chain far longer than any call stack could follow, within the format's limit.
    ObjectPtr wide(new ObjectRecord);
    FrameRecord** next = &wide->rootFrame;
    for (int i = 0; i < 60000; ++i, next = &(*next)->sibling)
        *next = new FrameRecord;
    const std::string block = BlockOf(wide.get());
    ASSERT_FALSE(block.empty());
    ObjectPtr read(ObjectOf(block));
    ASSERT_TRUE(read);
    int count = 0;
    for (FrameRecord* f = read->rootFrame; f; f = f->sibling)
        ++count;
    EXPECT_EQ(count, 60000);

    // Past the limit both sides refuse.
    for (int i = 0; i < 10000; ++i, next = &(*next)->sibling)
        *next = new FrameRecord;
    EXPECT_TRUE(BlockOf(wide.get()).empty());
    EXPECT_FALSE(Reads(WithFrames(SiblingChain(100000))));
    EXPECT_TRUE(Reads(WithFrames(SiblingChain(1000))));

    ObjectPtr animated(new ObjectRecord);
    animated->rootFrame = new FrameRecord;
    animated->animationSet = new AnimationSetRecord;
    AnimationRecord** link = &animated->animationSet->animation;
    for (int i = 0; i < 70000; ++i, link = &(*link)->next)
        *link = new AnimationRecord;
    EXPECT_TRUE(BlockOf(animated.get()).empty());
}

TEST(ObjectBlock, AChainOfAnimationsAndBonesFindsItsFramesByNameInOnePass) {
    // Walked for each animation or bone, this many frames, animations and bones would take
    // minutes.
    constexpr int kChain = 60000;
    // The first frame's mesh has a bone for each frame: the first names the last frame, the next
    // two the twin frames, the rest none.
    Bytes bones;
    for (int i = 0; i < kChain; ++i) {
        const std::string name = i == 0   ? LongName('f', kChain - 1)
                                 : i <= 2 ? LongName('t', 0)
                                          : LongName('b', i);
        bones.Block(301, Bytes().Str(name)).End();
    }
    bones.End();
    const Bytes mesh = Bytes()
                           .Block(111, Bytes().U32(D3DFVF_XYZ))
                           .Block(121, Bytes().U32(kChain))
                           .Block(122, bones)
                           .End();
    const std::string frames = NestedChain(kChain, 105, [&mesh](int i) {
        const std::string name = i == 10 || i == 20 ? LongName('t', 0) : LongName('f', i);
        Bytes blocks;
        blocks.Block(101, Bytes().Str(name));
        if (i == 0) blocks.Block(103, mesh);
        return blocks.data;
    });
    // Only the first, the sixth and the last animation name a frame.
    Bytes animations;
    animations.data = NestedChain(kChain, 220, [](int i) {
        const std::string name = i == 0            ? LongName('f', kChain - 1)
                                 : i == 5          ? LongName('t', 0)
                                 : i == kChain - 1 ? LongName('f', 0)
                                                   : LongName('a', i);
        return Bytes().Block(211, Bytes().Str(name)).data;
    });
    const std::string bytes = WithFrames(frames, Bytes().Block(203, animations).End());
    ErrorCellScope errors;
    TempFolder folder;
    const std::string path = folder.Write("chain.tlo", bytes);
    ObjectRecord* loaded = nullptr;
    // Refused only by a budget too small for its records: then linked as read outside a load.
    if (!LoadObjectFile(path.c_str(), &loaded)) {
        EXPECT_EQ(errors.Last(), 7018);
        loaded = ObjectOf(bytes);
    }
    ObjectPtr object(loaded);
    ASSERT_TRUE(object && object->animationSet);
    std::vector<FrameRecord*> chain;
    for (FrameRecord* f = object->rootFrame; f; f = f->sibling)
        chain.push_back(f);
    ASSERT_EQ(chain.size(), static_cast<std::size_t>(kChain));

    LinkAnimationsToFrames(object.get());
    std::vector<AnimationRecord*> linked;
    for (AnimationRecord* a = object->animationSet->animation; a; a = a->next)
        if (a->frame) linked.push_back(a);
    ASSERT_EQ(linked.size(), 3u);
    EXPECT_EQ(linked[0], object->animationSet->animation);
    EXPECT_EQ(linked[0]->frame, chain[kChain - 1]);
    // Of two frames of one name, the first in walk order.
    EXPECT_EQ(linked[1]->frame, chain[10]);
    EXPECT_EQ(linked[2]->frame, chain[0]);
    EXPECT_EQ(linked[2]->next, nullptr);

    MeshRecord* meshes[] = {object->rootFrame->mesh};
    ASSERT_TRUE(meshes[0]);
    ASSERT_EQ(meshes[0]->boneCount, kChain);
    ASSERT_TRUE(AllocateBoneArrays(meshes, 1));
    ASSERT_TRUE(MatchBonesToFrames(meshes, object->rootFrame, 1));
    const auto follows = [&](int bone, FrameRecord* frame) {
        return meshes[0]->boneFrames[bone] == frame &&
               meshes[0]->boneMatrices[bone] == (frame ? &frame->combinedMatrix : nullptr);
    };
    EXPECT_TRUE(follows(0, chain[kChain - 1]));
    // Each frame of a name takes its bone over from the one before: the last twin keeps it, and
    // a second bone of the name follows nothing.
    EXPECT_TRUE(follows(1, chain[20]));
    EXPECT_TRUE(follows(2, nullptr));
    EXPECT_EQ(std::count(meshes[0]->boneFrames, meshes[0]->boneFrames + kChain, nullptr),
              kChain - 2);
}

TEST(ObjectBlock, CountsAreChargedToTheLoadAtTheSizeOfWhatTheyMake) {
    // Key frames of eight bytes each (an empty list) that each make a whole frame record: a few
    // fit the budget, 400,000 cannot.
    for (std::uint32_t count : {1000u, 400000u}) {
        Bytes keys;
        keys.U32(138).U32(4).U32(count);
        for (std::uint32_t k = 0; k <= count; ++k)
            keys.End(); // the last one ends the mesh
        ExpectLoadedWithinBudgetOrRefused(WithMesh(keys),
                                          std::uint64_t{count} * sizeof(FrameRecord));
    }
    // A million texture slots by their count, one record present and padding after the list
    // that lets the count pass as one the bytes could hold.
    constexpr std::uint32_t kSlots = 1u << 20;
    Bytes textures;
    textures.Block(141, Bytes().Str("t.png")).End().End();
    textures.data.resize(textures.data.size() + std::size_t{kSlots} * 8);
    Bytes mesh;
    mesh.Block(127, Bytes().U32(kSlots)).Block(128, textures).End();
    ExpectLoadedWithinBudgetOrRefused(WithMesh(mesh),
                                      std::uint64_t{kSlots} * sizeof(TextureRecord));
}

TEST(ObjectBlock, DamagedBlocksAreRefusedWithoutReadingPastThem) {
    ObjectPtr object(RichObject());
    const std::string block = BlockOf(object.get());
    const std::vector<WalkedBlock> blocks = WalkBlocks(block);
    const std::size_t before = HeapBytesInUse();

    // Cut anywhere: only the cuts after the animation set and after the custom data are whole.
    const std::size_t afterSet = BlocksOf(blocks, 406)[0].at;
    int whole = 0;
    for (std::size_t cut = 0; cut < block.size(); ++cut) {
        const bool read = Reads(block.substr(0, cut));
        whole += read;
        if (read) {
            EXPECT_TRUE(cut == afterSet || cut == block.size() - 8) << cut;
        }
    }
    EXPECT_EQ(whole, 2);

    // Every count made huge.
    for (std::uint32_t code :
         {113u, 114u, 121u, 124u, 127u, 138u, 212u, 214u, 216u, 218u, 302u, 402u, 403u, 404u}) {
        for (const WalkedBlock& b : BlocksOf(blocks, code)) {
            if (WordAt(block, b.at + 8) == 0) continue; // nothing follows a count of 0
            for (std::uint32_t huge : {0xFFFFFFFFu, 0x7FFFFFFFu}) {
                std::string damaged = block;
                SetWordAt(damaged, b.at + 8, huge);
                EXPECT_FALSE(Reads(damaged)) << code << " at " << b.at;
            }
        }
    }

    // A size word that reaches beyond its parent, an index beyond the vertices, more texture
    // records than the count, a second key count, a declaration without its end, another magic.
    auto damaged = [&block](std::size_t at, std::uint32_t value) {
        std::string bytes = block;
        SetWordAt(bytes, at, value);
        return Reads(bytes);
    };
    EXPECT_FALSE(damaged(BlocksOf(blocks, 103)[0].at + 4, 0x7FFFFFF0));
    EXPECT_FALSE(damaged(BlocksOf(blocks, 116)[0].at + 8, 0x00090000));
    // The mesh has four vertices: index 4 names none, index 3 the last.
    EXPECT_FALSE(damaged(BlocksOf(blocks, 116)[0].at + 8, 0x00040000));
    EXPECT_TRUE(damaged(BlocksOf(blocks, 116)[0].at + 8, 0x00030000));
    for (const WalkedBlock& b : BlocksOf(blocks, 127))
        if (WordAt(block, b.at + 8) == 2) {
            EXPECT_FALSE(damaged(b.at + 8, 1));
        }
    EXPECT_FALSE(damaged(BlocksOf(blocks, 214)[0].at, 212));
    EXPECT_FALSE(damaged(4, 0x4947414E)); // "NAGI"
    {
        std::string bytes = block;
        std::memset(&bytes[BlocksOf(blocks, 120)[0].at + 8], 0, 520);
        EXPECT_FALSE(Reads(bytes));
    }

    // Random bytes behind a valid header, and random changes to a valid block.
    std::mt19937 random(55);
    for (int i = 0; i < 1000; ++i) {
        std::string noise = FileHeader().data;
        const std::size_t length = random() % 600;
        for (std::size_t k = 0; k < length; ++k)
            noise += static_cast<char>(random() & 0xFF);
        EXPECT_FALSE(Reads(noise));
    }
    for (int i = 0; i < 1000; ++i) {
        std::string changed = block;
        for (int k = 0; k < 4; ++k)
            changed[24 + random() % (block.size() - 24)] ^= random() & 0xFF;
        if (!Reads(changed)) continue;
        ObjectPtr read(ObjectOf(changed));
        BlockOf(read.get()); // whatever reads also writes
    }
    EXPECT_EQ(HeapBytesInUse(), before);
}

TEST(ObjectBlock, LayoutsReachingPastTheVertexAreRefused) {
    constexpr D3DVERTEXELEMENT9 position = {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0};
    auto texcoord = [](WORD stream, WORD offset, BYTE type) {
        return D3DVERTEXELEMENT9{stream, offset, type, 0, D3DDECLUSAGE_TEXCOORD, 0};
    };
    // A pair ending on the vertex's last byte is kept; a word further, on another stream, or of a
    // type the platform lacks, it is not.
    EXPECT_TRUE(ReadsWithArmLayout(20, {position, texcoord(0, 12, D3DDECLTYPE_FLOAT2)}));
    EXPECT_FALSE(ReadsWithArmLayout(20, {position, texcoord(0, 16, D3DDECLTYPE_FLOAT2)}));
    EXPECT_FALSE(ReadsWithArmLayout(20, {position, texcoord(1, 12, D3DDECLTYPE_FLOAT2)}));
    EXPECT_FALSE(ReadsWithArmLayout(20, {position, texcoord(0, 12, D3DDECLTYPE_UNUSED + 1)}));
    EXPECT_FALSE(ReadsWithArmLayout(
        4, {{1, 1020, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}})); // one word of vertex
    // Elements the engine does not read are held to the same array.
    EXPECT_FALSE(ReadsWithArmLayout(
        12, {position, {1, 0, D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_BLENDWEIGHT, 0}}));
    // One float read as a position fits by its type; what is read of it is the map's concern.
    EXPECT_TRUE(ReadsWithArmLayout(4, {{0, 0, D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_POSITION, 0}}));

    // Vertex sizes of part words, with a declaration or an FVF.
    EXPECT_FALSE(ReadsWithArmLayout(22, {position}));
    EXPECT_TRUE(ReadsWithArmLayout(24, {position}));
    ObjectPtr object(RichObject());
    Relayout(object->rootFrame->mesh, 34);
    EXPECT_FALSE(Reads(BlockOf(object.get())));
    Relayout(object->rootFrame->mesh, 36);
    EXPECT_TRUE(Reads(BlockOf(object.get())));
}
