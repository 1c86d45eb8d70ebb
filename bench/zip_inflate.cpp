// Inflating every deflated member of a real pk3 (openarena-data's pak0.pk3 by default) with the
// engine's decoder and with zlib, each checking the CRC-32 of every member, in one run: the
// compressed members are read into memory first, so only decoding and checking are timed.
#include "core/win32.h"

#include "clock.h"

#include "codecs/crc32.h"
#include "codecs/inflate.h"
#include "world/zip_member.h"
#include "world/zip_records.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 5;

struct Member {
    ZipDirEntry entry;
    std::vector<std::uint8_t> record; // local header, name, extra field, data
    std::size_t dataAt = 0;
};

std::vector<Member> DeflatedMembers(const char* path) {
    std::vector<Member> members;
    const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return members;
    const FileZipSource source(file);
    std::vector<ZipDirEntry> entries;
    ReadZipCentralDirectory(source, entries);
    for (const ZipDirEntry& e : entries) {
        std::uint8_t local[30];
        if (!source.ReadAt(e.localHeaderOffset, local, sizeof local) || local[8] != kZipDeflated)
            continue;
        Member m;
        m.entry = e;
        m.dataAt = 30 + (local[26] | (local[27] << 8)) + (local[28] | (local[29] << 8));
        m.record.resize(m.dataAt + e.compressedSize);
        if (source.ReadAt(e.localHeaderOffset, m.record.data(), m.record.size()))
            members.push_back(std::move(m));
    }
    CloseHandle(file);
    return members;
}

// The best time of the rounds; fn returns the members it decoded and checked.
template <typename Fn> double Best(Fn&& fn, std::size_t expected, bool* ok) {
    double best = 1e9;
    for (int r = 0; r < kRounds; ++r) {
        const double start = Now();
        const std::size_t good = fn();
        best = std::min(best, Now() - start);
        *ok = *ok && good == expected;
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "Z:\\usr\\share\\games\\openarena\\baseoa\\pak0.pk3";
    const std::vector<Member> members = DeflatedMembers(path);
    if (members.empty()) {
        std::printf("zip inflate: no deflated members in %s\n", path);
        return 1;
    }
    std::size_t largest = 0;
    double bytes = 0, packed = 0;
    for (const Member& m : members) {
        largest = std::max<std::size_t>(largest, m.entry.uncompressedSize);
        bytes += m.entry.uncompressedSize;
        packed += m.entry.compressedSize;
    }
    std::vector<std::uint8_t> out(largest + 1);
    bool engineOk = true, zlibOk = true, extractOk = true;
    const double engine = Best(
        [&] {
            std::size_t good = 0;
            for (const Member& m : members) {
                std::size_t produced = 0;
                const std::uint32_t size = m.entry.uncompressedSize;
                good += InflateRaw(m.record.data() + m.dataAt, m.entry.compressedSize, out.data(),
                                   size, 0, &produced, InflateBefore::Zeros) &&
                        produced == size && Crc32(out.data(), size) == m.entry.crc32;
            }
            return good;
        },
        members.size(), &engineOk);
    z_stream z{};
    inflateInit2(&z, -15);
    const double zlib = Best(
        [&] {
            std::size_t good = 0;
            for (const Member& m : members) {
                inflateReset(&z);
                z.next_in = const_cast<Bytef*>(m.record.data() + m.dataAt);
                z.avail_in = m.entry.compressedSize;
                z.next_out = out.data();
                z.avail_out = m.entry.uncompressedSize;
                good += inflate(&z, Z_FINISH) == Z_STREAM_END &&
                        z.total_out == m.entry.uncompressedSize &&
                        crc32(0, out.data(), m.entry.uncompressedSize) == m.entry.crc32;
            }
            return good;
        },
        members.size(), &zlibOk);
    inflateEnd(&z);
    const double extract = Best(
        [&] {
            std::size_t good = 0;
            std::vector<std::uint8_t> bytes;
            for (const Member& m : members)
                good += ExtractZipMember(m.record.data(), m.record.size(), m.entry, bytes);
            return good;
        },
        members.size(), &extractOk);
    const double mb = bytes / 1e6;
    std::printf("zip inflate: %zu deflated members, %.1f MB from %.1f MB (best of %d)\n",
                members.size(), mb, packed / 1e6, kRounds);
    std::printf("  engine %.1f ms (%.0f MB/s)%s, zlib %.1f ms (%.0f MB/s)%s: %.2f times zlib's "
                "time (goal 1.3 at most)\n",
                engine * 1e3, mb / engine, engineOk ? "" : " FAILED", zlib * 1e3, mb / zlib,
                zlibOk ? "" : " FAILED", engine / zlib);
    std::printf("  whole extraction (output allocated and cleared, CRC checked): %.1f ms "
                "(%.0f MB/s)%s\n",
                extract * 1e3, mb / extract, extractOk ? "" : " FAILED");
    return engineOk && zlibOk && extractOk ? 0 : 1;
}
